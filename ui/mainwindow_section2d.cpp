// The 2D page: slice/drawing mode, drawing generation, draw and measure
// tools, kept vectors and layers. The canvas work arrives with
// Section2DWidget and the drawing extraction.
#include "ui/mainwindow.h"

#include <QComboBox>

void MainWindow::on2DModeChanged(int index)
{
    updateRightPaneVisibility();
    if (index == 0 && model_.hasMesh())
        refresh2DSection();
}

void MainWindow::onGenerate2DDrawing() {}
void MainWindow::onEdgeAngleChanged(double) {}
void MainWindow::onDrawToolTriggered() {}
void MainWindow::onMeasureToolTriggered() {}
void MainWindow::onEraserSizeChanged(int) {}
void MainWindow::onKeepVectorToggled(bool) {}
void MainWindow::onClearKeptVectors() {}
void MainWindow::applyLayerVisibility(const QString&, bool) {}
