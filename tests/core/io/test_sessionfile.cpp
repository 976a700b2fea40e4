// Session files: what is written, and what a damaged or foreign file gives.
#include "io/sessionfile.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

TEST(SessionFile, RoundTripKeepsEverySetting)
{
    SessionSettings s;
    s.meshPath = QStringLiteral("/scans/gehäuse teil.stl");
    s.sliceAxis = 0;
    s.slicePosition = -12.25;
    s.bandThickness = 0.8;
    s.keepRatio = 85;
    s.smooth2d = 20;
    s.wireframeMode = true;
    s.wireframeComplexity = 40;
    s.wireCleanupMode = 2;
    s.wireframeSnap = false;
    s.wireframeMeasure = true;
    s.wireframeExportMode = 0;
    s.isAligned = true;
    s.edgeAngle = 45.0;
    s.qualityPreset = 0;
    s.layerContour = false;
    s.layerAnnotation = true;
    s.layerMeasurement = false;
    s.layerKept = true;
    s.projectionOrthographic = false;

    const QByteArray json = sessionToJson(s);
    EXPECT_FALSE(json.contains('\n')); // compact
    EXPECT_EQ(QJsonDocument::fromJson(json).object().value(QStringLiteral("version")).toInt(), 1);

    SessionSettings back;
    QString error;
    ASSERT_TRUE(sessionFromJson(json, &back, &error));
    EXPECT_EQ(back.meshPath, s.meshPath);
    EXPECT_EQ(back.sliceAxis, 0);
    EXPECT_EQ(back.slicePosition, -12.25);
    EXPECT_EQ(back.bandThickness, 0.8);
    EXPECT_EQ(back.keepRatio, 85);
    EXPECT_EQ(back.smooth2d, 20);
    EXPECT_EQ(back.wireframeMode, true);
    EXPECT_EQ(back.wireframeComplexity, 40);
    EXPECT_EQ(back.wireCleanupMode, 2);
    EXPECT_EQ(back.wireframeSnap, false);
    EXPECT_EQ(back.wireframeMeasure, true);
    EXPECT_EQ(back.wireframeExportMode, 0);
    EXPECT_EQ(back.edgeAngle, 45.0);
    EXPECT_EQ(back.qualityPreset, 0);
    EXPECT_EQ(back.layerContour, false);
    EXPECT_EQ(back.layerMeasurement, false);
    EXPECT_EQ(back.projectionOrthographic, false);
}

TEST(SessionFile, MissingOrMistypedKeysTakeDefaults)
{
    SessionSettings s;
    QString error;
    ASSERT_TRUE(sessionFromJson(R"({"sliceAxis":"x","keepRatio":true,"meshPath":7,"layerKept":1,"edgeAngle":"30"})",
                                &s, &error));
    EXPECT_TRUE(s.meshPath.isEmpty());
    EXPECT_EQ(s.sliceAxis, 2);
    EXPECT_EQ(s.keepRatio, 100);
    EXPECT_EQ(s.smooth2d, 35);
    EXPECT_EQ(s.wireframeComplexity, 70);
    EXPECT_EQ(s.wireCleanupMode, 1);
    EXPECT_EQ(s.wireframeSnap, true);
    EXPECT_EQ(s.wireframeExportMode, 1);
    EXPECT_DOUBLE_EQ(s.bandThickness, 0.0);
    // Applied only when present with the right type.
    EXPECT_FALSE(s.slicePosition);
    EXPECT_FALSE(s.layerKept);
    EXPECT_FALSE(s.edgeAngle);
    EXPECT_FALSE(s.qualityPreset);
    EXPECT_FALSE(s.projectionOrthographic);
    EXPECT_FALSE(s.wireframeMode);

    // Not an object: every default.
    ASSERT_TRUE(sessionFromJson("[1, 2, 3]", &s, &error));
    EXPECT_EQ(s.sliceAxis, 2);
    EXPECT_FALSE(s.wireframeMode);
}

TEST(SessionFile, TextThatIsNotJsonIsRefusedWithTheParserMessage)
{
    SessionSettings s;
    s.keepRatio = 42;
    QString error;
    for (const QByteArray& bad : {QByteArray(), QByteArray("{\"sliceAxis\": 1"), QByteArray("\x89PNG\r\n\x1a\n", 8)}) {
        error.clear();
        EXPECT_FALSE(sessionFromJson(bad, &s, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(s.keepRatio, 42); // untouched
    }
}
