// Wireframe page: the wire overlay's tools and the preview rebuild. Bodies
// arrive with the lattice and long-feature wireframe.
#include "ui/mainwindow.h"

void MainWindow::onWireMeasureToggled(bool) {}
void MainWindow::onWireSnapToggled(bool) {}
void MainWindow::onWireSelectToggled(bool) {}
void MainWindow::onWireDeleteSelected() {}
void MainWindow::onWireKeepTopCount() {}
void MainWindow::onWireClearMeasure() {}
void MainWindow::onWireComplexityChanged(int) {}
void MainWindow::onWireCleanupChanged(int) {}
void MainWindow::onWireExportModeChanged(int) {}
void MainWindow::onWireSegmentPicked(int, const QVector3D&, const QVector3D&) {}
void MainWindow::onExportWireframeDxf() {}

void MainWindow::onWirePreviewDebounceTimeout() {}
void MainWindow::onLatticeComputeFinished() {}
void MainWindow::resetWireframePreviewState() {}
