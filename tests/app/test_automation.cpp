#include "app/automation.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Clears every automation variable a test may set.
class Automation : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear()
    {
        for (const char* name : {"HALVORAN_AUTOMATION", "HALVORAN_AUTOMATION_OUTPUT_DIR",
                                 "HALVORAN_AUTOMATION_EXPORT_DXF", "HALVORAN_AUTOMATION_COMPARE_DXF",
                                 "HALVORAN_AUTOMATION_SLICE_STACK_COUNT", "HALVORAN_AUTOMATION_MODEL_COLOR",
                                 "HALVORAN_AUTOMATION_OPEN_MESH"})
            qunsetenv(name);
    }
};

} // namespace

TEST_F(Automation, ModeFollowsEitherSwitchEvenWhenEmpty)
{
    EXPECT_FALSE(isAutomationMode());
    qputenv("HALVORAN_AUTOMATION", "");
    EXPECT_TRUE(isAutomationMode());
    qunsetenv("HALVORAN_AUTOMATION");
    qputenv("HALVORAN_AUTOMATION_OUTPUT_DIR", "");
    EXPECT_TRUE(isAutomationMode());
}

TEST_F(Automation, SaveUsesVariableOrDefaultInOutputDirectory)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.filePath(QStringLiteral("nested/out"));
    qputenv("HALVORAN_AUTOMATION_OUTPUT_DIR", ("  " + out + "  ").toLocal8Bit());
    const QString path = automationSaveFileName(nullptr, "Export DXF", "section.dxf", "DXF (*.dxf)",
                                                "HALVORAN_AUTOMATION_EXPORT_DXF");
    EXPECT_EQ(path, QDir(out).filePath(QStringLiteral("section.dxf")));
    EXPECT_TRUE(QDir(out).exists());

    const QString explicitPath = dir.filePath(QStringLiteral("elsewhere/deep/x.dxf"));
    qputenv("HALVORAN_AUTOMATION_EXPORT_DXF", explicitPath.toLocal8Bit());
    EXPECT_EQ(automationSaveFileName(nullptr, "Export DXF", "section.dxf", "DXF (*.dxf)",
                                     "HALVORAN_AUTOMATION_EXPORT_DXF"),
              explicitPath);
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("elsewhere/deep"))).exists());
}

TEST_F(Automation, EmptyOutputVariableMeansApplicationSubdirectory)
{
    qputenv("HALVORAN_AUTOMATION_OUTPUT_DIR", "   ");
    EXPECT_EQ(automationOutputDir(), QDir(QCoreApplication::applicationDirPath()).filePath("automation-smoke"));
}

TEST_F(Automation, OpenWithoutVariableOrDefaultIsEmpty)
{
    QTemporaryDir dir;
    qputenv("HALVORAN_AUTOMATION", "1");
    qputenv("HALVORAN_AUTOMATION_OUTPUT_DIR", dir.path().toLocal8Bit());
    EXPECT_TRUE(automationOpenFileName(nullptr, "Open", QString(), "*", "HALVORAN_AUTOMATION_OPEN_MESH").isEmpty());
    EXPECT_EQ(automationOpenFileName(nullptr, "Compare", QString(), "*", "HALVORAN_AUTOMATION_COMPARE_DXF",
                                     "section.dxf"),
              QDir(dir.path()).filePath("section.dxf"));
    qputenv("HALVORAN_AUTOMATION_OPEN_MESH", " /data/part.stl ");
    EXPECT_EQ(automationOpenFileName(nullptr, "Open", QString(), "*", "HALVORAN_AUTOMATION_OPEN_MESH"),
              QStringLiteral("/data/part.stl"));
}

TEST_F(Automation, NumbersAndColoursFallBackOnGarbage)
{
    EXPECT_EQ(envIntOrDefault("HALVORAN_AUTOMATION_SLICE_STACK_COUNT", 10), 10);
    qputenv("HALVORAN_AUTOMATION_SLICE_STACK_COUNT", "twelve");
    EXPECT_EQ(envIntOrDefault("HALVORAN_AUTOMATION_SLICE_STACK_COUNT", 10), 10);
    qputenv("HALVORAN_AUTOMATION_SLICE_STACK_COUNT", " 25 ");
    EXPECT_EQ(envIntOrDefault("HALVORAN_AUTOMATION_SLICE_STACK_COUNT", 10), 25);

    const QColor fallback(QStringLiteral("#6ec8ff"));
    qputenv("HALVORAN_AUTOMATION_MODEL_COLOR", "not a colour");
    EXPECT_EQ(envColorOrDefault("HALVORAN_AUTOMATION_MODEL_COLOR", fallback), fallback);
    qputenv("HALVORAN_AUTOMATION_MODEL_COLOR", "red");
    EXPECT_EQ(envColorOrDefault("HALVORAN_AUTOMATION_MODEL_COLOR", fallback), QColor(Qt::red));
}
