// The 2D page: slice/drawing mode, drawing generation, draw and measure
// tools, kept vectors and layers. The canvas itself is Section2DWidget;
// the draw tools and drawing extraction are still stubs here.
#include "ui/mainwindow.h"
#include "ui/section2dwidget.h"

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
void MainWindow::applyLayerVisibility(const QString& layer, bool on)
{
    if (section2D_)
        section2D_->setLayerVisible(layer, on);
}
