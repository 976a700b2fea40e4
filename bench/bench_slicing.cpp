// Alignment on import and axis slices of large synthetic scans: every slice
// position is new, so each iteration is a cache miss of the one-entry cache.
#include "bench/syntheticscan.h"
#include "model/mesh/meshmodel.h"
#include "model/section/slicecutter.h"
#include "model/section/sectionpostprocess.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include <map>
#include <memory>

namespace {

// Aligned models by triangle count, built once per process.
const MeshModel& alignedScan(std::size_t triangles)
{
    static std::map<std::size_t, std::unique_ptr<MeshModel>> cache;
    auto& slot = cache[triangles];
    if (!slot) {
        slot = std::make_unique<MeshModel>(makeSyntheticModel(triangles));
        slot->updateCaches();
        slot->autoAlignOnImport();
    }
    return *slot;
}

void BM_AutoAlignOnImport(benchmark::State& state)
{
    SyntheticScanOptions options;
    options.targetTriangles = std::size_t(state.range(0)) * 1000;
    const SyntheticScan scan = makeSyntheticScan(options);
    for (auto _ : state) {
        state.PauseTiming();
        MeshModel model;
        model.vertices.assign(scan.vertices);
        model.faces.assign(scan.faces);
        state.ResumeTiming();
        model.autoAlignOnImport();
        benchmark::DoNotOptimize(model.geometryRevision);
    }
}
BENCHMARK(BM_AutoAlignOnImport)->ArgName("ktri")->Arg(500)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(3);

// range(0): thousand triangles; range(1): band in tenths of a mm;
// range(2): 1 with the slice cutter built, 0 without (every triangle is
// checked against the plane).
void BM_SliceAndPostProcess(benchmark::State& state)
{
    MeshModel model = alignedScan(std::size_t(state.range(0)) * 1000);
    const float band = float(state.range(1)) / 10.0f;
    const float lo = model.boundsMin().z, hi = model.boundsMax().z;
    std::shared_ptr<const SliceCutter> cutter;
    if (state.range(2) != 0)
        cutter = SliceCutter::build(model);
    int step = 0;
    std::size_t segments = 0;
    for (auto _ : state) {
        ++step;
        const float position = lo + (hi - lo) * (0.05f + 0.09f * float(step % 10) + 0.0001f * float(step));
        const auto raw = model.sliceAxis(Axis::Z, position, band, cutter.get());
        SectionPostProcessSettings settings;
        settings.bandThickness = band;
        const SectionLines lines = postProcessSection(raw, Axis::Z, settings);
        segments = raw.size();
        benchmark::DoNotOptimize(lines.size());
    }
    state.counters["raw_segments"] = double(segments);
}
BENCHMARK(BM_SliceAndPostProcess)
    ->ArgNames({"ktri", "band_x10", "warm"})
    ->Args({500, 0, 1})
    ->Args({500, 8, 0})
    ->Args({2000, 0, 0})
    ->Args({2000, 0, 1})
    ->Args({2000, 8, 0})
    ->Args({5000, 0, 0})
    ->Args({5000, 0, 1})
    ->Args({5000, 8, 0})
    ->Unit(benchmark::kMillisecond);

// What a geometry change costs, on a fresh copy each time. range(1): 0 the
// first exact cut (interface thread), 1 the worker's slice cutter build.
void BM_AfterGeometryChange(benchmark::State& state)
{
    const MeshModel& source = alignedScan(std::size_t(state.range(0)) * 1000);
    for (auto _ : state) {
        state.PauseTiming();
        MeshModel model = source;
        model.updateCaches();
        state.ResumeTiming();
        if (state.range(1) == 0)
            benchmark::DoNotOptimize(model.sliceAxis(Axis::Z, 0.0f, 0.0f).size());
        else
            benchmark::DoNotOptimize(SliceCutter::build(model));
    }
}
BENCHMARK(BM_AfterGeometryChange)
    ->ArgNames({"ktri", "warm_up"})
    ->Args({2000, 0})
    ->Args({2000, 1})
    ->Args({5000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// A cancelled cutter build returns at its next check: the time from the
// request to the return, with the cancel raised from another thread after
// range(1) ms.
void BM_CutterBuildCancel(benchmark::State& state)
{
    const MeshModel& source = alignedScan(std::size_t(state.range(0)) * 1000);
    for (auto _ : state) {
        Progress progress;
        std::thread canceler([&progress, delay = state.range(1)]() {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            progress.cancel();
        });
        const auto cutter = SliceCutter::build(source, &progress);
        canceler.join();
        benchmark::DoNotOptimize(cutter);
    }
}
BENCHMARK(BM_CutterBuildCancel)->ArgNames({"ktri", "cancel_ms"})->Args({2000, 10})->Unit(benchmark::kMillisecond);

} // namespace
