// The wireframes of a 2 M-triangle scan: the lattice's background build (360
// exact cuts on every core, chaining, lanes), the slider's cheap
// re-selection, and the long-feature build on the interface thread.
#include "bench/cancellatency.h"
#include "bench/syntheticscan.h"
#include "model/section/slicecutter.h"
#include "model/wireframe/lattice.h"
#include "model/wireframe/longfeature.h"
#include "model/mesh/meshmodel.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

const MeshModel& alignedScan2M()
{
    static std::unique_ptr<MeshModel> model;
    if (!model) {
        model = std::make_unique<MeshModel>(makeSyntheticModel(2000000));
        model->updateCaches();
        model->autoAlignOnImport();
    }
    return *model;
}

// range(0): 1 with the slice cutter already built (the window builds it
// after every geometry change), 0 when the lattice has to build it first.
void BM_LatticeBuild(benchmark::State& state)
{
    std::size_t segments = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // A fresh copy with new arrays has no cutter yet.
        MeshModel copy = alignedScan2M();
        copy.vertices.edit();
        std::shared_ptr<const SliceCutter> cutter;
        if (state.range(0) != 0)
            cutter = SliceCutter::build(copy);
        state.ResumeTiming();
        LatticeSegments lattice = computeLatticeSegments(copy, cutter.get());
        LatticeLanes lanes;
        buildLatticeLanes(lattice, lanes, copy.boundsMin(), copy.boundsMax());
        segments = lattice.size();
        benchmark::DoNotOptimize(lanes.alongX.size());
    }
    state.counters["segments"] = double(segments);
}
// From a cancel request to the build's return, at delays that land in the
// cutter build and in the cuts.
void BM_LatticeCancel(benchmark::State& state)
{
    const MeshModel& model = alignedScan2M();
    measureCancelLatency(state, int(state.range(0)), [&model](Progress& progress) {
        benchmark::DoNotOptimize(computeLatticeSegments(model, nullptr, &progress).size());
    });
}
BENCHMARK(BM_LatticeCancel)->ArgName("cancel_ms")->Arg(20)->Arg(400)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK(BM_LatticeBuild)->ArgName("warm")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_LatticeSelection(benchmark::State& state)
{
    const MeshModel& model = alignedScan2M();
    static LatticeSegments lattice;
    static LatticeLanes lanes;
    if (lattice.empty()) {
        lattice = computeLatticeSegments(model);
        buildLatticeLanes(lattice, lanes, model.boundsMin(), model.boundsMax());
    }
    std::vector<std::uint32_t> map;
    std::size_t shown = 0;
    for (auto _ : state) {
        shown = selectLatticeForDisplay(lattice, lanes, model.boundsMin(), model.boundsMax(), int(state.range(0)), map)
                    .size();
        benchmark::DoNotOptimize(shown);
    }
    state.counters["shown"] = double(shown);
}
BENCHMARK(BM_LatticeSelection)->ArgName("complexity")->Arg(10)->Arg(70)->Arg(100)->Unit(benchmark::kMillisecond);

// range(0): 0 with the feature edges still to find (after a geometry or
// angle change), 1 with them cached in the model (a cleanup change never
// rebuilds; this is the chaining and ranking alone).
void BM_LongFeatureBuild(benchmark::State& state)
{
    std::size_t segments = 0;
    for (auto _ : state) {
        state.PauseTiming();
        MeshModel copy = alignedScan2M();
        copy.featureEdgeCacheValid = false;
        if (state.range(0) != 0)
            copy.featureEdges(30.0f);
        state.ResumeTiming();
        segments = buildLongFeatureSegments(copy, 30.0f).size();
        benchmark::DoNotOptimize(segments);
    }
    state.counters["segments"] = double(segments);
}
BENCHMARK(BM_LongFeatureBuild)->ArgName("edges_cached")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
