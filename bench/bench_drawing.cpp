// 2D drawing extraction on a 2 M-triangle scan: the whole model operation
// (VTK smoothing and decimation included) and the headless part after the
// filters (depth grid, classification, clutter filter, chaining) on its own.
#include "bench/cancellatency.h"
#include "bench/syntheticscan.h"
#include "model/drawing/drawingedges.h"
#include "model/mesh/meshmodel.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr std::size_t kTriangles = 2000000;

const MeshModel& scan()
{
    static std::unique_ptr<MeshModel> model;
    if (!model) {
        model = std::make_unique<MeshModel>(makeSyntheticModel(kTriangles));
        model->updateCaches();
        model->autoAlignOnImport();
    }
    return *model;
}

void countEdges(benchmark::State& state, const std::vector<DrawingEdge2D>& edges)
{
    int hidden = 0;
    for (const auto& e : edges)
        hidden += e.type == kDrawingHidden;
    state.counters["edges"] = double(edges.size());
    state.counters["hidden"] = double(hidden);
    state.counters["triangles"] = double(scan().faces.size());
}

void BM_DrawingModelOperation(benchmark::State& state)
{
    const MeshModel& model = scan();
    // Arg 1: without the decimation, to split its share off.
    DrawingOptions options = drawingOptionsFromPanel(DrawingView::Top, 30, 50, 0.5, true, true, false);
    if (state.range(0) == 1)
        options.decimation = 0.0f;
    std::vector<DrawingEdge2D> edges;
    for (auto _ : state) {
        edges = model.computeDrawingEdges(options);
        benchmark::DoNotOptimize(edges.data());
    }
    countEdges(state, edges);
}
BENCHMARK(BM_DrawingModelOperation)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// From a cancel request to the drawing's return, at delays that land in the
// smoothing, the decimation and the extraction.
void BM_DrawingCancel(benchmark::State& state)
{
    const MeshModel& model = scan();
    const DrawingOptions options = drawingOptionsFromPanel(DrawingView::Top, 30, 50, 0.5, true, true, false);
    measureCancelLatency(state, int(state.range(0)), [&](Progress& progress) {
        benchmark::DoNotOptimize(model.computeDrawingEdges(options, &progress).size());
    });
}
BENCHMARK(BM_DrawingCancel)->ArgName("cancel_ms")->Arg(100)->Arg(1500)->Arg(6000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_DrawingAfterFilters(benchmark::State& state)
{
    const MeshModel& model = scan();
    DrawingOptions options = drawingOptionsFromPanel(DrawingView::Top, 30, 50, 0.5, true, true, state.range(0) != 0);
    std::vector<DrawingEdge2D> edges;
    for (auto _ : state) {
        edges = extractDrawingEdges(model.vertices.vec(), model.faces.vec(), options);
        benchmark::DoNotOptimize(edges.data());
    }
    countEdges(state, edges);
}
BENCHMARK(BM_DrawingAfterFilters)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
