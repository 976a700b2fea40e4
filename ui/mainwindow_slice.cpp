// Slice controls and the section refresh. The cut itself, its cache and the
// background path arrive with the slice pipeline; the handlers below that do
// nothing yet are its entry points.
#include "ui/mainwindow.h"

#include <QLabel>
#include <QTimer>

void MainWindow::onSliceAxisChanged(int) {}
void MainWindow::onSliceSliderChanged(int) {}
void MainWindow::onSliceExactChanged(double) {}
void MainWindow::onBandThicknessChanged(double) {}
void MainWindow::onQualityPresetChanged(int) {}

void MainWindow::onKeepRatioChanged(int value)
{
    keepRatioLabel_->setText(QStringLiteral("%1%").arg(value));
    startSliceDebounce();
}

void MainWindow::onSmooth2DChanged(int value)
{
    smooth2DLabel_->setText(QStringLiteral("%1%").arg(value));
    startSliceDebounce();
}

void MainWindow::onStartSurfaceBuildPick() {}
void MainWindow::onClearSurfaceBuildPlane() {}
void MainWindow::onSurfaceBuildPlanePicked(const QVector3D&, const QVector3D&, const QVector3D&) {}

void MainWindow::onSliceDebounceTimeout() {}
void MainWindow::onSliceComputeFinished() {}

void MainWindow::startSliceDebounce()
{
    if (sliceDebounceTimer_)
        sliceDebounceTimer_->start();
    else
        refresh2DSection();
}

void MainWindow::refresh2DSection() {}
void MainWindow::updateSliceRangeForAxis() {}
void MainWindow::invalidateSectionState() {}
