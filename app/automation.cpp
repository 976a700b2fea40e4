#include "app/automation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

bool isAutomationMode()
{
    return qEnvironmentVariableIsSet("HALVORAN_AUTOMATION") || qEnvironmentVariableIsSet("HALVORAN_AUTOMATION_OUTPUT_DIR");
}

QString automationEnvValue(const char* variable)
{
    if (!variable || !*variable)
        return QString();
    return QString::fromLocal8Bit(qgetenv(variable)).trimmed();
}

QString automationOutputDir()
{
    QString dir = automationEnvValue("HALVORAN_AUTOMATION_OUTPUT_DIR");
    if (dir.isEmpty())
        dir = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("automation-smoke"));
    QDir().mkpath(dir);
    return dir;
}

QString automationSaveFileName(QWidget* parent, const QString& caption, const QString& defaultName,
                               const QString& filter, const char* variable, QString* selectedFilter)
{
    if (!isAutomationMode())
        return QFileDialog::getSaveFileName(parent, caption, defaultName, filter, selectedFilter);
    QString path = automationEnvValue(variable);
    if (path.isEmpty())
        path = QDir(automationOutputDir()).filePath(defaultName);
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QDir().mkpath(QFileInfo(absolute).absolutePath());
    return absolute;
}

QString automationOpenFileName(QWidget* parent, const QString& caption, const QString& startDir,
                               const QString& filter, const char* variable, const QString& defaultName)
{
    if (!isAutomationMode())
        return QFileDialog::getOpenFileName(parent, caption, startDir, filter);
    const QString path = automationEnvValue(variable);
    if (!path.isEmpty())
        return path;
    if (!defaultName.isEmpty())
        return QDir(automationOutputDir()).filePath(defaultName);
    return QString();
}

int envIntOrDefault(const char* variable, int defaultValue)
{
    bool ok = false;
    const int value = automationEnvValue(variable).toInt(&ok, 10);
    return ok ? value : defaultValue;
}

QColor envColorOrDefault(const char* variable, const QColor& defaultValue)
{
    const QColor color(automationEnvValue(variable));
    return color.isValid() ? color : defaultValue;
}
