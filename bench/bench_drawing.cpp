// 2D drawing of a 2 M-triangle scan: the whole model operation, then each
// stage on its own (decimation, smoothing, the extraction after them).
#include "bench/cancellatency.h"
#include "bench/syntheticscan.h"
#include "model/drawing/drawingedges.h"
#include "model/drawing/drawingpipeline.h"
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

DrawingOptions defaultOptions(bool hidden = false)
{
    return drawingOptionsFromPanel(DrawingView::Top, 30, 50, 0.5, true, true, hidden);
}

// The scan as the extraction sees it: decimated, then smoothed.
struct Prepared {
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
};
const Prepared& prepared()
{
    static std::unique_ptr<Prepared> p;
    if (!p) {
        p = std::make_unique<Prepared>();
        std::vector<Vec3f> v;
        std::vector<Triangle> f;
        decimateForDrawing(scan().vertices.vec(), scan().faces.vec(), defaultOptions().decimation, DrawingView::Top,
                           ProgressStage(nullptr, 0, 100), v, f);
        smoothForDrawing(SharedArray<Vec3f>(std::move(v)), SharedArray<Triangle>(std::move(f)), defaultOptions(),
                         ProgressStage(nullptr, 0, 100), p->vertices, p->faces);
    }
    return *p;
}

void countEdges(benchmark::State& state, const std::vector<DrawingEdge2D>& edges)
{
    int hidden = 0;
    for (const auto& e : edges)
        hidden += e.type == kDrawingHidden;
    state.counters["edges"] = double(edges.size());
    state.counters["hidden"] = double(hidden);
}

void BM_DrawingModelOperation(benchmark::State& state)
{
    const MeshModel& model = scan();
    const DrawingOptions options = defaultOptions(state.range(0) != 0);
    std::vector<DrawingEdge2D> edges;
    for (auto _ : state) {
        edges = model.computeDrawingEdges(options);
        benchmark::DoNotOptimize(edges.data());
    }
    countEdges(state, edges);
    state.counters["triangles"] = double(model.faces.size());
}
BENCHMARK(BM_DrawingModelOperation)->ArgName("hidden")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_DrawingDecimate(benchmark::State& state)
{
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    for (auto _ : state)
        decimateForDrawing(scan().vertices.vec(), scan().faces.vec(), defaultOptions().decimation, DrawingView::Top,
                           ProgressStage(nullptr, 0, 100), v, f);
    state.counters["triangles_out"] = double(f.size());
}
BENCHMARK(BM_DrawingDecimate)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_DrawingSmooth(benchmark::State& state)
{
    const SharedArray<Vec3f> v(prepared().vertices);
    const SharedArray<Triangle> f(prepared().faces);
    std::vector<Vec3f> outV;
    std::vector<Triangle> outF;
    for (auto _ : state)
        smoothForDrawing(v, f, defaultOptions(), ProgressStage(nullptr, 0, 100), outV, outF);
    state.counters["triangles"] = double(f.size());
}
BENCHMARK(BM_DrawingSmooth)->Unit(benchmark::kMillisecond)->Iterations(2);

// Depth grid, classification and clean-up on the prepared mesh (arg 0) and
// on the full scan (arg 1).
void BM_DrawingAfterFilters(benchmark::State& state)
{
    const bool full = state.range(0) != 0;
    const std::vector<Vec3f>& v = full ? scan().vertices.vec() : prepared().vertices;
    const std::vector<Triangle>& f = full ? scan().faces.vec() : prepared().faces;
    std::vector<DrawingEdge2D> edges;
    for (auto _ : state) {
        edges = extractDrawingEdges(v, f, defaultOptions(true));
        benchmark::DoNotOptimize(edges.data());
    }
    countEdges(state, edges);
    state.counters["triangles"] = double(f.size());
}
BENCHMARK(BM_DrawingAfterFilters)->ArgName("full")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

// From a cancel request to the drawing's return, at delays that land in the
// decimation, the smoothing and the extraction.
void BM_DrawingCancel(benchmark::State& state)
{
    const MeshModel& model = scan();
    const DrawingOptions options = defaultOptions();
    measureCancelLatency(state, int(state.range(0)), [&](Progress& progress) {
        benchmark::DoNotOptimize(model.computeDrawingEdges(options, &progress).size());
    });
}
BENCHMARK(BM_DrawingCancel)->ArgName("cancel_ms")->Arg(100)->Arg(300)->Arg(600)->Arg(1000)->Arg(1300)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
