#include "model/mesh/meshmodel.h"


#include <algorithm>
#include <limits>

namespace {

// Component-wise extreme of all points; (0, 0, 0) for none.
template <class Pick>
Vec3f extremeCorner(const SharedArray<Vec3f>& points, Pick pick)
{
    if (points.empty())
        return {};
    Vec3f m = points[0];
    for (const Vec3f& v : points) {
        m.x = pick(m.x, v.x);
        m.y = pick(m.y, v.y);
        m.z = pick(m.z, v.z);
    }
    return m;
}

} // namespace

Vec3f MeshModel::boundsMin() const
{
    return extremeCorner(vertices, [](float a, float b) { return std::min(a, b); });
}

Vec3f MeshModel::boundsMax() const
{
    return extremeCorner(vertices, [](float a, float b) { return std::max(a, b); });
}

Vec3f MeshModel::extents() const
{
    return boundsMax() - boundsMin();
}

Vec3f MeshModel::centroid() const
{
    if (vertices.empty())
        return {};
    // Single-precision sums, compensated: a plain float running sum over
    // millions of points drifts by whole millimetres, which recentring shows.
    float sum[3] = {0, 0, 0}, carry[3] = {0, 0, 0};
    for (const Vec3f& v : vertices) {
        for (int a = 0; a < 3; ++a) {
            const float y = v[a] - carry[a];
            const float t = sum[a] + y;
            carry[a] = (t - sum[a]) - y;
            sum[a] = t;
        }
    }
    const float n = static_cast<float>(vertices.size());
    return {sum[0] / n, sum[1] / n, sum[2] / n};
}

void MeshModel::clearDerivedState()
{
    axisSliceCacheValid = false;
    axisSliceCacheAxis = -1;
    axisSliceCachePosition = 0.0f;
    axisSliceCacheThickness = 0.0f;
    axisSliceCacheSegments.clear();
    featureEdgeCacheValid = false;
    featureEdgeCacheAngle = -1.0f;
    featureEdgeCache.clear();
}

void MeshModel::updateCaches()
{
    clearDerivedState();
    buildDisplayMesh(faces, kDisplayFaceTarget, displayVertices, displayFaces);
    sliceFaces = faces;
    bumpGeometryRevision();
}

void MeshModel::bumpGeometryRevision()
{
    // Drawn from one process-wide sequence: two copies that change apart
    // never end up with the same revision, so anything keyed by it (a slice
    // cutter, a cached section) can never serve the wrong geometry.
    static std::atomic<std::uint64_t> sequence{0};
    geometryRevision = ++sequence;
}
