// halvoran-cli drawing: the window's "2D Drawing" export with the drawing
// panel's settings given as options.
#include "app/cli/commands.h"

#include "export/drawingwriter.h"
#include "model/drawing/drawingedges.h"

#include <QElapsedTimer>

#include <cmath>
#include <cstdio>

namespace cli {
namespace {

struct DrawingCliOptions {
    QString scan, output;
    DrawingView view = DrawingView::Top;
    bool hidden = false;
    int detail = 50;  // the panel's "Detail Level:" default
    int minSize = 30; // the panel's "Min Size:" default
    bool align = true;
};

// A slider value: a whole number 0..100.
bool takeSlider(const QStringList& args, int& i, int& out)
{
    double d = 0;
    if (!takeNumber(args, i, d) || d != std::floor(d) || d < 0 || d > 100)
        return false;
    out = int(d);
    return true;
}

bool parseDrawingOptions(const QStringList& args, DrawingCliOptions& o)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString text;
        if (a == QLatin1String("-o") || a == QLatin1String("--output")) {
            if (!takeValue(args, i, o.output))
                return false;
        } else if (a == QLatin1String("--view")) {
            const QStringList names{"top", "front", "right"};
            if (!takeValue(args, i, text) || names.indexOf(text.toLower()) < 0)
                return false;
            o.view = drawingViewFromIndex(int(names.indexOf(text.toLower())));
        } else if (a == QLatin1String("--hidden")) {
            o.hidden = true;
        } else if (a == QLatin1String("--detail")) {
            if (!takeSlider(args, i, o.detail))
                return false;
        } else if (a == QLatin1String("--min-size")) {
            if (!takeSlider(args, i, o.minSize))
                return false;
        } else if (a == QLatin1String("--no-align")) {
            o.align = false;
        } else if (!a.startsWith(QLatin1Char('-')) && o.scan.isEmpty()) {
            o.scan = a;
        } else {
            return false;
        }
    }
    return !o.scan.isEmpty() && !o.output.isEmpty();
}

int runDrawing(const QStringList& args)
{
    DrawingCliOptions o;
    if (!parseDrawingOptions(args, o))
        return usage();
    if (!isDrawingDxfPath(o.output) && !o.output.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        std::fprintf(stderr, "Unsupported output format: %s (supported: .dxf, .svg)\n", qPrintable(o.output));
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    MeshModel model;
    if (!loadScan(o.scan, model))
        return 1;
    if (o.align) {
        progress("Aligning");
        model.autoAlignOnImport(nullptr);
    }
    const qint64 loadMs = clock.restart();

    progress("Drawing");
    // The panel's other controls at their defaults: "Z Threshold:" 0.5 mm,
    // "Boundary" and "Sharp Edges" checked.
    const DrawingOptions options = drawingOptionsFromPanel(o.view, o.minSize, o.detail, 0.5, true, true, o.hidden);
    const DrawingExportContext context = makeDrawingExportContext(model.computeDrawingEdges(options));
    const qint64 drawMs = clock.restart();
    if (context.edges.empty()) {
        std::fprintf(stderr, "No edges extracted. Check the mesh has visible features.\n");
        return 1;
    }
    const bool ok = writeTextFileAtomically(o.output, isDrawingDxfPath(o.output) ? "DXF" : "SVG", [&](QTextStream& out) {
        writeDrawingForPath(out, context, o.output);
        return true;
    });
    if (!ok)
        return 1;
    int counts[5] = {0, 0, 0, 0, 0};
    for (const auto& e : context.edges)
        if (e.type >= 0 && e.type < 5)
            ++counts[e.type];
    std::printf("%zu edges written to %s (silhouette %d, feature %d, contour %d, hidden %d)\n", context.edges.size(),
                qPrintable(o.output), counts[kDrawingSilhouette], counts[kDrawingFeature] + counts[kDrawingBoundary],
                counts[kDrawingContour], counts[kDrawingHidden]);
    if (stderrIsTerminal() || qEnvironmentVariableIsSet("HALVORAN_CLI_TIMINGS"))
        std::fprintf(stderr, "time ms: load %lld, drawing %lld, write %lld\n", static_cast<long long>(loadMs),
                     static_cast<long long>(drawMs), static_cast<long long>(clock.elapsed()));
    return 0;
}

} // namespace

const Command kDrawingCommand{
    "drawing",
    "  halvoran-cli drawing SCAN -o OUT.dxf|OUT.svg [--view top|front|right] [--hidden] [--detail 0..100]\n"
    "                       [--min-size 0..100] [--no-align]\n",
    runDrawing};

} // namespace cli
