#pragma once

#include <QColor>
#include <QString>

class QWidget;

// Every file, colour, number or choice question goes through these routines.
// In automation mode (HALVORAN_AUTOMATION or HALVORAN_AUTOMATION_OUTPUT_DIR
// present, even empty) they answer from the environment instead of a dialog.
// Nothing is cached: a variable set while the process runs counts at the next
// call.

bool isAutomationMode();

// Trimmed HALVORAN_AUTOMATION_OUTPUT_DIR, or "automation-smoke" in the
// application directory; created with all parents.
QString automationOutputDir();

// Trimmed value of an environment variable, read as local 8-bit text.
QString automationEnvValue(const char* variable);

// selectedFilter (when given) receives the filter the user chose in the
// dialog; in automation mode it is left as it is.
QString automationSaveFileName(QWidget* parent, const QString& caption, const QString& defaultName,
                               const QString& filter, const char* variable, QString* selectedFilter = nullptr);

QString automationOpenFileName(QWidget* parent, const QString& caption, const QString& startDir,
                               const QString& filter, const char* variable, const QString& defaultName = QString());

int envIntOrDefault(const char* variable, int defaultValue);

QColor envColorOrDefault(const char* variable, const QColor& defaultValue);
