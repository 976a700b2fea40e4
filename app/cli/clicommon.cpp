#include "io/meshload.h"
#include "app/cli/clicommon.h"

#include "app/cli/commands.h"
#include "export/meshwriter.h"

#include <QSaveFile>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

Progress& loadProgress()
{
    static Progress progress;
    return progress;
}

extern "C" void cancelLoad(int)
{
    // A lock-free atomic store: safe in a signal handler.
    loadProgress().cancel();
}

// While it lives, Ctrl+C or a termination request cancels the load instead
// of ending the process, so that a helper program is killed at once and the
// command ends with "Load canceled.". A signal the shell ignores stays so.
class CancelOnInterrupt {
public:
    CancelOnInterrupt()
    {
        for (int i = 0; i < 2; ++i) {
            previous_[i] = std::signal(kSignals[i], cancelLoad);
            if (previous_[i] == SIG_IGN)
                std::signal(kSignals[i], SIG_IGN);
        }
    }
    ~CancelOnInterrupt()
    {
        for (int i = 0; i < 2; ++i)
            std::signal(kSignals[i], previous_[i]);
    }

private:
    static constexpr int kSignals[2] = {SIGINT, SIGTERM};
    void (*previous_[2])(int) = {};
};

} // namespace

namespace cli {

int usage()
{
    std::fputs("usage:\n", stderr);
    for (const Command& command : commands())
        std::fputs(command.usage, stderr);
    return 2;
}

bool stderrIsTerminal()
{
    return isatty(fileno(stderr)) != 0;
}

void progress(const char* step)
{
    if (stderrIsTerminal())
        std::fprintf(stderr, "%s...\n", step);
}

bool loadScan(const QString& path, MeshModel& model, bool alignsNext)
{
    progress("Loading");
    std::string error;
    LoadOptions options;
    options.buildCaches = !alignsNext;
    const CancelOnInterrupt interrupt;
    if (!loadMesh(model, path.toUtf8().toStdString(), &error, &loadProgress(), options)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

bool writeTextFileAtomically(const QString& path, const char* format, const std::function<bool(QTextStream&)>& write)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        std::fprintf(stderr, "Failed to write %s file: %s\n", format, qPrintable(file.errorString()));
        return false;
    }
    QTextStream stream(&file);
    const bool written = write(stream);
    stream.flush();
    if (!written || stream.status() != QTextStream::Ok || !file.commit()) {
        std::fprintf(stderr, "Failed to write %s file: %s\n", format, qPrintable(file.errorString()));
        return false;
    }
    return true;
}

bool checkMeshOutputPath(const QString& path)
{
    if (meshFileTypeForPath(path))
        return true;
    std::fprintf(stderr, "Unsupported output format: %s (supported: .stl, .ply, .obj, .3mf)\n", qPrintable(path));
    return false;
}

bool writeMeshOutput(const QString& path, const MeshModel& model)
{
    const MeshFileType* type = meshFileTypeForPath(path);
    if (!type)
        return checkMeshOutputPath(path);
    progress("Writing");
    std::string error;
    std::size_t triangles = 0;
    if (!writeMeshFile(path, type->format, model.vertices.vec(), model.faces.vec(), &error, &triangles)) {
        std::fprintf(stderr, "Failed to write %s file: %s\n", type->name, error.c_str());
        return false;
    }
    std::printf("%zu triangles written to %s\n", triangles, qPrintable(path));
    return true;
}

bool takeValue(const QStringList& args, int& i, QString& out)
{
    if (i + 1 >= args.size())
        return false;
    out = args[++i];
    return true;
}

bool takeNumber(const QStringList& args, int& i, double& out)
{
    QString text;
    bool ok = false;
    if (takeValue(args, i, text))
        out = text.toDouble(&ok);
    return ok;
}

std::optional<Axis> parseAxisName(const QString& text)
{
    const QString axis = text.toLower();
    if (axis == QLatin1String("x"))
        return Axis::X;
    if (axis == QLatin1String("y"))
        return Axis::Y;
    if (axis == QLatin1String("z"))
        return Axis::Z;
    return std::nullopt;
}

} // namespace cli
