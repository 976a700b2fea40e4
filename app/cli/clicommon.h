#pragma once

#include "model/mesh/meshmodel.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

// Shared plumbing of the halvoran-cli commands: one command per file, each a
// function from its arguments to the process exit code.
namespace cli {

// One command: its name, its usage lines, and the function that runs it.
struct Command {
    const char* name;
    const char* usage;
    int (*run)(const QStringList& args);
};

// Prints every command's usage to standard error; returns 2, the exit code
// of a malformed command line.
int usage();

bool stderrIsTerminal();
// "Loading..." style steps, only on a terminal so scripts get clean stderr.
void progress(const char* step);

// Loads a scan; on failure prints the importer's message and returns false.
// A caller that aligns next passes alignsNext: the alignment builds the
// caches, so the load does not build them first.
bool loadScan(const QString& path, MeshModel& model, bool alignsNext = false);

// Writes a text file atomically: nothing appears at the path unless write
// returns true and the file is complete. On failure prints
// "Failed to write <format> file: <reason>" and returns false.
bool writeTextFileAtomically(const QString& path, const char* format,
                             const std::function<bool(QTextStream&)>& write);

// The mesh format of an output path, by its extension (.stl, .ply, .obj,
// .3mf). Prints "Unsupported output format: ..." and returns false otherwise.
bool checkMeshOutputPath(const QString& path);
// Writes the model's working mesh atomically in the format checkMeshOutputPath
// accepted and prints "N triangles written to PATH"; on failure prints
// "Failed to write <format> file: <reason>" and returns false.
bool writeMeshOutput(const QString& path, const MeshModel& model);

// Reads the value after args[i] into out, advancing i; false when missing.
bool takeValue(const QStringList& args, int& i, QString& out);
// As takeValue, parsed as a number.
bool takeNumber(const QStringList& args, int& i, double& out);
// "x", "y" or "z", any case; nothing otherwise.
std::optional<Axis> parseAxisName(const QString& text);

} // namespace cli
