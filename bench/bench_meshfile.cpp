// Export Mesh of a 2 M-triangle scan in each format (the whole writer:
// compaction, encoding, the atomic write), and the repair program on a
// 2 M-triangle scan with 20 holes of 1.5 to 10 mm (the whole process:
// reading, the seven steps, writing).
#include "bench/syntheticscan.h"
#include "export/meshwriter.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

constexpr std::size_t kTriangles = 2000000;

const SyntheticScan& scan(int holes)
{
    static SyntheticScan three, twenty;
    SyntheticScan& s = holes == 3 ? three : twenty;
    if (s.faces.empty()) {
        SyntheticScanOptions options;
        options.targetTriangles = kTriangles;
        options.holes = holes;
        s = makeSyntheticScan(options);
    }
    return s;
}

void BM_ExportMesh(benchmark::State& state)
{
    const MeshFileFormat format = kMeshFileTypes[state.range(0)].format;
    const SyntheticScan& s = scan(3);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mesh.") + QLatin1String(meshFileType(format).suffix));
    for (auto _ : state) {
        std::string error;
        if (!writeMeshFile(path, format, s.vertices, s.faces, &error))
            state.SkipWithError(error.c_str());
    }
    state.SetLabel(meshFileType(format).name);
    state.counters["triangles"] = double(s.faces.size());
    state.counters["MB"] = double(QFile(path).size()) / 1e6;
}
BENCHMARK(BM_ExportMesh)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

#ifdef HALVORAN_MESHFIX_PATH
void BM_RepairProgram(benchmark::State& state)
{
    const SyntheticScan& s = scan(20);
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("scan.stl")), output = dir.filePath(QStringLiteral("out.stl"));
    writeBinaryStl(input.toStdString(), s.vertices, s.faces);
    for (auto _ : state) {
        QProcess program;
        program.start(QStringLiteral(HALVORAN_MESHFIX_PATH), {input, output});
        if (!program.waitForFinished(120000) || program.exitCode() != 0)
            state.SkipWithError("the repair program failed");
        // Every hole faired, or the figure would be for less work.
        if (!program.readAllStandardError().contains("20 holes: 20 filled with faired patches"))
            state.SkipWithError("not every hole was faired");
    }
    state.counters["triangles"] = double(s.faces.size());
}
BENCHMARK(BM_RepairProgram)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

} // namespace
