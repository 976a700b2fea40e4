// The repair program: meshfix [--seconds S] [--memory-mb M] INPUT.stl OUTPUT.stl
// Reads a binary STL, welds and stitches it, removes degenerate and duplicate
// faces, splits non-manifold vertices, drops small and enclosed components,
// removes self-intersections where it can, fills every hole with a faired
// patch and orients the result outward, then writes a binary STL. Progress
// ("progress N") and one line per step go to standard error.
// Exit codes: 0 written, 2 bad command line, 3 unreadable input, 4 nothing
// usable in it, 5 output not written, 6 out of memory.
#include "model/repair/meshfixrunner.h"
#include "model/helper/memorycap.h"
#include "tools/meshfix/pipeline.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

int finish(int code)
{
    std::fflush(stdout);
    std::fflush(stderr);
    // A step that overran still works on its own copy; do not wait for it.
    if (repairprogram::workAbandoned())
        std::_Exit(code);
    return code;
}

int usage()
{
    std::fprintf(stderr, "usage: meshfix [--seconds S] [--memory-mb M] INPUT.stl OUTPUT.stl\n");
    return 2;
}

bool parseNumber(const char* text, double& out)
{
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end && *end == '\0' && out > 0.0;
}

} // namespace

int main(int argc, char** argv)
{
    repairprogram::Budget budget;
    double memoryMb = 0.0;
    const char* paths[2] = {nullptr, nullptr};
    int pathCount = 0;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--seconds") == 0 && i + 1 < argc) {
            if (!parseNumber(argv[++i], budget.totalSeconds))
                return usage();
        } else if (std::strcmp(a, "--memory-mb") == 0 && i + 1 < argc) {
            if (!parseNumber(argv[++i], memoryMb))
                return usage();
        } else if (pathCount < 2 && std::strncmp(a, "--", 2) != 0) {
            paths[pathCount++] = a;
        } else {
            return usage();
        }
    }
    if (pathCount != 2)
        return usage();
    const QString input = QString::fromLocal8Bit(paths[0]);
    const QString output = QString::fromLocal8Bit(paths[1]);

    // Default ceiling: generous for the working copies a 5 M-triangle scan
    // needs (about 1 GB per 2 M triangles), never most of the machine.
    const double inputBytes = double(QFileInfo(input).size());
    std::uint64_t cap = std::uint64_t(std::max(4096.0 * 1048576.0, 64.0 * inputBytes));
    if (const std::uint64_t installed = helperlimits::physicalMemory())
        cap = std::min(cap, installed / 10 * 8);
    if (memoryMb > 0.0)
        cap = std::uint64_t(memoryMb * 1048576.0);
    helperlimits::capProcessMemory(cap);

    try {
        std::vector<Vec3f> vertices;
        std::vector<Triangle> faces;
        if (!meshfix::readBinaryStl(input, vertices, faces)) {
            std::fprintf(stderr, "cannot read binary STL: %s\n", paths[0]);
            return finish(3);
        }
        repairprogram::Reporter reporter;
        reporter.progress = [](int percent) { std::fprintf(stderr, "progress %d\n", percent); };
        reporter.note = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
        if (std::getenv("HALVORAN_MESHFIX_TIMINGS"))
            reporter.timing = [](const char* step, double seconds) {
                std::fprintf(stderr, "time %s: %.3f s\n", step, seconds);
            };
        std::string error;
        if (!repairprogram::repairSoup(vertices, faces, budget, repairprogram::StepSettings{}, reporter, error)) {
            std::fprintf(stderr, "%s in %s\n", error.c_str(), paths[0]);
            return finish(4);
        }
        if (!meshfix::writeBinaryStl(output, vertices, faces)) {
            QFile::remove(output);
            std::fprintf(stderr, "cannot write %s\n", paths[1]);
            return finish(5);
        }
        std::fprintf(stderr, "progress 100\n");
        std::fprintf(stderr, "wrote %zu triangles\n", faces.size());
        return finish(0);
    } catch (const std::bad_alloc&) {
        QFile::remove(output);
        std::fprintf(stderr, "out of memory\n");
        return finish(6);
    }
}
