// Session files: what is written, and what a damaged or foreign file gives.
#include "io/sessionfile.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

TEST(SessionFile, RoundTripKeepsEverySettingAndTheDrawnWork)
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
    s.drawingHiddenLines = true;

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
    EXPECT_EQ(back.drawingHiddenLines, true);
    // Drawn work round-trips too.
    SectionAnnotation radius;
    radius.kind = QStringLiteral("measure_radius");
    radius.points = {QPointF(5, 0), QPointF(0, 5), QPointF(-5, 0)};
    radius.center = QPointF(0, 0);
    radius.radius = 5.0;
    radius.isMeasurement = true;
    radius.label = QStringLiteral("R 5.00 mm");
    SectionAnnotation rectangle;
    rectangle.kind = QStringLiteral("rectangle");
    rectangle.rect = QRectF(-1.5, 2.25, 4, 3);
    SectionAnnotation polygon;
    polygon.kind = QStringLiteral("polygon");
    polygon.points = {QPointF(1, 1), QPointF(4, 1), QPointF(4, 3)};
    polygon.closed = true;

    SessionSettings drawn;
    drawn.annotations = QList<SectionAnnotation>{radius, rectangle, polygon};
    drawn.keptIndices = QList<int>{0, 4, 17};
    SessionSettings drawnBack;
    QString drawnError;
    ASSERT_TRUE(sessionFromJson(sessionToJson(drawn), &drawnBack, &drawnError));
    ASSERT_TRUE(drawnBack.annotations && drawnBack.keptIndices);
    EXPECT_EQ(*drawnBack.keptIndices, *drawn.keptIndices);
    ASSERT_EQ(drawnBack.annotations->size(), 3);
    for (int i = 0; i < 3; ++i) {
        const SectionAnnotation& a = (*drawnBack.annotations)[i];
        const SectionAnnotation& b = (*drawn.annotations)[i];
        EXPECT_EQ(a.kind, b.kind);
        EXPECT_EQ(a.points, b.points);
        EXPECT_EQ(a.center, b.center);
        EXPECT_EQ(a.rect, b.rect);
        EXPECT_EQ(a.radius, b.radius);
        EXPECT_EQ(a.closed, b.closed);
        EXPECT_EQ(a.label, b.label);
        EXPECT_EQ(a.isMeasurement, b.isMeasurement);
    }

    // Files from before these keys leave both empty, so nothing is touched.
    ASSERT_TRUE(sessionFromJson(R"({"version":1,"sliceAxis":0})", &drawnBack, &drawnError));
    EXPECT_FALSE(drawnBack.annotations);
    EXPECT_FALSE(drawnBack.keptIndices);
}

TEST(SessionFile, MissingOrMistypedKeysTakeDefaultsAndNonJsonIsRefused)
{
    SessionSettings s;
    QString error;
    ASSERT_TRUE(sessionFromJson(R"({"sliceAxis":"x","keepRatio":true,"meshPath":7,"layerKept":1,"edgeAngle":"30",
                                    "wireframeComplexity":1e41,"qualityPreset":-1e300})",
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
    EXPECT_FALSE(s.drawingHiddenLines);
    EXPECT_FALSE(s.wireframeMode);

    // Not an object: every default.
    ASSERT_TRUE(sessionFromJson("[1, 2, 3]", &s, &error));
    EXPECT_EQ(s.sliceAxis, 2);
    EXPECT_FALSE(s.wireframeMode);
    // Text that is not JSON is refused with the parser message and changes nothing.
    s.keepRatio = 42;
    for (const QByteArray& bad : {QByteArray(), QByteArray("{\"sliceAxis\": 1"), QByteArray("\x89PNG\r\n\x1a\n", 8)}) {
        error.clear();
        EXPECT_FALSE(sessionFromJson(bad, &s, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(s.keepRatio, 42); // untouched
    }
}

// A damaged record is left out, its neighbours come back; kept indices keep
// only non-negative whole numbers.
#define GOOD R"({"kind":"line","points":[[0,0],[1,1]],"center":[0,0],"rect":[0,0,0,0],"radius":0})"
TEST(SessionFile, DamagedDrawnWorkEntriesAreLeftOut)
{
    const struct {
        const char* name;
        const char* json;
        int annotations; // -1: key treated as missing
        std::vector<int> kept;
    } cases[] = {
        {"not an array", R"({"sectionAnnotations":{"kind":"line"},"keptIndices":"1,2"})", -1, {}},
        {"empty", R"({"sectionAnnotations":[],"keptIndices":[]})", 0, {}},
        {"record not an object", R"({"sectionAnnotations":[7, "line", null, )" GOOD "]}", 1, {}},
        {"unknown kind",
         R"({"sectionAnnotations":[{"kind":"spline","points":[],"center":[0,0],"rect":[0,0,0,0],"radius":0}, )" GOOD "]}", 1,
         {}},
        {"point with one coordinate",
         R"({"sectionAnnotations":[{"kind":"line","points":[[0],[1,1]],"center":[0,0],"rect":[0,0,0,0],"radius":0}]})", 0,
         {}},
        {"point as text",
         R"({"sectionAnnotations":[{"kind":"line","points":[["0","0"],[1,1]],"center":[0,0],"rect":[0,0,0,0],"radius":0}]})",
         0, {}},
        {"negative radius",
         R"({"sectionAnnotations":[{"kind":"circle","points":[],"center":[0,0],"rect":[0,0,0,0],"radius":-2}]})", 0, {}},
        {"missing centre", R"({"sectionAnnotations":[{"kind":"line","points":[[0,0],[1,1]],"rect":[0,0,0,0],"radius":0}]})",
         0, {}},
        {"kept out of range and repeated", R"({"keptIndices":[5,-1,2.5,"3",5,1e12,0,2147483647,null,2]})", -1,
         {0, 2, 5, 2147483647}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionSettings s;
        QString error;
        ASSERT_TRUE(sessionFromJson(QByteArray(c.json), &s, &error)) << error.toStdString();
        if (c.annotations < 0) {
            EXPECT_FALSE(s.annotations);
        } else {
            EXPECT_EQ(s.annotations ? int(s.annotations->size()) : -1, c.annotations);
        }
        if (s.keptIndices) {
            EXPECT_EQ(std::vector<int>(s.keptIndices->begin(), s.keptIndices->end()), c.kept);
        }
    }
}
#undef GOOD
