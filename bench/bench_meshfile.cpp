// Export Mesh of a 2 M-triangle scan in each format: the whole writer,
// compaction, encoding and the atomic write.
#include "bench/syntheticscan.h"
#include "export/meshwriter.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

constexpr std::size_t kTriangles = 2000000;

const SyntheticScan& scan()
{
    static const SyntheticScan s = makeSyntheticScan({kTriangles});
    return s;
}

void BM_ExportMesh(benchmark::State& state)
{
    const MeshFileFormat format = kMeshFileTypes[state.range(0)].format;
    const SyntheticScan& s = scan();
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

} // namespace
