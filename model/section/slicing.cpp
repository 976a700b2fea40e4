// Plane sections of the working mesh: VTK's cutter over the triangles the
// plane touches for exact cuts, our own triangle walk for band cuts and as the
// fallback when the exact cut comes back empty.
#include "model/mesh/meshmodel.h"
#include "model/section/slicecutter.h"

#include <vtkCellArray.h>
#include <vtkCompositeDataIterator.h>
#include <vtkCompositeDataSet.h>
#include <vtkPlane.h>
#include <vtkPlaneCutter.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkStripper.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

using Segments = std::vector<MeshModel::SliceSegment3D>;

float length(const Vec3f& a, const Vec3f& b)
{
    const Vec3f d = b - a;
    return std::sqrt(dot(d, d));
}

void collectStrippedLines(vtkPolyData* poly, Segments& out)
{
    if (!poly || !poly->GetPoints() || poly->GetNumberOfPoints() < 1)
        return;
    vtkCellArray* lines = poly->GetLines();
    if (!lines || lines->GetNumberOfCells() < 1)
        return;
    out.reserve(out.size() + std::size_t(4 * lines->GetNumberOfCells()));
    vtkPoints* points = poly->GetPoints();
    const auto read = [points](vtkIdType id) {
        double p[3];
        points->GetPoint(id, p);
        return Vec3f(float(p[0]), float(p[1]), float(p[2]));
    };
    vtkIdType n = 0;
    const vtkIdType* ids = nullptr;
    for (lines->InitTraversal(); lines->GetNextCell(n, ids);) {
        for (vtkIdType k = 0; k + 1 < n; ++k) {
            const Vec3f a = read(ids[k]);
            const Vec3f b = read(ids[k + 1]);
            if (length(a, b) > 2e-6f)
                out.push_back({a, b});
        }
    }
}

bool lexLess(const Vec3f& a, const Vec3f& b)
{
    if (a.x != b.x)
        return a.x < b.x;
    if (a.y != b.y)
        return a.y < b.y;
    return a.z < b.z;
}

// The cutter splits the work over threads and returns one piece per thread,
// so segment order and direction depend on scheduling. A fixed order makes
// the same cut give the same section (and the same exported file) every time.
void canonicalOrder(Segments& segments, std::size_t from)
{
    for (std::size_t i = from; i < segments.size(); ++i)
        if (lexLess(segments[i].p1, segments[i].p0))
            std::swap(segments[i].p0, segments[i].p1);
    std::sort(segments.begin() + std::ptrdiff_t(from), segments.end(),
              [](const MeshModel::SliceSegment3D& a, const MeshModel::SliceSegment3D& b) {
                  if (lexLess(a.p0, b.p0))
                      return true;
                  if (lexLess(b.p0, a.p0))
                      return false;
                  return lexLess(a.p1, b.p1);
              });
}

void runCutter(vtkPolyData* polyData, const double normal[3], const double origin[3], Segments& out)
{
    auto plane = vtkSmartPointer<vtkPlane>::New();
    plane->SetNormal(normal[0], normal[1], normal[2]);
    plane->SetOrigin(origin[0], origin[1], origin[2]);
    auto cutter = vtkSmartPointer<vtkPlaneCutter>::New();
    cutter->SetInputData(polyData);
    cutter->SetPlane(plane);
    cutter->SetBuildTree(false);
    cutter->SetBuildHierarchy(false);
    cutter->SetComputeNormals(false);
    cutter->SetInterpolateAttributes(false);
    cutter->SetGeneratePolygons(false);
    auto stripper = vtkSmartPointer<vtkStripper>::New();
    stripper->SetInputConnection(cutter->GetOutputPort());
    stripper->SetMaximumLength(1000000);
    stripper->Update();
    vtkDataObject* result = stripper->GetOutputDataObject(0);
    if (auto* poly = vtkPolyData::SafeDownCast(result)) {
        collectStrippedLines(poly, out);
    } else if (auto* composite = vtkCompositeDataSet::SafeDownCast(result)) {
        // The cutter hands back one piece per worker thread.
        vtkSmartPointer<vtkCompositeDataIterator> it;
        it.TakeReference(composite->NewIterator());
        for (it->InitTraversal(); !it->IsDoneWithTraversal(); it->GoToNextItem())
            collectStrippedLines(vtkPolyData::SafeDownCast(it->GetCurrentDataObject()), out);
    }
}

// Every triangle that touches the plane (corners on it count), ascending.
std::vector<std::uint32_t> touchingTriangles(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces,
                                             const double normal[3], const double origin[3])
{
    const std::size_t vertexCount = vertices.size();
    const Vec3f* v = vertices.data();
    const auto side = [&](const Vec3f& p) {
        return (double(p.x) - origin[0]) * normal[0] + (double(p.y) - origin[1]) * normal[1]
               + (double(p.z) - origin[2]) * normal[2];
    };
    std::vector<std::uint32_t> picked;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const Triangle& t = faces[i];
        if (!t.inRange(vertexCount))
            continue;
        const double d0 = side(v[t[0]]), d1 = side(v[t[1]]), d2 = side(v[t[2]]);
        if (std::min({d0, d1, d2}) <= 0.0 && std::max({d0, d1, d2}) >= 0.0)
            picked.push_back(std::uint32_t(i));
    }
    return picked;
}

// Poly data of the picked triangles. Vertex ids keep their relative order,
// so the cutter computes every edge point exactly as it would on the whole
// mesh. Null when nothing was picked.
vtkSmartPointer<vtkPolyData> pickedPolyData(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces,
                                            const std::vector<std::uint32_t>& picked)
{
    if (picked.empty())
        return nullptr;
    const Vec3f* v = vertices.data();
    std::vector<std::uint32_t> used;
    used.reserve(picked.size() * 3);
    for (std::uint32_t i : picked)
        for (int k = 0; k < 3; ++k)
            used.push_back(faces[i][k]);
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    const auto localId = [&used](std::uint32_t global) {
        return vtkIdType(std::lower_bound(used.begin(), used.end(), global) - used.begin());
    };

    auto points = vtkSmartPointer<vtkPoints>::New();
    points->SetDataTypeToDouble();
    points->SetNumberOfPoints(vtkIdType(used.size()));
    for (std::size_t i = 0; i < used.size(); ++i) {
        const Vec3f& p = v[used[i]];
        points->SetPoint(vtkIdType(i), p.x, p.y, p.z);
    }
    auto polys = vtkSmartPointer<vtkCellArray>::New();
    polys->AllocateExact(vtkIdType(picked.size()), vtkIdType(picked.size() * 3));
    for (std::uint32_t i : picked) {
        const vtkIdType ids[3] = {localId(faces[i][0]), localId(faces[i][1]), localId(faces[i][2])};
        polys->InsertNextCell(3, ids);
    }
    auto polyData = vtkSmartPointer<vtkPolyData>::New();
    polyData->SetPoints(points);
    polyData->SetPolys(polys);
    return polyData;
}

// Exact section through VTK's cutter over the triangles the plane touches:
// found through the cutter for axis planes when it serves this geometry,
// else by one pass over the faces. False for an empty mesh.
bool exactSection(const MeshModel& model, const SharedArray<Triangle>& faces, int axis, const SliceCutter* cutter,
                  const double normal[3], const double origin[3], Segments& out)
{
    if (model.vertices.empty() || faces.empty())
        return false;
    const std::size_t first = out.size();
    std::vector<std::uint32_t> picked;
    if (cutter && axis >= 0 && cutter->serves(model))
        cutter->trianglesTouching(model, axisFromIndex(axis), float(origin[axis]), picked);
    else
        picked = touchingTriangles(model.vertices, faces, normal, origin);
    if (vtkSmartPointer<vtkPolyData> touching = pickedPolyData(model.vertices, faces, picked))
        runCutter(touching, normal, origin, out);
    canonicalOrder(out, first);
    return true;
}

// Walks every triangle near the plane; offsetOf gives a vertex's signed
// distance from the plane.
template <class Offset>
void bandWalk(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces, float h, Offset offsetOf,
              Segments& out)
{
    const float e = std::max(h * 0.1f + 0.0001f, 1e-6f);
    const float t = h > 0.0f ? h : e;
    const float mergeSq = (4.0f * e) * (4.0f * e);
    const std::size_t vertexCount = vertices.size();
    const Vec3f* v = vertices.data();
    out.reserve(out.size() + faces.size() / 10 + 64);

    for (const Triangle& tri : faces) {
        if (!tri.inRange(vertexCount))
            continue;
        const Vec3f corner[3] = {v[tri[0]], v[tri[1]], v[tri[2]]};
        const float d[3] = {offsetOf(corner[0]), offsetOf(corner[1]), offsetOf(corner[2])};
        if ((d[0] > t && d[1] > t && d[2] > t) || (d[0] < -t && d[1] < -t && d[2] < -t))
            continue;

        Vec3f taken[3];
        int count = 0;
        const auto offer = [&](const Vec3f& p) {
            if (count == 3)
                return;
            for (int i = 0; i < count; ++i) {
                const Vec3f q = taken[i] - p;
                if (dot(q, q) <= mergeSq)
                    return;
            }
            taken[count++] = p;
        };
        for (int k = 0; k < 3; ++k) {
            const Vec3f& a = corner[k];
            const Vec3f& b = corner[(k + 1) % 3];
            const float da = d[k], db = d[(k + 1) % 3];
            if (std::fabs(da) <= e)
                offer(a);
            if (std::fabs(db) <= e)
                offer(b);
            if ((da < -e && db > e) || (da > e && db < -e))
                offer(a + (b - a) * (da / (da - db)));
        }
        if (count >= 2 && length(taken[0], taken[1]) > 2.0f * e)
            out.push_back({taken[0], taken[1]});
    }
}

} // namespace

std::vector<MeshModel::SliceSegment3D> MeshModel::sliceAxis(Axis axis, float position, float bandThickness,
                                                            const SliceCutter* cutter)
{
    if (axisSliceCacheValid && axisSliceCacheAxis == axisIndex(axis) && std::fabs(axisSliceCachePosition - position) < 1e-6f
        && std::fabs(axisSliceCacheThickness - bandThickness) < 1e-6f)
        return axisSliceCacheSegments;

    const SharedArray<Triangle>& tris = slicingFaces();
    if (vertices.empty() || tris.empty() || !isValidAxis(axis))
        return {};

    const float h = std::max(bandThickness, 0.0f) * 0.5f;
    Segments result;
    if (h <= 1e-8f) {
        double normal[3] = {0, 0, 0}, origin[3] = {0, 0, 0};
        normal[axisIndex(axis)] = 1.0;
        origin[axisIndex(axis)] = double(position);
        if (!exactSection(*this, tris, axisIndex(axis), cutter, normal, origin, result)) {
            axisSliceCacheValid = false;
            return {};
        }
    }
    if (h > 1e-8f || result.empty())
        bandWalk(vertices, tris, h, [axis, position](const Vec3f& p) { return p[axis] - position; }, result);

    axisSliceCacheValid = true;
    axisSliceCacheAxis = axisIndex(axis);
    axisSliceCachePosition = position;
    axisSliceCacheThickness = bandThickness;
    axisSliceCacheSegments = result;
    return result;
}

std::vector<MeshModel::SliceSegment3D> MeshModel::slicePlane(const QVector3D& normal, const QVector3D& origin,
                                                             float bandThickness) const
{
    const SharedArray<Triangle>& tris = slicingFaces();
    if (vertices.empty() || tris.empty() || normal.length() <= 1e-8f)
        return {};
    const QVector3D n = normal.normalized();
    const float h = std::max(bandThickness, 0.0f) * 0.5f;
    Segments result;
    if (h <= 1e-8f) {
        const double nd[3] = {n.x(), n.y(), n.z()};
        const double od[3] = {origin.x(), origin.y(), origin.z()};
        if (!exactSection(*this, tris, -1, nullptr, nd, od, result))
            return {};
    }
    if (h > 1e-8f || result.empty()) {
        const Vec3f nf{n.x(), n.y(), n.z()};
        const Vec3f of{origin.x(), origin.y(), origin.z()};
        bandWalk(vertices, tris, h, [nf, of](const Vec3f& p) { return dot(p - of, nf); }, result);
    }
    return result;
}
