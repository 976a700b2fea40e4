// halvoran-cli section: the window's "Export DXF" for one cut.
#include "app/cli/commands.h"
#include "app/cli/sectionoptions.h"

#include "export/dxfwriter.h"
#include "model/section/qualitypresets.h"
#include "model/section/sectionpostprocess.h"
#include "model/section/sectionrequest.h"
#include "model/sectionfit/fitannotations.h"
#include "model/sectionfit/fitinput.h"

#include <QElapsedTimer>

#include <cmath>
#include <cstdio>

namespace cli {
namespace {

int runSection(const QStringList& args)
{
    SectionOptions o;
    if (!parseSectionOptions(args, o, false))
        return usage();
    QElapsedTimer clock;
    clock.start();
    MeshModel model;
    if (!loadScan(o.scan, model, o.align))
        return 1;
    const qint64 loadMs = clock.restart();
    if (o.align) {
        progress("Aligning");
        model.autoAlignOnImport(nullptr);
    }
    const qint64 alignMs = clock.restart();

    const float lo = model.boundsMin()[o.axis], hi = model.boundsMax()[o.axis];
    double position = 0.5 * (double(lo) + double(hi));
    if (o.at)
        position = *o.at;
    else if (o.atFraction)
        position = double(lo) + *o.atFraction * (double(hi) - double(lo));

    progress("Cutting");
    const QualityPreset& preset = qualityPresetForIndex(o.quality);
    SectionRequest request;
    request.axis = o.axis;
    request.position = float(position);
    request.bandThickness = float(o.band);
    request.keepRatio = float(o.keep.value_or(preset.keepPercent)) / 100.0f;
    request.smoothStrength = o.smooth.value_or(preset.smoothStrength);
    // Cut and post-processing apart, for the timing report.
    model.sliceAxis(o.axis, request.position, request.bandThickness);
    const qint64 sliceMs = clock.restart();
    const SectionLines lines = computeSectionLines(model, request); // served from the model's slice cache
    const qint64 postMs = clock.restart();
    // The window's "Fit Lines/Arcs" on the same plane: the raw exact cut.
    std::optional<sectionfit::FitResult> fitted;
    if (o.fit) {
        progress("Fitting");
        SectionFitParams params;
        params.tolerance = *o.fit;
        fitted = sectionfit::fitSectionChains(exactSectionChains(model, request), params);
    }
    const qint64 fitMs = clock.restart();

    qsizetype written = 0;
    const bool ok = writeTextFileAtomically(o.output, "DXF", [&](QTextStream& stream) {
        if (o.polylines) {
            const double tol = estimateJoinTolerance(lines, joinProfileFor(std::abs(o.band) > 1e-8));
            const QList<SectionPolyline> chains = chainSegmentsToPolylines(lines, tol);
            writePolylineDxf(stream, chains, tol);
            written = chains.size();
        } else {
            SectionDxfContent content;
            content.lines = &lines;
            content.visibleIndices.resize(std::size_t(lines.size()));
            for (int i = 0; i < int(lines.size()); ++i)
                content.visibleIndices[std::size_t(i)] = i;
            if (fitted)
                content.annotations = fitAnnotations(*fitted);
            writeSectionDxf(stream, content);
            written = lines.size();
        }
        return true;
    });
    if (!ok)
        return 1;
    const qint64 writeMs = clock.restart();
    std::printf("%lld %s written to %s\n", static_cast<long long>(written),
                o.polylines ? "polylines" : "vectors", qPrintable(o.output));
    if (fitted)
        std::printf("%s\n", qPrintable(fitSummary(*fitted)));
    if (stderrIsTerminal() || qEnvironmentVariableIsSet("HALVORAN_CLI_TIMINGS"))
        std::fprintf(stderr, "time ms: load %lld, align %lld, slice %lld, post-process %lld, fit %lld, write %lld\n",
                     static_cast<long long>(loadMs), static_cast<long long>(alignMs), static_cast<long long>(sliceMs),
                     static_cast<long long>(postMs), static_cast<long long>(fitMs), static_cast<long long>(writeMs));
    return 0;
}

} // namespace

const Command kSectionCommand{
    "section",
    "  halvoran-cli section SCAN -o OUT.dxf [--axis x|y|z] [--at MM | --at-fraction F] [--band MM]\n"
    "                       [--keep PERCENT] [--smooth S] [--quality fast|balanced|high] [--no-align]\n"
    "                       [--polylines | --fit TOL]\n",
    runSection};

} // namespace cli
