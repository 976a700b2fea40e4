#include "app/commandline.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        first = touch(QStringLiteral("first.stl"));
        second = touch(QStringLiteral("second.stl"));
        hyphen = touch(QStringLiteral("-looks-like-a-switch.stl"));
    }
    QString touch(const QString& name)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        return path;
    }
    QTemporaryDir dir;
    QString first, second, hyphen;
};

} // namespace

TEST_F(CommandLine, SmokeSwitchIgnoresCase)
{
    EXPECT_TRUE(parseCommandLine({"app", "--SMOKE-TEST"}).smokeTest);
    EXPECT_TRUE(parseCommandLine({"app", "--Smoke-Test"}).smokeTest);
    EXPECT_FALSE(parseCommandLine({"app", "--smoke-tests"}).smokeTest);
    EXPECT_FALSE(parseCommandLine({"app"}).smokeTest);
}

TEST_F(CommandLine, OutputKeepsEverythingAfterFirstEquals)
{
    const CommandLineOptions o = parseCommandLine({"app", "--SMOKE-OUTPUT=/tmp/a=b=c"});
    EXPECT_TRUE(o.hasSmokeOutput);
    EXPECT_EQ(o.smokeOutputDir, QStringLiteral("/tmp/a=b=c"));
    EXPECT_FALSE(parseCommandLine({"app"}).hasSmokeOutput);
}

TEST_F(CommandLine, OnlyFirstExistingFileIsTaken)
{
    const CommandLineOptions o = parseCommandLine({"app", dir.filePath("missing.stl"), first, second});
    EXPECT_EQ(o.meshPath, QFileInfo(first).absoluteFilePath());
}

TEST_F(CommandLine, HyphenArgumentIsNeverAMesh)
{
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const CommandLineOptions o = parseCommandLine({"app", "-looks-like-a-switch.stl"});
    QDir::setCurrent(cwd);
    EXPECT_TRUE(o.meshPath.isEmpty());
}

TEST_F(CommandLine, ProgramNameAndMissingFilesAreIgnored)
{
    EXPECT_TRUE(parseCommandLine({first}).meshPath.isEmpty());
    EXPECT_TRUE(parseCommandLine({"app", dir.filePath("nothing.stl")}).meshPath.isEmpty());
}

TEST_F(CommandLine, RelativePathBecomesAbsolute)
{
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const CommandLineOptions o = parseCommandLine({"app", "second.stl", "--smoke-test"});
    QDir::setCurrent(cwd);
    EXPECT_EQ(o.meshPath, QFileInfo(second).absoluteFilePath());
    EXPECT_TRUE(o.smokeTest);
}
