// Analysis commands: 3D measurement, curvature, datum planes and primitive
// fitting. Bodies arrive with the analysis tools.
#include "ui/mainwindow.h"

void MainWindow::onMeasure3D() {}
void MainWindow::onMeasurement3DResult(float, const QVector3D&, const QVector3D&) {}
void MainWindow::onCurvatureToggled(bool) {}
void MainWindow::onAddDatum() {}
void MainWindow::onClearDatums() {}
void MainWindow::onFitPrimitive() {}
