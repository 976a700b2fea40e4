// Section SVG of a large section, a slice stack of a full-size scan, and
// reading a large DXF back as a comparison overlay.
#include "bench/syntheticscan.h"
#include "export/dxflinereader.h"
#include "export/slicestackdxf.h"
#include "export/svgwriter.h"
#include "model/mesh/meshmodel.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cmath>

namespace {

SectionLines ellipse(int count)
{
    SectionLines lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i) {
        const double a = 2.0 * M_PI * i / count, b = 2.0 * M_PI * (i + 1) / count;
        lines.append(QLineF(120.0 * std::cos(a), 80.0 * std::sin(a), 120.0 * std::cos(b), 80.0 * std::sin(b)));
    }
    return lines;
}

void BM_SectionSvgExport(benchmark::State& state)
{
    const SectionLines lines = ellipse(int(state.range(0)));
    SectionDxfContent content;
    content.lines = &lines;
    for (int i = 0; i < int(lines.size()); ++i)
        content.visibleIndices.push_back(i);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("section.svg"));
    for (auto _ : state) {
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Text);
        QTextStream out(&file);
        writeSectionSvg(out, content, [](int) { return true; });
        out.flush();
        file.close();
    }
    state.counters["bytes"] = double(QFile(path).size());
}
BENCHMARK(BM_SectionSvgExport)->ArgName("lines")->Arg(200000)->Unit(benchmark::kMillisecond);

// The window's "Slice Stack": ten cuts of a 2 M-triangle scan into one DXF.
void BM_SliceStackDxf(benchmark::State& state)
{
    MeshModel model = makeSyntheticModel(2000 * 1000);
    model.updateCaches();
    model.autoAlignOnImport();
    SliceStackRequest request;
    request.count = 10;
    request.bandThickness = float(state.range(0)) / 10.0f;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("slicestack.dxf"));
    qsizetype lines = 0;
    for (auto _ : state) {
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Text);
        QTextStream out(&file);
        writeSliceStackDxf(out, model, request, [](int) { return true; }, &lines);
        out.flush();
        file.close();
        model.axisSliceCacheValid = false; // every run cuts afresh
    }
    state.counters["lines"] = double(lines);
}
BENCHMARK(BM_SliceStackDxf)->ArgName("band_tenths")->Arg(0)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_ComparisonDxfRead(benchmark::State& state)
{
    const SectionLines lines = ellipse(int(state.range(0)));
    SectionDxfContent content;
    content.lines = &lines;
    for (int i = 0; i < int(lines.size()); ++i)
        content.visibleIndices.push_back(i);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("section.dxf"));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Text);
        QTextStream out(&file);
        writeSectionDxf(out, content);
    }
    qsizetype read = 0;
    for (auto _ : state) {
        QFile file(path);
        file.open(QIODevice::ReadOnly | QIODevice::Text);
        read = readDxfLines(file).lines.size();
        benchmark::DoNotOptimize(read);
    }
    state.counters["lines"] = double(read);
}
BENCHMARK(BM_ComparisonDxfRead)->ArgName("lines")->Arg(200000)->Unit(benchmark::kMillisecond);

} // namespace
