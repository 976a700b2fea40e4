// One long operation at a time: the busy guard, the wireframe preview
// debounce, and bringing the 3D views in line after the model changed.
#include "ui/mainwindow/mainwindow.h"

#include <QApplication>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

bool MainWindow::beginBusyOperation(const QString& modeText)
{
    if (loadInProgress_ || busy_) {
        statusBar()->showMessage(QStringLiteral("Please wait for the current operation to finish."));
        return false;
    }
    busy_ = true;
    sliceDebounceTimer_->stop();
    wirePreviewTimer_->stop();
    updateWireframeControls(false, QString());
    setMeshCommandsEnabled(false);
    if (!modeText.isEmpty())
        setMode(modeText);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    return true;
}

void MainWindow::endBusyOperation()
{
    if (!busy_)
        return;
    busy_ = false;
    QApplication::restoreOverrideCursor();
    setMeshCommandsEnabled(model_.hasMesh());
    updateWireframeControls(false, QString());
}

void MainWindow::scheduleWireframePreview(int delayMs)
{
    if (wirePreviewTimer_ && delayMs >= 1) {
        wirePreviewTimer_->start(std::clamp(delayMs, 20, 400));
        return;
    }
    onWirePreviewDebounceTimeout();
}
