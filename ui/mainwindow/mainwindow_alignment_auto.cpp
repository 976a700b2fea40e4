// Auto Orient (largest flat face onto the XY plane) and Rect Snap (outline
// squared up with the target axis), with the same busy guard, undo entry and
// refresh as the other alignment commands.
#include "ui/mainwindow/mainwindow.h"

#include "model/mesh/meshmodel.h"
#include "model/align/rotation.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QMessageBox>
#include <QStatusBar>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

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
    const int edge = comboIndex(rectSideCombo_, 3);
    const Axis lockAxis = comboIndex(edgeAxisCombo_, 1) == 0 ? Axis::X : Axis::Y;
    const float trim = trimPercent(rectTrimSpin_);
    if (!runGeometryCommand(QStringLiteral("Auto Orient"), QStringLiteral("Auto Orient"),
                            QStringLiteral("Auto orient alignment failed."), false, [&](std::string* error) {
                                const bool ok = model_.autoOrientFlatFace(edge, lockAxis, trim, error);
                                if (ok && alignTargetCombo_)
                                    alignTargetCombo_->setCurrentIndex(2); // the flat face went to Z
                                return ok;
                            }))
        return;
    statusBar()->showMessage(QStringLiteral("Auto Orient: largest planar face -> Z, %1 edge locked to %2 (trim %3%)")
                                 .arg(sideText(rectSideCombo_), lockAxis == Axis::X ? QStringLiteral("X") : QStringLiteral("Y"))
                                 .arg(double(trim), 0, 'f', 1));
}

void MainWindow::onRectSnapAlign()
{
    const Axis target = currentAlignTarget();
    const int side = comboIndex(rectSideCombo_, 3);
    const float trim = trimPercent(rectTrimSpin_);

    // A picked face gives the plane; otherwise the direction of least spread.
    QString source = QStringLiteral("picked plane");
    const auto snap = [&](std::string* error) {
        QVector3D normal = alignPickedNormal_;
        if (!alignFacePicked_) {
            model_.computePrincipalAxes(nullptr, nullptr, nullptr, &normal);
            source = QStringLiteral("shape average");
            const bool usable = std::isfinite(normal.x()) && std::isfinite(normal.y()) && std::isfinite(normal.z())
                                && normal.length() >= 1e-8f;
            if (!usable) {
                *error = "Could not estimate shape plane for rectangle snap.";
                return false;
            }
        }
        return model_.rectangleSnap(normal, target, side, trim, error);
    };
    if (!runGeometryCommand(QStringLiteral("Rectangle Snap"), QStringLiteral("Rectangle Snap"),
                            QStringLiteral("Rectangle snap alignment failed."), false, snap))
        return;
    statusBar()->showMessage(QStringLiteral("Rectangle snap aligned %1 axis (%2 side, trim %3%) using %4")
                                 .arg(QString(QChar(u'X' + axisIndex(target))), sideText(rectSideCombo_))
                                 .arg(double(trim), 0, 'f', 1)
                                 .arg(source));
}
