// QProcess with polling, so that a cancel from another thread is seen.
#include "model/helper/helperprogram.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kPollMs = 50;
constexpr int kKillWaitMs = 5000;

// Standard error as it arrives; a line is handled once it is complete.
class StderrLines {
public:
    void take(const QByteArray& bytes, std::vector<std::string>& report, const ProgressStage& progress)
    {
        pending_ += bytes;
        int end = 0;
        while ((end = pending_.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending_.left(end)).trimmed();
            pending_.remove(0, end + 1);
            if (line.isEmpty())
                continue;
            if (line.startsWith(QLatin1String("progress "))) {
                bool ok = false;
                const int percent = line.mid(9).toInt(&ok);
                if (ok)
                    progress.step(std::size_t(std::clamp(percent, 0, 100)), 100);
                continue;
            }
            report.push_back(line.toStdString());
        }
    }

private:
    QByteArray pending_;
};

} // namespace

QString findHelperProgram(const QStringList& names, const QString& searchDir)
{
    QString dir = searchDir;
    if (dir.isEmpty() && QCoreApplication::instance())
        dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        return QString();
    for (const QString& name : names) {
        const QFileInfo info(QDir(dir).filePath(name));
        if (info.exists() && info.isFile())
            return info.absoluteFilePath();
    }
    return QString();
}

HelperRun runHelperProgram(const HelperRequest& request, const ProgressStage& progress)
{
    HelperRun run;
    QProcess process;
    if (!request.workingDirectory.isEmpty())
        process.setWorkingDirectory(request.workingDirectory);
    // Nobody reads it; left to pile up it would only cost memory.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProgram(request.program);
    process.setArguments(request.arguments);
    process.start();
    if (!process.waitForStarted(kStartTimeoutMs))
        return run;

    const auto killed = [&](HelperRun::Outcome outcome) {
        process.kill();
        process.waitForFinished(kKillWaitMs);
        run.outcome = outcome;
        return run;
    };
    StderrLines lines;
    QElapsedTimer clock;
    clock.start();
    while (!process.waitForFinished(kPollMs) && process.state() != QProcess::NotRunning) {
        lines.take(process.readAllStandardError(), run.report, progress);
        if (progress.canceled())
            return killed(HelperRun::Outcome::Canceled);
        if (request.timeoutMs > 0 && clock.elapsed() > request.timeoutMs)
            return killed(HelperRun::Outcome::TimedOut);
    }
    lines.take(process.readAllStandardError() + "\n", run.report, progress);
    // On Unix QProcess keeps the terminating signal as the exit code of a crash.
    run.exitCode = process.exitCode();
    run.outcome = process.exitStatus() == QProcess::NormalExit ? HelperRun::Outcome::Finished
                                                               : HelperRun::Outcome::Crashed;
    return run;
}

std::string joinedReport(const HelperRun& run)
{
    std::string text;
    for (const std::string& line : run.report)
        text += (text.empty() ? "" : "\n") + line;
    return QString::fromStdString(text).trimmed().toStdString();
}

void HelperProgramLocation::setOverride(const std::string& path)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    override_ = path;
}

QString HelperProgramLocation::path() const
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!override_.empty())
            return QString::fromStdString(override_);
    }
#ifdef _WIN32
    return findHelperProgram({QString::fromLatin1(baseName_) + QStringLiteral(".exe")});
#else
    return findHelperProgram({QString::fromLatin1(baseName_)});
#endif
}
