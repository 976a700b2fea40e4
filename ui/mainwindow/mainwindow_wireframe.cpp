// The wireframe page's commands live in WireframeController; the window's
// wire slots hand them over and the controller asks the window for the model,
// the busy state and the status bar.
#include "ui/mainwindow/mainwindow.h"

#include <QLabel>
#include <QStatusBar>

void MainWindow::createWireframeController()
{
    WireframeController::Host host;
    host.model = [this]() -> MeshModel& { return model_; };
    host.cutter = [this]() { return sliceCutter_; };
    host.busy = [this]() { return loadInProgress_ || busy_; };
    host.pageShown = [this]() { return isWireframePageShown(); };
    host.showBuild = [this](bool building, const QString& status) {
        if (building)
            wireBuildLabel_->setText(status.isEmpty() ? QStringLiteral("Building lattice...") : status);
        updateWireframeControls(building, status);
        // A finished build leaves no "Building ..." behind in the status bar.
        const QString shown = statusBar()->currentMessage();
        if (!building && (shown.startsWith(QLatin1String("Building edge-to-edge lattice")) ||
                          shown.startsWith(QLatin1String("Building long-feature wireframe"))))
            statusBar()->clearMessage();
    };
    host.status = [this](const QString& text) { statusBar()->showMessage(text); };
    host.schedulePreview = [this](int delayMs) { scheduleWireframePreview(delayMs); };
    wireframe_ = new WireframeController(this, std::move(host));
}

void MainWindow::onWirePreviewDebounceTimeout() { wireframe_->refreshPreview(); }
void MainWindow::onEdgeAngleChanged(double degrees) { wireframe_->edgeAngleChanged(degrees); }
void MainWindow::onWireComplexityChanged(int value) { wireframe_->complexityChanged(value); }
void MainWindow::onWireCleanupChanged(int index) { wireframe_->cleanupChanged(index); }
void MainWindow::onWireExportModeChanged(int index) { wireframe_->modeChanged(index); }
void MainWindow::onWireMeasureToggled(bool on) { wireframe_->measureToggled(on); }
void MainWindow::onWireSnapToggled(bool on) { wireframe_->snapToggled(on); }
void MainWindow::onWireClearMeasure() { wireframe_->clearMeasure(); }
void MainWindow::onWireSelectToggled(bool on) { wireframe_->selectToggled(on); }
void MainWindow::onWireDeleteSelected() { wireframe_->deleteSelected(); }
void MainWindow::onWireKeepTopCount() { wireframe_->keepTopCount(); }
void MainWindow::onExportWireframeDxf() { wireframe_->exportDxf(); }

void MainWindow::onWireSegmentPicked(int index, const QVector3D& start, const QVector3D& end)
{
    wireframe_->segmentPicked(index, start, end);
}
