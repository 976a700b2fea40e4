// Auto Orient (largest flat face onto the XY plane) and Rect Snap (outline
// squared up with the target axis), with the same busy guard, undo entry and
// refresh as the other alignment commands.
#include "ui/mainwindow.h"

#include "model/meshmodel.h"
#include "model/rotation.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QMessageBox>
#include <QStatusBar>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

void warn(QWidget* parent, const QString& title, const std::string& message, const QString& fallback)
{
    QMessageBox::warning(parent, title, message.empty() ? fallback : QString::fromStdString(message));
}

int comboIndex(const QComboBox* combo, int maxIndex)
{
    return combo ? std::clamp(combo->currentIndex(), 0, maxIndex) : 0;
}

QString sideText(const QComboBox* combo)
{
    return combo ? combo->currentText() : QStringLiteral("Right");
}

float trimPercent(const QDoubleSpinBox* spin)
{
    return spin ? float(spin->value()) : 2.0f;
}

} // namespace

void MainWindow::onAutoFlatAlign()
{
    if (!model_.hasMesh())
        return;
    const QString previousMode = modeText();
    if (!beginBusyOperation(QStringLiteral("Auto Orient")))
        return;
    pushUndoSnapshot();
    const int edge = comboIndex(rectSideCombo_, 3);
    const int lockAxis = comboIndex(edgeAxisCombo_, 1);
    const float trim = trimPercent(rectTrimSpin_);
    std::string error;
    const bool ok = model_.autoOrientFlatFace(edge, lockAxis, trim, &error);
    if (ok) {
        aligned_ = true;
        if (alignTargetCombo_)
            alignTargetCombo_->setCurrentIndex(2);
        refreshAfterGeometryChange(true);
    } else {
        setMode(previousMode);
    }
    endBusyOperation();
    if (!ok) {
        warn(this, QStringLiteral("Auto Orient"), error, QStringLiteral("Auto orient alignment failed."));
        return;
    }
    statusBar()->showMessage(QStringLiteral("Auto Orient: largest planar face -> Z, %1 edge locked to %2 (trim %3%)")
                                 .arg(sideText(rectSideCombo_), lockAxis == 0 ? QStringLiteral("X") : QStringLiteral("Y"))
                                 .arg(double(trim), 0, 'f', 1));
}

void MainWindow::onRectSnapAlign()
{
    if (!model_.hasMesh())
        return;
    const QString previousMode = modeText();
    if (!beginBusyOperation(QStringLiteral("Rectangle Snap")))
        return;
    pushUndoSnapshot();
    const int target = currentAlignTarget();
    const int side = comboIndex(rectSideCombo_, 3);
    const float trim = trimPercent(rectTrimSpin_);

    // A picked face gives the plane; otherwise the direction of least spread.
    QVector3D normal = alignPickedNormal_;
    QString source = QStringLiteral("picked plane");
    std::string error;
    bool ok = true;
    if (!alignFacePicked_) {
        model_.computePrincipalAxes(nullptr, nullptr, nullptr, &normal);
        source = QStringLiteral("shape average");
        const bool usable = std::isfinite(normal.x()) && std::isfinite(normal.y()) && std::isfinite(normal.z()) &&
                            normal.length() >= 1e-8f;
        if (!usable) {
            error = "Could not estimate shape plane for rectangle snap.";
            ok = false;
        }
    }
    if (ok)
        ok = model_.rectangleSnap(normal, target, side, trim, &error);
    if (ok) {
        aligned_ = true;
        refreshAfterGeometryChange(true);
    } else {
        setMode(previousMode);
    }
    endBusyOperation();
    if (!ok) {
        warn(this, QStringLiteral("Rectangle Snap"), error, QStringLiteral("Rectangle snap alignment failed."));
        return;
    }
    statusBar()->showMessage(QStringLiteral("Rectangle snap aligned %1 axis (%2 side, trim %3%) using %4")
                                 .arg(QString(QChar(u'X' + target)), sideText(rectSideCombo_))
                                 .arg(double(trim), 0, 'f', 1)
                                 .arg(source));
}
