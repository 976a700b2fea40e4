#pragma once

#include <QString>
#include <QtGlobal>

// One plain-text log that every diagnostic ends in: next to the executable
// when the log can be written there (a build folder, an unpacked copy), else
// in the user's state folder (an installed program). Each line is opened,
// appended and closed, so no lock is needed and a crash never loses a
// buffered line.

inline constexpr const char* kRuntimeLogFileName = "halvoran_runtime.log";

// Directory the next log line goes to: the application directory, or
// userStateDirectory() when the log cannot be written there; the current
// working directory while no application object exists.
QString runtimeLogDirectory();

// The user's state folder for Halvoran: $XDG_STATE_HOME/halvoran, by default
// ~/.local/state/halvoran; the local application data folder on Windows.
QString userStateDirectory();

// Appends "<ISO date-time with ms> <message>\n"; silently drops the line when
// the file cannot be opened.
void writeRuntimeLog(const QString& message);

// Qt message handler: "[LEVEL] text"; aborts after a fatal message.
void runtimeMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Level word written for a Qt message type.
QString runtimeLevelWord(QtMsgType type);

// True when HALVORAN_ENABLE_PERF_LOG holds a non-zero integer.
bool perfLogEnabled();

// "<timestamp> [PERF] <label>: <ms> ms" when perf logging is on and the
// elapsed time reached the threshold.
void logPerfTiming(const QString& label, qint64 elapsedMs, qint64 thresholdMs);

// Installed with std::set_terminate: logs and ends the process with status 1.
[[noreturn]] void terminateHandler();
