#include "model/mesh/meshmodel.h"

#include "model/mesh/polydatacache.h"

#include <algorithm>
#include <limits>

MeshModel::MeshModel(const MeshModel& other)
    : vertices(other.vertices),
      faces(other.faces),
      loadedVertices(other.loadedVertices),
      loadedFaces(other.loadedFaces),
      displayVertices(other.displayVertices),
      displayFaces(other.displayFaces),
      sliceFaces(other.sliceFaces),
      sourcePath(other.sourcePath),
      axisSliceCacheValid(other.axisSliceCacheValid),
      axisSliceCacheAxis(other.axisSliceCacheAxis),
      axisSliceCachePosition(other.axisSliceCachePosition),
      axisSliceCacheThickness(other.axisSliceCacheThickness),
      axisSliceCacheSegments(other.axisSliceCacheSegments),
      featureEdgeCacheValid(other.featureEdgeCacheValid),
      featureEdgeCacheAngle(other.featureEdgeCacheAngle),
      featureEdgeCache(other.featureEdgeCache),
      geometryRevision(other.geometryRevision),
      repaired(other.repaired)
{
    polydatacache::copyEntry(&other, this);
}

MeshModel& MeshModel::operator=(const MeshModel& other)
{
    if (this == &other)
        return *this;
    vertices = other.vertices;
    faces = other.faces;
    loadedVertices = other.loadedVertices;
    loadedFaces = other.loadedFaces;
    displayVertices = other.displayVertices;
    displayFaces = other.displayFaces;
    sliceFaces = other.sliceFaces;
    sourcePath = other.sourcePath;
    axisSliceCacheValid = other.axisSliceCacheValid;
    axisSliceCacheAxis = other.axisSliceCacheAxis;
    axisSliceCachePosition = other.axisSliceCachePosition;
    axisSliceCacheThickness = other.axisSliceCacheThickness;
    axisSliceCacheSegments = other.axisSliceCacheSegments;
    featureEdgeCacheValid = other.featureEdgeCacheValid;
    featureEdgeCacheAngle = other.featureEdgeCacheAngle;
    featureEdgeCache = other.featureEdgeCache;
    geometryRevision = other.geometryRevision;
    repaired = other.repaired;
    polydatacache::copyEntry(&other, this);
    return *this;
}

MeshModel::MeshModel(MeshModel&& other) noexcept
    : MeshModel(static_cast<const MeshModel&>(other))
{
}

MeshModel& MeshModel::operator=(MeshModel&& other) noexcept
{
    return *this = static_cast<const MeshModel&>(other);
}

MeshModel::~MeshModel()
{
    polydatacache::removeEntry(this);
}

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
    polydatacache::removeEntry(this);
}

void MeshModel::updateCaches()
{
    clearDerivedState();
    buildDisplayMesh(faces, kDisplayFaceTarget, displayVertices, displayFaces);
    sliceFaces = faces;
    ++geometryRevision;
}
