// The section path from the window's point of view: starting a background
// slice task (a model copy) and writing a large section as DXF.
#include "bench/syntheticscan.h"
#include "export/dxfwriter.h"
#include "model/mesh/meshmodel.h"
#include "model/section/sectionrequest.h"
#include "model/section/slicecutter.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cmath>
#include <memory>

namespace {

// The worker task gets its own copy of the live model; it must share the
// arrays rather than touch fresh memory.
void BM_SliceTaskModelCopy(benchmark::State& state)
{
    MeshModel live = makeSyntheticModel(std::size_t(state.range(0)) * 1000);
    live.updateCaches();
    live.autoAlignOnImport();
    for (auto _ : state) {
        auto copy = std::make_shared<MeshModel>(live);
        benchmark::DoNotOptimize(copy->faces.size());
    }
}
BENCHMARK(BM_SliceTaskModelCopy)->ArgName("ktri")->Arg(2000)->Unit(benchmark::kMicrosecond);

// The whole worker task on its private copy: cut + post-processing, each
// iteration at a new position.
void BM_SliceTask(benchmark::State& state)
{
    MeshModel live = makeSyntheticModel(2000 * 1000);
    live.updateCaches();
    live.autoAlignOnImport();
    const float lo = live.boundsMin()[2], hi = live.boundsMax()[2];
    SectionRequest request;
    request.bandThickness = float(state.range(0)) / 10.0f;
    request.position = 0.5f * (lo + hi);
    const auto cutter = SliceCutter::build(live); // the window builds it on a worker after every load
    int step = 0;
    std::size_t lines = 0;
    for (auto _ : state) {
        ++step;
        request.position = lo + (hi - lo) * (0.05f + 0.09f * float(step % 10) + 0.0001f * float(step));
        MeshModel copy(live);
        lines = computeSectionLines(copy, request, cutter.get()).size();
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines"] = double(lines);
}
BENCHMARK(BM_SliceTask)->ArgName("band_tenths")->Arg(0)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_SectionDxfExport(benchmark::State& state)
{
    SectionLines lines;
    const int count = int(state.range(0));
    lines.reserve(count);
    for (int i = 0; i < count; ++i) {
        const double a = 2.0 * M_PI * i / count, b = 2.0 * M_PI * (i + 1) / count;
        lines.append(QLineF(120.0 * std::cos(a), 80.0 * std::sin(a), 120.0 * std::cos(b), 80.0 * std::sin(b)));
    }
    SectionDxfContent content;
    content.lines = &lines;
    for (int i = 0; i < count; ++i)
        content.visibleIndices.push_back(i);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("section.dxf"));
    for (auto _ : state) {
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Text);
        QTextStream out(&file);
        writeSectionDxf(out, content, [](int) { return true; });
        out.flush();
        file.close();
    }
    state.counters["bytes"] = double(QFile(path).size());
}
BENCHMARK(BM_SectionDxfExport)->ArgName("lines")->Arg(200000)->Unit(benchmark::kMillisecond);

} // namespace
