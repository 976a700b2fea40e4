// Alignment commands: pick-and-arrow alignment onto X, Y or Z, the arrow
// buttons, flips, the X/Y swap, fine tune and the reset to the loaded pose.
// Auto Orient and Rect Snap are in mainwindow_alignment_auto.cpp.
// Every change takes the busy guard and leaves an undo entry first.
#include "ui/mainwindow/mainwindow.h"
#include "ui/view3d/occtmeshview.h"

#include "model/align/alignmentcommands.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QSlider>
#include <QStatusBar>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

QString axisLetter(Axis axis)
{
    return QString(QChar(u'X' + axisIndex(axis)));
}

} // namespace

Axis MainWindow::currentAlignTarget() const
{
    return alignTargetCombo_ ? axisFromIndex(alignTargetCombo_->currentIndex()) : alignTargetAxis_;
}

// --- pick and arrows -------------------------------------------------------------

void MainWindow::startAlignPick(Axis axis)
{
    if (loadInProgress_ || busy_) {
        statusBar()->showMessage(QStringLiteral("Please wait for the current operation to finish."));
        return;
    }
    if (!model_.hasMesh())
        return;
    alignTargetCombo_->setCurrentIndex(axisIndex(axis));
    alignTargetAxis_ = axis;
    alignFacePicked_ = false;
    mainView_->clearAlignPick();
    mainView_->setAlignTargetAxis(axis);
    alignPickActive_ = true;

    const QString letter = axisLetter(axis);
    const bool direct = !pickOnMeshCheck_ || pickOnMeshCheck_->isChecked();
    if (direct) {
        mainView_->setSurfacePick(true);
    } else {
        mainView_->setSurfacePick(false);
        mainView_->startAlignPick(axis);
    }
    setMode(QStringLiteral("Align Pick (%1)").arg(letter));
    statusBar()->showMessage(
        direct ? QStringLiteral("ALIGN -> %1: click a surface, then choose +%1 direction with the angle arrows.").arg(letter)
               : QStringLiteral("ALIGN -> %1: click a plane overlay, then choose +%1 direction with the angle arrows.")
                     .arg(letter));
}

void MainWindow::onAutoAlignX()
{
    startAlignPick(Axis::X);
}

void MainWindow::onAutoAlignY()
{
    startAlignPick(Axis::Y);
}

void MainWindow::onAutoAlignZ()
{
    startAlignPick(Axis::Z);
}

void MainWindow::onFacePicked(const QVector3D& normal, const QVector3D& inPlaneRef)
{
    alignFacePicked_ = true;
    alignPickedNormal_ = normal;
    alignPickedRef_ = inPlaneRef;
    alignTargetCombo_->setCurrentIndex(axisIndex(alignTargetAxis_));
    statusBar()->showMessage(
        QStringLiteral("ALIGN -> %1: face selected. Pick +%1 with arrows, click a second point for exact direction, "
                       "or use Rect Snap.")
            .arg(axisLetter(alignTargetAxis_)));
}

void MainWindow::onArrowsShown()
{
    statusBar()->showMessage(
        QStringLiteral("ALIGN -> %1: pick +%1 direction (0, +/-45, +/-90, +/-135, 180) or click a second point on-plane "
                       "for exact.")
            .arg(axisLetter(alignTargetAxis_)));
}

void MainWindow::onArrowPicked(const QVector3D& normal, const QVector3D& inPlaneRef, float angleDeg, const QString& label)
{
    if (!model_.hasMesh())
        return;
    alignPickedNormal_ = normal;
    alignPickedRef_ = inPlaneRef;
    alignFacePicked_ = true;
    alignTargetCombo_->setCurrentIndex(axisIndex(alignTargetAxis_));
    applyPickedFaceAlignment(alignTargetAxis_, angleDeg, label);
    alignPickActive_ = false;
    alignFacePicked_ = false;
}

bool MainWindow::applyPickedFaceAlignment(Axis axis, float angleDeg, const QString& label)
{
    if (!alignFacePicked_)
        return false;
    const bool ok = runGeometryCommand(QStringLiteral("Aligning"), QStringLiteral("Alignment"), QString(), false,
                                       [&](std::string* error) {
                                           return model_.alignToPickedFace(alignPickedNormal_, alignPickedRef_, axis,
                                                                           angleDeg, error);
                                       });
    if (!ok)
        return false;
    statusBar()->showMessage(QStringLiteral("Applied %1 using picked face on %2 axis").arg(label, axisLetter(axis)));
    return true;
}

bool MainWindow::applyPrincipalAxisOrientation(Axis axis, float angleDeg, const QString& label)
{
    const bool ok = runGeometryCommand(QStringLiteral("Aligning"), QStringLiteral("Alignment"), QString(), false,
                                       [&](std::string* error) { return model_.alignPrincipalAxes(axis, angleDeg, error); });
    if (!ok)
        return false;
    statusBar()->showMessage(QStringLiteral("Applied %1 orientation on %2 axis").arg(label, axisLetter(axis)));
    return true;
}

void MainWindow::applyArrow(float angleDeg, const QString& label)
{
    const Axis axis = currentAlignTarget();
    if (alignPickActive_ && !alignFacePicked_) {
        statusBar()->showMessage(QStringLiteral("Pick a surface in 3D first, then choose arrow direction."));
        return;
    }
    if (!applyPickedFaceAlignment(axis, angleDeg, label))
        applyPrincipalAxisOrientation(axis, angleDeg, label);
}

void MainWindow::onArrowPlusX()
{
    applyArrow(0.0f, QStringLiteral("+X"));
}

void MainWindow::onArrowMinusX()
{
    applyArrow(180.0f, QStringLiteral("-X"));
}

void MainWindow::onArrowPlusY()
{
    applyArrow(90.0f, QStringLiteral("+Y"));
}

void MainWindow::onArrowMinusY()
{
    applyArrow(-90.0f, QStringLiteral("-Y"));
}

void MainWindow::onArrowPlus45()
{
    applyArrow(45.0f, QStringLiteral("+45"));
}

void MainWindow::onArrowMinus45()
{
    applyArrow(-45.0f, QStringLiteral("-45"));
}

// +/-90 on the diagonal row: a quarter turn is what +Y and -Y already give.
void MainWindow::onArrowPlus90()
{
    applyArrow(135.0f, QStringLiteral("+90"));
}

void MainWindow::onArrowMinus90()
{
    applyArrow(-135.0f, QStringLiteral("-90"));
}

// --- presets -----------------------------------------------------------------------

void MainWindow::applyFlip(Axis axis)
{
    const QString letter = axisLetter(axis);
    const QString title = QStringLiteral("Flip 180 %1").arg(letter);
    if (!runGeometryCommand(title, title, QStringLiteral("Failed to rotate 180° around %1.").arg(letter), false,
                            [&](std::string* error) { return model_.flipAboutAxis(axis, 180.0f, error); }))
        return;
    statusBar()->showMessage(QStringLiteral("Applied preset: 180° around %1").arg(letter));
}

void MainWindow::onFlipXSide()
{
    applyFlip(Axis::X);
}

void MainWindow::onFlipYSide()
{
    applyFlip(Axis::Y);
}

void MainWindow::onFlipZSide()
{
    applyFlip(Axis::Z);
}

void MainWindow::onSwapXYAxes()
{
    // The swap reverses every triangle, so undo needs the faces as well.
    if (!runGeometryCommand(QStringLiteral("Swap X/Y"), QStringLiteral("Swap X<->Y"),
                            QStringLiteral("Failed to swap X and Y axes."), true,
                            [&](std::string* error) { return model_.swapXYAxes(error); }))
        return;
    statusBar()->showMessage(QStringLiteral("Applied preset: swapped X and Y axes"));
}

void MainWindow::onFineTuneApply()
{
    if (!model_.hasMesh())
        return;
    const float x = float(fineTuneX_->value()) * kFineTuneDegreesPerStep;
    const float y = float(fineTuneY_->value()) * kFineTuneDegreesPerStep;
    const float z = float(fineTuneZ_->value()) * kFineTuneDegreesPerStep;
    if (std::fabs(x) < 0.01f && std::fabs(y) < 0.01f && std::fabs(z) < 0.01f) {
        statusBar()->showMessage(QStringLiteral("No fine-tune rotation to apply"));
        return;
    }
    if (!beginBusyOperation(QStringLiteral("Fine Tune")))
        return;
    pushUndoSnapshot();
    model_.applyFineTune(x, y, z);
    for (QSlider* slider : {fineTuneX_, fineTuneY_, fineTuneZ_})
        slider->setValue(0);
    refreshAfterGeometryChange(true);
    endBusyOperation();
    statusBar()->showMessage(QStringLiteral("Fine-tune rotation applied: X=%1 Y=%2 Z=%3 deg")
                                 .arg(double(x), 0, 'f', 2)
                                 .arg(double(y), 0, 'f', 2)
                                 .arg(double(z), 0, 'f', 2));
}

void MainWindow::onResetAlignment()
{
    if (!model_.hasMesh())
        return;
    const QString previousMode = modeText();
    if (!beginBusyOperation(QStringLiteral("Resetting Alignment")))
        return;
    // The loaded faces replace the working ones; after a repair they differ.
    pushUndoSnapshot(!model_.faces.sharesStorageWith(model_.loadedFaces));
    std::string fallback, error;
    const bool ok = model_.resetAlignment(&fallback, &error);
    if (ok) {
        aligned_ = true;
        refreshAfterGeometryChange(true);
    } else {
        setMode(previousMode);
    }
    endBusyOperation();
    if (!ok)
        statusBar()->showMessage(QString::fromStdString(error));
    else if (fallback.empty())
        statusBar()->showMessage(QStringLiteral("Alignment reset and auto-aligned (minimum OBB)"));
    else
        statusBar()->showMessage(QStringLiteral("Alignment reset (OBB fallback): %1").arg(QString::fromStdString(fallback)));
}
