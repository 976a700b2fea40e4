// ASC loads: parse here, reconstruct in the reconstruction program, which is
// killed on cancel and at its time limit and caps its own memory.

#include "io/cloudimport.h"

#include "io/meshimport.h"
#include "io/pointcloud.h"
#include "io/pointshandoff.h"
#include "io/step/stephandoff.h"
#include "model/helper/helperprogram.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

const char* const kCloudTooLarge = "ASC point cloud is too large or too irregular to reconstruct.";
const char* const kReconstructionFailed = "Failed to reconstruct a surface from the ASC points.";

namespace {

// The program's exit codes (tools/reconstruct/main.cpp).
constexpr int kExitMessage = 2;
constexpr int kExitOutOfMemory = 6;
// Its failure sentence comes on a standard-error line with this prefix.
const std::string kMessagePrefix = "message ";

HelperProgramLocation& reconstructionProgram()
{
    static HelperProgramLocation program("halvoran-reconstruct");
    return program;
}

bool fail(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
    return false;
}

// The log line says why; the user gets one sentence.
bool failLogged(std::string* error, const char* message, const QString& why)
{
    qWarning("[LOAD] ASC reconstruction stopped: %s", qUtf8Printable(why));
    return fail(error, message);
}

} // namespace

double ReconstructionLimits::secondsFor(std::size_t pointCount) const
{
    return std::max(minimumSeconds, secondsPerMillionPoints * double(pointCount) / 1e6);
}

void setReconstructionProgram(const std::string& path)
{
    reconstructionProgram().setOverride(path);
}

bool reconstructInProgram(const std::vector<Vec3f>& points, std::vector<Vec3f>& vertices,
                          std::vector<Triangle>& faces, std::string* error, Progress* progress,
                          const ReconstructionLimits& limits)
{
    vertices.clear();
    faces.clear();
    if (points.size() < 3)
        return fail(error, "ASC file needs at least 3 points.");
    const QString program = reconstructionProgram().path();
    if (program.isEmpty())
        return fail(error, "Reconstruction program not found next to the application.");
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return fail(error, "Failed to create temporary directory.");
    const QString input = scratch.filePath(QStringLiteral("points.bin"));
    const QString output = scratch.filePath(QStringLiteral("mesh.bin"));
    if (!writePointsHandoff(input.toStdString(), points))
        return fail(error, "Failed to write temporary file.");
    if (isCanceled(progress))
        return fail(error, "Load canceled.");

    const double seconds = limits.secondsFor(points.size());
    const QStringList arguments{input, output, QString::number(int(std::ceil(seconds))),
                                QString::number(qulonglong(limits.memoryMegabytes))};
    const HelperRun run = runHelperProgram({program, arguments, scratch.path(), int(seconds * 1000.0)},
                                           ProgressStage(progress, 10, 95));
    std::string message;
    for (const std::string& line : run.report) {
        if (line.rfind(kMessagePrefix, 0) == 0)
            message = line.substr(kMessagePrefix.size());
        else
            qInfo("[LOAD] reconstruction: %s", line.c_str());
    }
    switch (run.outcome) {
    case HelperRun::Outcome::NotStarted:
        return failLogged(error, kReconstructionFailed, QStringLiteral("could not start %1").arg(program));
    case HelperRun::Outcome::Canceled:
        return fail(error, "Load canceled.");
    case HelperRun::Outcome::TimedOut:
        return failLogged(error, kCloudTooLarge,
                          QStringLiteral("over its time limit of %1 s for %2 points").arg(seconds).arg(points.size()));
    case HelperRun::Outcome::Crashed:
        return failLogged(error, kReconstructionFailed, QStringLiteral("ended by signal %1").arg(run.exitCode));
    case HelperRun::Outcome::Finished:
        break;
    }
    if (run.exitCode == kExitOutOfMemory)
        return failLogged(error, kCloudTooLarge,
                          QStringLiteral("over its memory limit of %1 MB").arg(qulonglong(limits.memoryMegabytes)));
    if (run.exitCode == kExitMessage && !message.empty())
        return fail(error, message);
    if (run.exitCode != 0)
        return failLogged(error, kReconstructionFailed, QStringLiteral("exit code %1").arg(run.exitCode));

    std::string why;
    if (!readStepHandoffFile(output.toStdString(), vertices, faces, &why))
        return failLogged(error, kReconstructionFailed,
                          QStringLiteral("unusable output (%1)").arg(QString::fromStdString(why)));
    return true;
}

bool importAsc(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
               std::string* error, Progress* progress)
{
    std::vector<Vec3f> points;
    if (!readAscPoints(path, points, error, progress))
        return false;
    if (progress)
        progress->setPercent(10);
    return reconstructInProgram(points, vertices, faces, error, progress);
}
