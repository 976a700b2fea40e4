// ASC point clouds: text parse, KD-tree spacing estimate, and surface
// reconstruction (signed distance volume, zero contour) through VTK.

#include "io/pointcloud.h"

#include "io/meshimport.h"
#include "io/reconstructionfield.h"
#include "io/vtkmessages.h"

#include <nanoflann.hpp>

#include <QtGlobal>

#include <vtkCleanPolyData.h>
#include <vtkImageData.h>
#include <vtkContourFilter.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkReverseSense.h>
#include <vtkSmartPointer.h>
#include <vtkTriangleFilter.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::size_t kReconstructionPointLimit = 1200000;
constexpr std::size_t kSpacingSamples = 4096;
// The reconstruction samples a regular volume and indexes it with int; a
// cloud of near-duplicate points spread far apart would ask for billions of
// voxels. Above this budget the sampling is made coarser.
constexpr double kMaxVoxels = double(1u << 27);
// Far outliers: points beyond the cloud's bulk (between these quantiles on
// every axis) by more than the bulk's own largest extent. A handful of stray
// coordinates such as 1e12 would otherwise set the bounds and coarsen the
// sampling until the part vanishes in one voxel.
constexpr double kBulkQuantile = 0.005;

using KdTree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<float, NfPointCloud>, NfPointCloud,
                                                   3, std::uint32_t>;

bool fail(std::string* error, const char* message)
{
    if (error)
        *error = message;
    return false;
}

struct Bounds {
    Vec3f lo, hi;
};

Bounds boundsOf(const std::vector<Vec3f>& points)
{
    Bounds b{points.front(), points.front()};
    for (const Vec3f& p : points) {
        b.lo = {std::min(b.lo.x, p.x), std::min(b.lo.y, p.y), std::min(b.lo.z, p.z)};
        b.hi = {std::max(b.hi.x, p.x), std::max(b.hi.y, p.y), std::max(b.hi.z, p.z)};
    }
    return b;
}

double diagonal(const Bounds& b)
{
    const double dx = double(b.hi.x) - b.lo.x, dy = double(b.hi.y) - b.lo.y, dz = double(b.hi.z) - b.lo.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Spacing such that the filter's volume (bounds grown by two samples on
// every side) stays within the voxel budget.
double withinVoxelBudget(const Bounds& b, double spacing)
{
    for (int round = 0; round < 64; ++round) {
        double voxels = 1.0;
        for (int a = 0; a < 3; ++a)
            voxels *= std::floor((double(b.hi[a]) - b.lo[a] + 4.0 * spacing) / spacing);
        if (voxels <= kMaxVoxels)
            break;
        spacing *= std::max(std::cbrt(voxels / kMaxVoxels), 1.01);
    }
    return spacing;
}

// The points within the bulk's bounds grown by its largest extent, in order.
std::vector<Vec3f> withoutFarOutliers(const std::vector<Vec3f>& points)
{
    const std::size_t n = points.size();
    const std::size_t low = std::size_t(double(n) * kBulkQuantile), high = n - 1 - low;
    Bounds bulk;
    std::vector<float> values(n);
    for (int a = 0; a < 3; ++a) {
        for (std::size_t i = 0; i < n; ++i)
            values[i] = points[i][a];
        std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(low), values.end());
        bulk.lo[a] = values[low];
        std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(high), values.end());
        bulk.hi[a] = values[high];
    }
    double margin = 0.0;
    for (int a = 0; a < 3; ++a)
        margin = std::max(margin, double(bulk.hi[a]) - double(bulk.lo[a]));
    std::vector<Vec3f> kept;
    kept.reserve(n);
    for (const Vec3f& p : points) {
        bool inside = true;
        for (int a = 0; a < 3; ++a)
            inside = inside && double(p[a]) >= double(bulk.lo[a]) - margin && double(p[a]) <= double(bulk.hi[a]) + margin;
        if (inside)
            kept.push_back(p);
    }
    return kept;
}

} // namespace

float medianPointSpacing(const std::vector<Vec3f>& points)
{
    const std::size_t n = points.size();
    if (n < 4)
        return 0.0f;
    const NfPointCloud cloud{points};
    const KdTree tree(3, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(16));
    const std::size_t samples = std::min(n, kSpacingSamples);
    const std::size_t stride = std::max<std::size_t>(n / samples, 1);
    std::vector<float> distances;
    distances.reserve(samples);
    for (std::size_t i = 0; i < n && distances.size() < samples; i += stride) {
        std::uint32_t index[2];
        float squared[2];
        const float query[3] = {points[i].x, points[i].y, points[i].z};
        // The first neighbour is the point itself (or a duplicate of it).
        if (tree.knnSearch(query, 2, index, squared) == 2)
            distances.push_back(std::sqrt(std::max(squared[1], 0.0f)));
    }
    if (distances.empty())
        return 0.0f;
    const auto middle = distances.begin() + std::ptrdiff_t(distances.size() / 2);
    std::nth_element(distances.begin(), middle, distances.end());
    return *middle;
}

std::size_t reconstructionStride(std::size_t pointCount)
{
    if (pointCount <= kReconstructionPointLimit)
        return 1;
    return std::max<std::size_t>(pointCount / kReconstructionPointLimit, 1);
}

double reconstructionSampleSpacing(const std::vector<Vec3f>& keptPoints)
{
    if (keptPoints.empty())
        return 0.0001;
    const Bounds bounds = boundsOf(keptPoints);
    const double spacing = medianPointSpacing(keptPoints);
    const double sample = spacing > 1e-6 ? 1.75 * spacing : std::max(diagonal(bounds) / 300.0, 0.0001);
    return withinVoxelBudget(bounds, sample);
}

bool reconstructSurface(const std::vector<Vec3f>& points, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                        std::string* error, Progress* progress)
{
    vertices.clear();
    faces.clear();
    if (points.size() < 3)
        return fail(error, "ASC file needs at least 3 points.");

    const std::vector<Vec3f> bulk = withoutFarOutliers(points);
    if (bulk.size() < points.size())
        qWarning("[LOAD] ASC: %zu far outlier points left out of the reconstruction", points.size() - bulk.size());
    const std::size_t stride = reconstructionStride(bulk.size());
    std::vector<Vec3f> kept;
    kept.reserve(bulk.size() / stride + 1);
    for (std::size_t i = 0; i < bulk.size(); i += stride)
        kept.push_back(bulk[i]);
    const double spacing = reconstructionSampleSpacing(kept);
    if (isCanceled(progress))
        return fail(error, "Load canceled.");

    auto cloudPoints = vtkSmartPointer<vtkPoints>::New();
    cloudPoints->SetDataTypeToDouble();
    cloudPoints->SetNumberOfPoints(vtkIdType(kept.size()));
    for (std::size_t i = 0; i < kept.size(); ++i)
        cloudPoints->SetPoint(vtkIdType(i), kept[i].x, kept[i].y, kept[i].z);
    auto cloud = vtkSmartPointer<vtkPolyData>::New();
    cloud->SetPoints(cloudPoints);

    // vtkSurfaceReconstructionFilter's volume, computed so that it scales and
    // can be cancelled.
    const vtkSmartPointer<vtkImageData> field = reconstructionField(cloud, 24, spacing, progress);
    if (!field)
        return fail(error, isCanceled(progress) ? "Load canceled." : "No valid triangle mesh data found.");

    VtkMessageSink sink;
    auto contour = vtkSmartPointer<vtkContourFilter>::New();
    sink.watch(contour);
    contour->SetInputData(field);
    contour->SetNumberOfContours(1);
    contour->SetValue(0, 0.0);

    // The contour of the reconstructed field comes out inside-out.
    auto reverse = vtkSmartPointer<vtkReverseSense>::New();
    sink.watch(reverse);
    reverse->SetInputConnection(contour->GetOutputPort());
    reverse->ReverseCellsOn();
    reverse->ReverseNormalsOn();

    auto triangles = vtkSmartPointer<vtkTriangleFilter>::New();
    sink.watch(triangles);
    triangles->SetInputConnection(reverse->GetOutputPort());
    triangles->PassVertsOff();
    triangles->PassLinesOff();

    auto clean = vtkSmartPointer<vtkCleanPolyData>::New();
    sink.watch(clean);
    clean->SetInputConnection(triangles->GetOutputPort());
    clean->Update();
    return polyDataToMesh(clean->GetOutput(), vertices, faces, error);
}
