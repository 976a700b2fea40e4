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

    void wireframeKeyAndTogglesSwitchPages()
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
    }

    void modeComboSwitchesDrawingControls()
    {
        auto* mode = child<QComboBox>("modeCombo");
        QWidget* drawing = child<QWidget>("drawingControls");
        QWidget* sliceRow = child<QSlider>("sliceSlider")->parentWidget();
        QVERIFY(!drawing->isVisible());
        QVERIFY(sliceRow->isVisible());
        mode->setCurrentIndex(1);
        QVERIFY(drawing->isVisible());
        QVERIFY(!sliceRow->isVisible());
        // The wireframe page hides both.
        QTest::mouseClick(findButton(window_.get(), "3D Wireframe"), Qt::LeftButton);
        QVERIFY(!drawing->isVisible());
        QVERIFY(!sliceRow->isVisible());
        QTest::mouseClick(findButton(window_.get(), "2D"), Qt::LeftButton);
        QVERIFY(drawing->isVisible());
        mode->setCurrentIndex(0);
        QVERIFY(!drawing->isVisible());
        QVERIFY(sliceRow->isVisible());
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
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("first.stl")), second = dir.filePath(QStringLiteral("second.stl"));
        QVERIFY(writeSyntheticStl(first, 6000) > 0 && writeSyntheticStl(second, 8000) > 0);
        MessageBoxCatcher boxes;
        const auto load = [this](const QString& path) {
            window_->beginAsyncLoad(path);
            QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), 60000);
        };
        load(first);
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
            load(second);
        else if (change == QLatin1String("Clear surface plane"))
            window_->onClearSurfaceBuildPlane();
        else if (change == QLatin1String("Repair Mesh")) {
            qputenv("HALVORAN_AUTOMATION", "1"); // no options dialog
            findButton(window_.get(), change)->click();
            qunsetenv("HALVORAN_AUTOMATION");
        }
        else
            findAction(window_.get(), change)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isBusy(), 60000);

        QCOMPARE(mode->currentIndex(), 0);
        QCOMPARE(window_->modeText(), QStringLiteral("Axis Slice"));
        QVERIFY(!child<QWidget>("drawingControls")->isVisible());
        QVERIFY(child<QSlider>("sliceSlider")->isVisible());
        QVERIFY(!canvas->sectionLines().isEmpty());
        QVERIFY(canvas->sectionLines() != drawing);
    }

    void zThresholdSliderDrivesSpin_data()
    {
        QTest::addColumn<int>("slider");
        QTest::addColumn<double>("millimetres");
        QTest::newRow("0") << 0 << 0.01;
        QTest::newRow("20") << 20 << 0.11;     // 10^(1.0602 - 2) = 0.1149
        QTest::newRow("30") << 30 << 0.39;     // 10^(1.5903 - 2) = 0.3893
        QTest::newRow("60") << 60 << 15.16;    // 10^(3.1806 - 2) = 15.157
        QTest::newRow("100") << 100 << 1999.86; // 10^3.301
    }

    void zThresholdSliderDrivesSpin()
    {
        QFETCH(int, slider);
        QFETCH(double, millimetres);
        auto* zSlider = child<QSlider>("zThresholdSlider");
        auto* zSpin = child<QDoubleSpinBox>("zThresholdSpin");
        zSlider->setValue(slider == 0 ? 1 : 0); // make the next change a real one
        QSignalSpy spinChanges(zSpin, &QDoubleSpinBox::valueChanged);
        QSignalSpy sliderChanges(zSlider, &QSlider::valueChanged);
        zSlider->setValue(slider);
        QCOMPARE(sliderChanges.count(), 1);
        QCOMPARE(spinChanges.count(), 0);
        QCOMPARE(zSpin->value(), millimetres);
        QCOMPARE(zSlider->value(), slider);
    }

    void zThresholdSpinDrivesSlider_data()
    {
        QTest::addColumn<double>("millimetres");
        QTest::addColumn<int>("slider");
        QTest::newRow("min") << 0.01 << 0;
        QTest::newRow("0.5") << 0.5 << 32;   // (log10 0.5 + 2) / 5.301 = 0.3205
        QTest::newRow("1") << 1.0 << 38;     // 2 / 5.301 = 0.3773
        QTest::newRow("10") << 10.0 << 57;   // 3 / 5.301 = 0.5659
        QTest::newRow("250") << 250.0 << 83; // 4.3979 / 5.301 = 0.8296
        QTest::newRow("max") << 2000.0 << 100;
    }

    void zThresholdSpinDrivesSlider()
    {
        QFETCH(double, millimetres);
        QFETCH(int, slider);
        auto* zSlider = child<QSlider>("zThresholdSlider");
        auto* zSpin = child<QDoubleSpinBox>("zThresholdSpin");
        zSpin->setValue(millimetres == 3.0 ? 4.0 : 3.0);
        QSignalSpy spinChanges(zSpin, &QDoubleSpinBox::valueChanged);
        QSignalSpy sliderChanges(zSlider, &QSlider::valueChanged);
        zSpin->setValue(millimetres);
        QCOMPARE(spinChanges.count(), 1);
        QCOMPARE(sliderChanges.count(), 0);
        QCOMPARE(zSlider->value(), slider);
        QCOMPARE(zSpin->value(), millimetres);
    }

};

QTEST_MAIN(TestMainWindowPanels)
#include "test_mainwindow_panels.moc"
