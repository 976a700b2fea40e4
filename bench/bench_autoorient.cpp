// Auto Orient and Rect Snap on a 2 M-triangle scan, each run from the same
// auto-aligned pose (the copy shares the arrays, so only the command's own
// writes are paid for).
#include "bench/syntheticscan.h"
#include "model/align/flatfaceorient.h"
#include "model/mesh/meshmodel.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr std::size_t kTriangles = 2000000;

const MeshModel& alignedScan()
{
    static std::unique_ptr<MeshModel> model;
    if (!model) {
        model = std::make_unique<MeshModel>(makeSyntheticModel(kTriangles));
        model->loadedVertices = model->vertices;
        model->loadedFaces = model->faces;
        model->updateCaches();
        model->autoAlignOnImport();
    }
    return *model;
}

void BM_FlatFaceDetection(benchmark::State& state)
{
    const MeshModel& scan = alignedScan();
    for (auto _ : state) {
        FlatFacePlane plane;
        benchmark::DoNotOptimize(
            detectFlatFace(scan.vertices.data(), scan.vertices.size(), scan.faces.data(), scan.faces.size(), &plane, nullptr));
    }
    state.counters["triangles"] = double(scan.faces.size());
}
BENCHMARK(BM_FlatFaceDetection)->Unit(benchmark::kMillisecond);

void BM_AutoOrient(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<MeshModel>(alignedScan());
        state.ResumeTiming();
        benchmark::DoNotOptimize(model->autoOrientFlatFace(0, Axis::X, 2.0f));
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AutoOrient)->Unit(benchmark::kMillisecond);

void BM_RectSnap(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<MeshModel>(alignedScan());
        QVector3D minor;
        model->computePrincipalAxes(nullptr, nullptr, nullptr, &minor);
        state.ResumeTiming();
        benchmark::DoNotOptimize(model->rectangleSnap(minor, Axis::Z, 0, 2.0f));
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RectSnap)->Unit(benchmark::kMillisecond);

} // namespace
