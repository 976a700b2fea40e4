// Wireframe page, long-feature half: the ranked crease polylines built on the
// interface thread when stale, their thinning for display, Keep N, and the
// pick and delete of one long-feature segment.
#include "ui/mainwindow/wireframecontroller.h"

#include "app/automation.h"
#include "app/runtimelog.h"
#include "ui/view3d/occtmeshview.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QInputDialog>

#include <algorithm>
#include <cmath>

namespace {

float segmentLength(const Vec3f& a, const Vec3f& b)
{
    const Vec3f d = b - a;
    return std::sqrt(dot(d, d));
}

bool near(const Vec3f& a, const Vec3f& b, float tolerance)
{
    return segmentLength(a, b) <= tolerance;
}

} // namespace

int WireframeController::cleanupIndex() const
{
    return controls_.cleanup ? std::max(controls_.cleanup->currentIndex(), 0) : kDefaultWireCleanup;
}

WireframeController::DisplayKey WireframeController::displayKeyNow() const
{
    const MeshModel& model = host_.model();
    return {true, complexity(), cleanupIndex(), model.vertices.size(), model.faces.size(), model.geometryRevision,
            edgeAngle_};
}

bool WireframeController::displayCurrent() const
{
    const DisplayKey now = displayKeyNow();
    return displayKey_.valid && displayKey_.complexity == now.complexity && displayKey_.cleanup == now.cleanup &&
           displayKey_.vertexCount == now.vertexCount && displayKey_.faceCount == now.faceCount &&
           displayKey_.revision == now.revision && std::fabs(displayKey_.angle - now.angle) < 0.0001f;
}

void WireframeController::clearLongFeatureCaches()
{
    longFeatures_.clear();
    longFeatureKey_ = LongFeatureKey{};
    display_ = LongFeatureDisplay{};
    displayKey_ = DisplayKey{};
}

void WireframeController::updateLongFeatures(bool announce)
{
    MeshModel& model = host_.model();
    if (!model.hasMesh()) {
        display_ = LongFeatureDisplay{};
        displayKey_ = DisplayKey{};
        return;
    }
    if (displayCurrent())
        return;
    if (!longFeatureKey_.matches(model, edgeAngle_)) {
        if (announce) {
            host_.showBuild(true, QStringLiteral("Building long-feature wireframe..."));
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
        QElapsedTimer timer;
        timer.start();
        const bool ownCursor = !QApplication::overrideCursor();
        if (ownCursor)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        longFeatures_ = buildLongFeatureSegments(model, edgeAngle_);
        if (ownCursor)
            QApplication::restoreOverrideCursor();
        longFeatureKey_ = LongFeatureKey::of(model, edgeAngle_);
        ++longFeatureBuilds_;
        logPerfTiming(QStringLiteral("Wire long-feature build"), timer.elapsed(), 40);
    }
    display_ = selectLongFeaturesForDisplay(longFeatures_, boxDiagonal(model), complexity(), cleanupIndex());
    displayKey_ = displayKeyNow();
}

QList<int> WireframeController::longFeatureSelection() const
{
    QList<int> selected;
    const int shown = int(display_.segments.size());
    if (selectedDisplayIndex_ >= 0 && selectedDisplayIndex_ < shown) {
        selected.append(selectedDisplayIndex_);
        return selected;
    }
    if (selectedSourceIndex_ >= 0)
        for (int i = 0; i < shown; ++i)
            if (display_.sourceIndex[std::size_t(i)] == std::uint32_t(selectedSourceIndex_))
                selected.append(i);
    return selected;
}

void WireframeController::refreshLongFeaturePreview()
{
    OcctMeshView* view = controls_.view;
    displayToLattice_.clear();
    view->setMeshVisible(true);
    updateLongFeatures(true);
    host_.showBuild(false, QString());
    if (display_.segments.empty()) {
        view->clearWireOverlay();
        return;
    }
    view->setWireSegments(display_.segments);
    view->setSecondaryWireSegments({});
    view->setSelectedWireSegments(longFeatureSelection());
}

void WireframeController::edgeAngleChanged(double degrees)
{
    edgeAngle_ = float(degrees);
    longFeatureKey_ = LongFeatureKey{};
    displayKey_ = DisplayKey{};
    clearSelection();
    OcctMeshView* view = controls_.view;
    if (view)
        view->clearMeasurement();
    if (view && host_.pageShown() && host_.model().hasMesh()) {
        view->setMesh(host_.model(), !isLatticeMode());
        refreshPreview();
    }
    host_.status(QStringLiteral("Feature edge angle: %1 deg").arg(degrees, 0, 'f', 1));
}

void WireframeController::presetApplied(double edgeAngle)
{
    // The lattice depends on the geometry alone; the complexity the preset
    // set re-selects its lanes on the next refresh.
    edgeAngle_ = float(edgeAngle);
    clearLongFeatureCaches();
    clearSelection();
    if (host_.pageShown())
        refreshPreview();
}

bool WireframeController::refuseWhenBusy()
{
    if (!host_.busy())
        return false;
    host_.status(QStringLiteral("Please wait for the current operation to finish."));
    return true;
}

void WireframeController::keepTopCount()
{
    if (refuseWhenBusy())
        return;
    if (isLatticeMode()) {
        host_.status(QStringLiteral("Keep N is currently available in Long Feature mode."));
        return;
    }
    if (display_.segments.empty()) {
        if (host_.pageShown())
            refreshPreview();
        else
            updateLongFeatures(false);
    }
    const int n = int(display_.segments.size());
    if (n == 0) {
        host_.status(QStringLiteral("No long-feature lines available to keep."));
        return;
    }
    const int fallback = std::min(n, 2);
    int value = fallback;
    if (isAutomationMode()) {
        value = envIntOrDefault("HALVORAN_AUTOMATION_KEEP_TOP", fallback);
    } else {
        bool ok = false;
        value = QInputDialog::getInt(window_, QStringLiteral("Keep Wire Lines"), QStringLiteral("Keep top line count:"),
                                     fallback, 1, n, 1, &ok);
        if (!ok)
            return;
    }
    value = std::clamp(value, 1, n);
    if (!keepFirstLongFeatures(display_, std::size_t(value))) {
        host_.status(QStringLiteral("Keep N: nothing removed (%1 lines).").arg(n));
        return;
    }
    clearSelection();
    if (OcctMeshView* view = controls_.view) {
        view->clearMeasurement();
        view->setSelectedWireSegments({});
    }
    refreshPreview();
    host_.status(QStringLiteral("Kept top %1 long-feature lines (removed %2).").arg(value).arg(n - value));
}

void WireframeController::pickLongFeature(int index, float pickedLength)
{
    if (index >= 0 && std::size_t(index) < display_.sourceIndex.size())
        selectedSourceIndex_ = int(display_.sourceIndex[std::size_t(index)]);
    QList<int> selected;
    if (selectedSourceIndex_ >= 0) {
        for (std::size_t i = 0; i < display_.sourceIndex.size(); ++i)
            if (display_.sourceIndex[i] == std::uint32_t(selectedSourceIndex_))
                selected.append(int(i));
    } else {
        selected.append(index);
    }
    controls_.view->setSelectedWireSegments(selected);
    host_.status(QStringLiteral("Selected long-feature segment (%1 mm). Click Delete Line to remove it.")
                     .arg(pickedLength, 0, 'f', 2));
}

void WireframeController::deleteLongFeature()
{
    if (display_.segments.empty()) {
        host_.status(QStringLiteral("No long-feature lines available to delete."));
        return;
    }
    const int shown = int(display_.segments.size());
    int entry = -1;
    if (selectedDisplayIndex_ >= 0 && selectedDisplayIndex_ < shown) {
        entry = selectedDisplayIndex_;
    } else if (selectedSourceIndex_ >= 0) {
        for (int i = 0; i < shown && entry < 0; ++i)
            if (display_.sourceIndex[std::size_t(i)] == std::uint32_t(selectedSourceIndex_))
                entry = i;
    }
    if (entry < 0) {
        const float tolerance = std::max(0.00032f * std::max(float(boxDiagonal(host_.model())), 0.001f), 0.04f);
        for (int i = 0; i < shown && entry < 0; ++i) {
            const MeshModel::SliceSegment3D& s = display_.segments[std::size_t(i)];
            if ((near(s.p0, pickStart_, tolerance) && near(s.p1, pickEnd_, tolerance)) ||
                (near(s.p0, pickEnd_, tolerance) && near(s.p1, pickStart_, tolerance)))
                entry = i;
        }
    }
    if (entry < 0) {
        host_.status(QStringLiteral("Delete Line: selected long-feature segment was not found."));
        return;
    }
    const std::uint32_t source = display_.sourceIndex[std::size_t(entry)];
    display_.segments.erase(display_.segments.begin() + entry);
    display_.sourceIndex.erase(display_.sourceIndex.begin() + entry);
    if (source < longFeatures_.size()) {
        longFeatures_.erase(longFeatures_.begin() + std::ptrdiff_t(source));
        for (std::uint32_t& index : display_.sourceIndex)
            if (index > source)
                --index;
    }
    // The edit stays until a control or the mesh changes.
    longFeatureKey_ = LongFeatureKey::of(host_.model(), edgeAngle_);
    displayKey_ = displayKeyNow();
    clearSelection();
    controls_.view->clearMeasurement();
    controls_.view->setSelectedWireSegments({});
    refreshPreview();
    host_.status(QStringLiteral("Deleted long-feature segment (%1).").arg(1));
}
