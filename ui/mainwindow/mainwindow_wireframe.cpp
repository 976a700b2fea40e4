// Wireframe page: the lattice preview and its background build, the wire
// overlay's tools and the wireframe DXF export.
#include "ui/mainwindow/mainwindow.h"

#include "app/automation.h"
#include "app/runtimelog.h"
#include "export/wireframedxf.h"
#include "ui/view3d/occtmeshview.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QTextStream>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace {

constexpr int kLatticeMode = 1;

MeshModel::SliceSegment3D segmentOf(const QVector3D& a, const QVector3D& b)
{
    return {{a.x(), a.y(), a.z()}, {b.x(), b.y(), b.z()}};
}

float segmentLength(const Vec3f& a, const Vec3f& b)
{
    const Vec3f d = b - a;
    return std::sqrt(dot(d, d));
}

bool sameCorner(const Vec3f& a, const Vec3f& b, float tolerance)
{
    for (int axis = 0; axis < 3; ++axis)
        if (!(std::fabs(a[axis] - b[axis]) <= tolerance))
            return false;
    return true;
}

} // namespace

// --- state -----------------------------------------------------------------

bool MainWindow::isLatticeMode() const
{
    return wireExportCombo_ && wireExportCombo_->currentIndex() == kLatticeMode;
}

int MainWindow::wireComplexity() const
{
    return wireComplexitySlider_ ? wireComplexitySlider_->value() : 70;
}

bool MainWindow::isLatticeJobRunning() const
{
    return latticeWatcher_->isRunning();
}

bool MainWindow::isLatticeCacheValid() const
{
    if (!latticeCacheKey_.valid || !model_.hasMesh())
        return false;
    if (model_.geometryRevision != latticeCacheKey_.revision || model_.vertices.size() != latticeCacheKey_.vertexCount
        || model_.faces.size() != latticeCacheKey_.faceCount)
        return false;
    const Vec3f lo = model_.boundsMin(), hi = model_.boundsMax();
    const Vec3f d = hi - lo;
    const float tolerance = std::max(1e-5f * std::sqrt(dot(d, d)), 0.0001f);
    return sameCorner(lo, latticeCacheKey_.boxMin, tolerance) && sameCorner(hi, latticeCacheKey_.boxMax, tolerance);
}

void MainWindow::clearWireSelection()
{
    wireHasSelection_ = false;
    wireSelectedDisplayIndex_ = -1;
    wireSelectedSourceIndex_ = -1;
    selectedLatticeSegments_.clear();
}

void MainWindow::invalidateWireCaches()
{
    ++latticeGeneration_;
    latticePending_ = latticeWatcher_->isRunning();
    latticeCacheKey_ = LatticeCacheKey{};
    latticeSegments_.clear();
    latticeLanes_ = LatticeLanes{};
    wireDisplayToLattice_.clear();
    clearWireSelection();
}

void MainWindow::resetWireframePreviewState()
{
    invalidateWireCaches();
    if (wireView_) {
        wireView_->clearWireOverlay();
        wireView_->clearMeasurement();
        wireView_->setMeshVisible(true);
    }
}

void MainWindow::setWireBuildBusy(bool busy, const QString& message)
{
    if (wireBuildLabel_ && busy)
        wireBuildLabel_->setText(QStringLiteral("Building lattice..."));
    updateWireframeControls(busy, message);
}

// --- preview ---------------------------------------------------------------

void MainWindow::onWirePreviewDebounceTimeout()
{
    refreshWireframePreview();
}

void MainWindow::refreshWireframePreview()
{
    if (!wireView_)
        return;
    if (!isWireframePageShown() || !model_.hasMesh()) {
        wireDisplayToLattice_.clear();
        wireView_->setMeshVisible(true);
        wireView_->clearWireOverlay();
        return;
    }
    if (!isLatticeMode()) {
        // Long-feature polylines are not built yet: the page shows the mesh's edges only.
        wireDisplayToLattice_.clear();
        wireView_->setMeshVisible(true);
        wireView_->clearWireOverlay();
        return;
    }

    if (isLatticeCacheValid()) {
        setWireBuildBusy(false, QString());
        const std::vector<MeshModel::SliceSegment3D> shown =
            selectLatticeForDisplay(latticeSegments_, latticeLanes_, latticeCacheKey_.boxMin, latticeCacheKey_.boxMax,
                                    wireComplexity(), wireDisplayToLattice_);
        if (shown.empty()) {
            wireView_->setMeshVisible(true);
            wireView_->clearWireOverlay();
            return;
        }
        wireView_->setMeshVisible(false);
        wireView_->setWireSegments(shown);
        wireView_->setSecondaryWireSegments({});
        QList<int> selected;
        if (!selectedLatticeSegments_.empty()) {
            const std::unordered_set<std::uint32_t> wanted(selectedLatticeSegments_.begin(),
                                                           selectedLatticeSegments_.end());
            for (std::size_t i = 0; i < wireDisplayToLattice_.size(); ++i)
                if (wanted.count(wireDisplayToLattice_[i]))
                    selected.append(int(i));
        }
        wireView_->setSelectedWireSegments(selected);
        return;
    }

    wireDisplayToLattice_.clear();
    wireView_->setMeshVisible(false);
    wireView_->setWireSegments({});
    wireView_->setSecondaryWireSegments({});
    if (latticePending_ || latticeWatcher_->isRunning()) {
        latticePending_ = true;
        setWireBuildBusy(true, QString());
        return;
    }
    latticeLaunchKey_.valid = true;
    latticeLaunchKey_.vertexCount = model_.vertices.size();
    latticeLaunchKey_.faceCount = model_.faces.size();
    latticeLaunchKey_.revision = model_.geometryRevision;
    latticeLaunchKey_.boxMin = model_.boundsMin();
    latticeLaunchKey_.boxMax = model_.boundsMax();
    latticeJobGeneration_ = ++latticeGeneration_;
    latticeJobStartMs_ = QDateTime::currentMSecsSinceEpoch();
    latticePending_ = true;
    ++latticeJobsStarted_;
    // The copy shares the arrays and the cutter; the worker never sees the window.
    auto snapshot = std::make_shared<const MeshModel>(model_);
    latticeWatcher_->setFuture(QtConcurrent::run([snapshot]() { return computeLatticeSegments(*snapshot); }));
    setWireBuildBusy(true, QStringLiteral("Building edge-to-edge lattice polylines (X/Z + Y/Z)..."));
}

void MainWindow::onLatticeComputeFinished()
{
    const QFuture<std::vector<MeshModel::SliceSegment3D>> future = latticeWatcher_->future();
    std::vector<MeshModel::SliceSegment3D> result =
        future.resultCount() > 0 ? future.result() : std::vector<MeshModel::SliceSegment3D>();
    const qint64 elapsed = latticeJobStartMs_ > 0 ? QDateTime::currentMSecsSinceEpoch() - latticeJobStartMs_ : 0;
    latticePending_ = false;

    if (latticeJobGeneration_ != latticeGeneration_) {
        // The mesh changed while this job ran.
        setWireBuildBusy(false, QString());
        latticeJobStartMs_ = 0;
        if (isWireframePageShown())
            scheduleWireframePreview(40);
        return;
    }

    latticeSegments_ = std::move(result);
    latticeLanes_ = LatticeLanes{};
    wireDisplayToLattice_.clear();
    if (latticeSegments_.empty()) {
        latticeCacheKey_ = LatticeCacheKey{};
    } else {
        latticeCacheKey_ = latticeLaunchKey_;
        buildLatticeLanes(latticeSegments_, latticeLanes_, latticeCacheKey_.boxMin, latticeCacheKey_.boxMax);
    }
    clearWireSelection();
    setWireBuildBusy(false, QString());
    logPerfTiming(QStringLiteral("Wire lattice build"), elapsed, 40);
    latticeJobStartMs_ = 0;
    if (!isWireframePageShown())
        return;
    if (latticeCacheKey_.valid) {
        refreshWireframePreview();
    } else {
        // Refreshing now would start the same fruitless job again; the next
        // change of mesh or mode retries.
        wireView_->setMeshVisible(true);
        wireView_->clearWireOverlay();
        statusBar()->showMessage(QStringLiteral("No X/Y lattice vectors generated for this mesh."));
    }
}

void MainWindow::onWireComplexityChanged(int value)
{
    if (loadInProgress_ || busy_)
        return;
    if (wireComplexityLabel_)
        wireComplexityLabel_->setText(QStringLiteral("%1%").arg(value));
    if (wireView_)
        wireView_->setWireframeComplexity(std::clamp(value, 5, 100));
    if (isLatticeMode())
        statusBar()->showMessage(QStringLiteral("Wireframe complexity: %1% (lane spacing ~%2 mm)")
                                     .arg(value)
                                     .arg(latticeLaneSpacing(value), 0, 'f', 1));
    else
        statusBar()->showMessage(QStringLiteral("Wireframe complexity: %1%").arg(value));
    if (isWireframePageShown() && model_.hasMesh()) {
        wireView_->setMeshVisible(!isLatticeMode());
        scheduleWireframePreview(isLatticeMode() ? 70 : 25);
    }
}

void MainWindow::onWireCleanupChanged(int)
{
    // Cleanup modes shape the long-feature polylines only.
    if (isWireframePageShown() && model_.hasMesh() && !isLatticeMode())
        scheduleWireframePreview(25);
}

void MainWindow::onWireExportModeChanged(int)
{
    clearWireSelection();
    if (!wireView_ || !isWireframePageShown() || !model_.hasMesh())
        return;
    const bool longFeature = !isLatticeMode();
    wireView_->clearMeasurement();
    wireView_->setSelectedWireSegments({});
    wireView_->setLongFeatureMode(longFeature);
    wireView_->setMesh(model_, longFeature);
    scheduleWireframePreview(0);
}

// --- tools -----------------------------------------------------------------

void MainWindow::onWireMeasureToggled(bool on)
{
    if (wireView_)
        wireView_->setMeasureMode(on && isWireframePageShown());
    statusBar()->showMessage(on ? QStringLiteral("Wireframe measure enabled: click two points")
                                : QStringLiteral("Wireframe measure disabled"));
}

void MainWindow::onWireSnapToggled(bool on)
{
    if (wireView_)
        wireView_->setSnapEnabled(on);
    statusBar()->showMessage(on ? QStringLiteral("Wireframe snap enabled") : QStringLiteral("Wireframe snap disabled"));
}

void MainWindow::onWireClearMeasure()
{
    if (wireView_)
        wireView_->clearMeasurement();
    statusBar()->showMessage(QStringLiteral("Wireframe measurement cleared"));
}

void MainWindow::onWireSelectToggled(bool on)
{
    if (loadInProgress_ || busy_) {
        const QSignalBlocker block(wireSelectAction_);
        wireSelectAction_->setChecked(false);
        statusBar()->showMessage(QStringLiteral("Please wait for the current operation to finish."));
        return;
    }
    if (on && isWireframePageShown()) {
        wireView_->setWireSelectMode(true);
        statusBar()->showMessage(isLatticeMode()
                                     ? QStringLiteral("Wire select: click a full wire lane, then press Delete Line.")
                                     : QStringLiteral("Wire select: click a long-feature line, then press Delete Line."));
        return;
    }
    wireView_->setWireSelectMode(false);
    wireView_->setSelectedWireSegments({});
    clearWireSelection();
    statusBar()->showMessage(QStringLiteral("Wire select off"));
}

std::vector<std::uint32_t> MainWindow::latticeLaneMatching(const Vec3f& a, const Vec3f& b) const
{
    std::vector<std::uint32_t> matches;
    const bool alongX = std::fabs(b.y - a.y) <= std::fabs(b.x - a.x);
    const float key = alongX ? (a.y + b.y) / 2.0f : (a.x + b.x) / 2.0f;
    const Vec3f lo = model_.boundsMin(), hi = model_.boundsMax();
    const float extent = alongX ? hi.y - lo.y : hi.x - lo.x;
    const float tolerance = std::max({0.001f * extent, 0.004f, 0.05f});
    for (std::size_t i = 0; i < latticeSegments_.size(); ++i) {
        const MeshModel::SliceSegment3D& s = latticeSegments_[i];
        const bool sAlongX = std::fabs(s.p1.y - s.p0.y) <= std::fabs(s.p1.x - s.p0.x);
        if (sAlongX != alongX)
            continue;
        const float sKey = alongX ? (s.p0.y + s.p1.y) / 2.0f : (s.p0.x + s.p1.x) / 2.0f;
        if (std::fabs(sKey - key) <= tolerance)
            matches.push_back(std::uint32_t(i));
    }
    return matches;
}

void MainWindow::onWireSegmentPicked(int index, const QVector3D& start, const QVector3D& end)
{
    const MeshModel::SliceSegment3D picked = segmentOf(start, end);
    wirePickStart_ = picked.p0;
    wirePickEnd_ = picked.p1;
    wireHasSelection_ = true;
    wireSelectedDisplayIndex_ = index;
    wireSelectedSourceIndex_ = -1;
    selectedLatticeSegments_.clear();
    const float pickedLength = segmentLength(picked.p0, picked.p1);

    if (!isLatticeMode()) {
        wireView_->setSelectedWireSegments({index});
        statusBar()->showMessage(QStringLiteral("Selected long-feature segment (%1 mm). Click Delete Line to remove it.")
                                     .arg(pickedLength, 0, 'f', 2));
        return;
    }

    if (index >= 0 && std::size_t(index) < wireDisplayToLattice_.size()) {
        const std::uint32_t source = wireDisplayToLattice_[std::size_t(index)];
        wireSelectedSourceIndex_ = int(source);
        for (const auto* family : {&latticeLanes_.alongX, &latticeLanes_.alongY}) {
            for (const LatticeLane& lane : *family) {
                if (std::find(lane.begin(), lane.end(), source) != lane.end()) {
                    selectedLatticeSegments_ = lane;
                    break;
                }
            }
            if (!selectedLatticeSegments_.empty())
                break;
        }
    }
    if (selectedLatticeSegments_.empty() && !latticeSegments_.empty())
        selectedLatticeSegments_ = latticeLaneMatching(picked.p0, picked.p1);

    QList<int> shown;
    const std::unordered_set<std::uint32_t> wanted(selectedLatticeSegments_.begin(), selectedLatticeSegments_.end());
    for (std::size_t i = 0; i < wireDisplayToLattice_.size(); ++i)
        if (wanted.count(wireDisplayToLattice_[i]))
            shown.append(int(i));
    wireView_->setSelectedWireSegments(shown);
    if (!selectedLatticeSegments_.empty()) {
        double total = 0.0;
        for (std::uint32_t i : selectedLatticeSegments_)
            total += segmentLength(latticeSegments_[i].p0, latticeSegments_[i].p1);
        statusBar()->showMessage(
            QStringLiteral("Selected full lattice line: %1 segments, ~%2 mm total. Delete Line removes this "
                           "edge-to-edge line.")
                .arg(selectedLatticeSegments_.size())
                .arg(total, 0, 'f', 1));
    } else {
        statusBar()->showMessage(
            QStringLiteral("Selected wire segment (%1 mm). Click Delete Line.").arg(pickedLength, 0, 'f', 2));
    }
}

void MainWindow::onWireDeleteSelected()
{
    if (!wireHasSelection_) {
        statusBar()->showMessage(QStringLiteral("No wire segment selected to delete."));
        return;
    }
    if (!isLatticeMode()) {
        statusBar()->showMessage(QStringLiteral("No long-feature lines available to delete."));
        return;
    }
    if (latticeSegments_.empty()) {
        statusBar()->showMessage(QStringLiteral("No lattice lines available to delete."));
        return;
    }
    std::vector<std::uint32_t> doomed = selectedLatticeSegments_;
    if (doomed.empty())
        doomed = latticeLaneMatching(wirePickStart_, wirePickEnd_);
    if (doomed.empty()) {
        statusBar()->showMessage(QStringLiteral("Delete Line: selected segment was not found in current lattice cache."));
        return;
    }
    std::vector<char> drop(latticeSegments_.size(), 0);
    std::size_t removed = 0;
    for (std::uint32_t i : doomed) {
        if (i < drop.size() && !drop[i]) {
            drop[i] = 1;
            ++removed;
        }
    }
    std::vector<MeshModel::SliceSegment3D> kept;
    kept.reserve(latticeSegments_.size() - removed);
    for (std::size_t i = 0; i < latticeSegments_.size(); ++i)
        if (!drop[i])
            kept.push_back(latticeSegments_[i]);
    latticeSegments_.swap(kept);
    latticeCacheKey_.valid = !latticeSegments_.empty();
    latticeLanes_ = LatticeLanes{};
    if (!latticeSegments_.empty())
        buildLatticeLanes(latticeSegments_, latticeLanes_, latticeCacheKey_.boxMin, latticeCacheKey_.boxMax);
    clearWireSelection();
    wireView_->clearMeasurement();
    wireView_->setSelectedWireSegments({});
    refreshWireframePreview();
    statusBar()->showMessage(QStringLiteral("Deleted full lattice line (%1 segment(s)).").arg(removed));
}

void MainWindow::onWireKeepTopCount()
{
    statusBar()->showMessage(QStringLiteral("Keep N applies to long-feature polylines, which are not available yet."));
}

// --- export ----------------------------------------------------------------

void MainWindow::onExportWireframeDxf()
{
    if (!model_.hasMesh()) {
        QMessageBox::warning(this, QStringLiteral("Export"), QStringLiteral("No mesh loaded."));
        return;
    }
    QElapsedTimer timer;
    timer.start();
    const QString path =
        automationSaveFileName(this, QStringLiteral("Export Wireframe DXF"), QStringLiteral("wireframe.dxf"),
                               QStringLiteral("DXF Files (*.dxf)"), "HALVORAN_AUTOMATION_EXPORT_WIREFRAME_DXF");
    if (path.isEmpty())
        return;
    if (!isLatticeMode()) {
        QMessageBox::warning(this, QStringLiteral("Export"),
                             QStringLiteral("Long-feature polyline export is not available yet. Choose \"X/Y Lattice "
                                            "Vectors\" to export the lattice."));
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QMessageBox::critical(this, QStringLiteral("Export"), QStringLiteral("Failed to write DXF file."));
        return;
    }

    std::vector<MeshModel::SliceSegment3D> segments;
    if (isLatticeCacheValid() && !latticeSegments_.empty()) {
        std::vector<std::uint32_t> map;
        segments = selectLatticeForDisplay(latticeSegments_, latticeLanes_, latticeCacheKey_.boxMin,
                                           latticeCacheKey_.boxMax, wireComplexity(), map);
    } else {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        segments = computeLatticeSegments(model_);
        QApplication::restoreOverrideCursor();
    }
    if (segments.empty()) {
        file.close();
        QMessageBox::warning(this, QStringLiteral("Export"), QStringLiteral("No X/Y lattice vectors generated for this mesh."));
        return;
    }

    QTextStream out(&file);
    QProgressDialog progress(QStringLiteral("Exporting wireframe lattice DXF..."), QStringLiteral("Cancel"), 0,
                             int(segments.size()), this);
    progress.setWindowTitle(QStringLiteral("Export"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.show();
    const bool finished = writeWireframeDxf(out, segments, kWireLatticeLayer, [&progress](int item) {
        progress.setValue(item);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
    out.flush();
    file.close();
    if (!finished) {
        file.remove();
        statusBar()->showMessage(QStringLiteral("Wireframe DXF export canceled."));
        return;
    }
    statusBar()->showMessage(QStringLiteral("Exported wireframe DXF (%1): %2 entities -> %3")
                                 .arg(QStringLiteral("X/Y lattice vectors"))
                                 .arg(segments.size())
                                 .arg(path));
    logPerfTiming(QStringLiteral("Wireframe DXF export"), timer.elapsed(), 35);
}
