// The smoke test empties its output folder: which folders it may use, and
// the real program refusing to empty the wrong one.
#include "app/commandline.h"
#include "app/smokeoutput.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

struct FolderCase {
    const char* name;
    // The "--smoke-output=" argument, or none when null; built at run time
    // because the guarded folders are only known then.
    std::function<QString()> argument;
    std::function<QString()> expectedFolder; // null: refused
};

void PrintTo(const FolderCase& c, std::ostream* os)
{
    *os << c.name;
}

QString appDir()
{
    return QCoreApplication::applicationDirPath();
}

class SmokeOutputFolder : public ::testing::TestWithParam<FolderCase> {};

TEST_P(SmokeOutputFolder, ChoosesOrRefuses)
{
    const FolderCase& c = GetParam();
    QStringList args{QStringLiteral("halvoran"), QStringLiteral("--smoke-test")};
    if (c.argument)
        args << QStringLiteral("--smoke-output=") + c.argument();
    const QString folder = smokeOutputFolder(parseCommandLine(args), appDir());
    const QString refusal = smokeOutputRefusal(folder);
    if (c.expectedFolder) {
        EXPECT_EQ(folder, c.expectedFolder());
        EXPECT_TRUE(refusal.isEmpty()) << refusal.toStdString();
    } else {
        EXPECT_TRUE(refusal.startsWith(QStringLiteral("Smoke output folder"))) << refusal.toStdString();
        EXPECT_TRUE(refusal.contains(folder)) << refusal.toStdString();
    }
}

QString defaultFolder()
{
    return appDir() + QStringLiteral("/smoke-output");
}

INSTANTIATE_TEST_SUITE_P(
    Smoke, SmokeOutputFolder,
    ::testing::Values(
        FolderCase{"NoArgumentUsesTheDefault", nullptr, defaultFolder},
        FolderCase{"EmptyValueUsesTheDefault", [] { return QString(); }, defaultFolder},
        FolderCase{"BlankValueUsesTheDefault", [] { return QStringLiteral("  "); }, defaultFolder},
        FolderCase{"ASubfolderIsUsed", [] { return QDir::currentPath() + QStringLiteral("/out"); },
                   [] { return QDir::currentPath() + QStringLiteral("/out"); }},
        FolderCase{"Root", [] { return QStringLiteral("/"); }, nullptr},
        FolderCase{"Home", [] { return QDir::homePath(); }, nullptr},
        FolderCase{"HomeWithATrailingSlash", [] { return QDir::homePath() + QStringLiteral("/"); }, nullptr},
        FolderCase{"AboveHome", [] { return QDir::homePath() + QStringLiteral("/.."); }, nullptr},
        FolderCase{"WorkingDirectory", [] { return QDir::currentPath(); }, nullptr},
        FolderCase{"Dot", [] { return QStringLiteral("."); }, nullptr},
        FolderCase{"DotDot", [] { return QStringLiteral(".."); }, nullptr},
        FolderCase{"ProgramFolder", [] { return appDir(); }, nullptr}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

// The real program in a scratch working directory that holds a file; the
// mesh cannot be read, so a smoke test that does start stops right after
// preparing its folder.
struct ProgramRun {
    const char* name;
    // The "--smoke-output=" value for a scratch folder and a scratch home.
    std::function<QString(const QString& work, const QString& home)> value;
};

void PrintTo(const ProgramRun& c, std::ostream* os)
{
    *os << c.name;
}

class SmokeOutputProgram : public ::testing::TestWithParam<ProgramRun> {};

TEST_P(SmokeOutputProgram, LeavesTheGuardedFolderAlone)
{
    QTemporaryDir work, home, meshes;
    ASSERT_TRUE(work.isValid() && home.isValid() && meshes.isValid());
    for (const QString& path : {work.filePath(QStringLiteral("keep.txt")), home.filePath(QStringLiteral("keep.txt"))}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("precious\n");
    }
    const QString mesh = meshes.filePath(QStringLiteral("broken.stl"));
    {
        QFile file(mesh);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a mesh");
    }

    QProcess process;
    process.setWorkingDirectory(work.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    QStringList args{QStringLiteral("--smoke-test"),
                     QStringLiteral("--smoke-output=") + GetParam().value(work.path(), home.path()), mesh};
#ifdef XVFB_RUN_PATH
    // The 3D views need OpenGL, which the offscreen platform lacks.
    // xvfb-run's own exit code can reflect its clean-up when several run at
    // once, so the program's code is echoed and read back instead.
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    args = QStringList{QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x1024x24"),
                       QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("\"$0\" \"$@\"; echo \"exit code $?\""),
                       QStringLiteral(HALVORAN_PATH)}
        + args;
    const QString program = QStringLiteral(XVFB_RUN_PATH);
#else
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString program = QStringLiteral(HALVORAN_PATH);
#endif
    process.setProcessEnvironment(env);
    process.start(program, args);
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    // Refused, or the mesh failed to load.
#ifdef XVFB_RUN_PATH
    EXPECT_TRUE(process.readAllStandardOutput().contains("exit code 1\n"));
#else
    EXPECT_EQ(process.exitCode(), 1);
#endif
    EXPECT_TRUE(QFileInfo::exists(work.filePath(QStringLiteral("keep.txt"))));
    EXPECT_TRUE(QFileInfo::exists(home.filePath(QStringLiteral("keep.txt"))));
}

INSTANTIATE_TEST_SUITE_P(
    Smoke, SmokeOutputProgram,
    ::testing::Values(ProgramRun{"EmptyValue", [](const QString&, const QString&) { return QString(); }},
                      ProgramRun{"Dot", [](const QString&, const QString&) { return QStringLiteral("."); }},
                      ProgramRun{"WorkingDirectory", [](const QString& work, const QString&) { return work; }},
                      ProgramRun{"Home", [](const QString&, const QString& home) { return home; }}),
    [](const ::testing::TestParamInfo<ProgramRun>& info) { return std::string(info.param.name); });

} // namespace
