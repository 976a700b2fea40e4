// Fit Lines/Arcs: the section of the current plane as fitted lines, arcs and
// circles on the canvas's fit layer. The fit works on the raw exact cut, so
// band, keep filter and smoothing change what is shown but not the fit.
#include "ui/mainwindow/mainwindow.h"
#include "ui/section2d/section2dwidget.h"

#include "app/runtimelog.h"
#include "model/sectionfit/fitannotations.h"
#include "model/sectionfit/fitinput.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QStatusBar>

namespace {

// What decides a fit: the plane alone.
SectionRequest exactPlane(SectionRequest r)
{
    r.bandThickness = 0.0f;
    r.keepRatio = 1.0f;
    r.smoothStrength = 0;
    return r;
}

} // namespace

void MainWindow::onFitLinesArcs()
{
    if (loadInProgress_ || busy_) {
        statusBar()->showMessage(QStringLiteral("Please wait for the current operation to finish."));
        return;
    }
    if (!model_.hasMesh() || !section2D_) {
        statusBar()->showMessage(QStringLiteral("No mesh loaded."));
        return;
    }
    if (modeCombo_ && modeCombo_->currentIndex() == 1) {
        statusBar()->showMessage(QStringLiteral("Switch to 2D Slice to fit the section."));
        return;
    }
    QElapsedTimer timer;
    timer.start();
    const SectionRequest request = exactPlane(currentSectionRequest());
    SectionFitParams params;
    if (fitToleranceSpin_)
        params.tolerance = fitToleranceSpin_->value();
    const sectionfit::FitResult result = sectionfit::fitSectionChains(exactSectionChains(model_, request, sliceCutter_.get()), params);
    section2D_->setFitAnnotations(fitAnnotations(result));
    fitKey_ = sectionCacheKey(request, model_.geometryRevision);
    logPerfTiming(QStringLiteral("Fit lines/arcs"), timer.elapsed(), 50);
    statusBar()->showMessage(result.chains.empty() ? QStringLiteral("No section to fit at this position.")
                                                   : fitSummary(result));
}

void MainWindow::dropStaleFits(const SectionRequest& shown)
{
    if (section2D_ && !sectionCacheKeyMatches(fitKey_, exactPlane(shown), model_.geometryRevision))
        section2D_->clearFitAnnotations();
}
