#include "shapes.h"

#include <cmath>
#include <map>
#include <tuple>

namespace shapes {

namespace {

void finish(MeshModel& m, std::vector<Vec3f> v, std::vector<Triangle> f)
{
    m.vertices.assign(std::move(v));
    m.faces.assign(std::move(f));
    m.loadedVertices = m.vertices;
    m.loadedFaces = m.faces;
    m.updateCaches();
}

} // namespace

MeshModel box(Vec3f size, int n)
{
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    // Each face separately (duplicated edge vertices are fine for slicing).
    for (int axis = 0; axis < 3; ++axis) {
        const int b = (axis + 1) % 3, d = (axis + 2) % 3;
        for (int side = 0; side < 2; ++side) {
            const auto base = std::uint32_t(v.size());
            for (int i = 0; i <= n; ++i)
                for (int j = 0; j <= n; ++j) {
                    Vec3f p;
                    p[axis] = side ? size[axis] : 0.0f;
                    p[b] = size[b] * float(i) / float(n);
                    p[d] = size[d] * float(j) / float(n);
                    v.push_back(p);
                }
            const auto at = [&](int i, int j) { return base + std::uint32_t(i * (n + 1) + j); };
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    if (side) {
                        f.emplace_back(at(i, j), at(i + 1, j), at(i + 1, j + 1));
                        f.emplace_back(at(i, j), at(i + 1, j + 1), at(i, j + 1));
                    } else {
                        f.emplace_back(at(i, j), at(i + 1, j + 1), at(i + 1, j));
                        f.emplace_back(at(i, j), at(i, j + 1), at(i + 1, j + 1));
                    }
                }
        }
    }
    MeshModel m;
    finish(m, std::move(v), std::move(f));
    return m;
}

MeshModel cylinder(float radius, float height, int segments, int rings)
{
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const float a = 2.0f * float(M_PI) * float(s) / float(segments);
            v.emplace_back(radius * std::cos(a), radius * std::sin(a), height * float(r) / float(rings));
        }
    const auto ring = [segments](int r, int s) { return std::uint32_t(r * segments + (s % segments)); };
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            f.emplace_back(ring(r, s), ring(r, s + 1), ring(r + 1, s + 1));
            f.emplace_back(ring(r, s), ring(r + 1, s + 1), ring(r + 1, s));
        }
    const auto bottom = std::uint32_t(v.size());
    v.emplace_back(0.0f, 0.0f, 0.0f);
    const auto top = std::uint32_t(v.size());
    v.emplace_back(0.0f, 0.0f, height);
    for (int s = 0; s < segments; ++s) {
        f.emplace_back(bottom, ring(0, s + 1), ring(0, s));
        f.emplace_back(top, ring(rings, s), ring(rings, s + 1));
    }
    MeshModel m;
    finish(m, std::move(v), std::move(f));
    return m;
}

MeshModel plate(float sx, float sy, int n)
{
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j)
            v.emplace_back(sx * float(i) / float(n), sy * float(j) / float(n), 0.0f);
    const auto at = [n](int i, int j) { return std::uint32_t(i * (n + 1) + j); };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            f.emplace_back(at(i, j), at(i + 1, j), at(i + 1, j + 1));
            f.emplace_back(at(i, j), at(i + 1, j + 1), at(i, j + 1));
        }
    MeshModel m;
    finish(m, std::move(v), std::move(f));
    return m;
}

void transform(MeshModel& model, const Rotation3& r, Vec3f t)
{
    std::vector<Vec3f> moved = model.vertices.vec();
    for (Vec3f& p : moved) {
        const QVector3D q = r.apply(QVector3D(p.x, p.y, p.z));
        p = Vec3f(q.x() + t.x, q.y() + t.y, q.z() + t.z);
    }
    model.vertices.assign(std::move(moved));
    model.loadedVertices = model.vertices;
    model.updateCaches();
}

void weldExact(std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    std::map<std::tuple<float, float, float>, std::uint32_t> index;
    std::vector<Vec3f> out;
    std::vector<std::uint32_t> remap(vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const auto key = std::make_tuple(vertices[i].x, vertices[i].y, vertices[i].z);
        const auto found = index.emplace(key, std::uint32_t(out.size()));
        if (found.second)
            out.push_back(vertices[i]);
        remap[i] = found.first->second;
    }
    for (Triangle& t : faces)
        for (int c = 0; c < 3; ++c)
            t[c] = remap[t[c]];
    vertices = out;
}

double signedVolume(const MeshModel& model)
{
    double volume = 0.0;
    for (const Triangle& t : model.faces) {
        const Vec3f a = model.vertices[t[0]], b = model.vertices[t[1]], c = model.vertices[t[2]];
        const Vec3f x = cross(b, c);
        volume += double(a.x) * x.x + double(a.y) * x.y + double(a.z) * x.z;
    }
    return volume / 6.0;
}

} // namespace shapes
