#include "app/runtimelog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstdlib>

namespace {

void appendLine(const QString& directory, const QString& message)
{
    const QString path = directory.isEmpty() ? QString::fromLatin1(kRuntimeLogFileName)
                                             : QDir(directory).filePath(QString::fromLatin1(kRuntimeLogFileName));
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::WriteOnly | QIODevice::Text))
        return;
    const QString line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + message
                         + QLatin1Char('\n');
    file.write(line.toUtf8());
    file.close();
}

} // namespace

QString runtimeLogDirectory()
{
    QString dir;
    if (QCoreApplication::instance())
        dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        dir = QDir::currentPath();
    return dir;
}

void writeRuntimeLog(const QString& message)
{
    appendLine(runtimeLogDirectory(), message);
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
    // Timing lines always belong to the application directory.
    const QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    appendLine(dir, QStringLiteral("[PERF] %1: %2 ms").arg(label).arg(elapsedMs));
}

void terminateHandler()
{
    writeRuntimeLog(QStringLiteral("[TERMINATE] std::terminate invoked"));
    std::_Exit(1);
}
