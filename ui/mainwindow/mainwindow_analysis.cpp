// Analysis commands: 3D measurement, curvature, datum planes and primitive
// fitting. Measurement, curvature and datums arrive with the analysis tools.
#include "ui/mainwindow/mainwindow.h"

#include "app/automation.h"
#include "model/analysis/curvature.h"
#include "model/analysis/primitivefit.h"
#include "ui/view3d/occtmeshview.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QInputDialog>
#include <QMessageBox>
#include <QStatusBar>

void MainWindow::onMeasure3D()
{
    if (!mainView_ || !model_.hasMesh())
        return;
    const bool on = measure3DAction_ && measure3DAction_->isChecked();
    mainView_->setMeasureMode(on);
    setMode(on ? QStringLiteral("3D Measure") : QStringLiteral("Navigation"));
    statusBar()->showMessage(on ? QStringLiteral("3D Measurement: click two points on the mesh")
                                : QStringLiteral("3D Measurement disabled"));
}

void MainWindow::onMeasurement3DResult(float distance, const QVector3D& a, const QVector3D& b)
{
    const auto c = [](float v) { return QString::number(double(v), 'f', 2); };
    statusBar()->showMessage(QStringLiteral("3D Distance: %1 mm  (%2,%3,%4) -> (%5,%6,%7)")
                                 .arg(QString::number(double(distance), 'f', 3), c(a.x()), c(a.y()), c(a.z()),
                                      c(b.x()), c(b.y()), c(b.z())));
}
void MainWindow::onCurvatureToggled(bool on)
{
    if (!model_.hasMesh())
        return;
    for (OcctMeshView* view : {mainView_, wireView_}) {
        if (!view)
            continue;
        if (on)
            view->setHeatValues(computeCurvature(model_));
        view->setHeatEnabled(on);
    }
    statusBar()->showMessage(on ? QStringLiteral("3D analytics heatmap enabled")
                                : QStringLiteral("3D analytics heatmap disabled"));
}
void MainWindow::onAddDatum()
{
    if (!mainView_ || !model_.hasMesh()) {
        QMessageBox::warning(this, QStringLiteral("Datum"), QStringLiteral("No mesh loaded."));
        return;
    }
    QString axisName;
    if (isAutomationMode()) {
        axisName = automationEnvValue("HALVORAN_AUTOMATION_DATUM_AXIS");
        if (axisName.isEmpty())
            axisName = QStringLiteral("Z");
    } else {
        bool ok = false;
        axisName = QInputDialog::getItem(this, QStringLiteral("Add Datum Plane"), QStringLiteral("Plane normal axis:"),
                                         {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")}, 2, false,
                                         &ok);
        if (!ok)
            return;
    }
    const int axis = axisName.compare(QLatin1String("X"), Qt::CaseInsensitive) == 0   ? 0
                     : axisName.compare(QLatin1String("Y"), Qt::CaseInsensitive) == 0 ? 1
                                                                                      : 2;
    const double offset = sliceExactSpin_ ? sliceExactSpin_->value() : 0.0;
    OcctMeshView::DatumPlane datum;
    datum.label = QStringLiteral("Datum %1=%2").arg(QChar(u'X' + axis)).arg(offset, 0, 'f', 2);
    datum.normal[axis] = 1.0f;
    const Vec3f c = model_.centroid();
    datum.point = QVector3D(c.x, c.y, c.z);
    datum.point[axis] = float(offset);
    if (!mainView_->addDatumPlane(datum)) {
        statusBar()->showMessage(QStringLiteral("Datum plane limit reached (3); clear datums to add more"));
        return;
    }
    statusBar()->showMessage(QStringLiteral("Added datum plane: %1").arg(datum.label));
}

void MainWindow::onClearDatums()
{
    if (mainView_)
        mainView_->clearDatumPlanes();
    statusBar()->showMessage(QStringLiteral("Datum planes cleared"));
}
namespace {

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
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
        QMessageBox::information(this, QStringLiteral("Fit Primitive"), QString::fromStdString(primitiveReport(fit)));
    statusBar()->showMessage(QStringLiteral("Primitive fit: %1 (residual %2)")
                                 .arg(QString::fromStdString(fit.type), fixed(fit.residual, 4)));
}
