// The repair program's hand-over on a 2 M-triangle scan: reading its output
// STL back with the corners welded, and filling the scan's holes through an
// in-process repair that does what the bundled repair program does, so the
// patch bookkeeping is timed without a process start.
#include "bench/syntheticscan.h"
#include "model/repair/holes.h"
#include "model/repair/meshfixrunner.h"
#include "model/repair/repairtools.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr std::size_t kTriangles = 2000000;

void BM_RepairReadBack(benchmark::State& state)
{
    const SyntheticScan scan = makeSyntheticScan({kTriangles});
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("output.stl"));
    if (!meshfix::writeBinaryStl(path, scan.vertices, scan.faces)) {
        state.SkipWithError("cannot write the STL");
        return;
    }
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
    for (auto _ : state) {
        meshfix::readBinaryStl(path, vertices, faces);
        benchmark::DoNotOptimize(faces.data());
    }
    state.counters["vertices"] = double(vertices.size());
}
BENCHMARK(BM_RepairReadBack)->Unit(benchmark::kMillisecond)->Iterations(5);

MeshFixResult repairInProcess(const std::vector<Vec3f>& v, const std::vector<Triangle>& f)
{
    MeshFixResult result{v, f, false, {}};
    repairtools::orientConsistently(result.vertices, result.faces);
    for (const holes::Loop& loop : holes::findBoundaryLoops(result.vertices, result.faces))
        holes::triangulateLoop(result.vertices, loop, result.faces);
    result.success = true;
    return result;
}

void BM_HoleFillThroughRepair(benchmark::State& state)
{
    const SyntheticScan scan = makeSyntheticScan({kTriangles});
    const auto loops = holes::findBoundaryLoops(scan.vertices, scan.faces);
    holes::FillStats stats;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<Vec3f> vertices = scan.vertices;
        std::vector<Triangle> faces = scan.faces;
        stats = {};
        state.ResumeTiming();
        holes::fillHoles(vertices, faces, loops, {}, repairInProcess, nullptr, nullptr, &stats);
        benchmark::DoNotOptimize(faces.data());
    }
    state.counters["patched"] = double(stats.patched);
}
BENCHMARK(BM_HoleFillThroughRepair)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
