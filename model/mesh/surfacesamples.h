#pragma once

#include "model/mesh/meshtypes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

// Area-weighted points on a triangle surface. A CAD tessellation puts its
// vertices on edges and rims only, so statistics over the vertex list
// describe the outline, not the surface; these samples describe the surface.
struct SurfaceSample {
    Vec3f point;
    Vec3f normal;  // unit normal of the triangle the sample lies on
    double weight; // the area the sample stands for, mm²
};

// Splits a triangle into k × k congruent sub-triangles and calls
// fn(SurfaceSample) once per sub-triangle centroid; k = 1 gives the centroid.
template <class Fn>
void forEachTriangleSample(Vec3f a, Vec3f b, Vec3f c, int k, Fn&& fn)
{
    const Vec3f n = cross(b - a, c - a);
    const float len = std::sqrt(dot(n, n));
    if (!(len > 0.0f) || !std::isfinite(len))
        return;
    const Vec3f unit = n * (1.0f / len);
    const double weight = 0.5 * double(len) / double(k * k);
    const Vec3f u = (b - a) * (1.0f / float(k)), v = (c - a) * (1.0f / float(k));
    const auto at = [&](float i, float j) { return a + u * i + v * j; };
    for (int i = 0; i < k; ++i)
        for (int j = 0; i + j < k; ++j) {
            // Centroid of the upward sub-triangle, then of the downward one.
            fn(SurfaceSample{at(float(i) + 1.0f / 3.0f, float(j) + 1.0f / 3.0f), unit, weight});
            if (i + j + 2 <= k)
                fn(SurfaceSample{at(float(i) + 2.0f / 3.0f, float(j) + 2.0f / 3.0f), unit, weight});
        }
}

// Subdivisions that bring a triangle of this area near targetArea, capped
// so that a sliver of a huge face cannot explode the count.
inline int samplesPerSide(double area, double targetArea, int maxPerSide = 48)
{
    if (!(targetArea > 0.0) || !(area > targetArea))
        return 1;
    return std::clamp(int(std::ceil(std::sqrt(area / targetArea))), 1, maxPerSide);
}

// Calls fn for every sample of every valid triangle, with about
// minSamples samples in total on coarse meshes and one per triangle on
// fine ones. totalArea is the mesh's area (sum of its triangles); 0 gives
// one sample per triangle.
template <class Fn>
void forEachSurfaceSample(const Vec3f* vertices, std::size_t vertexCount, const Triangle* faces, std::size_t faceCount,
                          double totalArea, std::size_t minSamples, Fn&& fn)
{
    const double target = totalArea / double(std::max<std::size_t>(minSamples, 1));
    for (std::size_t f = 0; f < faceCount; ++f) {
        const Triangle& t = faces[f];
        if (t.v[0] >= vertexCount || t.v[1] >= vertexCount || t.v[2] >= vertexCount)
            continue;
        const Vec3f a = vertices[t.v[0]], b = vertices[t.v[1]], c = vertices[t.v[2]];
        const Vec3f n = cross(b - a, c - a);
        const float len = std::sqrt(dot(n, n));
        if (!(len > 0.0f) || !std::isfinite(len))
            continue;
        const double area = 0.5 * double(len);
        const int k = samplesPerSide(area, target);
        if (k == 1) // the common case on scans: the centroid alone
            fn(SurfaceSample{(a + b + c) * (1.0f / 3.0f), n * (1.0f / len), area});
        else
            forEachTriangleSample(a, b, c, k, fn);
    }
}
