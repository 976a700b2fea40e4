// STEP through the reader program: OpenCASCADE crashes on some damaged files,
// and in a child process that costs only this load.

#include "io/stepimport.h"

#include "io/meshimport.h"
#include "io/step/stephandoff.h"
#include "io/step/stepstatus.h"
#include "model/helper/helperprogram.h"

#include <QTemporaryDir>


namespace {

const char* const kFailed = "Failed to read STEP file.";

HelperProgramLocation& readerProgram()
{
    static HelperProgramLocation program("halvoran-stepreader");
    return program;
}

bool fail(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
    return false;
}

// The log line says why; the user gets one sentence.
bool failLogged(std::string* error, const std::string& path, const QString& why)
{
    qWarning("[LOAD] STEP reader failed on %s: %s", path.c_str(), qUtf8Printable(why));
    return fail(error, kFailed);
}

} // namespace

void setStepReaderProgram(const std::string& path)
{
    readerProgram().setOverride(path);
}

bool importStep(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                std::string* error, Progress* progress)
{
    vertices.clear();
    faces.clear();
    const QString program = readerProgram().path();
    if (program.isEmpty())
        return fail(error, "STEP reader program not found next to the application.");
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return fail(error, "Failed to create temporary directory.");
    const QString output = scratch.filePath(QStringLiteral("mesh.bin"));

    const HelperRun run = runHelperProgram({program, {QString::fromStdString(path), output}, scratch.path(), 0},
                                           ProgressStage(progress, 0, 95));
    switch (run.outcome) {
    case HelperRun::Outcome::NotStarted:
        return failLogged(error, path, QStringLiteral("could not start %1").arg(program));
    case HelperRun::Outcome::Canceled:
        return fail(error, "Load canceled.");
    case HelperRun::Outcome::TimedOut:
        return failLogged(error, path, QStringLiteral("timed out"));
    case HelperRun::Outcome::Crashed:
        return failLogged(error, path, QStringLiteral("ended by signal %1").arg(run.exitCode));
    case HelperRun::Outcome::Finished:
        break;
    }
    switch (run.exitCode) {
    case 0:
        break;
    case int(StepReadStatus::NoGeometry):
    case int(StepReadStatus::NoTriangles):
    case int(StepReadStatus::ReadFailed):
        return fail(error, stepReadMessage(StepReadStatus(run.exitCode)));
    default:
        return failLogged(error, path, QStringLiteral("exit code %1").arg(run.exitCode));
    }

    std::string why;
    if (!readStepHandoffFile(output.toStdString(), vertices, faces, &why))
        return failLogged(error, path, QStringLiteral("unusable output (%1)").arg(QString::fromStdString(why)));
    dropNonFiniteVertices(vertices, faces);
    if (vertices.empty() || faces.empty())
        return fail(error, stepReadMessage(StepReadStatus::NoTriangles));
    return true;
}
