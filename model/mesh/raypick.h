#pragma once

#include "model/mesh/meshtypes.h"
#include "model/mesh/sharedarray.h"

#include <cstdint>
#include <vector>

// Ray casting against a triangle soup for picking in the 3D view.
//
// The test is Möller–Trumbore with fixed tolerances (|det| >= 1e-9, t > 1e-6,
// barycentrics inside [0, 1] with their sum <= 1); the nearest hit wins, and
// on an exact tie in t the lower triangle index wins, so the indexed search
// and the linear pass always agree.

struct RayHit {
    Vec3f point;
    Vec3f normal;            // unit (e1 x e2) of the hit triangle, (0, 0, 1) when degenerate
    std::int64_t triangle = -1;
    float t = 0.0f;          // along the unit ray direction
};

// One triangle; on a hit t receives the distance along dir.
bool rayTriangle(const Vec3f& origin, const Vec3f& dir, const Vec3f& a, const Vec3f& b, const Vec3f& c, float* t);

// Every triangle in one pass; triangles with an index out of range are skipped.
bool pickLinear(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces, const Vec3f& origin,
                const Vec3f& dir, RayHit* hit);

// Bounding-volume hierarchy over the triangle centroids (median split on the
// longest axis, up to four triangles a leaf). Keeps the arrays it was built
// from by sharing, so the caller may drop its copies.
class RayPickIndex {
public:
    void build(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces);
    void clear();
    bool empty() const { return nodes_.empty(); }

    bool pick(const Vec3f& origin, const Vec3f& dir, RayHit* hit) const;
    // Triangles whose bounds reach into the cube of half size radius about
    // centre (a superset of those near it; callers filter).
    void collectNear(const Vec3f& centre, float radius, std::vector<std::uint32_t>* out) const;

private:
    struct Node {
        float lo[3];
        float hi[3];
        std::uint32_t first;  // leaf: first entry in order_; inner: the first of two adjacent children
        std::uint32_t count;  // leaf: triangle count; inner: 0
    };

    SharedArray<Vec3f> vertices_;
    SharedArray<Triangle> faces_;
    std::vector<Node> nodes_;
    std::vector<std::uint32_t> order_;
};

// Nearest vertex by squared distance; -1 for an empty array.
std::int64_t nearestVertex(const SharedArray<Vec3f>& vertices, const Vec3f& point);
