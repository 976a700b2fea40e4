// Auto Orient and Rect Snap through the window: what the part looks like
// afterwards, the status texts, undo, and refusal while busy.
#include "tests/ui/common/windowtest.h"

#include <QComboBox>
#include <QDoubleSpinBox>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The panel's combo whose first entry is text.
QComboBox* comboStartingWith(QWidget* window, const QString& text, int count)
{
    for (QComboBox* combo : window->findChildren<QComboBox*>())
        if (combo->count() == count && combo->itemText(0) == text)
            return combo;
    return nullptr;
}

} // namespace

class TestMainWindowAutoOrient : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase() { writeScan(scanPath_, "scan.stl"); }
    void init()
    {
        openWindow();
        load(scanPath_);
        sideCombo_ = comboStartingWith(window_.get(), QStringLiteral("Right"), 4);
        lockCombo_ = comboStartingWith(window_.get(), QStringLiteral("X"), 2);
        targetCombo_ = window_->findChild<QComboBox*>(QStringLiteral("alignTargetCombo"));
        for (QDoubleSpinBox* spin : window_->findChildren<QDoubleSpinBox*>())
            if (spin->suffix() == QStringLiteral(" %"))
                trimSpin_ = spin;
        QVERIFY(sideCombo_ && lockCombo_ && targetCombo_ && trimSpin_);
    }
    void cleanup() { closeWindow(); }

    // Auto Orient and Rect Snap with the panel's settings, each undone.
    void autoOrientAndRectSnapSeatThePartAndUndo()
    {
        const std::vector<Vec3f> before = window_->model().vertices.vec();
        targetCombo_->setCurrentIndex(0);
        sideCombo_->setCurrentIndex(2);
        lockCombo_->setCurrentIndex(1);
        trimSpin_->setValue(4.5);
        MessageBoxCatcher boxes;
        trigger(QStringLiteral("Auto Orient"));
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(status(), QStringLiteral("Auto Orient: largest planar face -> Z, Top edge locked to Y (trim 4.5%)"));
        QVERIFY(window_->isAligned());
        QCOMPARE(targetCombo_->currentIndex(), 2);
        QCOMPARE(window_->modeText(), QStringLiteral("Axis Slice"));
        // The 120 x 80 x 40 block (faces bulging by a few mm) rests on a big face.
        const Vec3f e = window_->model().extents();
        QVERIFY2(e.z < 50.0f && std::min(e.x, e.y) > 78.0f, qPrintable(QStringLiteral("%1 %2 %3").arg(e.x).arg(e.y).arg(e.z)));
        QCOMPARE(window_->model().boundsMin().z, 0.0f);
        QVERIFY(std::fabs(window_->model().boundsMin().x + window_->model().boundsMax().x) < 1e-3f);
        trigger(QStringLiteral("Undo Alignment"));
        QCOMPARE(status(), QStringLiteral("Undo alignment (0 remaining)"));
        QVERIFY(window_->model().vertices.vec() == before);

        // Rect Snap with the shape average squares the part onto the target.
        targetCombo_->setCurrentIndex(1);
        sideCombo_->setCurrentIndex(1);
        trimSpin_->setValue(15.0);
        trigger(QStringLiteral("Rect Snap"));
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(status(), QStringLiteral("Rectangle snap aligned Y axis (Left side, trim 15.0%) using shape average"));
        QVERIFY(window_->isAligned());
        // Least spread (the 40 mm height, plus bulges) now along Y, seated on it.
        const Vec3f snapped = window_->model().extents();
        QVERIFY2(snapped.y < 50.0f && snapped.x > 78.0f && snapped.z > 78.0f,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(snapped.x).arg(snapped.y).arg(snapped.z)));
        QCOMPARE(window_->model().boundsMin().y, 0.0f);
        trigger(QStringLiteral("Undo Alignment"));
        QVERIFY(window_->model().vertices.vec() == before);

        // With a picked face Rect Snap uses that plane.
        sideCombo_->setCurrentIndex(0);
        trimSpin_->setValue(2.0);
        trigger(QStringLiteral("Auto X"));
        // The face picked in the view: its normal is world Z.
        window_->onFacePicked(QVector3D(0, 0, 1), QVector3D(1, 0, 0));
        QVERIFY(window_->isAlignFacePicked());
        trigger(QStringLiteral("Rect Snap"));
        QCOMPARE(status(), QStringLiteral("Rectangle snap aligned X axis (Right side, trim 2.0%) using picked plane"));
        // The auto-aligned part had its 40 mm height on Z; that is now X.
        const Vec3f picked = window_->model().extents();
        QVERIFY2(picked.x < 50.0f, qPrintable(QString::number(picked.x)));
        QCOMPARE(window_->model().boundsMin().x, 0.0f);
        QVERIFY(!window_->isAlignFacePicked());
        QVERIFY(!window_->isAlignPickActive());

        // A picked face without a usable normal is refused and changes nothing.
        trigger(QStringLiteral("Auto Z"));
        window_->onFacePicked(QVector3D(0, 0, 0), QVector3D(1, 0, 0));
        const std::vector<Vec3f> unpicked = window_->model().vertices.vec();
        const int undoDepth = int(window_->alignmentHistory().undoCount());
        trigger(QStringLiteral("Rect Snap"));
        QTRY_COMPARE(boxes.titles, QStringList{QStringLiteral("Rectangle Snap")});
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("Picked face normal is invalid.")});
        QVERIFY(window_->model().vertices.vec() == unpicked);
        // The entry taken before the attempt stays; undoing it changes nothing.
        QCOMPARE(int(window_->alignmentHistory().undoCount()), undoDepth + 1);
        QVERIFY(!window_->isBusy());
    }

private:
    QString scanPath_;
    QComboBox* sideCombo_ = nullptr;
    QComboBox* lockCombo_ = nullptr;
    QComboBox* targetCombo_ = nullptr;
    QDoubleSpinBox* trimSpin_ = nullptr;
};

QTEST_MAIN(TestMainWindowAutoOrient)
#include "test_mainwindow_autoorient.moc"
