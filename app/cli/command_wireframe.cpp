// halvoran-cli wireframe: the window's "Export Wireframe DXF" for one scan.
#include "app/cli/commands.h"

#include "export/wireframedxf.h"
#include "model/wireframe/wireframerequest.h"

#include <cmath>
#include <cstdio>

namespace cli {
namespace {

struct WireframeOptions {
    QString scan;
    QString output;
    bool align = true;
    WireframeRequest request;
};

bool parseWireframeOptions(const QStringList& args, WireframeOptions& o)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString text;
        double d = 0;
        if (a == QLatin1String("-o") || a == QLatin1String("--output")) {
            if (!takeValue(args, i, o.output))
                return false;
        } else if (a == QLatin1String("--mode")) {
            if (!takeValue(args, i, text))
                return false;
            if (text == QLatin1String("features"))
                o.request.lattice = false;
            else if (text == QLatin1String("lattice"))
                o.request.lattice = true;
            else
                return false;
        } else if (a == QLatin1String("--angle")) {
            // The "Edge Angle:" box's range.
            if (!takeNumber(args, i, d) || d < 1 || d > 90)
                return false;
            o.request.edgeAngle = float(d);
        } else if (a == QLatin1String("--complexity")) {
            if (!takeNumber(args, i, d) || d != std::floor(d) || d < 5 || d > 100)
                return false;
            o.request.complexity = int(d);
        } else if (a == QLatin1String("--cleanup")) {
            if (!takeValue(args, i, text))
                return false;
            const QStringList names{"balanced", "cad", "aggressive"};
            o.request.cleanup = int(names.indexOf(text.toLower()));
            if (o.request.cleanup < 0)
                return false;
        } else if (a == QLatin1String("--keep")) {
            if (!takeNumber(args, i, d) || d != std::floor(d) || d < 1)
                return false;
            o.request.keepTop = long(d);
        } else if (a == QLatin1String("--no-align")) {
            o.align = false;
        } else if (!a.startsWith(QLatin1Char('-')) && o.scan.isEmpty()) {
            o.scan = a;
        } else {
            return false;
        }
    }
    // Keep N works on long-feature lines only, as in the window.
    return !o.scan.isEmpty() && !o.output.isEmpty() && !(o.request.lattice && o.request.keepTop >= 1);
}

int runWireframe(const QStringList& args)
{
    WireframeOptions o;
    if (!parseWireframeOptions(args, o))
        return usage();
    MeshModel model;
    if (!loadScan(o.scan, model))
        return 1;
    if (o.align) {
        progress("Aligning");
        model.autoAlignOnImport(nullptr);
    }
    progress(o.request.lattice ? "Building lattice" : "Building long-feature lines");
    const WireSegments segments = wireframeSegments(model, o.request);
    if (segments.empty()) {
        std::fprintf(stderr, "%s\n",
                     o.request.lattice ? "No X/Y lattice vectors generated for this mesh."
                                       : "No long-feature lines generated for this mesh.");
        return 1;
    }
    const bool ok = writeTextFileAtomically(o.output, "DXF", [&](QTextStream& stream) {
        return writeWireframeDxf(stream, segments, o.request.lattice ? kWireLatticeLayer : kWireFeatureLayer);
    });
    if (!ok)
        return 1;
    std::printf("%zu %s written to %s\n", segments.size(),
                o.request.lattice ? "lattice lines" : "long-feature lines", qPrintable(o.output));
    return 0;
}

} // namespace

const Command kWireframeCommand{
    "wireframe",
    "  halvoran-cli wireframe SCAN -o OUT.dxf [--mode features|lattice] [--angle DEG] [--complexity 5..100]\n"
    "                         [--cleanup balanced|cad|aggressive] [--keep N] [--no-align]\n",
    runWireframe};

} // namespace cli
