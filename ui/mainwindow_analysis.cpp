// Analysis commands: 3D measurement, curvature, datum planes and primitive
// fitting. Measurement, curvature and datums arrive with the analysis tools.
#include "ui/mainwindow.h"

#include "app/automation.h"
#include "model/primitivefit.h"

#include <QMessageBox>
#include <QStatusBar>

void MainWindow::onMeasure3D() {}
void MainWindow::onMeasurement3DResult(float, const QVector3D&, const QVector3D&) {}
void MainWindow::onCurvatureToggled(bool) {}
void MainWindow::onAddDatum() {}
void MainWindow::onClearDatums() {}
namespace {

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString primitiveReport(const PrimitiveFit& fit)
{
    const QString centre =
        QStringLiteral("(%1, %2, %3)").arg(fixed(fit.centre.x, 2), fixed(fit.centre.y, 2), fixed(fit.centre.z, 2));
    const QString axis =
        QStringLiteral("(%1, %2, %3)").arg(fixed(fit.axis.x, 4), fixed(fit.axis.y, 4), fixed(fit.axis.z, 4));
    if (fit.type == "plane")
        return QStringLiteral("Best fit: PLANE (residual %1 mm)\nNormal: %2\nCenter: %3")
            .arg(fixed(fit.residual, 4), axis, centre);
    if (fit.type == "sphere")
        return QStringLiteral("Best fit: SPHERE (residual %1 mm)\nRadius: %2 mm\nCenter: %3")
            .arg(fixed(fit.residual, 4), fixed(fit.radius, 2), centre);
    if (fit.type == "cylinder")
        return QStringLiteral("Best fit: CYLINDER (residual %1 mm)\nRadius: %2 mm\nAxis: %3\nCenter: %4")
            .arg(fixed(fit.residual, 4), fixed(fit.radius, 2), axis, centre);
    return QStringLiteral("Could not fit any primitive.");
}

} // namespace

void MainWindow::onFitPrimitive()
{
    if (!model_.hasMesh()) {
        statusBar()->showMessage(QStringLiteral("No mesh loaded."));
        return;
    }
    const PrimitiveFit fit = fitPrimitive(model_);
    // Scripts read the status bar; a result box would stop them.
    if (!isAutomationMode())
        QMessageBox::information(this, QStringLiteral("Fit Primitive"), primitiveReport(fit));
    statusBar()->showMessage(QStringLiteral("Primitive fit: %1 (residual %2)")
                                 .arg(QString::fromStdString(fit.type), fixed(fit.residual, 4)));
}
