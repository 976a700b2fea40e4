// Mesh repair and hole filling. Bodies arrive with the repair pipeline.
#include "ui/mainwindow.h"

void MainWindow::onRepairMesh() {}
void MainWindow::onDetectHoles() {}
void MainWindow::onFillHoles() {}
