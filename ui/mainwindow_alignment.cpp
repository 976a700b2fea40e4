// Alignment commands: automatic, picked-face and arrow alignment, flips, the
// X/Y swap, fine tune and the undo history. Their bodies arrive with the
// alignment history; until then the commands do nothing.
#include "ui/mainwindow.h"

void MainWindow::onUndoAlignment() {}
void MainWindow::onRedoAlignment() {}
void MainWindow::onAutoFlatAlign() {}
void MainWindow::onAutoAlignX() {}
void MainWindow::onAutoAlignY() {}
void MainWindow::onAutoAlignZ() {}
void MainWindow::onFlipXSide() {}
void MainWindow::onFlipYSide() {}
void MainWindow::onFlipZSide() {}
void MainWindow::onSwapXYAxes() {}
void MainWindow::onRectSnapAlign() {}
void MainWindow::onResetAlignment() {}

void MainWindow::onArrowPlusX() {}
void MainWindow::onArrowMinusX() {}
void MainWindow::onArrowPlusY() {}
void MainWindow::onArrowMinusY() {}
void MainWindow::onArrowPlus45() {}
void MainWindow::onArrowMinus45() {}
void MainWindow::onArrowPlus90() {}
void MainWindow::onArrowMinus90() {}
void MainWindow::onFineTuneApply() {}

void MainWindow::onFacePicked(const QVector3D&, const QVector3D&) {}
void MainWindow::onArrowsShown() {}
void MainWindow::onArrowPicked(const QVector3D&, const QVector3D&, float, const QString&) {}
