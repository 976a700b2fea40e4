// The alignment history (undo and redo of whole-mesh states) and the refresh
// every geometry change ends with.
#include "ui/mainwindow/mainwindow.h"
#include "ui/view3d/occtmeshview.h"

#include <QAction>
#include <QMessageBox>
#include <QStatusBar>

void MainWindow::syncHistoryWithMesh()
{
    // Only a load replaces the loaded arrays; entries of the previous mesh
    // would pair its vertices with the new faces.
    const void* id = model_.loadedVertices.storageId();
    if (id == historyMeshId_)
        return;
    historyMeshId_ = id;
    alignmentHistory_.clear();
    updateUndoRedoActions();
}

void MainWindow::updateUndoRedoActions()
{
    if (undoAction_)
        undoAction_->setEnabled(alignmentHistory_.canUndo());
    if (redoAction_)
        redoAction_->setEnabled(alignmentHistory_.canRedo());
}

void MainWindow::pushUndoSnapshot(bool withFaces)
{
    syncHistoryWithMesh();
    alignmentHistory_.record(model_, withFaces);
    updateUndoRedoActions();
}

void MainWindow::refreshAfterGeometryChange(bool clearPick)
{
    if (clearPick) {
        alignPickActive_ = false;
        alignFacePicked_ = false;
        mainView_->clearAlignPick();
        mainView_->setSurfacePick(false);
    }
    // A surface plane picked on the old pose no longer lies on the part.
    exitSurfaceBuildMode(false);
    mainView_->setSurfacePlanePick(false);
    setMode(QStringLiteral("Axis Slice"));
    leaveDrawingMode();

    invalidateSectionState();
    resetWireframePreviewState();

    updateSliceRangeForAxis();
    refresh3DViews();
    refresh2DSection();
    startSliceCutterWarmUp();
    updateStatusPanel();
    setMode(QStringLiteral("Axis Slice"));
}

void MainWindow::stepAlignmentHistory(bool undo)
{
    syncHistoryWithMesh();
    if (!model_.hasMesh() || !(undo ? alignmentHistory_.canUndo() : alignmentHistory_.canRedo()))
        return;
    if (!beginBusyOperation(undo ? QStringLiteral("Undo Alignment") : QStringLiteral("Redo Alignment")))
        return;
    const bool stepped = undo ? alignmentHistory_.undo(model_) : alignmentHistory_.redo(model_);
    updateUndoRedoActions();
    if (stepped)
        refreshAfterGeometryChange(false);
    endBusyOperation();
    if (!stepped)
        return;
    if (undo)
        statusBar()->showMessage(QStringLiteral("Undo alignment (%1 remaining)").arg(alignmentHistory_.undoCount()));
    else
        statusBar()->showMessage(QStringLiteral("Redo alignment (%1 remaining)").arg(alignmentHistory_.redoCount()));
}

void MainWindow::onUndoAlignment()
{
    stepAlignmentHistory(true);
}

void MainWindow::onRedoAlignment()
{
    stepAlignmentHistory(false);
}

bool MainWindow::runGeometryCommand(const QString& busyLabel, const QString& failureTitle, const QString& fallback,
                                    bool undoWithFaces, const std::function<bool(std::string*)>& operation)
{
    if (!model_.hasMesh())
        return false;
    const QString previousMode = modeText();
    if (!beginBusyOperation(busyLabel))
        return false;
    pushUndoSnapshot(undoWithFaces);
    std::string error;
    const bool ok = operation(&error);
    if (ok) {
        aligned_ = true;
        refreshAfterGeometryChange(true);
    } else {
        setMode(previousMode);
    }
    endBusyOperation();
    if (!ok) // the undo entry stays: the user may still step back past it
        QMessageBox::warning(this, failureTitle, error.empty() ? fallback : QString::fromStdString(error));
    return ok;
}
