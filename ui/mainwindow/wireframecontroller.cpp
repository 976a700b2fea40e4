// Wireframe page: the preview in both modes, the lattice's background build,
// the wire overlay's tools and the wireframe DXF export.
#include "ui/mainwindow/wireframecontroller.h"

#include "app/automation.h"
#include "app/runtimelog.h"
#include "export/wireframedxf.h"
#include "model/section/slicecutter.h"
#include "ui/mainwindow/buildstatus.h"
#include "ui/mainwindow/pollingloop.h"
#include "ui/view3d/occtmeshview.h"

#include <QAction>
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
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace {

constexpr int kLatticeMode = 1;
constexpr int kDefaultComplexity = 70;

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

WireframeController::WireframeController(QWidget* window, Host host)
    : QObject(window), window_(window), host_(std::move(host))
{
    job_ = std::make_unique<LatestJob<LatticeSegments>>(
        this, [this](LatticeSegments segments) { latticeBuilt(std::move(segments)); },
        [this]() {
            // Cancelled for a geometry that is gone; the new one builds on the next refresh.
            host_.showBuild(false, QString());
            buildStartMs_ = 0;
            if (host_.pageShown())
                host_.schedulePreview(40);
        });
}

WireframeController::~WireframeController()
{
    job_->detach();
}

// --- state -----------------------------------------------------------------

bool WireframeController::isLatticeMode() const
{
    return controls_.mode && controls_.mode->currentIndex() == kLatticeMode;
}

int WireframeController::complexity() const
{
    return controls_.complexity ? controls_.complexity->value() : kDefaultComplexity;
}

WireframeController::CacheKey WireframeController::keyOf(const MeshModel& model) const
{
    CacheKey key;
    key.valid = true;
    key.vertexCount = model.vertices.size();
    key.faceCount = model.faces.size();
    key.revision = model.geometryRevision;
    key.boxMin = model.boundsMin();
    key.boxMax = model.boundsMax();
    return key;
}

bool WireframeController::isLatticeCacheValid() const
{
    const MeshModel& model = host_.model();
    if (!cacheKey_.valid || !model.hasMesh())
        return false;
    if (model.geometryRevision != cacheKey_.revision || model.vertices.size() != cacheKey_.vertexCount
        || model.faces.size() != cacheKey_.faceCount)
        return false;
    const Vec3f lo = model.boundsMin(), hi = model.boundsMax();
    const Vec3f d = hi - lo;
    const float tolerance = std::max(1e-5f * std::sqrt(dot(d, d)), 0.0001f);
    return sameCorner(lo, cacheKey_.boxMin, tolerance) && sameCorner(hi, cacheKey_.boxMax, tolerance);
}

void WireframeController::clearSelection()
{
    hasSelection_ = false;
    selectedDisplayIndex_ = -1;
    selectedSourceIndex_ = -1;
    selectedLattice_.clear();
}

void WireframeController::invalidate()
{
    job_->cancel();
    cacheKey_ = CacheKey{};
    lattice_.clear();
    lanes_ = LatticeLanes{};
    displayToLattice_.clear();
    clearLongFeatureCaches();
    clearSelection();
}

void WireframeController::resetPreview()
{
    invalidate();
    if (OcctMeshView* view = controls_.view) {
        view->clearWireOverlay();
        view->clearMeasurement();
        view->setMeshVisible(true);
    }
}

// --- preview ---------------------------------------------------------------

void WireframeController::refreshPreview()
{
    OcctMeshView* view = controls_.view;
    if (!view)
        return;
    const MeshModel& model = host_.model();
    if (!host_.pageShown() || !model.hasMesh()) {
        displayToLattice_.clear();
        view->setMeshVisible(true);
        view->clearWireOverlay();
        return;
    }
    if (!isLatticeMode()) {
        refreshLongFeaturePreview();
        return;
    }

    if (isLatticeCacheValid()) {
        host_.showBuild(false, QString());
        const LatticeSegments shown = selectLatticeForDisplay(lattice_, lanes_, cacheKey_.boxMin, cacheKey_.boxMax,
                                                              complexity(), displayToLattice_);
        if (shown.empty()) {
            view->setMeshVisible(true);
            view->clearWireOverlay();
            return;
        }
        view->setMeshVisible(false);
        view->setWireSegments(shown);
        // The creases drawn over the lanes.
        updateLongFeatures(false);
        const std::size_t overlay = latticeFeatureOverlayCount(longFeatures_.size(), complexity());
        view->setSecondaryWireSegments(WireSegments(longFeatures_.begin(), longFeatures_.begin() + std::ptrdiff_t(overlay)));
        QList<int> selected;
        if (!selectedLattice_.empty()) {
            const std::unordered_set<std::uint32_t> wanted(selectedLattice_.begin(), selectedLattice_.end());
            for (std::size_t i = 0; i < displayToLattice_.size(); ++i)
                if (wanted.count(displayToLattice_[i]))
                    selected.append(int(i));
        }
        view->setSelectedWireSegments(selected);
        return;
    }

    displayToLattice_.clear();
    view->setMeshVisible(false);
    view->setWireSegments({});
    view->setSecondaryWireSegments({});
    if (job_->isBusy()) {
        // A build for this geometry is under way; its result refreshes.
        host_.showBuild(true, QString());
        return;
    }
    launchKey_ = keyOf(model);
    buildStartMs_ = QDateTime::currentMSecsSinceEpoch();
    // The copy shares the arrays; the worker never sees the window.
    auto snapshot = std::make_shared<const MeshModel>(model);
    job_->submit([snapshot, cutter = host_.cutter()](Progress& progress) {
        return computeLatticeSegments(*snapshot, cutter.get(), &progress);
    });
    host_.showBuild(true, QStringLiteral("Building edge-to-edge lattice polylines (X/Z + Y/Z)..."));
}

void WireframeController::latticeBuilt(LatticeSegments segments)
{
    const qint64 elapsed = buildStartMs_ > 0 ? QDateTime::currentMSecsSinceEpoch() - buildStartMs_ : 0;
    lattice_ = std::move(segments);
    lanes_ = LatticeLanes{};
    displayToLattice_.clear();
    if (lattice_.empty()) {
        cacheKey_ = CacheKey{};
    } else {
        cacheKey_ = launchKey_;
        buildLatticeLanes(lattice_, lanes_, cacheKey_.boxMin, cacheKey_.boxMax);
    }
    clearSelection();
    host_.showBuild(false, QString());
    logPerfTiming(QStringLiteral("Wire lattice build"), elapsed, 40);
    buildStartMs_ = 0;
    if (!host_.pageShown())
        return;
    if (cacheKey_.valid) {
        refreshPreview();
    } else {
        // Refreshing now would start the same fruitless job again; the next
        // change of mesh or mode retries.
        controls_.view->setMeshVisible(true);
        controls_.view->clearWireOverlay();
        host_.status(QStringLiteral("No X/Y lattice vectors generated for this mesh."));
    }
}

void WireframeController::complexityChanged(int value)
{
    if (host_.busy())
        return;
    if (controls_.complexityLabel)
        controls_.complexityLabel->setText(QStringLiteral("%1%").arg(value));
    if (controls_.view)
        controls_.view->setWireframeComplexity(std::clamp(value, 5, 100));
    if (isLatticeMode())
        host_.status(QStringLiteral("Wireframe complexity: %1% (lane spacing ~%2 mm)")
                         .arg(value)
                         .arg(latticeLaneSpacing(value), 0, 'f', 1));
    else
        host_.status(QStringLiteral("Wire detail: %1% (%2, target ~%3 segments)")
                         .arg(value)
                         .arg(controls_.cleanup ? controls_.cleanup->currentText() : QStringLiteral("CAD Clean"))
                         .arg(longFeatureDisplayTarget(value / 100.0, cleanupIndex())));
    if (host_.pageShown() && host_.model().hasMesh()) {
        controls_.view->setMeshVisible(!isLatticeMode());
        host_.schedulePreview(isLatticeMode() ? 70 : 25);
    }
}

void WireframeController::cleanupChanged(int index)
{
    if (host_.busy())
        return;
    // Only the display thins differently; the ranked segments stay.
    displayKey_.valid = false;
    if (host_.pageShown() && host_.model().hasMesh())
        host_.schedulePreview(20);
    host_.status(QStringLiteral("Wire cleanup mode: %1")
                     .arg(controls_.cleanup ? controls_.cleanup->itemText(index) : QString::number(index)));
}

void WireframeController::modeChanged(int)
{
    if (refuseWhenBusy())
        return;
    clearSelection();
    displayToLattice_.clear();
    const bool longFeature = !isLatticeMode();
    OcctMeshView* view = controls_.view;
    if (view)
        view->clearMeasurement();
    if (longFeature)
        host_.showBuild(false, QString());
    if (view && host_.pageShown() && host_.model().hasMesh()) {
        view->setMeshVisible(longFeature);
        view->setLongFeatureMode(longFeature);
        view->setMesh(host_.model(), longFeature);
        view->setSelectedWireSegments({});
        host_.schedulePreview(longFeature ? 20 : 0);
    }
    host_.status(QStringLiteral("Wireframe mode: %1")
                     .arg(longFeature ? QStringLiteral("Long feature polylines") : QStringLiteral("X/Y lattice vectors")));
}

// --- tools -----------------------------------------------------------------

void WireframeController::measureToggled(bool on)
{
    if (controls_.view)
        controls_.view->setMeasureMode(on && host_.pageShown());
    host_.status(on ? QStringLiteral("Wireframe measure enabled: click two points")
                    : QStringLiteral("Wireframe measure disabled"));
}

void WireframeController::snapToggled(bool on)
{
    if (controls_.view)
        controls_.view->setSnapEnabled(on);
    host_.status(on ? QStringLiteral("Wireframe snap enabled") : QStringLiteral("Wireframe snap disabled"));
}

void WireframeController::clearMeasure()
{
    if (controls_.view)
        controls_.view->clearMeasurement();
    host_.status(QStringLiteral("Wireframe measurement cleared"));
}

void WireframeController::selectToggled(bool on)
{
    if (host_.busy()) {
        const QSignalBlocker block(controls_.select);
        controls_.select->setChecked(false);
        host_.status(QStringLiteral("Please wait for the current operation to finish."));
        return;
    }
    if (on && host_.pageShown()) {
        controls_.view->setWireSelectMode(true);
        host_.status(isLatticeMode()
                         ? QStringLiteral("Wire select: click a full wire lane, then press Delete Line.")
                         : QStringLiteral("Wire select: click a long-feature line, then press Delete Line."));
        return;
    }
    controls_.view->setWireSelectMode(false);
    controls_.view->setSelectedWireSegments({});
    clearSelection();
    host_.status(QStringLiteral("Wire select off"));
}

std::vector<std::uint32_t> WireframeController::laneMatching(const Vec3f& a, const Vec3f& b) const
{
    std::vector<std::uint32_t> matches;
    const bool alongX = std::fabs(b.y - a.y) <= std::fabs(b.x - a.x);
    const float key = alongX ? (a.y + b.y) / 2.0f : (a.x + b.x) / 2.0f;
    const MeshModel& model = host_.model();
    const Vec3f lo = model.boundsMin(), hi = model.boundsMax();
    const float extent = alongX ? hi.y - lo.y : hi.x - lo.x;
    const float tolerance = std::max({0.001f * extent, 0.004f, 0.05f});
    for (std::size_t i = 0; i < lattice_.size(); ++i) {
        const MeshModel::SliceSegment3D& s = lattice_[i];
        const bool sAlongX = std::fabs(s.p1.y - s.p0.y) <= std::fabs(s.p1.x - s.p0.x);
        if (sAlongX != alongX)
            continue;
        const float sKey = alongX ? (s.p0.y + s.p1.y) / 2.0f : (s.p0.x + s.p1.x) / 2.0f;
        if (std::fabs(sKey - key) <= tolerance)
            matches.push_back(std::uint32_t(i));
    }
    return matches;
}

void WireframeController::segmentPicked(int index, const QVector3D& start, const QVector3D& end)
{
    const MeshModel::SliceSegment3D picked = segmentOf(start, end);
    pickStart_ = picked.p0;
    pickEnd_ = picked.p1;
    hasSelection_ = true;
    selectedDisplayIndex_ = index;
    selectedSourceIndex_ = -1;
    selectedLattice_.clear();
    const float pickedLength = segmentLength(picked.p0, picked.p1);
    OcctMeshView* view = controls_.view;

    if (!isLatticeMode()) {
        pickLongFeature(index, pickedLength);
        return;
    }

    if (index >= 0 && std::size_t(index) < displayToLattice_.size()) {
        const std::uint32_t source = displayToLattice_[std::size_t(index)];
        selectedSourceIndex_ = int(source);
        for (const auto* family : {&lanes_.alongX, &lanes_.alongY}) {
            for (const LatticeLane& lane : *family) {
                if (std::find(lane.begin(), lane.end(), source) != lane.end()) {
                    selectedLattice_ = lane;
                    break;
                }
            }
            if (!selectedLattice_.empty())
                break;
        }
    }
    if (selectedLattice_.empty() && !lattice_.empty())
        selectedLattice_ = laneMatching(picked.p0, picked.p1);

    QList<int> shown;
    const std::unordered_set<std::uint32_t> wanted(selectedLattice_.begin(), selectedLattice_.end());
    for (std::size_t i = 0; i < displayToLattice_.size(); ++i)
        if (wanted.count(displayToLattice_[i]))
            shown.append(int(i));
    view->setSelectedWireSegments(shown);
    if (!selectedLattice_.empty()) {
        double total = 0.0;
        for (std::uint32_t i : selectedLattice_)
            total += segmentLength(lattice_[i].p0, lattice_[i].p1);
        host_.status(QStringLiteral("Selected full lattice line: %1 segments, ~%2 mm total. Delete Line removes this "
                                    "edge-to-edge line.")
                         .arg(selectedLattice_.size())
                         .arg(total, 0, 'f', 1));
    } else {
        host_.status(QStringLiteral("Selected wire segment (%1 mm). Click Delete Line.").arg(pickedLength, 0, 'f', 2));
    }
}

void WireframeController::deleteSelected()
{
    if (!hasSelection_) {
        host_.status(QStringLiteral("No wire segment selected to delete."));
        return;
    }
    if (!isLatticeMode()) {
        deleteLongFeature();
        return;
    }
    if (lattice_.empty()) {
        host_.status(QStringLiteral("No lattice lines available to delete."));
        return;
    }
    std::vector<std::uint32_t> doomed = selectedLattice_;
    if (doomed.empty())
        doomed = laneMatching(pickStart_, pickEnd_);
    if (doomed.empty()) {
        host_.status(QStringLiteral("Delete Line: selected segment was not found in current lattice cache."));
        return;
    }
    std::vector<char> drop(lattice_.size(), 0);
    std::size_t removed = 0;
    for (std::uint32_t i : doomed) {
        if (i < drop.size() && !drop[i]) {
            drop[i] = 1;
            ++removed;
        }
    }
    LatticeSegments kept;
    kept.reserve(lattice_.size() - removed);
    for (std::size_t i = 0; i < lattice_.size(); ++i)
        if (!drop[i])
            kept.push_back(lattice_[i]);
    lattice_.swap(kept);
    cacheKey_.valid = !lattice_.empty();
    lanes_ = LatticeLanes{};
    if (!lattice_.empty())
        buildLatticeLanes(lattice_, lanes_, cacheKey_.boxMin, cacheKey_.boxMax);
    clearSelection();
    controls_.view->clearMeasurement();
    controls_.view->setSelectedWireSegments({});
    refreshPreview();
    host_.status(QStringLiteral("Deleted full lattice line (%1 segment(s)).").arg(removed));
}

// --- export ----------------------------------------------------------------

LatticeSegments WireframeController::latticeForExport(bool& canceled)
{
    canceled = false;
    if (isLatticeCacheValid() && !lattice_.empty()) {
        std::vector<std::uint32_t> map;
        return selectLatticeForDisplay(lattice_, lanes_, cacheKey_.boxMin, cacheKey_.boxMax, complexity(), map);
    }
    // Stale: build it now, whole, on a worker so the window keeps painting.
    QProgressDialog dialog(QStringLiteral("Building wireframe lattice..."), QStringLiteral("Cancel"), 0, 100, window_);
    dialog.setWindowTitle(QStringLiteral("Export"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(0);
    dialog.show();
    const BuildStatus building(window_->findChild<QStatusBar*>(), QStringLiteral("Building wireframe lattice..."));
    auto snapshot = std::make_shared<const MeshModel>(host_.model());
    Progress progress;
    LatticeSegments segments = runPollingLoop(
        [snapshot, cutter = host_.cutter(), &progress]() {
            return computeLatticeSegments(*snapshot, cutter.get(), &progress);
        },
        &dialog, &progress);
    dialog.close();
    canceled = progress.canceled();
    return canceled ? LatticeSegments() : segments;
}

void WireframeController::exportDxf()
{
    if (!host_.model().hasMesh()) {
        QMessageBox::warning(window_, QStringLiteral("Export"), QStringLiteral("No mesh loaded."));
        return;
    }
    QElapsedTimer timer;
    timer.start();
    const bool lattice = isLatticeMode();
    WireSegments segments;
    if (lattice) {
        bool canceled = false;
        segments = latticeForExport(canceled);
        if (canceled) {
            host_.status(QStringLiteral("Wireframe DXF export canceled."));
            return;
        }
    } else {
        updateLongFeatures(false); // the shown list when current, else built now
        segments = display_.segments;
    }
    if (segments.empty()) {
        QMessageBox::warning(window_, QStringLiteral("Export"),
                             lattice ? QStringLiteral("No X/Y lattice vectors generated for this mesh.")
                                     : QStringLiteral("No long-feature lines generated for this mesh."));
        return;
    }
    // Asked only once there is something to write.
    const QString path =
        automationSaveFileName(window_, QStringLiteral("Export Wireframe DXF"), QStringLiteral("wireframe.dxf"),
                               QStringLiteral("DXF Files (*.dxf)"), "HALVORAN_AUTOMATION_EXPORT_WIREFRAME_DXF");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QMessageBox::critical(window_, QStringLiteral("Export"), QStringLiteral("Failed to write DXF file."));
        return;
    }

    QTextStream out(&file);
    QProgressDialog progress(lattice ? QStringLiteral("Exporting wireframe lattice DXF...")
                                     : QStringLiteral("Exporting wireframe long-feature DXF..."),
                             QStringLiteral("Cancel"), 0, int(segments.size()), window_);
    progress.setWindowTitle(QStringLiteral("Export"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.show();
    const bool finished =
        writeWireframeDxf(out, segments, lattice ? kWireLatticeLayer : kWireFeatureLayer, [&progress](int item) {
            progress.setValue(item);
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
    out.flush();
    file.close();
    if (!finished) {
        file.remove();
        host_.status(QStringLiteral("Wireframe DXF export canceled."));
        return;
    }
    host_.status(QStringLiteral("Exported wireframe DXF (%1): %2 entities -> %3")
                     .arg(lattice ? QStringLiteral("X/Y lattice vectors") : QStringLiteral("long feature polylines"))
                     .arg(segments.size())
                     .arg(path));
    logPerfTiming(QStringLiteral("Wireframe DXF export"), timer.elapsed(), 45);
}
