#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QUuid>

inline QString applicationLogPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("halvoran_runtime.log"));
}

// Lines of a log file that contain the token.
inline QStringList logLinesWith(const QString& path, const QString& token)
{
    QFile file(path);
    QStringList hits;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return hits;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString& line : lines)
        if (line.contains(token))
            hits << line;
    return hits;
}

inline QString uniqueToken()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}
