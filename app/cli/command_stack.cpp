// halvoran-cli stack: the window's "Slice Stack" for the same scan, axis and
// band, byte for byte.
#include "app/cli/commands.h"
#include "app/cli/sectionoptions.h"

#include "export/slicestackdxf.h"

#include <cstdio>

namespace cli {
namespace {

int runStack(const QStringList& args)
{
    SectionOptions o;
    if (!parseSectionOptions(args, o, true))
        return usage();
    MeshModel model;
    if (!loadScan(o.scan, model, o.align))
        return 1;
    if (o.align) {
        progress("Aligning");
        model.autoAlignOnImport(nullptr);
    }
    SliceStackRequest request;
    request.axis = o.axis;
    request.bandThickness = float(o.band);
    request.count = *o.count;

    qsizetype written = 0;
    const bool ok = writeTextFileAtomically(o.output, "DXF", [&](QTextStream& stream) {
        writeSliceStackDxf(
            stream, model, request,
            [&request](int done) {
                if (stderrIsTerminal())
                    std::fprintf(stderr, "Cutting slice %d of %d...\n", done + 1, request.count);
                return true;
            },
            &written);
        return true;
    });
    if (!ok)
        return 1;
    std::printf("%d slices, %lld vectors written to %s\n", request.count, static_cast<long long>(written),
                qPrintable(o.output));
    return 0;
}

} // namespace

const Command kStackCommand{
    "stack",
    "  halvoran-cli stack SCAN -o OUT.dxf --count N [--axis x|y|z] [--band MM]\n"
    "                     [--keep PERCENT] [--smooth S] [--quality fast|balanced|high] [--no-align]\n"
    "      N evenly spaced raw cuts (2..200), one layer SLICE_<i> each; --keep, --smooth and\n"
    "      --quality are accepted like for section but do not change the raw cuts.\n",
    runStack};

} // namespace cli
