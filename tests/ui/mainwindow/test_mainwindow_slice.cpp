// The window's section refresh: synchronous refreshes with their cache, and
// the debounced background path during slider drags.
#include "model/align/planeframe.h"
#include "ui/section2d/section2dwidget.h"
#include "tests/ui/common/windowtest.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSemaphore>
#include <QSlider>
#include <QThreadPool>

#include <cmath>

class TestMainWindowSlice : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase() { writeScan(scanPath_, "scan.stl", 40000); }
    void init()
    {
        openWindow();
        load(scanPath_);
        axis_ = window_->findChild<QComboBox*>(QStringLiteral("sliceAxisCombo"));
        slider_ = window_->findChild<QSlider*>(QStringLiteral("sliceSlider"));
        exact_ = window_->findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"));
        QVERIFY(axis_ && slider_ && exact_);
    }
    void cleanup() { closeWindow(); }

    // The load cuts the middle along Z; an axis change recentres and cuts at
    // once, without the debounce.
    void loadAndAxisChangeCutTheMiddle()
    {
        QCOMPARE(axis_->currentIndex(), 2);
        QCOMPARE(slider_->value(), 500);
        QVERIFY(std::abs(exact_->value() - axisMiddle(2)) < 0.01);
        QVERIFY(!window_->sectionLines().isEmpty());
        QCOMPARE(window_->sectionLines(), expectedSection(*window_));
        // The canvas shows what the window holds.
        QCOMPARE(window_->sectionCanvas()->sectionLines(), window_->sectionLines());

        exact_->setValue(exact_->minimum() + 0.2 * (exact_->maximum() - exact_->minimum()));
        QTRY_VERIFY(!window_->isBusy());
        axis_->setCurrentIndex(0);
        QVERIFY(std::abs(exact_->value() - axisMiddle(0)) < 0.01);
        // The box shows two decimals, so its range is the bounds rounded.
        QVERIFY(std::abs(exact_->minimum() - double(window_->model().boundsMin()[0])) <= 0.005);
        QCOMPARE(slider_->value(), 500);
        const SectionLines expected = expectedSection(*window_);
        QCOMPARE(window_->sectionLines(), expected);
        QCOMPARE(status(), QStringLiteral("Slice at X=%1: %2 vectors").arg(exact_->value(), 0, 'f', 2).arg(expected.size()));

        // Not a check: a picture of the window for a person to look at.
        window_->resize(1400, 800);
        QTest::qWait(200);
        const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
        QVERIFY(QDir().mkpath(dir) && window_->grab().save(dir + QStringLiteral("/window_section.png")));
    }

    // The slider and the exact box follow each other; a burst of moves with no
    // event processing between them, as in a fast drag, starts one task.
    void sliderMapsToExactAndABurstStartsOneTask()
    {
        const double lo = exact_->minimum(), hi = exact_->maximum();
        slider_->setValue(250);
        QVERIFY(std::abs(exact_->value() - (lo + 0.25 * (hi - lo))) <= 0.01);
        exact_->setValue(lo + 0.9 * (hi - lo));
        QCOMPARE(slider_->value(), 900);
        // Values past the ends clamp the slider.
        exact_->setValue(hi);
        QCOMPARE(slider_->value(), 1000);
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("Slice complete")), 10000);

        const int before = window_->sliceTasksStarted();
        window_->statusBar()->clearMessage();
        for (int v = 100; v <= 400; v += 30)
            slider_->setValue(v);
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("Slice complete")), 10000);
        QCOMPARE(window_->sliceTasksStarted(), before + 1);
        QCOMPARE(window_->sectionLines(), expectedSection(*window_));
    }

    void unchangedInputsHitTheCacheAndDrawingModeCutsNothing()
    {
        auto* mode = window_->findChild<QComboBox*>(QStringLiteral("modeCombo"));
        window_->statusBar()->showMessage(QStringLiteral("marker"));
        const SectionLines before = window_->sectionLines();
        mode->setCurrentIndex(1);
        mode->setCurrentIndex(0);
        // A recompute would have announced itself in the status bar.
        QCOMPARE(status(), QStringLiteral("marker"));
        QCOMPARE(window_->sectionLines(), before);

        // A changed band thickness recomputes.
        window_->findChild<QDoubleSpinBox*>(QStringLiteral("bandThicknessSpin"))->setValue(0.5);
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("Slice complete")), 10000);
        QCOMPARE(window_->sectionLines(), expectedSection(*window_));

        // The drawing mode cuts nothing; back on the section page the new axis is cut.
        mode->setCurrentIndex(1);
        const SectionLines drawn = window_->sectionLines();
        axis_->setCurrentIndex(1);
        QCOMPARE(window_->sectionLines(), drawn);
        mode->setCurrentIndex(0);
        QCOMPARE(window_->sectionLines(), expectedSection(*window_));
    }

    void movesDuringATaskGiveOneFollowUpWithTheFinalPosition()
    {
        // Hold the pool so the first task cannot finish while the drag goes on.
        QThreadPool* pool = QThreadPool::globalInstance();
        const int threads = pool->maxThreadCount();
        pool->setMaxThreadCount(1);
        QSemaphore gate;
        pool->start([&gate]() { gate.acquire(); });

        const int before = window_->sliceTasksStarted();
        slider_->setValue(200);
        QTRY_COMPARE_WITH_TIMEOUT(window_->sliceTasksStarted(), before + 1, 5000);
        const SectionLines initial = window_->sectionLines();
        for (int v = 220; v <= 700; v += 40) {
            slider_->setValue(v);
            QTest::qWait(25);
        }
        QTest::qWait(150);
        QCOMPARE(window_->sliceTasksStarted(), before + 1); // still the one task
        QCOMPARE(window_->sectionLines(), initial);

        gate.release();
        QTRY_COMPARE_WITH_TIMEOUT(window_->sliceTasksStarted(), before + 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("Slice complete")), 10000);
        pool->waitForDone();
        pool->setMaxThreadCount(threads);
        QTest::qWait(100);
        QCOMPARE(window_->sliceTasksStarted(), before + 2);
        QCOMPARE(slider_->value(), 700);
        // The stale first result (position 200) was dropped; the shown lines are the final position's.
        QCOMPARE(window_->sectionLines(), expectedSection(*window_));
    }

    void surfacePlaneReplacesTheAxisSlice()
    {
        // The "Clear" next to "Build On Surface" (the draw toolbar has one too).
        QAbstractButton* build = findButton(window_.get(), QStringLiteral("Build On Surface"));
        QPushButton* clear = nullptr;
        for (QPushButton* button : build->parentWidget()->findChildren<QPushButton*>())
            if (button->text() == QLatin1String("Clear"))
                clear = button;
        QVERIFY(clear && !clear->isEnabled());
        findButton(window_.get(), QStringLiteral("Build On Surface"))->click();
        QCOMPARE(window_->modeText(), QStringLiteral("Surface Pick"));
        QCOMPARE(status(), QStringLiteral("Surface CAD: click a mesh face to sketch/build directly from that surface plane."));

        // A plane standing in the part's middle, tilted about Z: not an axis plane.
        const double mid = axisMiddle(2);
        const QVector3D normal(1, 1, 0), reference(0, 0, 1), point(0.5f, -0.25f, float(mid));
        window_->onSurfaceBuildPlanePicked(normal, reference, point);
        QCOMPARE(window_->modeText(), QStringLiteral("Surface CAD"));
        QVERIFY(clear->isEnabled());
        QCOMPARE(status(), QStringLiteral("Surface CAD plane set at (0.50, -0.25, %1). 2D tools now build from that "
                                          "picked face.")
                               .arg(mid, 0, 'f', 2));

        SectionRequest request;
        request.surface = true;
        const PlaneFrame frame = buildPlaneFrame(normal, reference);
        request.normal = frame.n;
        request.origin = point;
        request.u = frame.u;
        request.v = frame.v;
        request.keepRatio = float(window_->findChild<QSlider*>(QStringLiteral("keepRatioSlider"))->value()) / 100.0f;
        request.smoothStrength = window_->findChild<QSlider*>(QStringLiteral("smooth2DSlider"))->value();
        MeshModel copy = window_->model();
        const SectionLines expected = computeSectionLines(copy, request);
        QVERIFY(expected.size() > 10);
        // The frame is test_planeframe.cpp's; here the window cuts in it.
        QCOMPARE(window_->sectionLines(), expected);

        clear->click();
        QCOMPARE(status(), QStringLiteral("Surface CAD plane cleared. Restored axis slice mode."));
        QCOMPARE(window_->modeText(), QStringLiteral("Axis Slice"));
        QVERIFY(!clear->isEnabled());
        QCOMPARE(window_->sectionLines(), expectedSection(*window_));
        window_->onClearSurfaceBuildPlane();
        QCOMPARE(status(), QStringLiteral("Surface CAD plane is already cleared."));

        // Moving the slider also ends the mode; the axis slice comes back.
        window_->onSurfaceBuildPlanePicked(normal, reference, point);
        QVERIFY(clear->isEnabled());
        slider_->setValue(300);
        QVERIFY(!clear->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("Slice complete")), 10000);
        QCOMPARE(window_->sectionLines(), expectedSection(*window_));
    }

private:
    double axisMiddle(int axis) const
    {
        return 0.5 * (double(window_->model().boundsMin()[axis]) + double(window_->model().boundsMax()[axis]));
    }

    QString scanPath_;
    QComboBox* axis_ = nullptr;
    QSlider* slider_ = nullptr;
    QDoubleSpinBox* exact_ = nullptr;
};

QTEST_MAIN(TestMainWindowSlice)
#include "test_mainwindow_slice.moc"
