// Sketch and measure tools on the section canvas, driven by mouse events, and
// the window's "Draw Tools" commands with their status texts.
#include "model/section/sectionsketch.h"
#include "ui/mainwindow/mainwindow.h"
#include "ui/section2d/section2dwidget.h"
#include "tests/ui/common/windowtest.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <cmath>
#include <functional>
#include <memory>

namespace {

bool near(const QPointF& a, const QPointF& b, double tolerance)
{
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

// The entry of a named toolbar, so that same-named actions elsewhere (the
// wireframe toolbar's Snap) cannot be picked up instead.
QAction* toolbarAction(QToolBar* bar, const QString& text)
{
    for (QAction* action : toolbarRowActions(bar))
        if (action->text() == text)
            return action;
    return nullptr;
}

QAction* drawAction(QWidget* window, const QString& text)
{
    return toolbarAction(findToolbar(window, QStringLiteral("Draw Tools")), text);
}

QString describe(const QPointF& p)
{
    return QStringLiteral("(%1, %2)").arg(p.x()).arg(p.y());
}

} // namespace

class TestSection2DTools : public QObject {
    Q_OBJECT

private:
    QPoint pixelOf(const QPointF& p) const { return canvas_->viewTransform().map(p).toPoint(); }
    // Clicks at a pixel; returns the section point the canvas saw there.
    QPointF clickPixel(const QPoint& pixel, Qt::MouseButton button = Qt::LeftButton)
    {
        const QPointF seen = canvas_->mapToSection(pixel);
        sendMouse(canvas_.get(), QEvent::MouseButtonPress, pixel, button, button);
        sendMouse(canvas_.get(), QEvent::MouseButtonRelease, pixel, button, Qt::NoButton);
        return seen;
    }
    void doubleClickPixel(const QPoint& pixel)
    {
        sendMouse(canvas_.get(), QEvent::MouseButtonPress, pixel, Qt::LeftButton, Qt::LeftButton);
        sendMouse(canvas_.get(), QEvent::MouseButtonRelease, pixel, Qt::LeftButton, Qt::NoButton);
        sendMouse(canvas_.get(), QEvent::MouseButtonDblClick, pixel, Qt::LeftButton, Qt::LeftButton);
        sendMouse(canvas_.get(), QEvent::MouseButtonRelease, pixel, Qt::LeftButton, Qt::NoButton);
    }
    void drag(const QPoint& from, const QPoint& to)
    {
        sendMouse(canvas_.get(), QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        sendMouse(canvas_.get(), QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
        sendMouse(canvas_.get(), QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        sendMouse(canvas_.get(), QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    // A 10 x 6 outline: gives the view a scale of about 32 pixels per unit.
    void loadOutline()
    {
        canvas_->setSectionLines(
            {QLineF(2, 3, 12, 3), QLineF(12, 3, 12, 9), QLineF(12, 9, 2, 9), QLineF(2, 9, 2, 3)});
    }
    // Eleven vertical lines x = 0..10, each 10 long.
    void loadComb()
    {
        SectionLines lines;
        for (int i = 0; i <= 10; ++i)
            lines.append(QLineF(i, 0, i, 10));
        canvas_->setSectionLines(lines);
    }
    double upp() const { return canvas_->unitsPerPixel(); }

    std::unique_ptr<Section2DWidget> canvas_;

private slots:
    void init()
    {
        canvas_ = std::make_unique<Section2DWidget>();
        canvas_->resize(400, 300);
    }
    void cleanup() { canvas_.reset(); }

    void clickProtocols_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QList<QPoint>>("clicks");
        QTest::addColumn<bool>("doubleClickLast");
        QTest::addColumn<QString>("kind"); // empty: the clicks make nothing
        using T = sketch::Tool;
        QTest::newRow("line") << int(T::Line) << QList<QPoint>{{100, 100}, {250, 180}} << false << QStringLiteral("line");
        // Upper right first, then lower left.
        QTest::newRow("rect") << int(T::Rect) << QList<QPoint>{{300, 60}, {120, 200}} << false
                              << QStringLiteral("rectangle");
        QTest::newRow("circle") << int(T::Circle) << QList<QPoint>{{200, 60}, {110, 150}, {200, 240}} << false
                                << QStringLiteral("circle");
        QTest::newRow("collinear circle") << int(T::Circle) << QList<QPoint>{{100, 150}, {200, 150}, {300, 150}} << false
                                          << QString();
        // The double click's own press adds its point once, not twice.
        QTest::newRow("polygon") << int(T::Polygon) << QList<QPoint>{{100, 100}, {200, 80}, {260, 160}, {150, 220}}
                                 << true << QStringLiteral("polygon");
        QTest::newRow("polygon of two") << int(T::Polygon) << QList<QPoint>{{100, 100}, {200, 80}} << true << QString();
        QTest::newRow("point label") << int(T::Point) << QList<QPoint>{{180, 120}} << false
                                     << QStringLiteral("point_label");
    }

    // Each tool finishes on its own click (or double click) and records exactly
    // the points the canvas saw; the record itself is sketch::buildToolRecord's.
    void clickProtocols()
    {
        QFETCH(int, tool);
        QFETCH(QList<QPoint>, clicks);
        QFETCH(bool, doubleClickLast);
        QFETCH(QString, kind);
        loadOutline();
        canvas_->setTool(sketch::Tool(tool));
        QList<QPointF> seen;
        for (int i = 0; i < clicks.size(); ++i) {
            QCOMPARE(canvas_->pendingPointList().size(), i);
            QVERIFY(canvas_->annotations().isEmpty());
            if (doubleClickLast && i + 1 == clicks.size()) {
                seen << canvas_->mapToSection(clicks[i]);
                doubleClickPixel(clicks[i]);
            } else {
                seen << clickPixel(clicks[i]);
            }
        }
        QVERIFY(canvas_->pendingPointList().isEmpty());
        if (kind.isEmpty()) {
            QVERIFY(canvas_->annotations().isEmpty());
            clickPixel(QPoint(200, 60)); // the next click starts afresh
            QCOMPARE(canvas_->pendingPointList().size(), 1);
            return;
        }
        QCOMPARE(canvas_->annotations().size(), 1);
        const SectionAnnotation made = canvas_->annotations().first();
        const SectionAnnotation expected = sketch::buildToolRecord(sketch::Tool(tool), seen);
        QCOMPARE(made.kind, kind);
        QCOMPARE(made.points, expected.points);
        QCOMPARE(made.rect, expected.rect);
        QCOMPARE(made.center, expected.center);
        QCOMPARE(made.radius, expected.radius);
        QCOMPARE(made.label, expected.label);
        QCOMPARE(made.closed, expected.closed);
        QCOMPARE(made.isMeasurement, expected.isMeasurement);
        QCOMPARE(canvas_->selectedAnnotationIndex(), 0);
    }

    void snappedMeasurementsFinishOrAreDiscarded()
    {
        loadOutline();
        canvas_->setSnapEnabled(true);
        canvas_->setTool(sketch::Tool::Length);
        // Snapped measurements: just outside two corners of the outline, snapped
        // exactly onto them, 10 units apart.
        clickPixel(pixelOf(QPointF(2, 3)) + QPoint(-3, 3));
        clickPixel(pixelOf(QPointF(12, 3)) + QPoint(3, 3));
        QCOMPARE(canvas_->annotations().size(), 1);
        const SectionAnnotation length = canvas_->annotations().first();
        QCOMPARE(length.kind, QStringLiteral("measure_length"));
        QVERIFY(length.isMeasurement);
        QCOMPARE(length.label, QStringLiteral("10.00 mm"));

        // One point and a right click: nothing more.
        clickPixel(pixelOf(QPointF(2, 9)) + QPoint(-3, -3));
        QCOMPARE(canvas_->pendingPointList().size(), 1);
        clickPixel(QPoint(5, 5), Qt::RightButton);
        QVERIFY(canvas_->pendingPointList().isEmpty());
        QCOMPARE(canvas_->annotations().size(), 1);

        // The angle's third point by double click on the corner above the vertex.
        canvas_->setTool(sketch::Tool::Angle);
        clickPixel(pixelOf(QPointF(12, 3)) + QPoint(3, 3));
        clickPixel(pixelOf(QPointF(2, 3)) + QPoint(-3, 3));
        doubleClickPixel(pixelOf(QPointF(2, 9)) + QPoint(-3, -3));
        QCOMPARE(canvas_->annotations().size(), 2);
        const SectionAnnotation angle = canvas_->annotations()[1];
        QCOMPARE(angle.kind, QStringLiteral("measure_angle"));
        QCOMPARE(angle.label, QStringLiteral("90.00 deg"));
        QCOMPARE(angle.points[1], QPointF(2, 3));
        // A right click with two points finishes with too few: discarded.
        clickPixel(QPoint(100, 100));
        clickPixel(QPoint(200, 200));
        clickPixel(QPoint(5, 5), Qt::RightButton);
        QCOMPARE(canvas_->annotations().size(), 2);
        QVERIFY(canvas_->pendingPointList().isEmpty());
    }

    void changingToolOrClearDropsShapeInProgress()
    {
        loadOutline();
        canvas_->setTool(sketch::Tool::Line);
        clickPixel(QPoint(100, 100));
        clickPixel(QPoint(200, 100));
        QCOMPARE(canvas_->selectedAnnotationIndex(), 0);
        clickPixel(QPoint(150, 200));
        canvas_->setTool(sketch::Tool::Select);
        QVERIFY(canvas_->pendingPointList().isEmpty());
        QCOMPARE(canvas_->selectedAnnotationIndex(), 0); // kept into Select
        canvas_->setTool(sketch::Tool::Circle);
        QCOMPARE(canvas_->selectedAnnotationIndex(), -1);
        // Clear drops a shape in progress too.
        clickPixel(QPoint(100, 100));
        canvas_->clearAnnotations();
        QVERIFY(canvas_->annotations().isEmpty());
        QVERIFY(canvas_->pendingPointList().isEmpty());
    }

    void shapeInProgressIsDrawn()
    {
        loadOutline();
        canvas_->setLayerVisible(QStringLiteral("contour"), false);
        canvas_->setTool(sketch::Tool::Line);
        const QImage before = canvas_->grab().toImage();
        clickPixel(QPoint(60, 150));
        sendMouse(canvas_.get(), QEvent::MouseMove, QPoint(340, 150), Qt::NoButton, Qt::NoButton);
        const QImage during = canvas_->grab().toImage();
        int changed = 0;
        for (int x = 70; x < 330; ++x)
            if (during.pixelColor(x, 150) != before.pixelColor(x, 150))
                ++changed;
        // A dashed line: many, but not all, pixels along it.
        QVERIFY2(changed > 60, qPrintable(QString::number(changed)));
        canvas_->setTool(sketch::Tool::Navigation);
        const QImage after = canvas_->grab().toImage();
        for (int x = 70; x < 330; ++x)
            QCOMPARE(after.pixelColor(x, 150), before.pixelColor(x, 150));
    }

    void snapsToSegmentEndWithinTenPixels()
    {
        // Two lines 5 units (well over 10 pixels) apart.
        canvas_->setSectionLines({QLineF(0, 0, 10, 0), QLineF(0, 5, 10, 5)});
        canvas_->setSnapEnabled(true);
        canvas_->setTool(sketch::Tool::Line);
        const QPoint end = pixelOf(QPointF(10, 0));
        // Beyond the end, right and down: 7.2 pixels from it.
        clickPixel(end + QPoint(6, 4));
        QCOMPARE(canvas_->pendingPointList().first(), QPointF(10, 0));
        // 10.8 pixels away: the raw point.
        const QPointF raw = clickPixel(end + QPoint(9, 6));
        QCOMPARE(canvas_->annotations().size(), 1);
        const SectionAnnotation line = canvas_->annotations().first();
        QCOMPARE(line.points[0], QPointF(10, 0));
        QVERIFY2(near(line.points[1], raw, 1e-9), qPrintable(describe(line.points[1])));
        QVERIFY(line.points[1].x() > 10.1);

        // Without snap the first point stays where clicked.
        canvas_->setSnapEnabled(false);
        const QPoint endNow = pixelOf(QPointF(10, 0));
        const QPointF unsnapped = clickPixel(endNow + QPoint(6, 4));
        QVERIFY(near(canvas_->pendingPointList().first(), unsnapped, 1e-9));
        QVERIFY(!near(unsnapped, QPointF(10, 0), 0.05));
    }

    void pickSelectsNearestWithinRadius()
    {
        loadOutline();
        SectionAnnotation line;
        line.kind = QStringLiteral("line");
        line.points = {QPointF(4, 6), QPointF(10, 6)};
        canvas_->setAnnotations({line});
        canvas_->setTool(sketch::Tool::Select);

        clickPixel(pixelOf(QPointF(7, 6)) + QPoint(0, 4));
        QCOMPARE(canvas_->selectedAnnotationIndex(), 0);
        QCOMPARE(canvas_->selectedSegmentIndex(), -1);

        // Near the right side of the outline.
        clickPixel(pixelOf(QPointF(12, 4.5)) + QPoint(-5, 0));
        QCOMPARE(canvas_->selectedSegmentIndex(), 1);
        QCOMPARE(canvas_->selectedAnnotationIndex(), -1);

        // 12 pixels from everything: nothing.
        clickPixel(pixelOf(QPointF(12, 4.5)) + QPoint(-12, 0));
        QCOMPARE(canvas_->selectedSegmentIndex(), -1);
        QCOMPARE(canvas_->selectedAnnotationIndex(), -1);

        // Navigation picks too.
        canvas_->setTool(sketch::Tool::Navigation);
        clickPixel(pixelOf(QPointF(7, 3)) + QPoint(0, 3));
        QCOMPARE(canvas_->selectedSegmentIndex(), 0);
        // A right click clears the selection.
        canvas_->setTool(sketch::Tool::Select);
        QCOMPARE(canvas_->selectedSegmentIndex(), 0);
        clickPixel(QPoint(200, 150), Qt::RightButton);
        QCOMPARE(canvas_->selectedSegmentIndex(), -1);
    }

    void eraserRadiusFollowsBrushSize()
    {
        // Vertical lines half a unit apart, about 12 pixels at this scale.
        SectionLines lines;
        for (int i = 0; i <= 20; ++i)
            lines.append(QLineF(i * 0.5, 0, i * 0.5, 10));
        const int expected[3] = {1, 3, 5};
        const double radii[3] = {8.0, 16.0, 30.0};
        for (int size = 0; size < 3; ++size) {
            canvas_ = std::make_unique<Section2DWidget>();
            canvas_->resize(400, 300);
            canvas_->setSectionLines(lines);
            canvas_->setEraserSize(size);
            QCOMPARE(canvas_->eraserRadiusPixels(), radii[size]);
            canvas_->setTool(sketch::Tool::Eraser);
            const QPoint pixel = pixelOf(QPointF(5, 5));
            const QPointF at = canvas_->mapToSection(pixel);
            const double radius = radii[size] * upp();
            clickPixel(pixel);

            const QSet<int> erased = canvas_->erasedIndices();
            QCOMPARE(int(erased.size()), expected[size]);
            for (int i = 0; i < lines.size(); ++i)
                QCOMPARE(erased.contains(i), std::abs(lines[i].x1() - at.x()) <= radius);
        }
        canvas_->setEraserSize(7);
        QCOMPARE(canvas_->eraserRadiusPixels(), 30.0);
        canvas_->setEraserSize(-2);
        QCOMPARE(canvas_->eraserRadiusPixels(), 8.0);
    }

    // Drags over eleven vertical lines: keep mode marks what a box crosses, the
    // area eraser what a box holds the midpoint of, the eraser what its path
    // touches, and an erased segment stops being kept.
    void dragsKeepAndErase()
    {
        loadComb();
        // Without keep mode a left drag keeps nothing.
        drag(pixelOf(QPointF(0.5, 2)), pixelOf(QPointF(2.5, 8)));
        QVERIFY(canvas_->keptIndices().isEmpty());
        canvas_->setKeepVectorMode(true);
        drag(pixelOf(QPointF(0.5, 2)), pixelOf(QPointF(2.5, 8)));
        QCOMPARE(canvas_->keptIndices(), QSet<int>({1, 2}));
        drag(pixelOf(QPointF(8.5, 2)), pixelOf(QPointF(9.5, 8)));
        QCOMPARE(canvas_->keptIndices(), QSet<int>({1, 2, 9}));
        QVERIFY(canvas_->erasedIndices().isEmpty());
        canvas_->setKeepVectorMode(false);

        canvas_->setTool(sketch::Tool::AreaEraser);
        // Thin boxes, 2 x 20 pixels centred on a segment midpoint, erase nothing.
        const QPoint mid = pixelOf(QPointF(5, 5));
        drag(mid - QPoint(1, 10), mid + QPoint(1, 10));
        drag(mid - QPoint(10, 1), mid + QPoint(10, 1));
        QVERIFY(canvas_->erasedIndices().isEmpty());
        // Midpoints of lines 4 and 5 inside; dragged from lower right to upper left.
        drag(pixelOf(QPointF(5.5, 4)), pixelOf(QPointF(3.5, 6)));
        QCOMPARE(canvas_->erasedIndices(), QSet<int>({4, 5}));
        QCOMPARE(canvas_->visibleSegmentIndices().size(), 9);

        canvas_->setTool(sketch::Tool::Eraser);
        canvas_->setEraserSize(0);
        // Across lines 0..2 at mid height, then a move with the button up.
        const QPoint from = pixelOf(QPointF(0, 5));
        const QPoint to = pixelOf(QPointF(2, 5));
        sendMouse(canvas_.get(), QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        for (int step = 1; step <= 6; ++step)
            sendMouse(canvas_.get(), QEvent::MouseMove, from + (to - from) * step / 6, Qt::NoButton, Qt::LeftButton);
        sendMouse(canvas_.get(), QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
        sendMouse(canvas_.get(), QEvent::MouseMove, pixelOf(QPointF(8, 5)), Qt::NoButton, Qt::NoButton);
        QCOMPARE(canvas_->erasedIndices(), QSet<int>({0, 1, 2, 4, 5}));
        QCOMPARE(canvas_->keptIndices(), QSet<int>({9}));
        canvas_->clearKeptIndices();
        QVERIFY(canvas_->keptIndices().isEmpty());
    }

    // Which segments a trace follows, and the offset's geometry, are
    // test_sectionsketch.cpp's (TraceFollowsOutlinesInAnyOrderStopsAtOpenEndsSkipsErasedAndWeldsGaps,
    // RadiusFitFindsArcsOnlyAndOffsetsMoveOneUnitTowardsTheClick); here the clicks that reach them.
    void traceReachesWithinOnePointFourPickRadii()
    {
        loadOutline();
        canvas_->setTool(sketch::Tool::Trace);
        clickPixel(pixelOf(QPointF(12, 6)) + QPoint(4, 0));
        QCOMPARE(canvas_->annotations().size(), 1);
        const SectionAnnotation piece = canvas_->annotations().first();
        QCOMPARE(piece.kind, QStringLiteral("contour_piece"));
        QVERIFY(piece.closed);
        QVERIFY(!piece.isMeasurement);
        QCOMPARE(canvas_->selectedAnnotationIndex(), 0);
        // 15 pixels inside the outline is beyond 1.4 x the pick radius; 13 is not.
        clickPixel(pixelOf(QPointF(12, 6)) + QPoint(-15, 0));
        QCOMPARE(canvas_->annotations().size(), 1);
        clickPixel(pixelOf(QPointF(12, 6)) + QPoint(-13, 0));
        QCOMPARE(canvas_->annotations().size(), 2);
    }

    void offsetMovesOneUnitTowardsClick()
    {
        // A straight chain of three pieces and a far line that sets a coarse scale
        // (5 units are under the 14-pixel reach).
        canvas_->setSectionLines({QLineF(0, 0, 10, 0), QLineF(10, 0, 20, 0), QLineF(20, 0, 30, 0),
                                  QLineF(0, 100, 200, 100)});
        QVERIFY(5.0 / upp() < 14.0);
        canvas_->setTool(sketch::Tool::Offset);
        clickPixel(pixelOf(QPointF(15, 5)));
        QCOMPARE(canvas_->annotations().size(), 1);
        const SectionAnnotation offset = canvas_->annotations().first();
        QCOMPARE(offset.kind, QStringLiteral("offset"));
        // The whole chain, on the side clicked.
        QVERIFY(std::abs(offset.points.first().x() - offset.points.last().x()) > 30.0 - 1e-9);
        QCOMPARE(offset.points.first().y(), 1.0);
        clickPixel(pixelOf(QPointF(15, -5)));
        QCOMPARE(canvas_->annotations().size(), 2);
        QCOMPARE(canvas_->annotations()[1].points.first().y(), -1.0);
    }

    void oneClickRadiusOnArc()
    {
        SectionLines arc;
        for (int i = 0; i < 40; ++i) {
            const double a0 = 3.14159265358979 * i / 40.0;
            const double a1 = 3.14159265358979 * (i + 1) / 40.0;
            arc.append(QLineF(10 * std::cos(a0), 10 * std::sin(a0), 10 * std::cos(a1), 10 * std::sin(a1)));
        }
        canvas_->setSectionLines(arc);
        canvas_->setTool(sketch::Tool::Radius);
        // 15 pixels outside the arc: within 18.
        const QPointF top(0, 10);
        clickPixel(pixelOf(top) + QPoint(0, -15));
        QCOMPARE(canvas_->annotations().size(), 1);
        const SectionAnnotation radius = canvas_->annotations().first();
        QCOMPARE(radius.kind, QStringLiteral("measure_radius"));
        QCOMPARE(radius.label, QStringLiteral("R 10.00 mm"));
        QVERIFY(radius.isMeasurement);
        QVERIFY(canvas_->pendingPointList().isEmpty());

        // 20 pixels away the click starts the three-click protocol.
        clickPixel(pixelOf(top) + QPoint(0, -20));
        QCOMPARE(canvas_->annotations().size(), 1);
        QCOMPARE(canvas_->pendingPointList().size(), 1);
    }

    void draggedHandlesUpdateLengthAndArc()
    {
        loadOutline();
        SectionAnnotation length = sketch::buildToolRecord(sketch::Tool::Length, {QPointF(4, 5), QPointF(7, 9)});
        canvas_->setAnnotations({length});
        QCOMPARE(canvas_->annotations().first().label, QStringLiteral("5.00 mm"));
        canvas_->setTool(sketch::Tool::Select);
        clickPixel(pixelOf(QPointF(5.5, 7)));
        QCOMPARE(canvas_->selectedAnnotationIndex(), 0);

        const QPoint grab = pixelOf(QPointF(7, 9)) + QPoint(2, 2);
        const QPoint target = pixelOf(QPointF(10, 5));
        sendMouse(canvas_.get(), QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
        const QPointF landed = canvas_->mapToSection(target);
        sendMouse(canvas_.get(), QEvent::MouseMove, target, Qt::NoButton, Qt::LeftButton);
        // Live, before the release.
        SectionAnnotation moved = canvas_->annotations().first();
        QVERIFY2(near(moved.points[1], landed, 1e-9), qPrintable(describe(moved.points[1])));
        QCOMPARE(moved.label, QStringLiteral("%1 mm").arg(QLineF(QPointF(4, 5), landed).length(), 0, 'f', 2));
        QVERIFY(moved.label != QStringLiteral("5.00 mm"));
        sendMouse(canvas_.get(), QEvent::MouseButtonRelease, target, Qt::LeftButton, Qt::NoButton);

        // After the release moves do not drag.
        sendMouse(canvas_.get(), QEvent::MouseMove, QPoint(20, 20), Qt::NoButton, Qt::NoButton);
        QCOMPARE(canvas_->annotations().first().points[1], moved.points[1]);
        QCOMPARE(canvas_->annotations().first().points[0], QPointF(4, 5));

        // A fitted arc keeps passing through its three handles; a drag that would
        // line them up is refused, and the Fit layer switch hides it from view.
        SectionAnnotation arc;
        arc.kind = QStringLiteral("arc");
        arc.isFit = true;
        arc.points = {QPointF(9, 6), QPointF(7, 8), QPointF(5, 6)};
        arc.center = QPointF(7, 6);
        arc.radius = 2.0;
        canvas_->setAnnotations({arc});
        clickPixel(pixelOf(QPointF(7, 8)));
        QCOMPARE(canvas_->selectedAnnotationIndex(), 0);

        drag(pixelOf(QPointF(7, 8)), pixelOf(QPointF(7, 9)));
        const SectionAnnotation bent = canvas_->annotations().first();
        const QPointF top = bent.points[1];
        QVERIFY2(std::abs(top.y() - 9) < 2 * upp(), qPrintable(describe(top)));
        for (const QPointF& p : bent.points)
            QVERIFY(std::abs(QLineF(p, bent.center).length() - bent.radius) < 1e-9);
        QVERIFY(bent.radius > 2.0);

        sendMouse(canvas_.get(), QEvent::MouseButtonPress, pixelOf(top), Qt::LeftButton, Qt::LeftButton);
        sendMouse(canvas_.get(), QEvent::MouseMove, pixelOf(QPointF(7, 6)), Qt::NoButton, Qt::LeftButton);
        sendMouse(canvas_.get(), QEvent::MouseButtonRelease, pixelOf(QPointF(7, 6)), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(canvas_->annotations().first().points[1], top);

        QVERIFY(canvas_->isLayerVisible(QStringLiteral("fit")));
        canvas_->setLayerVisible(QStringLiteral("fit"), false);
        QVERIFY(!canvas_->isLayerVisible(QStringLiteral("fit")));
    }

    void windowToolsAndCommandsReportStatus()
    {
        MainWindow window;
        Section2DWidget* canvas = window.sectionCanvas();
        QToolBar* draw = findToolbar(&window, QStringLiteral("Draw Tools"));
        QToolBar* measure = findToolbar(&window, QStringLiteral("Measure Tools"));
        QVERIFY(draw && measure);
        const auto actionOn = toolbarAction;

        const struct {
            const char* text;
            sketch::Tool tool;
        } tools[] = {{"Line", sketch::Tool::Line},       {"Circle", sketch::Tool::Circle},
                     {"Rect", sketch::Tool::Rect},       {"Polygon", sketch::Tool::Polygon},
                     {"Select", sketch::Tool::Select},   {"Eraser", sketch::Tool::Eraser},
                     {"Area Eraser", sketch::Tool::AreaEraser}, {"Trace", sketch::Tool::Trace},
                     {"Offset", sketch::Tool::Offset}};
        for (const auto& entry : tools) {
            QAction* action = actionOn(draw, QString::fromLatin1(entry.text));
            QVERIFY2(action, entry.text);
            action->trigger();
            QCOMPARE(canvas->currentTool(), entry.tool);
            QCOMPARE(window.modeText(), QStringLiteral("2D Draw: %1").arg(QLatin1String(entry.text)));
            QCOMPARE(window.statusBar()->currentMessage(),
                     QStringLiteral("Draw tool selected: %1").arg(QLatin1String(entry.text)));
            int checked = 0;
            for (QToolBar* bar : {draw, measure})
                for (QAction* other : bar->actions())
                    if (other->isChecked())
                        ++checked;
            QCOMPARE(checked, 1);
        }
        // Unchecking the current tool returns to navigation.
        actionOn(draw, QStringLiteral("Offset"))->trigger();
        QCOMPARE(canvas->currentTool(), sketch::Tool::Navigation);
        QCOMPARE(window.modeText(), QStringLiteral("2D Draw: Navigation"));
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Draw tool selected: Navigation"));

        // A measure tool replaces a draw tool.
        actionOn(draw, QStringLiteral("Line"))->trigger();
        actionOn(measure, QStringLiteral("Angle"))->trigger();
        QCOMPARE(canvas->currentTool(), sketch::Tool::Angle);
        QVERIFY(!actionOn(draw, QStringLiteral("Line"))->isChecked());
        QCOMPARE(window.modeText(), QStringLiteral("2D Measure: Angle"));
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Measure tool selected: Angle"));

        // The canvas commands of the toolbars and side panel in turn, each with
        // what it does and what it says.
        canvas->setSectionLines({QLineF(0, 0, 10, 0), QLineF(10, 0, 10, 10)});
        const SectionAnnotation line = sketch::buildToolRecord(sketch::Tool::Line, {QPointF(1, 1), QPointF(5, 5)});
        const SectionAnnotation polygon =
            sketch::buildToolRecord(sketch::Tool::Polygon, {QPointF(1, 1), QPointF(4, 1), QPointF(4, 3)});
        canvas->setAnnotations(
            {line, sketch::buildToolRecord(sketch::Tool::Length, {QPointF(2, 1), QPointF(6, 4)}), line});
        auto* brush = window.findChild<QComboBox*>(QStringLiteral("brushCombo"));
        QAbstractButton* keep = findButton(&window, QStringLiteral("Keep Vector Select"));
        QAction* snap = drawAction(&window, QStringLiteral("Snap"));
        QVERIFY(brush && keep && snap);
        const auto act = [&](const char* text) { drawAction(&window, QString::fromLatin1(text))->trigger(); };
        const auto annotations = [&](int n) { return canvas->annotations().size() == n; };
        const struct {
            const char* status;
            std::function<void()> run;
            std::function<bool()> done;
        } steps[] = {
            // Undo takes the last annotation and the selection with it.
            {"Undo last annotation",
             [&] {
                 canvas->setSelectedAnnotation(2);
                 act("Undo");
             },
             [&] { return annotations(2) && canvas->annotations()[1].isMeasurement && canvas->selectedAnnotationIndex() == -1; }},
            {"Nothing selected", [&] { act("Delete"); }, [&] { return annotations(2); }},
            {"Deleted selected item", [&] { canvas->setSelectedAnnotation(0); act("Delete"); }, [&] { return annotations(1); }},
            {"Deleted selected item", [&] { canvas->setSelectedSegment(1); act("Delete"); },
             [&] { return canvas->erasedIndices() == QSet<int>{1} && canvas->selectedSegmentIndex() == -1; }},
            // The remaining annotation is the measurement: merge is refused.
            {"Select a non-measure annotation to merge", [&] { canvas->setSelectedAnnotation(0); act("Merge"); },
             [&] { return annotations(1) && canvas->sectionLines().size() == 2; }},
            {"Cleared annotations",
             [&] {
                 canvas->setSelectedAnnotation(0);
                 act("Clear");
             },
             [&] { return annotations(0) && canvas->selectedAnnotationIndex() == -1; }},
            {"Undo last annotation", [&] { act("Undo"); }, [&] { return annotations(0); }},
            // A sketch merged becomes section lines, in the window's copy too.
            {"Merged annotation into contour data",
             [&] {
                 canvas->setAnnotations({polygon});
                 canvas->setSelectedAnnotation(0);
                 act("Merge");
             },
             [&] {
                 return annotations(0) && canvas->selectedAnnotationIndex() == -1 &&
                        window.sectionLines() == canvas->sectionLines() &&
                        canvas->sectionLines().mid(2) == Section2DWidget::annotationToLines(polygon);
             }},
            {"Select a non-measure annotation to merge", [&] { act("Merge"); }, [&] { return canvas->sectionLines().size() == 5; }},
            {"Eraser brush size: Large", [&] { brush->setCurrentIndex(2); }, [&] { return canvas->eraserRadiusPixels() == 30.0; }},
            {"Eraser brush size: Small", [&] { brush->setCurrentIndex(0); }, [&] { return canvas->eraserRadiusPixels() == 8.0; }},
            {"Keep vector mode: drag rectangle in 2D view", [&] { keep->setChecked(true); },
             [&] { return canvas->isKeepVectorMode(); }},
            {"Keep vector mode off", [&] { keep->setChecked(false); }, [&] { return !canvas->isKeepVectorMode(); }},
            {"Kept vectors cleared",
             [&] {
                 canvas->setKeptIndices({0, 2});
                 findButton(&window, QStringLiteral("Clear Kept Vectors"))->click();
             },
             [&] { return canvas->keptIndices().isEmpty(); }},
            {"Snap enabled", [&] { snap->trigger(); }, [&] { return canvas->isSnapEnabled(); }},
            {"Snap disabled", [&] { snap->trigger(); }, [&] { return !canvas->isSnapEnabled(); }},
        };
        for (const auto& step : steps) {
            step.run();
            QCOMPARE(window.statusBar()->currentMessage(), QString::fromLatin1(step.status));
            QVERIFY2(step.done(), step.status);
        }
    }

    void snapshotSavesTheCanvas()
    {
        QTemporaryDir out;
        ScopedEnv env;
        env.set("HALVORAN_AUTOMATION", "1");
        env.set("HALVORAN_AUTOMATION_OUTPUT_DIR", QFile::encodeName(out.path()));
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Section2DWidget* canvas = window.sectionCanvas();
        canvas->setSectionLines({QLineF(0, 0, 10, 0), QLineF(10, 0, 10, 6)});
        QAction* snapshot = findAction(&window, QStringLiteral("Snapshot"));
        QVERIFY(snapshot);

        // No path given: the default name in the output folder, the canvas as drawn.
        snapshot->trigger();
        const QString saved = out.filePath(QStringLiteral("snapshot.bmp"));
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Snapshot saved to %1").arg(saved));
        const QImage image(saved);
        QCOMPARE(image.size(), canvas->size() * canvas->devicePixelRatio());
        QCOMPARE(image.pixelColor(1, 1), Section2DWidget::backgroundColor());

        // A folder in the way of the file: the hint, and nothing claimed saved.
        const QString blocked = out.filePath(QStringLiteral("taken.png"));
        QVERIFY(QDir().mkpath(blocked));
        env.set("HALVORAN_AUTOMATION_SNAPSHOT", QFile::encodeName(blocked));
        MessageBoxCatcher boxes;
        snapshot->trigger();
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("Failed to save snapshot. Try BMP if PNG/JPEG codecs are unavailable.")});
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Snapshot export failed"));
    }

    void windowMeasurementsAreGrabbedByTheirCircle_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("kind");
        QTest::newRow("radius") << QStringLiteral("Radius") << QStringLiteral("measure_radius");
        QTest::newRow("arc") << QStringLiteral("Arc") << QStringLiteral("measure_arc");
    }

    // Radius and arc measurements are drawn as their circle: a click anywhere on
    // it selects, a drag on it moves the measurement, Delete and the Eraser
    // remove it. The bottom of the circle is far from the chords between the
    // three clicks on its upper half.
    void windowMeasurementsAreGrabbedByTheirCircle()
    {
        QFETCH(QString, tool);
        QFETCH(QString, kind);
        MainWindow window;
        window.resize(1400, 1000);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Section2DWidget* canvas = window.sectionCanvas();
        const auto send = [&](QEvent::Type type, const QPointF& at, Qt::MouseButtons buttons) {
            sendMouse(canvas, type, canvas->viewTransform().map(at).toPoint(),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons);
        };
        const auto click = [&](const QPointF& at) {
            send(QEvent::MouseButtonPress, at, Qt::LeftButton);
            send(QEvent::MouseButtonRelease, at, Qt::NoButton);
        };
        const auto measure = [&]() {
            QToolBar* bar = findToolbar(&window, QStringLiteral("Measure Tools"));
            for (QAction* action : bar->actions())
                if (action->text() == tool && !action->isChecked())
                    action->trigger();
            for (const QPointF& p : {QPointF(5, 0), QPointF(0, 5), QPointF(-5, 0)})
                click(p);
            QCOMPARE(canvas->annotations().size(), 1);
            QCOMPARE(canvas->annotations().first().kind, kind);
        };
        // A frame far from the circle sets the scale (about 20 pixels a unit).
        canvas->setSectionLines({QLineF(-20, -20, 20, -20), QLineF(20, -20, 20, 20), QLineF(20, 20, -20, 20),
                                 QLineF(-20, 20, -20, -20)});
        measure();
        QVERIFY2(canvas->pickRadius() < 1.0, qPrintable(QString::number(canvas->pickRadius())));
        const QPointF bottom(0, -5);

        drawAction(&window, QStringLiteral("Select"))->trigger();
        click(QPointF(10, 10)); // empty space
        QCOMPARE(canvas->selectedAnnotationIndex(), -1);
        click(bottom);
        QCOMPARE(canvas->selectedAnnotationIndex(), 0);
        QCOMPARE(canvas->selectedSegmentIndex(), -1);

        // Grabbed on the circle, the whole measurement moves with the cursor.
        const SectionAnnotation before = canvas->annotations().first();
        const QPoint from = canvas->viewTransform().map(bottom).toPoint();
        const QPoint to = from + QPoint(60, 40);
        const QPointF shift = canvas->mapToSection(to) - canvas->mapToSection(from);
        sendMouse(canvas, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        sendMouse(canvas, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
        sendMouse(canvas, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        sendMouse(canvas, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
        SectionAnnotation moved = canvas->annotations().first();
        QVERIFY2(near(moved.center, before.center + shift, 1e-9), qPrintable(describe(moved.center)));
        for (int i = 0; i < 3; ++i)
            QVERIFY(near(moved.points[i], before.points[i] + shift, 1e-9));
        QCOMPARE(moved.radius, before.radius);
        QCOMPARE(moved.label, before.label);

        // A click point dragged outwards: the circle passes through it and the
        // label follows the new circle.
        const QPointF handle = moved.points[0];
        const QPointF outward = handle + QPointF(2, 0);
        send(QEvent::MouseButtonPress, handle, Qt::LeftButton);
        send(QEvent::MouseMove, outward, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, outward, Qt::NoButton);
        moved = canvas->annotations().first();
        for (const QPointF& p : moved.points)
            QVERIFY(std::abs(QLineF(p, moved.center).length() - moved.radius) < 1e-9);
        QVERIFY(moved.radius > before.radius);
        QCOMPARE(moved.label, sketch::buildToolRecord(kind == QLatin1String("measure_arc") ? sketch::Tool::Arc
                                                                                            : sketch::Tool::Radius,
                                                      moved.points)
                                  .label);

        drawAction(&window, QStringLiteral("Delete"))->trigger();
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Deleted selected item"));
        QVERIFY(canvas->annotations().isEmpty());
        QVERIFY(canvas->erasedIndices().isEmpty());

        // The Eraser over the circle takes the measurement; inside it, nothing.
        measure();
        drawAction(&window, QStringLiteral("Eraser"))->trigger();
        canvas->setEraserSize(0);
        click(QPointF(0, 0));
        QCOMPARE(canvas->annotations().size(), 1);
        click(bottom);
        QVERIFY(canvas->annotations().isEmpty());
        QVERIFY(canvas->erasedIndices().isEmpty());
    }
};

QTEST_MAIN(TestSection2DTools)
#include "test_section2dtools.moc"
