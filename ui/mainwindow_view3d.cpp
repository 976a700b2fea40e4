// 3D view commands: camera presets, projections and colours. Bodies arrive
// with OcctMeshView.
#include "ui/mainwindow.h"

void MainWindow::onFitAll() {}
void MainWindow::onViewAlongX() {}
void MainWindow::onViewAlongY() {}
void MainWindow::onViewAlongZ() {}
void MainWindow::onViewIsometric() {}
void MainWindow::onUseOrthographicProjection() {}
void MainWindow::onUsePerspectiveProjection() {}
void MainWindow::onModelColor() {}
void MainWindow::onBackgroundColor() {}
void MainWindow::onContourColor() {}
