// ASC surface reconstruction in this process: VTK's filter against the
// reconstruction field that computes its volume, on points spread over a
// sphere (the worst case for closest-point searches: the centre is equally
// far from every point) and over the faces of a box (part-like).

#include "io/pointcloud.h"
#include "io/reconstructionfield.h"

#include <vtkImageData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSurfaceReconstructionFilter.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

std::vector<Vec3f> cloud(bool sphere, int count)
{
    std::mt19937 random(11);
    std::normal_distribution<float> normal;
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<Vec3f> points;
    for (int i = 0; i < count; ++i) {
        if (sphere) {
            Vec3f p{normal(random), normal(random), normal(random)};
            points.push_back(p * (10.0f / std::sqrt(dot(p, p))));
        } else {
            // A 40 x 20 x 10 box; a face is picked in proportion to its area.
            const float pick = unit(random);
            const float sign = pick < 0 ? -1.0f : 1.0f;
            Vec3f p{20 * unit(random), 10 * unit(random), 5 * unit(random)};
            if (std::fabs(pick) < 0.57f)
                p.z = 5 * sign;
            else if (std::fabs(pick) < 0.86f)
                p.y = 10 * sign;
            else
                p.x = 20 * sign;
            points.push_back(p);
        }
    }
    return points;
}

vtkSmartPointer<vtkPolyData> polyData(const std::vector<Vec3f>& points)
{
    auto vtk = vtkSmartPointer<vtkPoints>::New();
    vtk->SetDataTypeToDouble();
    for (const Vec3f& p : points)
        vtk->InsertNextPoint(p.x, p.y, p.z);
    auto data = vtkSmartPointer<vtkPolyData>::New();
    data->SetPoints(vtk);
    return data;
}

// Args: sphere (1) or box (0), point count.
void BM_ReconstructionField(benchmark::State& state)
{
    const std::vector<Vec3f> points = cloud(state.range(0) != 0, int(state.range(1)));
    const auto data = polyData(points);
    const double spacing = reconstructionSampleSpacing(points);
    for (auto _ : state)
        benchmark::DoNotOptimize(reconstructionField(data, 24, spacing));
    state.counters["points"] = double(points.size());
}
BENCHMARK(BM_ReconstructionField)
    ->Args({1, 5000})->Args({1, 20000})->Args({1, 50000})->Args({0, 50000})->Args({0, 200000})
    ->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_VtkSurfaceReconstructionFilter(benchmark::State& state)
{
    const std::vector<Vec3f> points = cloud(state.range(0) != 0, int(state.range(1)));
    const auto data = polyData(points);
    const double spacing = reconstructionSampleSpacing(points);
    for (auto _ : state) {
        auto filter = vtkSmartPointer<vtkSurfaceReconstructionFilter>::New();
        filter->SetInputData(data);
        filter->SetNeighborhoodSize(24);
        filter->SetSampleSpacing(spacing);
        filter->Update();
        benchmark::DoNotOptimize(filter->GetOutput());
    }
    state.counters["points"] = double(points.size());
}
BENCHMARK(BM_VtkSurfaceReconstructionFilter)
    ->Args({1, 5000})->Args({1, 20000})->Args({0, 50000})
    ->Iterations(1)->Unit(benchmark::kMillisecond);

// The whole reconstruction (field, contour, clean, conversion).
void BM_ReconstructSurface(benchmark::State& state)
{
    const std::vector<Vec3f> points = cloud(state.range(0) != 0, int(state.range(1)));
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
    for (auto _ : state)
        benchmark::DoNotOptimize(reconstructSurface(points, vertices, faces, nullptr));
    state.counters["triangles"] = double(faces.size());
}
BENCHMARK(BM_ReconstructSurface)->Args({0, 50000})->Args({0, 200000})->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
