#include "io/meshload.h"
#include "app/cli/clicommon.h"

#include "app/cli/commands.h"

#include <QSaveFile>

#include <cstdio>
#include <unistd.h>

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

bool loadScan(const QString& path, MeshModel& model)
{
    progress("Loading");
    std::string error;
    if (!loadMesh(model, path.toUtf8().toStdString(), &error)) {
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
