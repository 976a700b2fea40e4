// Hole detection and filling on a 2 M-triangle scan with its three holes:
// the loop walk alone, the headless fill, and the model operation the Fill
// Holes command runs (array copies and cache rebuild included).
#include "bench/syntheticscan.h"
#include "model/repair/holes.h"
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
    }
    return *model;
}

void BM_HoleDetection(benchmark::State& state)
{
    const MeshModel& model = scan();
    std::size_t loops = 0;
    for (auto _ : state) {
        const auto found = model.findBoundaryLoops();
        loops = found.size();
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["loops"] = double(loops);
    state.counters["triangles"] = double(model.faces.size());
}
BENCHMARK(BM_HoleDetection)->Unit(benchmark::kMillisecond);

void BM_HoleFillArrays(benchmark::State& state)
{
    const MeshModel& model = scan();
    const auto loops = model.findBoundaryLoops();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<Vec3f> vertices = model.vertices.vec();
        std::vector<Triangle> faces = model.faces.vec();
        state.ResumeTiming();
        holes::fillHoles(vertices, faces, loops, {}, {});
        benchmark::DoNotOptimize(faces.data());
    }
    state.counters["loops"] = double(loops.size());
}
BENCHMARK(BM_HoleFillArrays)->Unit(benchmark::kMillisecond);

void BM_FillSelectedHolesCommand(benchmark::State& state)
{
    const MeshModel& model = scan();
    const auto loops = model.findBoundaryLoops();
    for (auto _ : state) {
        state.PauseTiming();
        MeshModel work = model;
        state.ResumeTiming();
        work.fillSelectedHoles(loops, {});
        benchmark::DoNotOptimize(work.faces.data());
    }
}
BENCHMARK(BM_FillSelectedHolesCommand)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
