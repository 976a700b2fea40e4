#include "app/smokeoutput.h"

#include "app/commandline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

#ifdef _WIN32
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

// Absolute, clean, and with symbolic links resolved where the folder exists,
// so "..", "." and a link to home are seen for what they are.
QString resolved(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return QDir::cleanPath(canonical.isEmpty() ? info.absoluteFilePath() : canonical);
}

// dir is folder or one of its ancestors.
bool isOrHolds(const QString& dir, const QString& folder)
{
    if (dir.compare(folder, kPathCase) == 0)
        return true;
    const QString prefix = dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
    return folder.startsWith(prefix, kPathCase);
}

} // namespace

QString smokeOutputFolder(const CommandLineOptions& options, const QString& appDir)
{
    const QString given = options.smokeOutputDir.trimmed();
    if (options.hasSmokeOutput && !given.isEmpty())
        return given;
    return appDir + QStringLiteral("/smoke-output");
}

QString smokeOutputRefusal(const QString& dir)
{
    if (dir.trimmed().isEmpty())
        return QStringLiteral("Smoke output folder is empty.");
    const QString target = resolved(dir);
    if (QDir(target).isRoot())
        return QStringLiteral("Smoke output folder %1 is the file-system root.").arg(dir);

    struct Guarded {
        QString path;
        const char* name;
    };
    QList<Guarded> guarded{{QDir::homePath(), "the home folder"}, {QDir::currentPath(), "the working directory"}};
    if (QCoreApplication::instance())
        guarded.append({QCoreApplication::applicationDirPath(), "the program's folder"});
    for (const Guarded& g : guarded) {
        const QString folder = resolved(g.path);
        if (target.compare(folder, kPathCase) == 0)
            return QStringLiteral("Smoke output folder %1 is %2.").arg(dir, QLatin1String(g.name));
        if (isOrHolds(target, folder))
            return QStringLiteral("Smoke output folder %1 holds %2.").arg(dir, QLatin1String(g.name));
    }
    return QString();
}
