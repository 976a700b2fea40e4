#include "model/drawing/drawingpipeline.h"

#include "model/mesh/polydata.h"
#include "model/mesh/vtkprogress.h"

#include <meshoptimizer.h>
#include <vtkCellArray.h>
#include <vtkCellArrayIterator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkSmoothPolyDataFilter.h>

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

// Below this many triangles one thread is quick enough.
constexpr std::size_t kParallelDecimationTriangles = 200000;

bool readBack(vtkPolyData* poly, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    if (!poly || !poly->GetPoints() || !poly->GetPolys())
        return false;
    const vtkIdType pointCount = poly->GetNumberOfPoints();
    vertices.resize(static_cast<std::size_t>(pointCount));
    for (vtkIdType i = 0; i < pointCount; ++i) {
        double p[3];
        poly->GetPoint(i, p);
        vertices[static_cast<std::size_t>(i)] = Vec3f(float(p[0]), float(p[1]), float(p[2]));
    }
    faces.clear();
    faces.reserve(static_cast<std::size_t>(poly->GetPolys()->GetNumberOfCells()));
    auto it = vtkSmartPointer<vtkCellArrayIterator>::Take(poly->GetPolys()->NewIterator());
    for (it->GoToFirstCell(); !it->IsDoneWithTraversal(); it->GoToNextCell()) {
        vtkIdType n = 0;
        const vtkIdType* ids = nullptr;
        it->GetCurrentCell(n, ids);
        // Fan anything bigger than a triangle; the filter keeps triangles.
        for (vtkIdType k = 1; k + 1 < n; ++k)
            faces.emplace_back(std::uint32_t(ids[0]), std::uint32_t(ids[k]), std::uint32_t(ids[k + 1]));
    }
    return !vertices.empty() && !faces.empty();
}

// One simplifier run over the triangles (flat indices) towards target.
std::vector<unsigned int> simplify(const std::vector<unsigned int>& indices, const std::vector<Vec3f>& vertices,
                                   std::size_t target)
{
    std::vector<unsigned int> kept(indices.size());
    kept.resize(meshopt_simplify(kept.data(), indices.data(), indices.size(), &vertices[0].x, vertices.size(),
                                 sizeof(Vec3f), target * 3, kDrawingDecimationError, meshopt_SimplifyLockBorder,
                                 nullptr));
    return kept;
}

// Large meshes are cut at the median x of the triangle centroids and the two
// halves simplified on two threads; the cut is a border of each half, so it
// stays in place and the halves still meet. Deterministic either way.
std::vector<unsigned int> simplifyInTwoHalves(const std::vector<unsigned int>& indices,
                                              const std::vector<Vec3f>& vertices, std::size_t target)
{
    const std::size_t triangles = indices.size() / 3;
    if (triangles < kParallelDecimationTriangles)
        return simplify(indices, vertices, target);
    std::vector<float> centre(triangles);
    for (std::size_t t = 0; t < triangles; ++t)
        centre[t] = vertices[indices[3 * t]].x + vertices[indices[3 * t + 1]].x + vertices[indices[3 * t + 2]].x;
    std::vector<float> sorted = centre;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(triangles / 2), sorted.end());
    const float median = sorted[triangles / 2];
    std::vector<unsigned int> low, high;
    low.reserve(indices.size() / 2 + 3);
    high.reserve(indices.size() / 2 + 3);
    for (std::size_t t = 0; t < triangles; ++t)
        (centre[t] < median ? low : high).insert((centre[t] < median ? low : high).end(), &indices[3 * t], &indices[3 * t + 3]);
    const std::size_t lowTarget = target * (low.size() / 3) / triangles;
    std::vector<unsigned int> lowKept;
    std::thread worker([&]() { lowKept = simplify(low, vertices, lowTarget); });
    std::vector<unsigned int> kept = simplify(high, vertices, target - lowTarget);
    worker.join();
    lowKept.insert(lowKept.end(), kept.begin(), kept.end());
    return lowKept;
}

} // namespace

std::size_t drawingDecimationTarget(std::size_t triangles, float reduction)
{
    const double keep = 1.0 - std::clamp(static_cast<double>(reduction), 0.0, 1.0);
    return std::min(static_cast<std::size_t>(std::llround(keep * static_cast<double>(triangles))), kDrawingTriangleBudget);
}

bool decimateForDrawing(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces, float reduction,
                        const ProgressStage& stage, std::vector<Vec3f>& outVertices, std::vector<Triangle>& outFaces)
{
    // meshoptimizer reads flat indices; out-of-range ones would crash it.
    std::vector<unsigned int> indices;
    indices.reserve(faces.size() * 3);
    for (const Triangle& t : faces)
        if (t.inRange(vertices.size()))
            indices.insert(indices.end(), {t[0], t[1], t[2]});
    const std::size_t target = drawingDecimationTarget(indices.size() / 3, reduction);
    if (stage.canceled())
        return false;
    std::vector<unsigned int> kept;
    if (target < indices.size() / 3 && !vertices.empty())
        kept = simplifyInTwoHalves(indices, vertices, target);
    else
        kept = std::move(indices);
    if (stage.canceled())
        return false;
    // Renumber the vertices still in use, in their old order.
    std::vector<std::uint32_t> remap(vertices.size(), ~0u);
    for (unsigned int i : kept)
        remap[i] = 0;
    outVertices.clear();
    for (std::size_t i = 0; i < vertices.size(); ++i)
        if (remap[i] == 0) {
            remap[i] = static_cast<std::uint32_t>(outVertices.size());
            outVertices.push_back(vertices[i]);
        }
    outFaces.resize(kept.size() / 3);
    for (std::size_t f = 0; f < outFaces.size(); ++f)
        outFaces[f] = Triangle(remap[kept[3 * f]], remap[kept[3 * f + 1]], remap[kept[3 * f + 2]]);
    stage.finish();
    return true;
}

bool smoothForDrawing(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces,
                      const DrawingOptions& options, const ProgressStage& stage, std::vector<Vec3f>& outVertices,
                      std::vector<Triangle>& outFaces)
{
    vtkSmartPointer<vtkPolyData> poly = toPolyData(vertices, faces);
    if (!poly || stage.canceled())
        return false;
    auto smooth = vtkSmartPointer<vtkSmoothPolyDataFilter>::New();
    smooth->SetInputData(poly);
    smooth->SetNumberOfIterations(std::max(options.smoothIterations, 0));
    smooth->SetRelaxationFactor(options.smoothRelaxation);
    smooth->FeatureEdgeSmoothingOn();
    smooth->SetFeatureAngle(options.featureAngle);
    smooth->BoundarySmoothingOff();
    smooth->SetEdgeAngle(options.featureAngle);
    watchVtkProgress(smooth, stage);
    smooth->Update();
    if (stage.canceled())
        return false;
    return readBack(smooth->GetOutput(), outVertices, outFaces);
}

std::vector<MeshModel::DrawingEdge2D> MeshModel::computeDrawingEdges(const DrawingOptions& options,
                                                                     Progress* progress) const
{
    if (!hasMesh())
        return {};
    // The grid resolves no more than its budget, so decimating first leaves
    // the smoothing and the extraction fewer triangles to work on.
    SharedArray<Vec3f> meshVertices = vertices;
    SharedArray<Triangle> meshFaces = faces;
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    if (options.decimation > 0.01f) {
        if (!decimateForDrawing(vertices.vec(), faces.vec(), options.decimation, ProgressStage(progress, 0, 40), v, f))
            return {};
        meshVertices.assign(std::move(v));
        meshFaces.assign(std::move(f));
    }
    if (options.smoothIterations > 0) {
        if (!smoothForDrawing(meshVertices, meshFaces, options, ProgressStage(progress, 40, 75), v, f))
            return {};
        meshVertices.assign(std::move(v));
        meshFaces.assign(std::move(f));
    }
    std::vector<DrawingEdge2D> edges = extractDrawingEdges(meshVertices.vec(), meshFaces.vec(), options);
    if (isCanceled(progress))
        return {};
    if (progress)
        progress->setPercent(100);
    return edges;
}
