// Alignment commands through the window: pick-and-arrow alignment, arrows
// without a pick, flips, the X/Y swap, fine tune, reset, undo and redo, and
// the section that follows every change.
#include "ui/view3d/occtmeshview.h"
#include "tests/ui/common/windowtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSlider>

#include <cmath>
#include <vector>

namespace {

std::vector<Vec3f> verticesOf(const MainWindow& w)
{
    return w.model().vertices.vec();
}

} // namespace

class TestMainWindowAlignment : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase() { writeScan(scanPath_, "scan.stl"); }
    void init()
    {
        openWindow();
        load(scanPath_);
        undo_ = findAction(window_.get(), QStringLiteral("Undo Alignment"));
        redo_ = findAction(window_.get(), QStringLiteral("Redo Alignment"));
        QVERIFY(undo_ && redo_);
        QVERIFY(!undo_->isEnabled());
        QVERIFY(!redo_->isEnabled());
    }
    void cleanup() { closeWindow(); }

    // Auto X/Y/Z start a pick on the mesh, or on the candidate planes when
    // direct picking is off; an arrow before the face is picked only asks for it.
    void autoAxisStartsThePick()
    {
        const auto before = verticesOf(*window_);
        trigger(QStringLiteral("Auto Y"));
        QCOMPARE(window_->modeText(), QStringLiteral("Align Pick (Y)"));
        QCOMPARE(status(), QStringLiteral("ALIGN -> Y: click a surface, then choose +Y direction with the angle arrows."));
        QCOMPARE(targetCombo()->currentIndex(), 1);
        QVERIFY(window_->isAlignPickActive());
        QVERIFY(!window_->isAlignFacePicked());
        QVERIFY(window_->mainView()->surfacePick());
        QCOMPARE(window_->mainView()->alignPickMode(), 0);
        click(QStringLiteral("+X"));
        QCOMPARE(status(), QStringLiteral("Pick a surface in 3D first, then choose arrow direction."));
        QCOMPARE(verticesOf(*window_), before);
        QVERIFY(!undo_->isEnabled());
        QVERIFY(window_->isAlignPickActive());

        findButton<QCheckBox>(window_.get(), QStringLiteral("Pick directly on mesh"))->setChecked(false);
        trigger(QStringLiteral("Auto X"));
        QCOMPARE(window_->modeText(), QStringLiteral("Align Pick (X)"));
        QCOMPARE(status(), QStringLiteral("ALIGN -> X: click a plane overlay, then choose +X direction with the angle arrows."));
        QVERIFY(!window_->mainView()->surfacePick());
        QCOMPARE(window_->mainView()->alignPickMode(), 1);
        QCOMPARE(window_->mainView()->candidatePlanes().size(), 6);
    }

    void pickedFaceAndArrowAlignOntoTarget()
    {
        // After the load the block lies 120 x 80 x 40; pick its +Y side for Z.
        const Vec3f e0 = window_->model().extents();
        QVERIFY(e0.x > e0.y && e0.y > e0.z);
        const SectionLines sectionBefore = window_->sectionLines();
        trigger(QStringLiteral("Auto Z"));
        emit window_->mainView()->facePicked(QVector3D(0, 1, 0), QVector3D(1, 0, 0));
        QVERIFY(window_->isAlignFacePicked());
        QVERIFY(window_->isAlignPickActive());
        QCOMPARE(status(), QStringLiteral("ALIGN -> Z: face selected. Pick +Z with arrows, click a second point for exact "
                                          "direction, or use Rect Snap."));
        emit window_->mainView()->arrowsShown();
        QCOMPARE(status(), QStringLiteral("ALIGN -> Z: pick +Z direction (0, +/-45, +/-90, +/-135, 180) or click a second "
                                          "point on-plane for exact."));

        click(QStringLiteral("+X"));
        QCOMPARE(status(), QStringLiteral("Applied +X using picked face on Z axis"));
        const Vec3f e = window_->model().extents();
        QVERIFY2(std::fabs(e.x - e0.x) < 0.5f && std::fabs(e.y - e0.z) < 0.5f && std::fabs(e.z - e0.y) < 0.5f,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(e.x).arg(e.y).arg(e.z)));
        QCOMPARE(window_->model().boundsMin().z, 0.0f);
        QVERIFY(std::fabs(window_->model().boundsMin().x + window_->model().boundsMax().x) < 1e-3f);
        QCOMPARE(window_->modeText(), QStringLiteral("Axis Slice"));
        QVERIFY(!window_->isAlignPickActive());
        QVERIFY(!window_->isAlignFacePicked());
        QVERIFY(!window_->mainView()->surfacePick());
        QVERIFY(window_->isAligned());
        QVERIFY(undo_->isEnabled());
        QVERIFY(!redo_->isEnabled());
        QVERIFY(!window_->isBusy());
        // The section was recut on the new pose at the middle of the new range.
        auto* exact = window_->findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"));
        QVERIFY(std::fabs(exact->value() - 0.5 * double(e.z)) < 0.05);
        QVERIFY(!window_->sectionLines().isEmpty());
        QVERIFY(window_->sectionLines() != sectionBefore);
        QCOMPARE(window_->sectionLines(), expectedSection(*window_));
    }

    void arrowPickedInViewAppliesItsAngle()
    {
        trigger(QStringLiteral("Auto X"));
        const Vec3f e0 = window_->model().extents();
        // The top face onto X, its reference (X) onto Y, then a quarter turn.
        emit window_->mainView()->arrowPicked(QVector3D(0, 0, 1), QVector3D(1, 0, 0), 90.0f, QStringLiteral("+X (+90)"));
        QCOMPARE(status(), QStringLiteral("Applied +X (+90) using picked face on X axis"));
        const Vec3f e = window_->model().extents();
        QVERIFY2(std::fabs(e.x - e0.z) < 0.5f && std::fabs(e.y - e0.y) < 0.5f && std::fabs(e.z - e0.x) < 0.5f,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(e.x).arg(e.y).arg(e.z)));
        QCOMPARE(window_->model().boundsMin().x, 0.0f);
        QCOMPARE(targetCombo()->currentIndex(), 0);
        QVERIFY(!window_->isAlignPickActive());
        QCOMPARE(window_->alignmentHistory().undoCount(), std::size_t(1));
    }

    // An invalid picked normal warns and the principal axes are used; so are
    // they for an arrow without any pick.
    void principalAxesWithoutAValidPick()
    {
        MessageBoxCatcher boxes;
        trigger(QStringLiteral("Auto Z"));
        window_->onFacePicked(QVector3D(0, 0, 0), QVector3D(1, 0, 0));
        click(QStringLiteral("+X"));
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("Alignment")});
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("Picked face normal is invalid.")});
        QCOMPARE(status(), QStringLiteral("Applied +X orientation on Z axis"));
        // The failed attempt's entry stays; undoing it changes nothing.
        QCOMPARE(window_->alignmentHistory().undoCount(), std::size_t(2));
        QVERIFY(!window_->isBusy());

        // Without a pick an arrow turns the footprint: both sides grow towards the diagonal.
        const Vec3f e0 = window_->model().extents();
        targetCombo()->setCurrentIndex(2);
        click(QStringLiteral("+45"));
        QCOMPARE(status(), QStringLiteral("Applied +45 orientation on Z axis"));
        const Vec3f e = window_->model().extents();
        QVERIFY2(e.x > std::min(e0.x, e0.y) + 20.0f && e.y > std::min(e0.x, e0.y) + 20.0f && std::fabs(e.z - e0.z) < 1.0f,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(e.x).arg(e.y).arg(e.z)));
        QVERIFY(window_->isAligned());
        QVERIFY(undo_->isEnabled());
    }

    void commandTurnsRecutsAndUndoes_data()
    {
        QTest::addColumn<QString>("command"); // an action, or the fine-tune button
        QTest::addColumn<QString>("applied");
        QTest::newRow("flip") << QStringLiteral("Flip 180 X") << QStringLiteral("Applied preset: 180° around X");
        QTest::newRow("swap") << QStringLiteral("Swap X<->Y") << QStringLiteral("Applied preset: swapped X and Y axes");
        QTest::newRow("fine tune") << QStringLiteral("Apply Fine-Tune")
                                   << QStringLiteral("Fine-tune rotation applied: X=0.40 Y=-0.20 Z=0.30 deg");
    }

    // The turns themselves are test_alignmentcommands.cpp's (FlipAndSwap,
    // AlignmentHistory); here the window reports them, recuts the
    // section, and undo and redo give back the exact arrays, faces included.
    void commandTurnsRecutsAndUndoes()
    {
        QFETCH(QString, command);
        QFETCH(QString, applied);
        const auto before = verticesOf(*window_);
        const auto facesBefore = window_->model().faces.vec();
        const SectionLines sectionBefore = window_->sectionLines();
        QSlider* tune[3] = {window_->findChild<QSlider*>(QStringLiteral("fineTuneX")),
                            window_->findChild<QSlider*>(QStringLiteral("fineTuneY")),
                            window_->findChild<QSlider*>(QStringLiteral("fineTuneZ"))};
        if (command == QLatin1String("Apply Fine-Tune")) {
            tune[0]->setValue(20);
            tune[1]->setValue(-10);
            tune[2]->setValue(15);
            click(command);
        } else {
            trigger(command);
        }
        QCOMPARE(status(), applied);
        for (QSlider* slider : tune)
            QCOMPARE(slider->value(), 0);
        const auto after = verticesOf(*window_);
        const auto facesAfter = window_->model().faces.vec();
        QVERIFY(after != before);
        QCOMPARE(window_->modeText(), QStringLiteral("Axis Slice"));
        QVERIFY(window_->sectionLines() != sectionBefore);
        QCOMPARE(window_->sectionLines(), expectedSection(*window_));
        QVERIFY(undo_->isEnabled());
        QVERIFY(!redo_->isEnabled());

        trigger(QStringLiteral("Undo Alignment"));
        QCOMPARE(status(), QStringLiteral("Undo alignment (0 remaining)"));
        QCOMPARE(verticesOf(*window_), before);
        QVERIFY(window_->model().faces.vec() == facesBefore);
        QCOMPARE(window_->sectionLines(), expectedSection(*window_));
        QVERIFY(!undo_->isEnabled());
        QVERIFY(redo_->isEnabled());

        trigger(QStringLiteral("Redo Alignment"));
        QCOMPARE(status(), QStringLiteral("Redo alignment (0 remaining)"));
        QCOMPARE(verticesOf(*window_), after);
        QVERIFY(window_->model().faces.vec() == facesAfter);
        QVERIFY(undo_->isEnabled());
        QVERIFY(!redo_->isEnabled());
    }

    // Fine tune at zero adds nothing; the window's history holds ten turns and
    // a new command drops the redo.
    void historyKeepsTenAndNewCommandDropsRedo()
    {
        const std::uint64_t revision = window_->model().geometryRevision;
        click(QStringLiteral("Apply Fine-Tune"));
        QCOMPARE(status(), QStringLiteral("No fine-tune rotation to apply"));
        QCOMPARE(window_->model().geometryRevision, revision);
        QVERIFY(!undo_->isEnabled());

        for (int i = 0; i < 11; ++i)
            trigger(i % 2 ? QStringLiteral("Flip 180 Y") : QStringLiteral("Flip 180 Z"));
        trigger(QStringLiteral("Undo Alignment"));
        QCOMPARE(status(), QStringLiteral("Undo alignment (9 remaining)"));
        QVERIFY(redo_->isEnabled());
        trigger(QStringLiteral("Flip 180 X"));
        QVERIFY(!redo_->isEnabled());
        QCOMPARE(window_->alignmentHistory().undoCount(), std::size_t(10));
    }

    void resetReturnsToLoadedPose()
    {
        const auto loaded = verticesOf(*window_);
        trigger(QStringLiteral("Flip 180 X"));
        trigger(QStringLiteral("Swap X<->Y"));
        QVERIFY(verticesOf(*window_) != loaded);
        trigger(QStringLiteral("Reset Alignment"));
        QCOMPARE(status(), QStringLiteral("Alignment reset and auto-aligned (minimum OBB)"));
        QCOMPARE(verticesOf(*window_), loaded);
        QCOMPARE(window_->modeText(), QStringLiteral("Axis Slice"));
        QCOMPARE(window_->alignmentHistory().undoCount(), std::size_t(3));
        QCOMPARE(window_->sectionLines(), expectedSection(*window_));
        // Undo brings back the swapped pose, faces included.
        trigger(QStringLiteral("Undo Alignment"));
        QVERIFY(verticesOf(*window_) != loaded);
    }

    void busyGuardRefusesAlignmentCommands()
    {
        trigger(QStringLiteral("Flip 180 X"));
        const auto before = verticesOf(*window_);
        QVERIFY(window_->beginBusyOperation(QStringLiteral("Other Work")));
        const auto refused = [&](void (MainWindow::*slot)()) {
            window_->statusBar()->clearMessage();
            (window_.get()->*slot)();
            return status() == QStringLiteral("Please wait for the current operation to finish.");
        };
        QVERIFY(refused(&MainWindow::onFlipYSide));
        QVERIFY(refused(&MainWindow::onSwapXYAxes));
        QVERIFY(refused(&MainWindow::onResetAlignment));
        QVERIFY(refused(&MainWindow::onAutoAlignX));
        QVERIFY(refused(&MainWindow::onArrowPlus45));
        QVERIFY(refused(&MainWindow::onUndoAlignment));
        QVERIFY(refused(&MainWindow::onAutoFlatAlign));
        QVERIFY(refused(&MainWindow::onRectSnapAlign));
        window_->findChild<QSlider*>(QStringLiteral("fineTuneX"))->setValue(50);
        QVERIFY(refused(&MainWindow::onFineTuneApply));
        QCOMPARE(verticesOf(*window_), before);
        QCOMPARE(window_->alignmentHistory().undoCount(), std::size_t(1));
        QCOMPARE(window_->modeText(), QStringLiteral("Other Work"));
        window_->endBusyOperation();
        click(QStringLiteral("Apply Fine-Tune"));
        QCOMPARE(status(), QStringLiteral("Fine-tune rotation applied: X=1.00 Y=0.00 Z=0.00 deg"));
        // Auto Orient with the panel's defaults runs again too.
        trigger(QStringLiteral("Auto Orient"));
        QVERIFY(status().startsWith(QStringLiteral("Auto Orient: largest planar face -> Z, Right edge locked to X (trim 2.0%)")));
    }

    void reloadDropsHistoryOfPreviousMesh()
    {
        trigger(QStringLiteral("Flip 180 X"));
        QVERIFY(undo_->isEnabled());
        load(scanPath_);
        // Nothing of the previous scan is offered for undo.
        QVERIFY(!undo_->isEnabled());
        const auto fresh = verticesOf(*window_);
        window_->onUndoAlignment();
        QCOMPARE(verticesOf(*window_), fresh);
        QVERIFY(!undo_->isEnabled());
        QVERIFY(window_->alignmentHistory().undoEntries().empty());
    }

private:
    QComboBox* targetCombo() const { return window_->findChild<QComboBox*>(QStringLiteral("alignTargetCombo")); }

    QString scanPath_;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
};

QTEST_MAIN(TestMainWindowAlignment)
#include "test_mainwindow_alignment.moc"
