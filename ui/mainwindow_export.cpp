// Section exports, 2D drawing export, slice stack and comparison overlay.
// Bodies arrive with their writers.
#include "ui/mainwindow.h"

void MainWindow::onExportDxf() {}
void MainWindow::onExportSvg() {}
void MainWindow::onExport2DDrawing() {}
void MainWindow::onSliceStack() {}
void MainWindow::onLoadComparisonSlice() {}
