// Alignment commands on a 2 M-triangle scan, as the window runs them: an undo
// entry first (sharing the arrays), then the change with its cache rebuild.
// range(0) = 1 takes the undo entry, so the first write pays the one copy of
// the vertex array that keeping the old pose needs; 0 shows the change alone.
#include "bench/syntheticscan.h"
#include "model/align/alignmentcommands.h"
#include "model/align/alignmenthistory.h"
#include "model/mesh/meshmodel.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

namespace {

constexpr std::size_t kTriangles = 2000000;

MeshModel& alignedScan()
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

void runCommand(benchmark::State& state, const std::function<void(MeshModel&)>& command, bool withFaces = false)
{
    MeshModel& model = alignedScan();
    AlignmentHistory history;
    for (auto _ : state) {
        if (state.range(0) != 0)
            history.record(model, withFaces);
        command(model);
        benchmark::DoNotOptimize(model.geometryRevision);
    }
    state.counters["triangles"] = double(model.faces.size());
}

void BM_ApplyRotationOnly(benchmark::State& state)
{
    runCommand(state, [](MeshModel& m) { m.applyRotation(fineTuneRotation(0.3f, 0.0f, 0.0f)); });
}
BENCHMARK(BM_ApplyRotationOnly)->ArgName("undo_entry")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FineTune(benchmark::State& state)
{
    runCommand(state, [](MeshModel& m) { m.applyFineTune(0.4f, -0.2f, 0.3f); });
}
BENCHMARK(BM_FineTune)->ArgName("undo_entry")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Flip180(benchmark::State& state)
{
    runCommand(state, [](MeshModel& m) { m.flipAboutAxis(Axis::X, 180.0f); });
}
BENCHMARK(BM_Flip180)->ArgName("undo_entry")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PickedFaceAlignment(benchmark::State& state)
{
    int turn = 0;
    runCommand(state, [&turn](MeshModel& m) {
        m.alignToPickedFace(QVector3D(0, 1, 0), QVector3D(1, 0, 0), Axis::Z, float(45 * (turn++ % 8)));
    });
}
BENCHMARK(BM_PickedFaceAlignment)->ArgName("undo_entry")->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PrincipalAxisAlignment(benchmark::State& state)
{
    runCommand(state, [](MeshModel& m) { m.alignPrincipalAxes(Axis::Z, 45.0f); });
}
BENCHMARK(BM_PrincipalAxisAlignment)->ArgName("undo_entry")->Arg(1)->Unit(benchmark::kMillisecond);

void BM_SwapXY(benchmark::State& state)
{
    runCommand(state, [](MeshModel& m) { m.swapXYAxes(); }, true);
}
BENCHMARK(BM_SwapXY)->ArgName("undo_entry")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ResetAlignment(benchmark::State& state)
{
    runCommand(state, [](MeshModel& m) { m.resetAlignment(); });
}
BENCHMARK(BM_ResetAlignment)->ArgName("undo_entry")->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(4);

// One undo and one redo per iteration: the arrays only change hands, then
// the render mesh and slice list are rebuilt.
void BM_UndoRedo(benchmark::State& state)
{
    MeshModel& model = alignedScan();
    AlignmentHistory history;
    history.record(model);
    model.flipAboutAxis(Axis::Y, 180.0f);
    for (auto _ : state) {
        history.undo(model);
        history.redo(model);
        benchmark::DoNotOptimize(model.geometryRevision);
    }
}
BENCHMARK(BM_UndoRedo)->Unit(benchmark::kMillisecond);

} // namespace
