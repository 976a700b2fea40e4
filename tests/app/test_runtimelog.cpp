#include "app/runtimelog.h"
#include "logtestutil.h"

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QRegularExpression kTimestamp(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d{3} "));

struct ProbeRun {
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::NormalExit;
};

ProbeRun runProbe(const QStringList& args)
{
    // Without an application object the probe logs into its working directory.
    QProcess process;
    process.setWorkingDirectory(QFileInfo(QStringLiteral(CRASHPROBE_PATH)).absolutePath());
    process.start(QStringLiteral(CRASHPROBE_PATH), args);
    process.waitForFinished(30000);
    return {process.exitCode(), process.exitStatus()};
}

QString probeLogPath()
{
    return QDir(QFileInfo(QStringLiteral(CRASHPROBE_PATH)).absolutePath()).filePath(QStringLiteral("halvoran_runtime.log"));
}

class PerfEnv {
public:
    explicit PerfEnv(const char* value)
    {
        if (value)
            qputenv("HALVORAN_ENABLE_PERF_LOG", value);
        else
            qunsetenv("HALVORAN_ENABLE_PERF_LOG");
    }
    ~PerfEnv() { qunsetenv("HALVORAN_ENABLE_PERF_LOG"); }
};

} // namespace

TEST(RuntimeLog, LineHasMillisecondTimestampAndText)
{
    const QString token = uniqueToken();
    writeRuntimeLog(QStringLiteral("[START] %1").arg(token));
    const QStringList lines = logLinesWith(applicationLogPath(), token);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(kTimestamp.match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" [START] ") + token));
}

TEST(RuntimeLog, MessageHandlerWritesLevelWords)
{
    const QString token = uniqueToken();
    qInstallMessageHandler(runtimeMessageHandler);
    qInfo("[LOAD_TRACE] info %s", qPrintable(token));
    qWarning("warn %s", qPrintable(token));
    qCritical("crit %s", qPrintable(token));
    qDebug("debug %s", qPrintable(token));
    qInstallMessageHandler(nullptr);
    const QStringList lines = logLinesWith(applicationLogPath(), token);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" [INFO] [LOAD_TRACE] info ") + token));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" [WARN] warn ") + token));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(" [CRIT] crit ") + token));
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral(" [DEBUG] debug ") + token));
    EXPECT_EQ(runtimeLevelWord(QtFatalMsg), QStringLiteral("FATAL"));
    EXPECT_EQ(runtimeLevelWord(static_cast<QtMsgType>(42)), QStringLiteral("INFO"));
}

TEST(RuntimeLog, UnwritableDirectoryDropsLineSilently)
{
    // No crash, no exception: the line is simply lost.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString blocker = dir.filePath(QStringLiteral("halvoran_runtime.log"));
    QDir().mkpath(blocker); // a directory where the file would be
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    EXPECT_NO_THROW(writeRuntimeLog(QStringLiteral("lost line")));
    QDir::setCurrent(cwd);
}

// Where lines land, with a copy of the probe laid out like an install: the
// program folder takes the log unless the log cannot be written there (here a
// folder blocks the file name, which stops root too), then the user's state
// folder does. Lines before the application object go to the working folder.
struct LogPlaceCase {
    const char* name;
    const char* mode;
    bool programFolderBlocked;
    const char* line;
};

class RuntimeLogPlace : public ::testing::TestWithParam<LogPlaceCase> {};

TEST_P(RuntimeLogPlace, LinesLandInTheFirstWritableFolder)
{
    const LogPlaceCase& c = GetParam();
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir programDir(root.filePath(QStringLiteral("lib/halvoran")));
    const QString stateHome = root.filePath(QStringLiteral("state"));
    const QString workDir = root.filePath(QStringLiteral("work"));
    ASSERT_TRUE(QDir().mkpath(programDir.path()) && QDir().mkpath(workDir));
    const QString probe = programDir.filePath(QStringLiteral("crashprobe"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(CRASHPROBE_PATH), probe));
    QFile::setPermissions(probe, QFile::permissions(QStringLiteral(CRASHPROBE_PATH)));
    const QString programLog = programDir.filePath(QStringLiteral("halvoran_runtime.log"));
    if (c.programFolderBlocked) {
        ASSERT_TRUE(QDir().mkpath(programLog));
    }

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_STATE_HOME"), stateHome);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    process.start(probe, {QString::fromLatin1(c.mode), QStringLiteral("token")});
    ASSERT_TRUE(process.waitForFinished(30000));

    const QString stateLog = QDir(stateHome).filePath(QStringLiteral("halvoran/halvoran_runtime.log"));
    const QString line = QString::fromLatin1(c.line);
    EXPECT_EQ(logLinesWith(c.programFolderBlocked ? stateLog : programLog, line).size(), 1);
    EXPECT_EQ(logLinesWith(c.programFolderBlocked ? programLog : stateLog, line).size(), 0);
    if (QByteArray(c.mode) == "logdirs") {
        EXPECT_EQ(logLinesWith(QDir(workDir).filePath(QStringLiteral("halvoran_runtime.log")),
                               QStringLiteral("probe before app token")).size(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Places, RuntimeLogPlace,
    ::testing::Values(LogPlaceCase{"ProgramFolder", "logdirs", false, "probe after app token"},
                      LogPlaceCase{"StateFolder", "logdirs", true, "probe after app token"},
                      LogPlaceCase{"CrashLineInStateFolder", "appsegv", true, "[UNHANDLED_EXCEPTION] code=0xb"}),
    [](const ::testing::TestParamInfo<LogPlaceCase>& info) { return std::string(info.param.name); });

TEST(PerfLog, WritesOnlyWhenEnabledAndAtThreshold)
{
    struct Case {
        const char* env;
        qint64 elapsed;
        qint64 threshold;
        bool expected;
    };
    const Case cases[] = {
        {nullptr, 500, 20, false}, {"0", 500, 20, false},  {"abc", 500, 20, false}, {"", 500, 20, false},
        {"1", 19, 20, false},      {"1", 20, 20, true},    {"1", 21, 20, true},     {"-3", 40, 35, true},
    };
    for (const Case& c : cases) {
        PerfEnv env(c.env);
        const QString token = uniqueToken();
        logPerfTiming(QStringLiteral("DXF export ") + token, c.elapsed, c.threshold);
        const QStringList lines = logLinesWith(applicationLogPath(), token);
        ASSERT_EQ(lines.size(), c.expected ? 1 : 0) << (c.env ? c.env : "(unset)") << " " << c.elapsed;
        if (c.expected) {
            EXPECT_TRUE(kTimestamp.match(lines[0]).hasMatch());
            EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" [PERF] DXF export %1: %2 ms").arg(token).arg(c.elapsed)))
                << lines[0].toStdString();
        }
    }
}

TEST(CrashHooks, TerminateLogsAndExitsWithStatusOne)
{
    const QStringList before = logLinesWith(probeLogPath(), QStringLiteral("[TERMINATE]"));
    const ProbeRun run = runProbe({QStringLiteral("terminate")});
    EXPECT_EQ(run.status, QProcess::NormalExit);
    EXPECT_EQ(run.exitCode, 1);
    const QStringList after = logLinesWith(probeLogPath(), QStringLiteral("[TERMINATE] std::terminate invoked"));
    EXPECT_EQ(after.size(), before.size() + 1);
}

TEST(CrashHooks, SegfaultLeavesExactlyOneLine)
{
    // The signal in the marker: the other crash cases share this log and may run alongside.
    const QString marker = QStringLiteral("[UNHANDLED_EXCEPTION] code=0xb ");
    const int before = logLinesWith(probeLogPath(), marker).size();
    const ProbeRun run = runProbe({QStringLiteral("segv")});
    EXPECT_EQ(run.status, QProcess::CrashExit);
    const QStringList lines = logLinesWith(probeLogPath(), marker);
    ASSERT_EQ(lines.size(), before + 1);
    // Signal 11 as the code; the probe writes to address 0x10.
    const QRegularExpression pattern(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d{3} \\[UNHANDLED_EXCEPTION\\] code=0xb address=0x10$"));
    EXPECT_TRUE(pattern.match(lines.last()).hasMatch()) << lines.last().toStdString();
}

TEST(CrashHooks, CrashTimestampMatchesLocalTime)
{
    const int before = logLinesWith(probeLogPath(), QStringLiteral("code=0x8 ")).size();
    const QDateTime start = QDateTime::currentDateTime().addSecs(-1);
    runProbe({QStringLiteral("fpe")});
    const QDateTime end = QDateTime::currentDateTime().addSecs(1);
    const QStringList lines = logLinesWith(probeLogPath(), QStringLiteral("code=0x8 "));
    ASSERT_EQ(lines.size(), before + 1);
    const QDateTime stamp = QDateTime::fromString(lines.last().section(QLatin1Char(' '), 0, 0), Qt::ISODateWithMs);
    ASSERT_TRUE(stamp.isValid());
    EXPECT_GE(stamp, start);
    EXPECT_LE(stamp, end);
}

TEST(CrashHooks, FatalMessageLogsAndAborts)
{
    const QString marker = QStringLiteral("[FATAL] probe fatal");
    const int before = logLinesWith(probeLogPath(), marker).size();
    const ProbeRun run = runProbe({QStringLiteral("fatal")});
    EXPECT_EQ(run.status, QProcess::CrashExit);
    EXPECT_EQ(logLinesWith(probeLogPath(), marker).size(), before + 1);
}
