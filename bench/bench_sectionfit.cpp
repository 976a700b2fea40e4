// Fitting sections with lines, arcs and circles: the exact cut of a 2 M-
// triangle synthetic scan (what "Fit Lines/Arcs" pays after the cut), and
// noisy CAD-like profiles of growing size to show the growth.
#include "bench/syntheticscan.h"
#include "model/mesh/meshmodel.h"
#include "model/section/sectionrequest.h"
#include "model/sectionfit/fitinput.h"
#include "model/sectionfit/sectionfit.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <random>

namespace {

using Chains = QList<QList<QPointF>>;

int vertexCount(const Chains& chains)
{
    int n = 0;
    for (const auto& c : chains)
        n += int(c.size());
    return n;
}

// The chained raw exact cut at mid-height across axis of the scan; cut once.
const Chains& scanChains(int axis)
{
    static MeshModel model;
    static std::map<int, Chains> cuts;
    if (model.vertices.empty()) {
        SyntheticScanOptions options;
        options.targetTriangles = 2000000;
        options.tilted = false;
        SyntheticScan scan = makeSyntheticScan(options);
        model.vertices.assign(std::move(scan.vertices));
        model.faces.assign(std::move(scan.faces));
    }
    auto it = cuts.find(axis);
    if (it == cuts.end()) {
        SectionRequest request;
        request.axis = axisFromIndex(axis);
        request.position = 0.5f * (model.boundsMin()[axis] + model.boundsMax()[axis]);
        it = cuts.emplace(axis, exactSectionChains(model, request)).first;
    }
    return it->second;
}

void BM_FitScanSection(benchmark::State& state)
{
    const Chains& chains = scanChains(int(state.range(0)));
    SectionFitParams params;
    params.tolerance = 0.05;
    sectionfit::FitResult result;
    for (auto _ : state) {
        result = sectionfit::fitSectionChains(chains, params);
        benchmark::DoNotOptimize(result.chains.data());
    }
    state.counters["raw_vertices"] = double(vertexCount(chains));
    state.counters["lines"] = result.lines;
    state.counters["arcs"] = result.arcs;
    state.counters["circles"] = result.circles;
    state.counters["max_dev_um"] = result.maxDeviation * 1000.0;
}
BENCHMARK(BM_FitScanSection)->ArgName("axis")->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

// Plates of 60 x 40 mm with R4 corners and a 10 mm hole, sampled every
// 0.05 mm with 0.01 mm noise, laid side by side: n vertices of CAD-like
// section at scan density.
Chains noisyPlates(int vertices)
{
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 0.01);
    const double step = 0.05;
    Chains out;
    int made = 0;
    for (int plate = 0; made < vertices; ++plate) {
        const QPointF at(70.0 * plate, 0.0);
        QList<QPointF> outline, hole;
        const auto add = [&](QList<QPointF>& to, const QPointF& p) { to.append(at + p + QPointF(noise(rng), noise(rng))); };
        const double w = 60, h = 40, r = 4;
        const QPointF corners[4] = {{w - r, r}, {w - r, h - r}, {r, h - r}, {r, r}};
        for (int side = 0; side < 4; ++side) {
            const double a0 = -M_PI / 2 + side * M_PI / 2;
            const QPointF c = corners[side];
            const QPointF from = c + r * QPointF(std::cos(a0), std::sin(a0));
            const QPointF prev = corners[(side + 3) % 4] + r * QPointF(std::cos(a0), std::sin(a0));
            const int n = int(std::hypot(from.x() - prev.x(), from.y() - prev.y()) / step);
            for (int k = 0; k < n; ++k)
                add(outline, prev + (from - prev) * (double(k) / n));
            const int m = int(r * M_PI / 2 / step);
            for (int k = 0; k < m; ++k) {
                const double a = a0 + (M_PI / 2) * k / m;
                add(outline, c + r * QPointF(std::cos(a), std::sin(a)));
            }
        }
        outline.append(outline.first());
        const int holeCount = int(2 * M_PI * 5 / step);
        for (int k = 0; k < holeCount; ++k)
            add(hole, QPointF(30 + 5 * std::cos(2 * M_PI * k / holeCount), 20 + 5 * std::sin(2 * M_PI * k / holeCount)));
        hole.append(hole.first());
        made += int(outline.size() + hole.size());
        out.append(outline);
        out.append(hole);
    }
    return out;
}

void BM_FitNoisyPlates(benchmark::State& state)
{
    const Chains chains = noisyPlates(int(state.range(0)));
    SectionFitParams params;
    params.tolerance = 0.05;
    sectionfit::FitResult result;
    for (auto _ : state) {
        result = sectionfit::fitSectionChains(chains, params);
        benchmark::DoNotOptimize(result.chains.data());
    }
    state.SetComplexityN(vertexCount(chains));
    state.counters["vertices"] = vertexCount(chains);
    state.counters["entities"] = result.lines + result.arcs + result.circles;
}
BENCHMARK(BM_FitNoisyPlates)
    ->ArgName("vertices")
    ->Arg(7000)
    ->Arg(28000)
    ->Arg(112000)
    ->Complexity(benchmark::oNLogN)
    ->Unit(benchmark::kMillisecond);

} // namespace
