// Render-side work the 3D view does on every new mesh: normals split at
// creases over the render mesh (200 k triangles after reduction, or a whole
// smaller mesh) and over a whole 2 M-triangle scan for the worst case.
#include "bench/syntheticscan.h"
#include "ui/view3d/creasenormals.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void BM_CreaseNormals(benchmark::State& state)
{
    static const MeshModel scan = [] {
        MeshModel m = makeSyntheticModel(2000000);
        m.updateCaches();
        return m;
    }();
    const bool whole = state.range(0) != 0;
    const SharedArray<Vec3f>& vertices = whole ? scan.vertices : scan.displayVertices;
    const SharedArray<Triangle>& faces = whole ? scan.faces : scan.displayFaces;
    std::vector<float> data(faces.size() * 18);
    for (auto _ : state) {
        writeCreaseNormals(vertices.data(), vertices.size(), faces.data(), faces.size(), kRenderCreaseDegrees,
                           data.data() + 3, 6);
        benchmark::DoNotOptimize(data.data());
    }
    state.counters["triangles"] = double(faces.size());
}
BENCHMARK(BM_CreaseNormals)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
