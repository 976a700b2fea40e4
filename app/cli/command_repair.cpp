// halvoran-cli repair: the window's "Repair Mesh" with the repair dialog's
// defaults, on the scan in its own coordinates (no alignment).
#include "app/cli/commands.h"

#include "model/repair/repair.h"

#include <cstdio>
#include <iterator>

namespace cli {
namespace {

bool parsePreset(const QString& name, int& preset)
{
    for (int i = 0; i < int(std::size(kSmoothingPresets)); ++i)
        if (name == QLatin1String(kSmoothingPresets[i].name)) {
            preset = i;
            return true;
        }
    return false;
}

int runRepair(const QStringList& args)
{
    QString scan, output, text;
    RepairOptions options;
    int preset = kDefaultSmoothingPreset;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        double d = 0.0;
        if (a == QLatin1String("-o") || a == QLatin1String("--output")) {
            if (!takeValue(args, i, output))
                return usage();
        } else if (a == QLatin1String("--merge-tolerance")) {
            // The dialog's range.
            if (!takeNumber(args, i, d) || d < 0.001 || d > 1.0)
                return usage();
            options.mergeTolerance = float(d);
        } else if (a == QLatin1String("--smoothing")) {
            if (!takeValue(args, i, text) || !parsePreset(text, preset))
                return usage();
        } else if (a == QLatin1String("--no-fix-normals")) {
            options.fixNormals = false;
        } else if (a == QLatin1String("--no-fill")) {
            options.fillHoles = false;
        } else if (a == QLatin1String("--no-smooth")) {
            options.smoothNoise = false;
        } else if (!a.startsWith(QLatin1Char('-')) && scan.isEmpty()) {
            scan = a;
        } else {
            return usage();
        }
    }
    if (scan.isEmpty() || output.isEmpty())
        return usage();
    options.applyPreset(preset);
    if (!checkMeshOutputPath(output))
        return 1;
    MeshModel model;
    if (!loadScan(scan, model))
        return 1;
    const std::size_t oldVertices = model.vertices.size(), oldFaces = model.faces.size();
    progress("Repairing");
    std::string error;
    std::vector<std::string> notes;
    const bool ok = repairMesh(model, options, error, nullptr, &notes);
    for (const std::string& note : notes)
        std::fprintf(stderr, "%s\n", note.c_str());
    if (!ok) {
        std::fprintf(stderr, "%s\n", error.empty() ? "Mesh repair failed." : error.c_str());
        return 1;
    }
    if (!error.empty())
        std::fprintf(stderr, "%s\n", error.c_str()); // the repair program failed; VTK filled the holes
    const MeshStats stats = computeMeshStats(model);
    std::printf("Mesh repaired: %zu -> %zu vertices, %zu -> %zu faces; watertight: %s (%u boundary edges, "
                "%u non-manifold edges, %u degenerate triangles)\n",
                oldVertices, model.vertices.size(), oldFaces, model.faces.size(),
                stats.boundaryEdges == 0 ? "yes" : "no", stats.boundaryEdges, stats.nonManifoldEdges,
                stats.degenerateTriangles);
    return writeMeshOutput(output, model) ? 0 : 1;
}

} // namespace

const Command kRepairCommand{
    "repair",
    "  halvoran-cli repair SCAN -o OUT.stl|.ply|.obj|.3mf [--merge-tolerance MM] [--smoothing light|medium|strong]\n"
    "                      [--no-fix-normals] [--no-fill] [--no-smooth]\n",
    runRepair};

} // namespace cli
