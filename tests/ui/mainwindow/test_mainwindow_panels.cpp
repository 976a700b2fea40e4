// The window's panels: the controls, page switching, the slice/drawing mode
// and the Z-threshold coupling.
#include "model/section/sectiondefaults.h"
#include "ui/section2d/section2dwidget.h"
#include "tests/ui/common/windowtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>

class TestMainWindowPanels : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        writeScan(first_, "first.stl", 6000);
        writeScan(second_, "second.stl", 8000);
    }
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    // Every control a user reaches is there, the value labels follow their
    // sliders, and the right pane holds the 2D canvas, then the wireframe view.
    // (Ranges and step sizes are the code's own constants: not restated here.)
    void controlsAreThereAndLabelsFollowSliders()
    {
        for (const char* text : {"+X", "-X", "+Y", "-Y", "+45", "-45", "+90", "-90", "Apply Fine-Tune",
                                 "Keep Vector Select", "Clear Kept Vectors", "Repair Mesh", "Detect Holes", "Fill Holes"})
            QVERIFY2(findButton(window_.get(), text), text);
        QVERIFY(findButton(window_.get(), "Keep Vector Select")->isCheckable());
        for (const char* name : {"fineTuneX", "fineTuneY", "fineTuneZ"})
            QVERIFY2(child<QSlider>(name), name);
        auto* keep = child<QSlider>("keepRatioSlider");
        auto* smooth = child<QSlider>("smooth2DSlider");
        QCOMPARE(smooth->value(), kDefaultSmoothStrength); // the core's default, not a second copy
        keep->setValue(85);
        smooth->setValue(20);
        QStringList labels;
        for (QLabel* l : window_->findChildren<QLabel*>())
            labels << l->text();
        QVERIFY(labels.contains(QStringLiteral("85%")));
        QVERIFY(labels.contains(QStringLiteral("20%")));

        auto* stack = child<QStackedWidget>("rightStack");
        QCOMPARE(stack->count(), 2);
        QCOMPARE(stack->widget(0), window_->sectionCanvasHost());
        QCOMPARE(stack->widget(1), window_->wireViewHost());
        QCOMPARE(stack->currentIndex(), 0);
        QStringList checked;
        QStringList unchecked;
        for (QCheckBox* check : window_->findChildren<QCheckBox*>())
            (check->isChecked() ? checked : unchecked) << check->text();
        for (const char* text : {"Contour", "Annot", "Measure", "Kept", "Boundary", "Sharp Edges", "Pick directly on mesh"})
            QVERIFY2(checked.contains(QString::fromLatin1(text)), text);
        QCOMPARE(unchecked, QStringList{QStringLiteral("Hidden lines")});
    }

    void wireframeKeyTogglesAndModeSwitchPages()
    {
        auto* stack = child<QStackedWidget>("rightStack");
        QToolBar* draw = findToolbar(window_.get(), "Draw Tools");
        QToolBar* measure = findToolbar(window_.get(), "Measure Tools");
        QToolBar* wire = findToolbar(window_.get(), "Wireframe Tools");
        QAbstractButton* show2D = findButton(window_.get(), "2D");
        QAbstractButton* show3D = findButton(window_.get(), "3D Wireframe");
        const auto onWirePage = [&](bool wirePage) {
            QCOMPARE(stack->currentIndex(), wirePage ? 1 : 0);
            QCOMPARE(wire->isVisible(), wirePage);
            QCOMPARE(draw->isVisible(), !wirePage);
            QCOMPARE(measure->isVisible(), !wirePage);
            QCOMPARE(show3D->isChecked(), wirePage);
            QCOMPARE(show2D->isChecked(), !wirePage);
            QAbstractButton* active = wirePage ? show3D : show2D;
            QAbstractButton* inactive = wirePage ? show2D : show3D;
            QVERIFY(active->styleSheet().contains(QStringLiteral("font-weight: bold")));
            QVERIFY(inactive->styleSheet().contains(QStringLiteral("color: #888")));
            QCOMPARE(findAction(window_.get(), "Wireframe Mode")->isChecked(), wirePage);
        };
        onWirePage(false);

        QTest::mouseClick(show3D, Qt::LeftButton);
        onWirePage(true);
        QTest::mouseClick(show2D, Qt::LeftButton);
        onWirePage(false);
        // Clicking the current page's toggle keeps it current.
        QTest::mouseClick(show2D, Qt::LeftButton);
        onWirePage(false);

        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QTest::keyClick(window_.get(), Qt::Key_W);
        onWirePage(true);
        QTest::keyClick(window_.get(), Qt::Key_W);
        onWirePage(false);

        // The mode combo swaps the slice row for the drawing controls; the
        // wireframe page hides both.
        auto* mode = child<QComboBox>("modeCombo");
        QWidget* drawing = child<QWidget>("drawingControls");
        QWidget* sliceRow = child<QSlider>("sliceSlider")->parentWidget();
        QVERIFY(!drawing->isVisible() && sliceRow->isVisible());
        mode->setCurrentIndex(1);
        QVERIFY(drawing->isVisible() && !sliceRow->isVisible());
        QTest::mouseClick(show3D, Qt::LeftButton);
        QVERIFY(!drawing->isVisible() && !sliceRow->isVisible());
        QTest::mouseClick(show2D, Qt::LeftButton);
        QVERIFY(drawing->isVisible());
        mode->setCurrentIndex(0);
        QVERIFY(!drawing->isVisible() && sliceRow->isVisible());
    }

    void staleDrawingLeavesWithItsGeometry_data()
    {
        QTest::addColumn<QString>("change");
        for (const char* change : {"Repair Mesh", "Flip 180 X", "load", "Clear surface plane"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }

    // A drawing made before the geometry changed must not stay on the canvas
    // under the "Axis Slice" mode: the 2D page goes back to the slice.
    void staleDrawingLeavesWithItsGeometry()
    {
        QFETCH(QString, change);
        MessageBoxCatcher boxes;
        load(first_);
        Section2DWidget* canvas = window_->sectionCanvas();
        const SectionLines slice = canvas->sectionLines();
        QVERIFY(!slice.isEmpty());
        auto* mode = child<QComboBox>("modeCombo");
        mode->setCurrentIndex(1);
        if (change == QLatin1String("Clear surface plane"))
            window_->onSurfaceBuildPlanePicked(QVector3D(0, 0, 1), QVector3D(1, 0, 0), QVector3D(0, 0, 0));
        window_->onGenerate2DDrawing();
        const SectionLines drawing = canvas->sectionLines();
        QVERIFY(!drawing.isEmpty() && drawing != slice);

        if (change == QLatin1String("load"))
            load(second_);
        else if (change == QLatin1String("Clear surface plane"))
            window_->onClearSurfaceBuildPlane();
        else if (change == QLatin1String("Repair Mesh")) {
            env_.set("HALVORAN_AUTOMATION", "1"); // no options dialog
            click(change);
        } else
            trigger(change);
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isBusy(), 60000);

        QCOMPARE(mode->currentIndex(), 0);
        QCOMPARE(window_->modeText(), QStringLiteral("Axis Slice"));
        QVERIFY(!child<QWidget>("drawingControls")->isVisible());
        QVERIFY(child<QSlider>("sliceSlider")->isVisible());
        QVERIFY(!canvas->sectionLines().isEmpty());
        QVERIFY(canvas->sectionLines() != drawing);
    }

    void zThresholdSliderAndSpinFollowEachOther_data()
    {
        QTest::addColumn<bool>("fromSlider");
        QTest::addColumn<int>("slider");
        QTest::addColumn<double>("millimetres");
        // The slider is log scaled: mm = 10^(5.301 s / 100 - 2).
        const struct { bool fromSlider; int slider; double mm; } rows[] = {
            {true, 0, 0.01}, {true, 20, 0.11}, {true, 30, 0.39}, {true, 60, 15.16}, {true, 100, 1999.86},
            {false, 0, 0.01}, {false, 32, 0.5}, {false, 38, 1.0}, {false, 57, 10.0}, {false, 83, 250.0}, {false, 100, 2000.0}};
        for (const auto& r : rows)
            QTest::addRow("%s %d", r.fromSlider ? "slider" : "spin", r.slider) << r.fromSlider << r.slider << r.mm;
    }

    // Moving one sets the other without echoing a change back.
    void zThresholdSliderAndSpinFollowEachOther()
    {
        QFETCH(bool, fromSlider);
        QFETCH(int, slider);
        QFETCH(double, millimetres);
        auto* zSlider = child<QSlider>("zThresholdSlider");
        auto* zSpin = child<QDoubleSpinBox>("zThresholdSpin");
        // Start elsewhere, so that the next change is a real one.
        fromSlider ? zSlider->setValue(slider == 0 ? 1 : 0) : zSpin->setValue(3.0);
        QSignalSpy spinChanges(zSpin, &QDoubleSpinBox::valueChanged);
        QSignalSpy sliderChanges(zSlider, &QSlider::valueChanged);
        fromSlider ? zSlider->setValue(slider) : zSpin->setValue(millimetres);
        QCOMPARE(sliderChanges.count(), fromSlider ? 1 : 0);
        QCOMPARE(spinChanges.count(), fromSlider ? 0 : 1);
        QCOMPARE(zSpin->value(), millimetres);
        QCOMPARE(zSlider->value(), slider);
    }

private:
    QString first_, second_;
};

QTEST_MAIN(TestMainWindowPanels)
#include "test_mainwindow_panels.moc"
