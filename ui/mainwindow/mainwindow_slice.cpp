// Slice controls and the section refresh: a synchronous path with a result
// cache, and a debounced background path where the newest request wins.
#include "ui/mainwindow/mainwindow.h"

#include "model/section/sectiondefaults.h"
#include "ui/view3d/occtmeshview.h"
#include "ui/section2d/section2dwidget.h"

#include "app/runtimelog.h"
#include "model/align/planeframe.h"
#include "model/section/qualitypresets.h"
#include "model/section/slicecutter.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>
#include <memory>


Axis MainWindow::currentSliceAxis() const
{
    return sliceAxisCombo_ ? axisFromIndex(sliceAxisCombo_->currentIndex()) : Axis::Z;
}

SectionRequest MainWindow::currentSectionRequest() const
{
    SectionRequest r;
    r.surface = surfaceBuildActive_;
    r.axis = currentSliceAxis();
    r.position = sliceExactSpin_ ? float(sliceExactSpin_->value()) : 0.0f;
    r.bandThickness = bandThicknessSpin_ ? float(bandThicknessSpin_->value()) : 0.0f;
    r.keepRatio = keepRatioSlider_ ? float(keepRatioSlider_->value()) / 100.0f : 1.0f;
    r.smoothAndChain = smooth2DSlider_ != nullptr;
    r.smoothStrength = smooth2DSlider_ ? smooth2DSlider_->value() : kDefaultSmoothStrength;
    r.normal = surfacePlaneNormal_;
    r.origin = surfacePlaneOrigin_;
    r.u = surfacePlaneU_;
    r.v = surfacePlaneV_;
    return r;
}

void MainWindow::acceptSection(const SectionLines& lines, const SectionRequest& request)
{
    dropStaleFits(request);
    sectionLines_ = lines;
    handSectionToCanvas();
    sectionKey_ = sectionCacheKey(request, model_.geometryRevision);
}

void MainWindow::refresh2DSection()
{
    QElapsedTimer timer;
    timer.start();
    if (!model_.hasMesh()) {
        sectionLines_.clear();
        if (section2D_)
            section2D_->clearFitAnnotations();
        invalidateSectionState();
        handSectionToCanvas();
        return;
    }
    if (modeCombo_ && modeCombo_->currentIndex() == 1) // the 2D drawing is shown
        return;
    const SectionRequest request = currentSectionRequest();
    if (sectionCacheKeyMatches(sectionKey_, request, model_.geometryRevision) && !sectionLines_.isEmpty()) {
        handSectionToCanvas();
        logPerfTiming(QStringLiteral("2D slice refresh (cache hit)"), timer.elapsed(), 8);
        return;
    }
    acceptSection(computeSectionLines(model_, request, sliceCutter_.get()), request);
    if (request.surface)
        statusBar()->showMessage(QStringLiteral("Surface CAD slice: %1 vectors (band %2 mm)")
                                     .arg(sectionLines_.size())
                                     .arg(double(request.bandThickness), 0, 'f', 2));
    else
        statusBar()->showMessage(QStringLiteral("Slice at %1=%2: %3 vectors")
                                     .arg(sliceAxisCombo_ ? sliceAxisCombo_->currentText() : QStringLiteral("Z"))
                                     .arg(double(request.position), 0, 'f', 2)
                                     .arg(sectionLines_.size()));
    logPerfTiming(QStringLiteral("2D slice refresh"), timer.elapsed(), 20);
}

void MainWindow::onSliceDebounceTimeout()
{
    if (loadInProgress_ || busy_) {
        sliceDebounceTimer_->start(40);
        return;
    }
    if (!model_.hasMesh()) {
        refresh2DSection();
        return;
    }
    SectionRequest request = currentSectionRequest();
    request.smoothAndChain = true; // the task always smooths
    // Copying shares the arrays until either side changes; the cutter is
    // immutable and shared.
    auto copy = std::make_shared<MeshModel>(model_);
    sliceJob_->submit([copy, request, cutter = sliceCutter_](Progress&) {
        return QList<QLineF>(computeSectionLines(*copy, request, cutter.get()));
    });
}

void MainWindow::onSliceComputeFinished(const QList<QLineF>& lines)
{
    if (loadInProgress_ || busy_)
        return;
    acceptSection(lines, currentSectionRequest());
    statusBar()->showMessage(QStringLiteral("Slice complete: %1 vectors").arg(lines.size()));
}

void MainWindow::startSliceCutterWarmUp()
{
    sliceCutter_.reset();
    if (!model_.hasMesh()) {
        cutterJob_->cancel();
        return;
    }
    auto copy = std::make_shared<const MeshModel>(model_);
    cutterJob_->submit([copy](Progress& progress) { return SliceCutter::build(*copy, &progress); });
}

void MainWindow::invalidateSectionState()
{
    sliceJob_->cancel();
    sectionKey_ = SectionCacheKey();
}

void MainWindow::startSliceDebounce()
{
    if (updatingSliceControls_)
        return;
    if (sliceDebounceTimer_)
        sliceDebounceTimer_->start();
    else
        refresh2DSection();
}

int MainWindow::positionToSliderValue(double position) const
{
    if (!model_.hasMesh())
        return 500;
    const Axis axis = currentSliceAxis();
    const double lo = model_.boundsMin()[axis], hi = model_.boundsMax()[axis];
    const long value = std::lround((position - lo) / std::max(hi - lo, 1e-6) * 1000.0);
    return int(std::clamp(value, 0L, 1000L));
}

void MainWindow::updateSliceRangeForAxis()
{
    if (!sliceSlider_ || !sliceExactSpin_)
        return;
    updatingSliceControls_ = true;
    const QSignalBlocker blockSlider(sliceSlider_);
    const QSignalBlocker blockSpin(sliceExactSpin_);
    sliceSlider_->setRange(0, 1000);
    if (model_.hasMesh()) {
        const Axis axis = currentSliceAxis();
        const double lo = model_.boundsMin()[axis], hi = model_.boundsMax()[axis];
        sliceExactSpin_->setRange(lo, hi);
        sliceExactSpin_->setValue(0.5 * (lo + hi));
        sliceSlider_->setValue(positionToSliderValue(sliceExactSpin_->value()));
    } else {
        sliceExactSpin_->setRange(-1000.0, 1000.0);
        sliceExactSpin_->setValue(0.0);
        sliceSlider_->setValue(500);
    }
    updatingSliceControls_ = false;
}

void MainWindow::updateSlicePlaneIndicator()
{
    if (!model_.hasMesh() || surfaceBuildActive_ || !sliceAxisCombo_ || !sliceExactSpin_) {
        setSliceIndicatorOnView(false, Axis::Z, 0.0);
        return;
    }
    setSliceIndicatorOnView(true, currentSliceAxis(), sliceExactSpin_->value());
}

void MainWindow::exitSurfaceBuildMode(bool refresh)
{
    surfaceBuildActive_ = false;
    surfacePlaneNormal_ = QVector3D(0, 0, 1);
    surfacePlaneOrigin_ = QVector3D(0, 0, 0);
    surfacePlaneU_ = QVector3D(1, 0, 0);
    surfacePlaneV_ = QVector3D(0, 1, 0);
    if (surfaceClearButton_)
        surfaceClearButton_->setEnabled(false);
    if (mainView_)
        mainView_->setSurfacePlanePick(false);
    if (refresh && model_.hasMesh()) {
        updateSlicePlaneIndicator();
        leaveDrawingMode();
        refresh2DSection();
        setMode(QStringLiteral("Axis Slice"));
    }
}

void MainWindow::onSliceAxisChanged(int)
{
    if (updatingSliceControls_)
        return;
    exitSurfaceBuildMode(false);
    updateSliceRangeForAxis();
    updateSlicePlaneIndicator();
    refresh2DSection();
}

void MainWindow::onSliceSliderChanged(int value)
{
    if (updatingSliceControls_)
        return;
    exitSurfaceBuildMode(false);
    if (model_.hasMesh() && sliceExactSpin_) {
        const Axis axis = currentSliceAxis();
        const double lo = model_.boundsMin()[axis], hi = model_.boundsMax()[axis];
        updatingSliceControls_ = true;
        sliceExactSpin_->setValue(lo + (hi - lo) * value / 1000.0);
        updatingSliceControls_ = false;
    }
    updateSlicePlaneIndicator();
    startSliceDebounce();
}

void MainWindow::onSliceExactChanged(double value)
{
    if (updatingSliceControls_)
        return;
    exitSurfaceBuildMode(false);
    if (sliceSlider_) {
        updatingSliceControls_ = true;
        sliceSlider_->setValue(positionToSliderValue(value));
        updatingSliceControls_ = false;
    }
    updateSlicePlaneIndicator();
    startSliceDebounce();
}

void MainWindow::onBandThicknessChanged(double)
{
    if (!updatingSliceControls_)
        refresh2DSection();
}

void MainWindow::onKeepRatioChanged(int value)
{
    keepRatioLabel_->setText(QStringLiteral("%1%").arg(value));
    startSliceDebounce();
}

void MainWindow::onSmooth2DChanged(int value)
{
    smooth2DLabel_->setText(QStringLiteral("%1%").arg(value));
    startSliceDebounce();
}

void MainWindow::onQualityPresetChanged(int index)
{
    if (updatingSliceControls_)
        return;
    if (keepRatioSlider_ && smooth2DSlider_ && wireComplexitySlider_ && edgeAngleSpin_) {
        const QualityPreset& preset = qualityPresetForIndex(index);
        {
            const QSignalBlocker b1(keepRatioSlider_), b2(smooth2DSlider_), b3(wireComplexitySlider_),
                b4(edgeAngleSpin_);
            const QSignalBlocker b5(wireCleanupCombo_);
            keepRatioSlider_->setValue(preset.keepPercent);
            smooth2DSlider_->setValue(preset.smoothStrength);
            wireComplexitySlider_->setValue(preset.wireComplexity);
            if (wireCleanupCombo_)
                wireCleanupCombo_->setCurrentIndex(
                    std::clamp(preset.wireCleanupIndex, 0, std::max(0, wireCleanupCombo_->count() - 1)));
            edgeAngleSpin_->setValue(preset.edgeAngleDegrees);
            keepRatioLabel_->setText(QStringLiteral("%1%").arg(preset.keepPercent));
            smooth2DLabel_->setText(QStringLiteral("%1%").arg(preset.smoothStrength));
            if (wireComplexityLabel_)
                wireComplexityLabel_->setText(QStringLiteral("%1%").arg(preset.wireComplexity));
        }
        wireframe_->presetApplied(preset.edgeAngleDegrees);
        startSliceDebounce();
        statusBar()->showMessage(QStringLiteral("Quality preset: %1").arg(QString::fromLatin1(preset.name)));
    }
}

void MainWindow::onStartSurfaceBuildPick()
{
    if (loadInProgress_ || busy_) {
        statusBar()->showMessage(QStringLiteral("Please wait for the current operation to finish."));
        return;
    }
    if (!model_.hasMesh() || !mainView_)
        return;
    // One pick mode at a time: arrows, face alignment and measuring go off.
    mainView_->clearAlignPick();
    mainView_->setSurfacePick(false);
    mainView_->setMeasureMode(false);
    alignPickActive_ = false;
    alignFacePicked_ = false;
    if (measure3DAction_) {
        const QSignalBlocker block(measure3DAction_);
        measure3DAction_->setChecked(false);
    }
    mainView_->setSurfacePlanePick(true);
    setMode(QStringLiteral("Surface Pick"));
    statusBar()->showMessage(
        QStringLiteral("Surface CAD: click a mesh face to sketch/build directly from that surface plane."));
}

void MainWindow::onSurfaceBuildPlanePicked(const QVector3D& normal, const QVector3D& inPlaneRef,
                                           const QVector3D& point)
{
    if (!model_.hasMesh() || !mainView_)
        return;
    const PlaneFrame frame = buildPlaneFrame(normal, inPlaneRef);
    surfaceBuildActive_ = true;
    surfacePlaneNormal_ = frame.n;
    surfacePlaneU_ = frame.u;
    surfacePlaneV_ = frame.v;
    surfacePlaneOrigin_ = point;
    if (surfaceClearButton_)
        surfaceClearButton_->setEnabled(true);
    mainView_->setSurfacePick(false);
    mainView_->setSurfacePlanePick(false);
    setMode(QStringLiteral("Surface CAD"));
    updateSlicePlaneIndicator(); // hidden while the section lives in the picked plane
    refresh2DSection();
    statusBar()->showMessage(QStringLiteral("Surface CAD plane set at (%1, %2, %3). 2D tools now build from that "
                                            "picked face.")
                                 .arg(double(point.x()), 0, 'f', 2)
                                 .arg(double(point.y()), 0, 'f', 2)
                                 .arg(double(point.z()), 0, 'f', 2));
}

void MainWindow::onClearSurfaceBuildPlane()
{
    if (!surfaceBuildActive_) {
        statusBar()->showMessage(QStringLiteral("Surface CAD plane is already cleared."));
        return;
    }
    exitSurfaceBuildMode(true);
    setMode(QStringLiteral("Axis Slice"));
    statusBar()->showMessage(QStringLiteral("Surface CAD plane cleared. Restored axis slice mode."));
}

void MainWindow::handSectionToCanvas()
{
    if (section2D_)
        section2D_->setSectionLines(sectionLines_);
}
