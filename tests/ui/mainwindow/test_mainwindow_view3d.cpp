// The window's two 3D views: where they sit, the mesh hand-over after a load,
// the slice-plane indicator, and the camera and colour commands on both.
#include "ui/view3d/occtmeshview.h"
#include "tests/ui/common/windowtest.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLayout>
#include <QSignalSpy>

class TestMainWindowView3D : public WindowTest {
    Q_OBJECT

private:
    QString scanPath_;

private slots:
    void initTestCase() { writeScan(scanPath_, "scan.stl"); }

    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    // The views sit in their hosts; a load hands the render mesh to the main
    // view (the wireframe view holds one only while its page shows) and shows
    // the slice plane where the controls say.
    void loadHandsTheMeshAndSlicePlaneToTheViews()
    {
        OcctMeshView* view = window_->mainView();
        QCOMPARE(view->parentWidget(), window_->mainViewHost());
        QVERIFY(window_->mainViewHost()->layout()->indexOf(view) >= 0);
        QTRY_COMPARE(window_->wireView()->parentWidget(), window_->wireViewHost());
        QVERIFY(window_->wireViewHost()->layout()->indexOf(window_->wireView()) >= 0);
        QVERIFY(!view->hasMesh());
        QVERIFY(!view->isSlicePlaneIndicatorVisible());

        load(scanPath_);
        QVERIFY(view->hasMesh());
        QCOMPARE(std::size_t(view->triangleCount()), window_->model().displayFaces.size());
        // The fit follows the aligned (recentred) model.
        QVERIFY(view->camera().fitDistance > 2.0f * 60.0f);
        QVERIFY(!window_->wireView()->hasMesh());
        window_->onShow3DWireframe();
        QVERIFY(window_->wireView()->hasMesh());
        window_->onShow2DSection();
        QVERIFY(!window_->wireView()->hasMesh());

        QVERIFY(view->isSlicePlaneIndicatorVisible());
        auto* axis = window_->findChild<QComboBox*>(QStringLiteral("sliceAxisCombo"));
        auto* exact = window_->findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"));
        QCOMPARE(view->slicePlaneIndicatorAxis(), axis->currentIndex());
        axis->setCurrentIndex(0);
        QCOMPARE(view->slicePlaneIndicatorAxis(), 0);
        exact->setValue(exact->minimum() + 0.25 * (exact->maximum() - exact->minimum()));
        QVERIFY(std::fabs(view->slicePlaneIndicatorPosition() - float(exact->value())) < 1e-4f);
    }

    // Projection and isometric reach both views; the axis views and Fit All
    // move the main view's camera, and page switches leave it alone.
    void cameraCommands()
    {
        load(scanPath_);
        QAction* perspective = findAction(window_.get(), QStringLiteral("Perspective Projection"));
        QAction* orthographic = findAction(window_.get(), QStringLiteral("Orthographic Projection"));
        perspective->trigger();
        QVERIFY(!window_->mainView()->isOrthographic());
        QVERIFY(!window_->wireView()->isOrthographic());
        QCOMPARE(status(), QStringLiteral("Projection: Perspective"));
        window_->onViewIsometric();
        QVERIFY(window_->mainView()->isOrthographic());
        QVERIFY(window_->wireView()->isOrthographic());
        QVERIFY(orthographic->isChecked());
        QVERIFY(!perspective->isChecked());
        QCOMPARE(window_->mainView()->camera().azimuth, 45.0f);
        QCOMPARE(window_->wireView()->camera().azimuth, 45.0f);
        QCOMPARE(status(), QStringLiteral("View: Isometric"));

        OcctMeshView* view = window_->mainView();
        window_->onViewAlongZ();
        QCOMPARE(view->camera().elevation, 89.0f);
        window_->onViewAlongY();
        QCOMPARE(view->camera().azimuth, 90.0f);
        QCOMPARE(view->camera().elevation, 0.0f);
        window_->onFitAll();
        QCOMPARE(view->camera().azimuth, 225.0f);
        QCOMPARE(view->camera().elevation, 25.0f);
        QCOMPARE(view->camera().distance, view->camera().fitDistance);

        // Switching the right pane between the 2D and the wireframe page hands
        // the same model to the main view again: the user's camera stays.
        OrbitCamera moved = view->camera();
        moved.azimuth = 100.0f;
        moved.elevation = -12.0f;
        moved.distance *= 0.5f;
        moved.target += QVector3D(5, -3, 2);
        view->setCamera(moved);
        const auto same = [](const OrbitCamera& a, const OrbitCamera& b) {
            return a.azimuth == b.azimuth && a.elevation == b.elevation && a.distance == b.distance &&
                   a.target == b.target && a.orthographic == b.orthographic;
        };
        window_->onShow3DWireframe();
        QVERIFY(same(view->camera(), moved));
        window_->onShow2DSection();
        QVERIFY(same(view->camera(), moved));
        findAction(window_.get(), QStringLiteral("Wireframe"))->trigger();
        findAction(window_.get(), QStringLiteral("Wireframe Mode"))->trigger();
        QVERIFY(same(view->camera(), moved));
        // Fit All still returns to the framed pose.
        findAction(window_.get(), QStringLiteral("Fit All"))->trigger();
        QCOMPARE(view->camera().azimuth, OrbitCamera::kDefaultAzimuth);
        QCOMPARE(view->camera().target, view->camera().fitTarget);
    }

    // The wireframe view's measurement reaches the status bar; Delete over
    // the main view's hole loops stays with them instead of reaching the
    // wireframe page's delete.
    void wireMeasureHoleDeleteAndColourCommands()
    {
        load(scanPath_);
        window_->onShow3DWireframe();
        OcctMeshView* wire = window_->wireView();
        QTRY_VERIFY(wire->hasMesh() && wire->isVisible());
        findAction(window_.get(), QStringLiteral("Measure"))->trigger();
        QVERIFY(wire->measureMode());
        const QPoint centre(wire->width() / 2, wire->height() / 2);
        QVERIFY(wire->rayPick(centre) && wire->rayPick(centre + QPoint(12, 6)));
        QTest::mouseClick(wire, Qt::LeftButton, Qt::NoModifier, centre);
        QTest::mouseClick(wire, Qt::LeftButton, Qt::NoModifier, centre + QPoint(12, 6));
        QVERIFY2(status().startsWith(QStringLiteral("3D Distance: ")), qPrintable(status()));

        window_->onShow2DSection();
        MessageBoxCatcher boxes;
        window_->onDetectHoles();
        QVERIFY2(window_->isHoleMode(), "the synthetic scan has holes");
        OcctMeshView* view = window_->mainView();
        const std::size_t loops = view->wireSegments().size();
        view->setSelectedWireSegment(0);
        QSignalSpy deleteSpy(view, &OcctMeshView::wireDeleteRequested);
        const QString before = status();
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(deleteSpy.count(), 1);
        QCOMPARE(status(), before);
        QVERIFY(window_->isHoleMode());
        QCOMPARE(view->wireSegments().size(), loops);

        // The colour commands read the automation colours and reach both views.
        env_.set("HALVORAN_AUTOMATION", "1");
        env_.set("HALVORAN_AUTOMATION_MODEL_COLOR", "#ff0000");
        window_->onModelColor();
        QCOMPARE(window_->mainView()->modelColor().name(), QStringLiteral("#ff0000"));
        QCOMPARE(window_->wireView()->modelColor().name(), QStringLiteral("#ff0000"));
        QCOMPARE(status(), QStringLiteral("Model color changed to #ff0000"));

        // No or an unreadable value: the documented default.
        env_.set("HALVORAN_AUTOMATION_MODEL_COLOR", "not a colour");
        window_->onModelColor();
        QCOMPARE(window_->mainView()->modelColor().name(), QStringLiteral("#6ec8ff"));

        window_->onBackgroundColor();
        const QVector3D bottom = window_->wireView()->backgroundBottom();
        QCOMPARE(QColor::fromRgbF(bottom.x(), bottom.y(), bottom.z()).name(), QStringLiteral("#10161f"));
        QCOMPARE(status(), QStringLiteral("Background color changed to #10161f"));

        env_.set("HALVORAN_AUTOMATION_CONTOUR_COLOR", "#123456");
        window_->onContourColor();
        QCOMPARE(status(), QStringLiteral("Contour color changed to #123456"));
    }

};

QTEST_MAIN(TestMainWindowView3D)
#include "test_mainwindow_view3d.moc"
