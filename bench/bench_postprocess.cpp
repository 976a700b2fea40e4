// Section post-processing: the whole chain (keep, project, cleanup, smoothing,
// chaining) on synthetic raw cuts of growing size, to show it scales linearly,
// and on the real cut of a 2 M-triangle scan, which is what a slider drag pays.
#include "bench/syntheticscan.h"
#include "model/mesh/meshmodel.h"
#include "model/section/sectionpostprocess.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

namespace {

using Segments = std::vector<MeshModel::SliceSegment3D>;

// Closed noisy rings of 250 segments (radius 10 mm) laid out on a grid, each
// vertex jittered by up to 0.02 mm, shuffled: a raw cut with many pieces.
Segments noisyRings(std::size_t segmentCount)
{
    constexpr int perRing = 250;
    std::uint32_t state = 12345u;
    const auto uniform = [&state](float lo, float hi) {
        state = state * 1664525u + 1013904223u;
        return lo + (hi - lo) * float(state >> 8) / float(1u << 24);
    };
    const int rings = int((segmentCount + perRing - 1) / perRing);
    const int columns = std::max(1, int(std::ceil(std::sqrt(double(rings)))));
    Segments out;
    out.reserve(std::size_t(rings) * perRing);
    for (int r = 0; r < rings; ++r) {
        const float cx = 25.0f * float(r % columns);
        const float cy = 25.0f * float(r / columns);
        std::vector<Vec3f> points;
        for (int i = 0; i < perRing; ++i) {
            const float a = 2.0f * float(M_PI) * float(i) / perRing;
            points.emplace_back(cx + 10.0f * std::cos(a) + uniform(-0.02f, 0.02f),
                                cy + 10.0f * std::sin(a) + uniform(-0.02f, 0.02f), 0.0f);
        }
        for (int i = 0; i < perRing; ++i)
            out.push_back({points[std::size_t(i)], points[std::size_t((i + 1) % perRing)]});
    }
    out.resize(segmentCount);
    for (std::size_t i = out.size(); i > 1; --i)
        std::swap(out[i - 1], out[std::size_t(uniform(0.0f, 0.999f) * float(i))]);
    return out;
}

void BM_PostProcessNoisyRings(benchmark::State& state)
{
    const Segments raw = noisyRings(std::size_t(state.range(0)));
    SectionPostProcessSettings settings;
    settings.bandThickness = state.range(1) ? 0.8f : 0.0f;
    std::size_t lines = 0;
    for (auto _ : state) {
        const SectionLines out = postProcessSection(raw, Axis::Z, settings);
        lines = std::size_t(out.size());
        benchmark::DoNotOptimize(out.constData());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(std::int64_t(state.iterations()) * state.range(0));
    state.counters["out_lines"] = double(lines);
}
BENCHMARK(BM_PostProcessNoisyRings)
    ->ArgNames({"segments", "band"})
    ->ArgsProduct({{10000, 30000, 100000}, {0}})
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PostProcessNoisyRings)
    ->ArgNames({"segments", "band"})
    ->ArgsProduct({{10000, 30000, 100000}, {1}})
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// The raw mid-height Z cut of a 2 M-triangle synthetic scan, per band
// thickness; cut once and kept for all runs.
const Segments& scanCut(float band)
{
    static MeshModel model;
    static std::map<float, Segments> cuts;
    if (model.vertices.empty()) {
        SyntheticScanOptions options;
        options.targetTriangles = 2000000;
        options.tilted = false;
        SyntheticScan scan = makeSyntheticScan(options);
        model.vertices.assign(std::move(scan.vertices));
        model.faces.assign(std::move(scan.faces));
    }
    auto it = cuts.find(band);
    if (it == cuts.end()) {
        const float mid = 0.5f * (model.boundsMin().z + model.boundsMax().z);
        it = cuts.emplace(band, model.sliceAxis(Axis::Z, mid, band)).first;
    }
    return it->second;
}

void BM_PostProcessScanCut(benchmark::State& state)
{
    const float band = float(state.range(0)) / 10.0f;
    const Segments& raw = scanCut(band);
    SectionPostProcessSettings settings;
    settings.bandThickness = band;
    std::size_t lines = 0;
    for (auto _ : state) {
        const SectionLines out = postProcessSection(raw, Axis::Z, settings);
        lines = std::size_t(out.size());
        benchmark::DoNotOptimize(out.constData());
    }
    state.counters["raw_segments"] = double(raw.size());
    state.counters["out_lines"] = double(lines);
}
BENCHMARK(BM_PostProcessScanCut)->ArgName("band_x10")->Arg(0)->Arg(8)->Unit(benchmark::kMillisecond);

} // namespace
