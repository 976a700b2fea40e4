#include "app/runtimelog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstdlib>

namespace {

QString logPathIn(const QString& directory)
{
    // An empty directory means the working directory.
    return directory.isEmpty() ? QString::fromLatin1(kRuntimeLogFileName)
                               : QDir(directory).filePath(QString::fromLatin1(kRuntimeLogFileName));
}

bool appendLine(const QString& directory, const QString& line)
{
    QFile file(logPathIn(directory));
    if (!file.open(QIODevice::Append | QIODevice::WriteOnly | QIODevice::Text))
        return false;
    const bool written = file.write(line.toUtf8()) >= 0;
    file.close();
    return written;
}

QString stampedLine(const QString& message)
{
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + message + QLatin1Char('\n');
}

QString applicationDirectory()
{
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
}

// The state folder, created on first use.
QString preparedStateDirectory()
{
    const QString dir = userStateDirectory();
    QDir().mkpath(dir);
    return dir;
}

// Next to the executable when the log can be written there, else in the
// user's state folder.
void appendToApplicationLog(const QString& line)
{
    const QString appDir = applicationDirectory();
    if (appendLine(appDir, line) || appDir.isEmpty())
        return;
    appendLine(preparedStateDirectory(), line);
}

} // namespace

QString userStateDirectory()
{
#ifdef _WIN32
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
#else
    // XDG's state home; Qt 6.4 has no name for it. A relative value is
    // invalid by the XDG rules and ignored.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir(QStandardPaths::writableLocation(QStandardPaths::HomeLocation))
                   .filePath(QStringLiteral(".local/state"));
    return QDir(base).filePath(QStringLiteral("halvoran"));
#endif
}

QString runtimeLogDirectory()
{
    const QString appDir = applicationDirectory();
    if (appDir.isEmpty())
        return QDir::currentPath();
    // Opening for append creates the file the next line would create anyway.
    QFile probe(logPathIn(appDir));
    if (probe.open(QIODevice::Append | QIODevice::WriteOnly))
        return appDir;
    return preparedStateDirectory();
}

void writeRuntimeLog(const QString& message)
{
    const QString line = stampedLine(message);
    if (!QCoreApplication::instance()) {
        appendLine(QString(), line);
        return;
    }
    appendToApplicationLog(line);
}

QString runtimeLevelWord(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return QStringLiteral("DEBUG");
    case QtWarningMsg: return QStringLiteral("WARN");
    case QtCriticalMsg: return QStringLiteral("CRIT");
    case QtFatalMsg: return QStringLiteral("FATAL");
    default: return QStringLiteral("INFO");
    }
}

void runtimeMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    writeRuntimeLog(QStringLiteral("[%1] %2").arg(runtimeLevelWord(type), message));
    if (type == QtFatalMsg)
        std::abort();
}

bool perfLogEnabled()
{
    bool ok = false;
    const int value = qEnvironmentVariable("HALVORAN_ENABLE_PERF_LOG").trimmed().toInt(&ok);
    return ok && value != 0;
}

void logPerfTiming(const QString& label, qint64 elapsedMs, qint64 thresholdMs)
{
    if (!perfLogEnabled() || elapsedMs < thresholdMs)
        return;
    // Timing lines always belong to the application's log, never the working
    // directory's.
    appendToApplicationLog(stampedLine(QStringLiteral("[PERF] %1: %2 ms").arg(label).arg(elapsedMs)));
}

void terminateHandler()
{
    writeRuntimeLog(QStringLiteral("[TERMINATE] std::terminate invoked"));
    std::_Exit(1);
}
