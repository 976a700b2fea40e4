#include "ui/view3d/creasenormals.h"


#include <cmath>
#include <cstdint>
#include <vector>

namespace {

Vec3f unit(const Vec3f& v, const Vec3f& fallback)
{
    const float len = std::sqrt(dot(v, v));
    return len > 1e-20f ? v * (1.0f / len) : fallback;
}

} // namespace

void writeCreaseNormals(const Vec3f* vertices, std::size_t vertexCount, const Triangle* faces, std::size_t faceCount,
                        float creaseDegrees, float* out, std::size_t stride)
{
    constexpr double kPi = 3.14159265358979323846;
    const float cosCrease = float(std::cos(double(creaseDegrees) * kPi / 180.0));
    // All faces within half the crease angle of the vertex normal are within
    // the crease angle of each other: such a vertex keeps one smooth normal.
    const float cosHalf = float(std::cos(double(creaseDegrees) * kPi / 360.0));

    // Area-weighted vertex normals and unit face normals (zero for a
    // degenerate or out-of-range face).
    std::vector<Vec3f> vertexNormal;
    vertexNormal.reserve(vertexCount);
    vertexNormal.assign(vertexCount, Vec3f(0.0f, 0.0f, 0.0f));
    std::vector<Vec3f> faceUnit;
    faceUnit.reserve(faceCount);
    faceUnit.resize(faceCount);
    for (std::size_t f = 0; f < faceCount; ++f) {
        const Triangle& tri = faces[f];
        if (!tri.inRange(vertexCount)) {
            faceUnit[f] = Vec3f(0.0f, 0.0f, 0.0f);
            continue;
        }
        const Vec3f& a = vertices[tri[0]];
        const Vec3f n = cross(vertices[tri[1]] - a, vertices[tri[2]] - a);
        for (int k = 0; k < 3; ++k)
            vertexNormal[tri[k]] = vertexNormal[tri[k]] + n;
        faceUnit[f] = unit(n, Vec3f(0.0f, 0.0f, 0.0f));
    }

    // Vertices on a crease, and the faces about each of them.
    std::vector<std::uint8_t> sharp(vertexCount, 0);
    for (std::size_t f = 0; f < faceCount; ++f) {
        const Triangle& tri = faces[f];
        if (!tri.inRange(vertexCount))
            continue;
        for (int k = 0; k < 3; ++k) {
            const Vec3f& n = vertexNormal[tri[k]];
            if (dot(faceUnit[f], n) < cosHalf * std::sqrt(dot(n, n)) || dot(n, n) <= 1e-30f)
                sharp[tri[k]] = 1;
        }
    }
    std::vector<std::uint32_t> start(vertexCount + 1, 0);
    for (std::size_t f = 0; f < faceCount; ++f)
        if (faces[f].inRange(vertexCount))
            for (int k = 0; k < 3; ++k)
                if (sharp[faces[f][k]])
                    ++start[faces[f][k] + 1];
    for (std::size_t v = 0; v < vertexCount; ++v)
        start[v + 1] += start[v];
    std::vector<std::uint32_t> around(start[vertexCount]);
    {
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (std::size_t f = 0; f < faceCount; ++f)
            if (faces[f].inRange(vertexCount))
                for (int k = 0; k < 3; ++k)
                    if (sharp[faces[f][k]])
                        around[fill[faces[f][k]]++] = std::uint32_t(f);
    }

    const Vec3f up(0.0f, 0.0f, 1.0f);
    for (std::size_t f = 0; f < faceCount; ++f) {
        const Triangle& tri = faces[f];
        if (!tri.inRange(vertexCount))
            continue;
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t v = tri[k];
            Vec3f n;
            if (!sharp[v]) {
                n = unit(vertexNormal[v], up);
            } else {
                // The faces on this corner's side of the crease, by area.
                Vec3f sum(0.0f, 0.0f, 0.0f);
                for (std::uint32_t i = start[v]; i < start[v + 1]; ++i) {
                    const std::uint32_t g = around[i];
                    if (dot(faceUnit[g], faceUnit[f]) >= cosCrease) {
                        const Triangle& other = faces[g];
                        const Vec3f& a = vertices[other[0]];
                        sum = sum + cross(vertices[other[1]] - a, vertices[other[2]] - a);
                    }
                }
                n = unit(sum, unit(vertexNormal[v], up));
            }
            out[0] = n.x, out[1] = n.y, out[2] = n.z;
            out += stride;
        }
    }
}
