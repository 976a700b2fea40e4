// The section canvas: bounds and fitting, the y-up transform, wheel zoom and
// middle-button pan, erased segments, layer switches and the empty state.
#include "ui/mainwindow/mainwindow.h"
#include "ui/section2d/section2dwidget.h"
#include "tests/ui/common/windowtest.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QStackedWidget>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <memory>

namespace {

// A 10 x 6 rectangle outline with its lower-left corner at (2, 3).
SectionLines rectangleOutline()
{
    return {QLineF(2, 3, 12, 3), QLineF(12, 3, 12, 9), QLineF(12, 9, 2, 9), QLineF(2, 9, 2, 3)};
}


// Lines are antialiased: a pixel counts when it is the colour blended over
// the background with most of its weight, not merely a similar grey.
bool nearColour(const QColor& c, const QColor& colour)
{
    const QColor bg = Section2DWidget::backgroundColor();
    const double d[3] = {double(colour.red() - bg.red()), double(colour.green() - bg.green()),
                         double(colour.blue() - bg.blue())};
    const double p[3] = {double(c.red() - bg.red()), double(c.green() - bg.green()), double(c.blue() - bg.blue())};
    const double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    const double alpha = (p[0] * d[0] + p[1] * d[1] + p[2] * d[2]) / dd;
    if (alpha < 0.55)
        return false;
    double residual = 0.0;
    for (int i = 0; i < 3; ++i)
        residual = std::max(residual, std::abs(p[i] - alpha * d[i]));
    return residual <= 12.0;
}

int countColour(const QImage& image, const QColor& colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (nearColour(image.pixelColor(x, y), colour))
                ++n;
    return n;
}

bool imageHasColour(const QImage& image, const QColor& colour)
{
    return countColour(image, colour) > 0;
}

void sendWheel(QWidget* widget, const QPoint& pos, int delta)
{
    QWheelEvent event(QPointF(pos), QPointF(widget->mapToGlobal(pos)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

void comparePoints(const QPointF& actual, const QPointF& expected, double tolerance)
{
    QVERIFY2(std::abs(actual.x() - expected.x()) <= tolerance && std::abs(actual.y() - expected.y()) <= tolerance,
             qPrintable(QStringLiteral("(%1, %2) vs (%3, %4)")
                            .arg(actual.x())
                            .arg(actual.y())
                            .arg(expected.x())
                            .arg(expected.y())));
}

} // namespace

class TestSection2DWidget : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        canvas_ = std::make_unique<Section2DWidget>();
        canvas_->resize(400, 300);
    }
    void cleanup() { canvas_.reset(); }

    // The bounds pad the content, the fit centres them inside a 12-pixel inset
    // on the limiting side, and section y runs up the screen.
    void fitCentresPaddedContentYUp()
    {
        canvas_->setSectionLines(rectangleOutline());
        // 10 x 6 content: pad = 10 * 0.08 + 0.01 = 0.81.
        const QRectF b = canvas_->contentBounds();
        QCOMPARE(b.x(), 2 - 0.81);
        QCOMPARE(b.y(), 3 - 0.81);
        QVERIFY(qFuzzyCompare(b.width(), 10 + 1.62));
        QVERIFY(qFuzzyCompare(b.height(), 6 + 1.62));
        QVERIFY(canvas_->isViewInitialised());
        QCOMPARE(canvas_->viewCenter(), b.center());

        comparePoints(canvas_->mapToSection(QPoint(200, 150)), QPointF(7, 6), 1e-9);
        const QTransform t = canvas_->viewTransform();
        const QRectF mapped = t.mapRect(b);
        QVERIFY(mapped.left() >= 12.0 - 1e-6 && mapped.right() <= 388.0 + 1e-6);
        QVERIFY(mapped.top() >= 12.0 - 1e-6 && mapped.bottom() <= 288.0 + 1e-6);
        QVERIFY(std::abs(mapped.width() - 376.0) < 1e-6 || std::abs(mapped.height() - 276.0) < 1e-6);
        const double fit = std::min(276.0 / b.height(), 376.0 / b.width());
        QVERIFY(std::abs(canvas_->unitsPerPixel() - 1.0 / fit) < 1e-12);

        const QPointF low = t.map(QPointF(7, 3)), high = t.map(QPointF(7, 9));
        QVERIFY(high.y() < low.y());
        QCOMPARE(high.x(), low.x());
        QVERIFY(t.map(QPointF(12, 6)).x() > t.map(QPointF(2, 6)).x());
    }

    void singlePointAndTinyWidgetStayUsable()
    {
        SectionAnnotation point;
        point.kind = QStringLiteral("point_label");
        point.points = {QPointF(5, -4)};
        point.isMeasurement = true;
        canvas_->setAnnotations({point});

        const QRectF b = canvas_->contentBounds();
        QVERIFY(std::abs(b.width() - 0.02116) < 1e-9);
        QVERIFY(std::abs(b.height() - 0.02116) < 1e-9);
        QVERIFY(canvas_->viewTransform().isInvertible());
        comparePoints(canvas_->mapToSection(canvas_->rect().center()), QPointF(5, -4), 1e-3);
        QVERIFY(!canvas_->grab().isNull());

        // Under 26 pixels wide or high the view is the identity, and still paints.
        canvas_->setMinimumSize(0, 0);
        canvas_->setSectionLines(rectangleOutline());
        canvas_->resize(25, 200);
        QVERIFY(canvas_->viewTransform().isIdentity());
        QCOMPARE(canvas_->mapToSection(QPoint(7, 9)), QPointF(7, 9));
        QCOMPARE(canvas_->unitsPerPixel(), 1.0);
        QVERIFY(!canvas_->grab().isNull());
        canvas_->resize(200, 26);
        QVERIFY(!canvas_->viewTransform().isIdentity());
    }

    // A new section drops the marks but keeps the view; erased segments are
    // neither visible, kept nor in the bounds.
    void newSectionAndErasedSegments()
    {
        canvas_->setSectionLines(rectangleOutline());
        canvas_->setErasedIndices({1});
        canvas_->setKeptIndices({0, 2});
        canvas_->setSelectedSegment(3);
        sendWheel(canvas_.get(), QPoint(100, 80), 120);
        const QPointF centre = canvas_->viewCenter();
        const double zoom = canvas_->zoom();

        // A later, far-away section does not refit the view.
        canvas_->setSectionLines({QLineF(100, 100, 101, 101)});
        QVERIFY(canvas_->erasedIndices().isEmpty());
        QVERIFY(canvas_->keptIndices().isEmpty());
        QCOMPARE(canvas_->selectedSegmentIndex(), -1);
        QCOMPARE(canvas_->viewCenter(), centre);
        QCOMPARE(canvas_->zoom(), zoom);
        QCOMPARE(canvas_->sectionLines().size(), 1);

        SectionLines lines;
        for (int i = 0; i < 6; ++i)
            lines.append(QLineF(i, 0, i, 1));
        canvas_->setSectionLines(lines);
        QCOMPARE(canvas_->visibleSegmentIndices(), QList<int>({0, 1, 2, 3, 4, 5}));
        canvas_->setKeptIndices({1, 4});
        canvas_->setErasedIndices({4, 0, 2});
        QCOMPARE(canvas_->visibleSegmentIndices(), QList<int>({1, 3, 5}));
        // An erased segment cannot stay kept.
        QCOMPARE(canvas_->keptIndices(), QSet<int>({1}));

        // Erased segments leave the bounds.
        canvas_->setSectionLines({QLineF(0, 0, 1, 1), QLineF(50, 50, 60, 60)});
        QVERIFY(canvas_->contentBounds().contains(QPointF(60, 60)));
        canvas_->setErasedIndices({1});
        QVERIFY(!canvas_->contentBounds().contains(QPointF(50, 50)));
        QVERIFY(canvas_->contentBounds().contains(QPointF(1, 1)));
    }

    void wheelZoomKeepsCursorPointFixed()
    {
        canvas_->setSectionLines(rectangleOutline());
        const QPoint cursor(90, 70);
        const QPointF before = canvas_->mapToSection(cursor);
        const double upp = canvas_->unitsPerPixel();
        sendWheel(canvas_.get(), cursor, 120);
        comparePoints(canvas_->mapToSection(cursor), before, 1e-9);
        QVERIFY(std::abs(canvas_->zoom() - 1.12) < 1e-12);
        QVERIFY(std::abs(canvas_->unitsPerPixel() * 1.12 - upp) < 1e-12);
        sendWheel(canvas_.get(), cursor, -120);
        sendWheel(canvas_.get(), cursor, -120);
        comparePoints(canvas_->mapToSection(cursor), before, 1e-9);
        QVERIFY(std::abs(canvas_->zoom() - 1.0 / 1.12) < 1e-12);
        QVERIFY(std::abs(canvas_->unitsPerPixel() - upp * 1.12) < 1e-12);
        // The widget centre has moved, since the cursor was off-centre.
        QVERIFY(QLineF(canvas_->viewCenter(), canvas_->contentBounds().center()).length() > 1e-3);

        // The zoom stays between 0.05 and 80.
        for (int i = 0; i < 200; ++i)
            sendWheel(canvas_.get(), QPoint(150, 100), 120);
        QCOMPARE(canvas_->zoom(), 80.0);
        for (int i = 0; i < 400; ++i)
            sendWheel(canvas_.get(), QPoint(150, 100), -120);
        QCOMPARE(canvas_->zoom(), 0.05);
        QVERIFY(!canvas_->grab().isNull());
    }

    void middleDragPansLeftDragDoesNot()
    {
        canvas_->setSectionLines(rectangleOutline());
        const QPointF grabbed = canvas_->mapToSection(QPoint(100, 100));
        sendMouse(canvas_.get(), QEvent::MouseButtonPress, QPoint(100, 100), Qt::MiddleButton, Qt::MiddleButton);
        QCOMPARE(canvas_->cursor().shape(), Qt::ClosedHandCursor);
        sendMouse(canvas_.get(), QEvent::MouseMove, QPoint(130, 90), Qt::NoButton, Qt::MiddleButton);
        sendMouse(canvas_.get(), QEvent::MouseMove, QPoint(160, 120), Qt::NoButton, Qt::MiddleButton);
        sendMouse(canvas_.get(), QEvent::MouseButtonRelease, QPoint(160, 120), Qt::MiddleButton, Qt::NoButton);
        // The section point grabbed follows the cursor.
        comparePoints(canvas_->mapToSection(QPoint(160, 120)), grabbed, 1e-9);
        QVERIFY(canvas_->cursor().shape() != Qt::ClosedHandCursor);

        // Moves after the release, and left drags, do not pan.
        const QPointF centre = canvas_->viewCenter();
        sendMouse(canvas_.get(), QEvent::MouseMove, QPoint(10, 10), Qt::NoButton, Qt::NoButton);
        QCOMPARE(canvas_->viewCenter(), centre);
        sendMouse(canvas_.get(), QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton, Qt::LeftButton);
        sendMouse(canvas_.get(), QEvent::MouseMove, QPoint(150, 150), Qt::NoButton, Qt::LeftButton);
        sendMouse(canvas_.get(), QEvent::MouseButtonRelease, QPoint(150, 150), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(canvas_->viewCenter(), centre);
    }

    // Empty, the canvas has unit bounds, no view yet and every layer on, and
    // draws only the hint; with content comes the scale bar.
    void emptyCanvasShowsOnlyHint()
    {
        QVERIFY(!canvas_->isViewInitialised());
        QCOMPARE(canvas_->contentBounds(), QRectF(-1, -1, 2, 2));
        QCOMPARE(canvas_->zoom(), 1.0);
        QVERIFY(canvas_->hasMouseTracking()); // the snap and shape previews follow the pointer
        for (const char* layer : {"contour", "annotation", "measurement", "kept"})
            QVERIFY(canvas_->isLayerVisible(QString::fromLatin1(layer)));
        const QImage image = render();
        QCOMPARE(image.pixelColor(2, 2), Section2DWidget::backgroundColor());
        // Some text is drawn in the hint colour, near the middle only.
        QVERIFY(imageHasColour(image.copy(0, 120, 400, 60), QColor(110, 120, 150)));
        QVERIFY(!imageHasColour(image.copy(0, 0, 400, 100), QColor(110, 120, 150)));
        // No scale bar without content.
        QVERIFY(!imageHasColour(image, QColor(230, 230, 240)));

        canvas_->setSectionLines(rectangleOutline());
        const QImage drawn = render();
        QVERIFY(imageHasColour(drawn, QColor(230, 230, 240)));
        QVERIFY(imageHasColour(drawn, Section2DWidget::contourColor()));
    }

    void eachLayerSwitchHidesOnlyItsColour_data()
    {
        QTest::addColumn<QString>("layer");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("contour") << QStringLiteral("contour") << Section2DWidget::contourColor();
        QTest::newRow("kept") << QStringLiteral("kept") << Section2DWidget::keptColor();
        QTest::newRow("annotation") << QStringLiteral("annotation") << Section2DWidget::annotationColor();
        QTest::newRow("measurement") << QStringLiteral("measurement") << Section2DWidget::measurementColor();
    }

    // The outline with one kept side, a sketch line and a measurement: hiding a
    // layer removes its colour and no other, and showing it brings it back. Kept
    // segments stay kept-coloured with the contour layer off.
    void eachLayerSwitchHidesOnlyItsColour()
    {
        QFETCH(QString, layer);
        QFETCH(QColor, colour);
        canvas_->setSectionLines(rectangleOutline());
        canvas_->setKeptIndices({0});
        SectionAnnotation sketch;
        sketch.kind = QStringLiteral("line");
        sketch.points = {QPointF(3, 5), QPointF(11, 5)};
        SectionAnnotation measure;
        measure.kind = QStringLiteral("measure_length");
        measure.points = {QPointF(3, 7), QPointF(11, 7)};
        measure.isMeasurement = true;
        canvas_->setAnnotations({sketch, measure});
        const QColor all[] = {Section2DWidget::contourColor(), Section2DWidget::keptColor(),
                              Section2DWidget::annotationColor(), Section2DWidget::measurementColor()};
        for (const QColor& c : all)
            QVERIFY2(countColour(render(), c) > 20, qPrintable(c.name()));

        canvas_->setLayerVisible(layer, false);
        QVERIFY(!canvas_->isLayerVisible(layer));
        const QImage hidden = render();
        for (const QColor& c : all)
            QCOMPARE(countColour(hidden, c) > 20, c != colour);
        QCOMPARE(countColour(hidden, colour), 0);
        // Unknown names change nothing.
        canvas_->setLayerVisible(QStringLiteral("bogus"), true);
        QCOMPARE(countColour(render(), colour), 0);
        canvas_->setLayerVisible(layer, true);
        QVERIFY(countColour(render(), colour) > 20);
    }

    void erasedSegmentsAreNotDrawn()
    {
        // Two far-apart segments; erasing one must remove its pixels, not just the index.
        canvas_->setSectionLines({QLineF(0, 0, 0, 10), QLineF(10, 0, 10, 10)});
        const QTransform t = canvas_->viewTransform();
        const int rightX = qRound(t.map(QPointF(10, 5)).x());
        const int y = qRound(t.map(QPointF(10, 5)).y());
        const auto columnHasContour = [&](const QImage& image, int x) {
            return imageHasColour(image.copy(x - 2, y - 2, 5, 5), Section2DWidget::contourColor());
        };
        QVERIFY(columnHasContour(render(), rightX));
        canvas_->setErasedIndices({1});
        // The bounds shrink, so look where the segment would be now.
        const int movedX = qRound(canvas_->viewTransform().map(QPointF(10, 5)).x());
        const int movedY = qRound(canvas_->viewTransform().map(QPointF(10, 5)).y());
        const QImage image = render();
        if (image.rect().contains(movedX, movedY))
            QVERIFY(!imageHasColour(image.copy(movedX - 2, movedY - 2, 5, 5), Section2DWidget::contourColor()));
        QVERIFY(imageHasColour(image, Section2DWidget::contourColor()));
    }

    void windowHostsCanvasAndDrivesLayers()
    {
        MainWindow window;
        Section2DWidget* canvas = window.sectionCanvas();
        QVERIFY(canvas);
        QVERIFY(window.sectionCanvasHost()->isAncestorOf(canvas));
        auto* stack = window.findChild<QStackedWidget*>(QStringLiteral("rightStack"));
        QVERIFY(stack);
        QCOMPARE(stack->widget(MainWindow::SectionPage), window.sectionCanvasHost());

        const struct {
            const char* check;
            const char* layer;
        } switches[] = {{"Contour", "contour"}, {"Annot", "annotation"}, {"Measure", "measurement"}, {"Kept", "kept"}};
        for (const auto& entry : switches) {
            QCheckBox* box = findButton<QCheckBox>(&window, QString::fromLatin1(entry.check));
            QVERIFY2(box, entry.check);
            const QString layer = QString::fromLatin1(entry.layer);
            box->setChecked(false);
            QVERIFY2(!canvas->isLayerVisible(layer), entry.layer);
            box->setChecked(true);
            QVERIFY2(canvas->isLayerVisible(layer), entry.layer);
        }
        // "Contour Color" recolours the section lines (automation answers the dialog).
        ScopedEnv env;
        env.set("HALVORAN_AUTOMATION", "1");
        env.set("HALVORAN_AUTOMATION_CONTOUR_COLOR", "#ff8000");
        window.onContourColor();
        QCOMPARE(canvas->contourPenColor(), QColor(255, 128, 0));
        canvas->setSectionLines(rectangleOutline());
        canvas->resize(400, 300);
        QVERIFY(countColour(canvas->grab().toImage(), QColor(255, 128, 0)) > 100);
        QCOMPARE(countColour(canvas->grab().toImage(), Section2DWidget::contourColor()), 0);
    }

private:
    QImage render() { return canvas_->grab().toImage(); }

    std::unique_ptr<Section2DWidget> canvas_;
};

QTEST_MAIN(TestSection2DWidget)
#include "test_section2dwidget.moc"
