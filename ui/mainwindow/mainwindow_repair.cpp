// Repair Mesh. Hole detection and filling are in mainwindow_holes.cpp.
#include "ui/mainwindow/mainwindow.h"

#include "app/automation.h"
#include "model/repair/repair.h"
#include "ui/view3d/occtmeshview.h"
#include "ui/mainwindow/buildstatus.h"
#include "ui/mainwindow/pollingloop.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>

#include <memory>
#include <optional>

namespace {

// False when the user cancelled.
bool askRepairOptions(QWidget* parent, RepairOptions& options, int& preset)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Repair Mesh"));
    auto* form = new QFormLayout(&dialog);
    auto* tolerance = new QDoubleSpinBox(&dialog);
    tolerance->setRange(0.001, 1.0);
    tolerance->setDecimals(3);
    tolerance->setSuffix(QStringLiteral(" mm"));
    tolerance->setValue(0.01);
    form->addRow(QStringLiteral("Merge Tolerance:"), tolerance);
    auto* smoothing = new QComboBox(&dialog);
    for (const SmoothingPreset& p : kSmoothingPresets)
        smoothing->addItem(QString::fromLatin1(p.text));
    smoothing->setCurrentIndex(kDefaultSmoothingPreset);
    form->addRow(QStringLiteral("Smoothing:"), smoothing);
    auto* fixNormals = new QCheckBox(QStringLiteral("Fix normals && winding"), &dialog);
    auto* fillHoles = new QCheckBox(QStringLiteral("Fill all holes"), &dialog);
    auto* smoothNoise = new QCheckBox(QStringLiteral("Smooth noise"), &dialog);
    for (QCheckBox* box : {fixNormals, fillHoles, smoothNoise}) {
        box->setChecked(true);
        form->addRow(box);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    options.mergeTolerance = float(tolerance->value());
    preset = smoothing->currentIndex();
    options.fixNormals = fixNormals->isChecked();
    options.fillHoles = fillHoles->isChecked();
    options.smoothNoise = smoothNoise->isChecked();
    return true;
}

} // namespace

void MainWindow::onRepairMesh()
{
    if (!model_.hasMesh())
        return;
    RepairOptions options;
    int preset = kDefaultSmoothingPreset;
    if (!isAutomationMode() && !askRepairOptions(this, options, preset))
        return;
    options.applyPreset(preset);
    options.programDir = repairProgramDir_.toStdString();
    ensureHoleListCurrent();
    options.keepOpenHoles = keepOpenHoles_;

    if (!beginBusyOperation(QStringLiteral("Repairing Mesh")))
        return;
    const std::size_t oldVertices = model_.vertices.size();
    const std::size_t oldFaces = model_.faces.size();

    struct Outcome {
        bool ok = false;
        std::string error;
        std::vector<std::string> notes;
        MeshModel model;
    };
    // The worker repairs a copy: the window's model stays as it is until the
    // result is taken, so a cancel leaves nothing to undo.
    auto work = std::make_shared<MeshModel>(model_);
    auto taskProgress = std::make_shared<Progress>();
    QProgressDialog progress(QStringLiteral("Repairing mesh..."), QStringLiteral("Cancel"), 0, 100, this);
    progress.setWindowTitle(QStringLiteral("Mesh Repair"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.show();
    std::optional<BuildStatus> building(std::in_place, statusBar(), QStringLiteral("Repairing mesh..."));
    Outcome outcome = runPollingLoop(
        [work, options, taskProgress]() {
            Outcome o;
            o.ok = repairMesh(*work, options, o.error, taskProgress.get(), &o.notes);
            if (o.ok)
                o.model = std::move(*work);
            return o;
        },
        &progress, taskProgress.get());
    progress.close();
    building.reset();
    for (const std::string& note : outcome.notes)
        qInfo().noquote() << "[REPAIR]" << QString::fromStdString(note);

    if (taskProgress->canceled() && !outcome.ok) {
        endBusyOperation();
        statusBar()->showMessage(QStringLiteral("Repair canceled."));
        return;
    }
    // Taken now, with the model still as it was before the repair; a failed
    // repair leaves the entry too, and undoing it changes nothing.
    pushUndoSnapshot(true);
    if (!outcome.ok) {
        endBusyOperation();
        const QString text = outcome.error.empty() ? QStringLiteral("Mesh repair failed.")
                                                   : QString::fromStdString(outcome.error);
        if (isAutomationMode()) {
            // Nobody is there to press OK.
            auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Repair Mesh"), text, QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setModal(false);
            box->show();
        } else {
            QMessageBox::warning(this, QStringLiteral("Repair Mesh"), text);
        }
        return;
    }
    model_ = std::move(outcome.model);
    if (holeMode_) {
        leaveHoleMode();
        mainView_->clearWireOverlay();
    }
    refreshAfterGeometryChange(true);
    statusBar()->showMessage(QStringLiteral("Mesh repaired: %1 → %2 vertices, %3 → %4 faces")
                                 .arg(oldVertices)
                                 .arg(model_.vertices.size())
                                 .arg(oldFaces)
                                 .arg(model_.faces.size()));
    const MeshStats stats = computeMeshStats(model_);
    endBusyOperation();
    if (!isAutomationMode())
        QMessageBox::information(
            this, QStringLiteral("Repair Results"),
            QStringLiteral("Repair Complete\n\nVertices: %1\nFaces: %2\n\nWatertight: %3\nBoundary edges: %4\n"
                           "Non-manifold edges: %5\nDegenerate triangles: %6")
                .arg(stats.vertexCount)
                .arg(stats.faceCount)
                .arg(stats.boundaryEdges == 0 ? QStringLiteral("Yes") : QStringLiteral("No"))
                .arg(stats.boundaryEdges)
                .arg(stats.nonManifoldEdges)
                .arg(stats.degenerateTriangles));
}
