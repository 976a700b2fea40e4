#pragma once

#include <QString>

struct CommandLineOptions;

// The release smoke test empties its output folder before it starts, so the
// folder is chosen here with care: an empty or missing "--smoke-output="
// value means the default folder next to the program, and a folder whose
// loss would hurt is refused.

// The folder the smoke test writes to: the given value, or
// appDir/smoke-output when none or an empty one was given.
QString smokeOutputFolder(const CommandLineOptions& options, const QString& appDir);

// Empty when dir may be emptied; otherwise the reason it may not: it is the
// file-system root, or it is (or holds) the home folder, the working
// directory or the folder of the program.
QString smokeOutputRefusal(const QString& dir);
