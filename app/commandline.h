#pragma once

#include <QString>
#include <QStringList>

// What the process was asked to do by its arguments.
struct CommandLineOptions {
    bool smokeTest = false;       // "--smoke-test", any case
    bool hasSmokeOutput = false;  // a "--smoke-output=" argument was given
    QString smokeOutputDir;       // everything after its first '='
    QString meshPath;             // absolute path of the first existing non-option file
};

// args is the full argument list, program name first.
CommandLineOptions parseCommandLine(const QStringList& args);
