// The repair program on a 2 M-triangle scan: its whole run, and the
// runner's reading of its output STL with the corners welded.
#include "bench/syntheticscan.h"
#include "model/repair/meshfixrunner.h"

#include <QProcess>
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

#ifdef HALVORAN_MESHFIX_PATH
// The whole repair program on a 2 M-triangle scan with 20 holes of 1.5 to
// 10 mm: reading, the seven steps, writing.
void BM_RepairProgram(benchmark::State& state)
{
    SyntheticScanOptions options;
    options.targetTriangles = kTriangles;
    options.holes = 20;
    const SyntheticScan scan = makeSyntheticScan(options);
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("scan.stl")), output = dir.filePath(QStringLiteral("out.stl"));
    writeBinaryStl(input.toStdString(), scan.vertices, scan.faces);
    for (auto _ : state) {
        QProcess program;
        program.start(QStringLiteral(HALVORAN_MESHFIX_PATH), {input, output});
        if (!program.waitForFinished(120000) || program.exitCode() != 0)
            state.SkipWithError("the repair program failed");
        // Every hole faired, or the figure would be for less work.
        if (!program.readAllStandardError().contains("20 holes: 20 filled with faired patches"))
            state.SkipWithError("not every hole was faired");
    }
    state.counters["triangles"] = double(scan.faces.size());
}
BENCHMARK(BM_RepairProgram)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

} // namespace
