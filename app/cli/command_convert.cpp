// halvoran-cli convert: the scan as "Export Mesh..." writes it right after
// opening it in the window (posed by the automatic alignment), or in the
// file's own coordinates with --no-align.
#include "app/cli/commands.h"

namespace cli {
namespace {

int runConvert(const QStringList& args)
{
    QString scan, output;
    bool align = true;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-o") || a == QLatin1String("--output")) {
            if (!takeValue(args, i, output))
                return usage();
        } else if (a == QLatin1String("--no-align")) {
            align = false;
        } else if (!a.startsWith(QLatin1Char('-')) && scan.isEmpty()) {
            scan = a;
        } else {
            return usage();
        }
    }
    if (scan.isEmpty() || output.isEmpty())
        return usage();
    if (!checkMeshOutputPath(output))
        return 1;
    MeshModel model;
    if (!loadScan(scan, model, align))
        return 1;
    if (align) {
        progress("Aligning");
        model.autoAlignOnImport(nullptr);
    }
    return writeMeshOutput(output, model) ? 0 : 1;
}

} // namespace

const Command kConvertCommand{"convert", "  halvoran-cli convert SCAN -o OUT.stl|.ply|.obj|.3mf [--no-align]\n",
                              runConvert};

} // namespace cli
