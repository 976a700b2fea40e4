#pragma once

#include "model/common/progress.h"

#include <QString>
#include <QStringList>

#include <mutex>
#include <string>
#include <vector>

// Helper programs live next to the application (built into build/app, installed
// beside halvoran and halvoran-cli). While one runs it may write lines
// "progress N" (0..100) to standard error; every other line there is its
// report.

// The first of names that exists as a file in searchDir; searchDir empty means
// the application's directory. Empty when none exists.
QString findHelperProgram(const QStringList& names, const QString& searchDir = QString());

// One helper program by its base name ("halvoran-stepreader"), found next to
// the application unless a test pointed it elsewhere. Safe from any thread.
class HelperProgramLocation {
public:
    explicit HelperProgramLocation(const char* baseName) : baseName_(baseName) {}
    // An empty path goes back to the search.
    void setOverride(const std::string& path);
    // The override, else the program next to the application; empty when missing.
    QString path() const;

private:
    const char* baseName_;
    mutable std::mutex mutex_;
    std::string override_;
};

struct HelperRequest {
    QString program;
    QStringList arguments;
    QString workingDirectory; // empty: inherit
    int timeoutMs = 0;        // 0: no limit
};

struct HelperRun {
    enum class Outcome { Finished, NotStarted, Crashed, TimedOut, Canceled };
    Outcome outcome = Outcome::NotStarted;
    int exitCode = 0;                // Finished: the exit status; Crashed: the signal
    std::vector<std::string> report; // the program's own lines, in order
};

// Runs the program to its end. A cancel or the time limit kills it within
// about 50 ms; progress lines move the stage.
HelperRun runHelperProgram(const HelperRequest& request, const ProgressStage& progress);

// The report lines joined by newlines, trimmed.
std::string joinedReport(const HelperRun& run);
