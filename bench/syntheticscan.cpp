#include "bench/syntheticscan.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <unordered_map>
#include <vector>
#include <algorithm>

namespace {

constexpr float kSize[3] = {120.0f, 80.0f, 40.0f};

// Smooth bump that vanishes on the face border, so the cube edges stay sharp.
float bulge(float u, float v)
{
    return std::sin(float(M_PI) * u) * std::sin(float(M_PI) * v) * (0.6f + 0.4f * std::cos(3.0f * float(M_PI) * u));
}

Vec3f rotateArbitrary(Vec3f p)
{
    // Fixed turn about an oblique axis: 37 degrees about (1, 2, 3).
    const float ax = 1.0f, ay = 2.0f, az = 3.0f;
    const float len = std::sqrt(ax * ax + ay * ay + az * az);
    const float kx = ax / len, ky = ay / len, kz = az / len;
    const float a = 37.0f * float(M_PI) / 180.0f, c = std::cos(a), s = std::sin(a);
    const Vec3f k{kx, ky, kz};
    const Vec3f kxp = cross(k, p);
    const float kd = dot(k, p) * (1.0f - c);
    return {p.x * c + kxp.x * s + kx * kd + 15.0f, p.y * c + kxp.y * s + ky * kd - 40.0f,
            p.z * c + kxp.z * s + kz * kd + 250.0f};
}

// Hole centres in face units (u, v in 0..1 along the face's two sides) and
// radii in mm. The first four are the classic ones, about 4 mm across the +Z,
// -Y and +X faces; more are scattered over all six faces with radii from 1.5
// to 10 mm, apart from each other and from the face borders.
struct Hole {
    int axis, side;
    float u, v, radius;
};

std::vector<Hole> holeSpots(int count)
{
    std::vector<Hole> spots{{2, 1, 0.3f, 0.4f, 4.0f}, {2, 1, 0.7f, 0.6f, 4.0f}, {1, 0, 0.5f, 0.5f, 4.0f},
                            {0, 1, 0.4f, 0.5f, 4.0f}};
    std::mt19937 rng(20);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int attempt = 0; int(spots.size()) < count && attempt < 100000; ++attempt) {
        Hole h;
        h.axis = int(rng() % 3);
        h.side = int(rng() % 2);
        h.radius = 1.5f + 8.5f * unit(rng);
        const float su = kSize[(h.axis + 1) % 3], sv = kSize[(h.axis + 2) % 3];
        const float mu = (h.radius + 3.0f) / su, mv = (h.radius + 3.0f) / sv;
        if (mu >= 0.5f || mv >= 0.5f)
            continue;
        h.u = mu + (1.0f - 2.0f * mu) * unit(rng);
        h.v = mv + (1.0f - 2.0f * mv) * unit(rng);
        bool clear = true;
        for (const Hole& o : spots) {
            if (o.axis != h.axis || o.side != h.side)
                continue;
            const float du = (o.u - h.u) * su, dv = (o.v - h.v) * sv;
            clear = clear && std::sqrt(du * du + dv * dv) > o.radius + h.radius + 3.0f;
        }
        if (clear)
            spots.push_back(h);
    }
    spots.resize(std::size_t(std::max(0, std::min(count, int(spots.size())))));
    return spots;
}

} // namespace

SyntheticScan makeSyntheticScan(const SyntheticScanOptions& options)
{
    // Lattice points on the surface of an n-cube, shared between faces so the
    // block is closed. 12 n^2 triangles.
    const int n = std::max(2, int(std::lround(std::sqrt(double(options.targetTriangles) / 12.0))));
    SyntheticScan scan;
    scan.vertices.reserve(std::size_t(6) * n * n + 2);
    scan.faces.reserve(std::size_t(12) * n * n);

    std::mt19937 rng(options.seed);
    std::uniform_real_distribution<float> noise(-options.noise, options.noise);
    std::unordered_map<std::uint64_t, std::uint32_t> index;
    index.reserve(std::size_t(6) * n * n + 2);

    auto vertexAt = [&](int i, int j, int k) -> std::uint32_t {
        const std::uint64_t key = (std::uint64_t(i) << 42) | (std::uint64_t(j) << 21) | std::uint64_t(k);
        auto it = index.find(key);
        if (it != index.end())
            return it->second;
        const int c[3] = {i, j, k};
        Vec3f p;
        for (int a = 0; a < 3; ++a)
            p[a] = (float(c[a]) / float(n) - 0.5f) * kSize[a];
        // Bulge outward on each face the point lies on the interior of.
        for (int a = 0; a < 3; ++a) {
            if (c[a] != 0 && c[a] != n)
                continue;
            const int b = (a + 1) % 3, d = (a + 2) % 3;
            const float u = float(c[b]) / float(n), v = float(c[d]) / float(n);
            const float sign = c[a] == 0 ? -1.0f : 1.0f;
            p[a] += sign * 2.5f * bulge(u, v);
        }
        p = p + Vec3f{noise(rng), noise(rng), noise(rng)};
        const std::uint32_t id = std::uint32_t(scan.vertices.size());
        scan.vertices.push_back(options.tilted ? rotateArbitrary(p) : p);
        index.emplace(key, id);
        return id;
    };

    const std::vector<Hole> holes = holeSpots(options.holes);

    for (int axis = 0; axis < 3; ++axis) {
        const int b = (axis + 1) % 3, d = (axis + 2) % 3;
        for (int side = 0; side < 2; ++side) {
            for (int u = 0; u < n; ++u) {
                for (int v = 0; v < n; ++v) {
                    bool inHole = false;
                    for (const Hole& hole : holes) {
                        if (hole.axis != axis || hole.side != side)
                            continue;
                        const float du = ((u + 0.5f) / n - hole.u) * kSize[b];
                        const float dv = ((v + 0.5f) / n - hole.v) * kSize[d];
                        inHole = inHole || du * du + dv * dv < hole.radius * hole.radius;
                    }
                    if (inHole)
                        continue;
                    auto at = [&](int du, int dv) {
                        int c[3];
                        c[axis] = side ? n : 0;
                        c[b] = u + du;
                        c[d] = v + dv;
                        return vertexAt(c[0], c[1], c[2]);
                    };
                    const std::uint32_t q00 = at(0, 0), q10 = at(1, 0), q11 = at(1, 1), q01 = at(0, 1);
                    // Outward winding: (b, d, axis) is right-handed.
                    if (side) {
                        scan.faces.emplace_back(q00, q10, q11);
                        scan.faces.emplace_back(q00, q11, q01);
                    } else {
                        scan.faces.emplace_back(q00, q11, q10);
                        scan.faces.emplace_back(q00, q01, q11);
                    }
                }
            }
        }
    }
    return scan;
}

MeshModel makeSyntheticModel(std::size_t triangles)
{
    SyntheticScanOptions options;
    options.targetTriangles = triangles;
    SyntheticScan scan = makeSyntheticScan(options);
    MeshModel model;
    model.vertices.assign(std::move(scan.vertices));
    model.faces.assign(std::move(scan.faces));
    return model;
}

bool writeBinaryStl(const std::string& path, const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    char header[80] = {};
    std::strncpy(header, "synthetic scan", sizeof(header) - 1);
    bool ok = std::fwrite(header, 1, 80, f) == 80;
    const std::uint32_t count = std::uint32_t(faces.size());
    ok = ok && std::fwrite(&count, 4, 1, f) == 1;
    std::vector<char> buffer;
    buffer.reserve(std::size_t(50) * 65536);
    for (std::size_t i = 0; ok && i < faces.size(); ++i) {
        const Triangle& t = faces[i];
        float record[12];
        const Vec3f a = vertices[t[0]], b = vertices[t[1]], c = vertices[t[2]];
        Vec3f nrm = cross(b - a, c - a);
        const float len = std::sqrt(dot(nrm, nrm));
        if (len > 0)
            nrm = nrm * (1.0f / len);
        const Vec3f pts[4] = {nrm, a, b, c};
        for (int k = 0; k < 4; ++k) {
            record[3 * k] = pts[k].x;
            record[3 * k + 1] = pts[k].y;
            record[3 * k + 2] = pts[k].z;
        }
        const char* bytes = reinterpret_cast<const char*>(record);
        buffer.insert(buffer.end(), bytes, bytes + 48);
        buffer.push_back(0);
        buffer.push_back(0);
        if (buffer.size() >= std::size_t(50) * 65536 || i + 1 == faces.size()) {
            ok = std::fwrite(buffer.data(), 1, buffer.size(), f) == buffer.size();
            buffer.clear();
        }
    }
    return std::fclose(f) == 0 && ok;
}

Vec3f boundingBoxCentre(const SyntheticScan& scan)
{
    if (scan.vertices.empty())
        return Vec3f();
    Vec3f lo = scan.vertices[0], hi = scan.vertices[0];
    for (const Vec3f& v : scan.vertices)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], v[a]);
            hi[a] = std::max(hi[a], v[a]);
        }
    return (lo + hi) * 0.5f;
}
