// Session save and restore: the scan path and the settings of the controls.
#include "ui/mainwindow/mainwindow.h"

#include "app/automation.h"
#include "io/sessionfile.h"
#include "ui/section2d/section2dwidget.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QSet>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>


namespace {

const char* const kSaveFilter = "Halvoran Session (*.hvs)";
const char* const kLoadFilter = "Halvoran Session (*.hvs);;All Files (*)";

void setChecked(QCheckBox* box, const std::optional<bool>& on)
{
    if (box && on)
        box->setChecked(*on);
}

} // namespace

SessionSettings MainWindow::currentSessionSettings() const
{
    SessionSettings s;
    s.meshPath = QString::fromStdString(model_.sourcePath);
    s.sliceAxis = sliceAxisCombo_ ? sliceAxisCombo_->currentIndex() : 2;
    if (sliceExactSpin_)
        s.slicePosition = sliceExactSpin_->value();
    s.bandThickness = bandThicknessSpin_ ? bandThicknessSpin_->value() : 0.0;
    s.keepRatio = keepRatioSlider_ ? keepRatioSlider_->value() : 100;
    s.smooth2d = smooth2DSlider_ ? std::optional<int>(smooth2DSlider_->value()) : std::nullopt;
    s.wireframeMode = isWireframePageShown();
    s.wireframeComplexity = wireComplexitySlider_ ? std::optional<int>(wireComplexitySlider_->value()) : std::nullopt;
    s.wireCleanupMode = wireCleanupCombo_ ? std::optional<int>(wireCleanupCombo_->currentIndex()) : std::nullopt;
    s.wireframeSnap = wireSnapAction_ ? std::optional<bool>(wireSnapAction_->isChecked()) : std::nullopt;
    s.wireframeMeasure = wireMeasureAction_ ? std::optional<bool>(wireMeasureAction_->isChecked()) : std::nullopt;
    s.wireframeExportMode = wireExportCombo_ ? std::optional<int>(wireExportCombo_->currentIndex()) : std::nullopt;
    s.isAligned = aligned_;
    s.edgeAngle = edgeAngleSpin_ ? std::optional<double>(edgeAngleSpin_->value()) : std::nullopt;
    s.qualityPreset = qualityCombo_ ? std::optional<int>(qualityCombo_->currentIndex()) : std::nullopt;
    const auto layer = [](QCheckBox* box) { return box ? std::optional<bool>(box->isChecked()) : std::nullopt; };
    s.layerContour = layer(layerContourCheck_);
    s.layerAnnotation = layer(layerAnnotationCheck_);
    s.layerMeasurement = layer(layerMeasurementCheck_);
    s.layerKept = layer(layerKeptCheck_);
    s.drawingHiddenLines = layer(hiddenLinesCheck_);
    if (orthographicAction_)
        s.projectionOrthographic = orthographicAction_->isChecked();
    if (section2D_) {
        // Fits are remade from the section on demand; sketches are the user's work.
        QList<SectionAnnotation> drawn;
        for (const SectionAnnotation& a : section2D_->annotations())
            if (!a.isFit)
                drawn.append(a);
        s.annotations = drawn;
        QList<int> kept = section2D_->keptIndices().values();
        std::sort(kept.begin(), kept.end());
        s.keptIndices = kept;
    }
    return s;
}

void MainWindow::applySessionSlicePlane(const SessionSettings& s)
{
    if (sliceAxisCombo_)
        sliceAxisCombo_->setCurrentIndex(s.sliceAxis);
    if (sliceExactSpin_ && s.slicePosition)
        sliceExactSpin_->setValue(*s.slicePosition);
}

void MainWindow::applySessionDrawnWork(const SessionSettings& s, bool withKept)
{
    if (!section2D_)
        return;
    if (s.annotations) {
        QList<SectionAnnotation> list = *s.annotations;
        for (const SectionAnnotation& a : section2D_->annotations())
            if (a.isFit)
                list.append(a);
        section2D_->setAnnotations(list);
    }
    if (withKept && s.keptIndices)
        section2D_->setKeptIndices(QSet<int>(s.keptIndices->begin(), s.keptIndices->end()));
}

void MainWindow::finishSessionRestore(qint32 requestId, bool loaded)
{
    if (!pendingSession_ || pendingSession_->requestId != requestId)
        return;
    const SessionSettings s = pendingSession_->settings;
    pendingSession_.reset();
    applySessionSlicePlane(s);
    if (loaded) {
        // The section at the restored plane now, not after the debounce,
        // whose fresh lines would drop the kept marks set below.
        if (sliceDebounceTimer_)
            sliceDebounceTimer_->stop();
        sliceJob_->cancel();
        refresh2DSection();
    }
    // Without the scan the kept marks would point at other lines.
    applySessionDrawnWork(s, loaded);
}

void MainWindow::onSaveSession()
{
    const QString path =
        automationSaveFileName(this, QStringLiteral("Save Session"), QStringLiteral("session.hvs"),
                               QString::fromLatin1(kSaveFilter), "HALVORAN_AUTOMATION_SAVE_SESSION");
    if (path.isEmpty())
        return;
    const QByteArray json = sessionToJson(currentSessionSettings());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(json) != json.size()) {
        QMessageBox::critical(this, QStringLiteral("Save Session"), QStringLiteral("Failed to write session file."));
        return;
    }
    file.close();
    statusBar()->showMessage(QStringLiteral("Session saved: %1").arg(path));
}

void MainWindow::onLoadSession()
{
    const QString path = automationOpenFileName(this, QStringLiteral("Load Session"), QString(),
                                                QString::fromLatin1(kLoadFilter), "HALVORAN_AUTOMATION_LOAD_SESSION",
                                                QStringLiteral("session.hvs"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QMessageBox::critical(this, QStringLiteral("Load Session"), QStringLiteral("Failed to read session file."));
        return;
    }
    SessionSettings s;
    QString error;
    if (!sessionFromJson(file.readAll(), &s, &error)) {
        QMessageBox::critical(this, QStringLiteral("Load Session"), QStringLiteral("Invalid session file: %1").arg(error));
        return;
    }
    pendingSession_.reset();
    const bool reloading = !s.meshPath.isEmpty() && QFileInfo::exists(s.meshPath);
    if (reloading) {
        beginAsyncLoad(s.meshPath);
        pendingSession_ = PendingSessionRestore{loadRequestCounter_, s};
    } else {
        // Through the controls, so each one's own handler runs as for the user.
        applySessionSlicePlane(s);
    }
    if (bandThicknessSpin_)
        bandThicknessSpin_->setValue(s.bandThickness);
    if (keepRatioSlider_)
        keepRatioSlider_->setValue(s.keepRatio);
    if (smooth2DSlider_ && s.smooth2d)
        smooth2DSlider_->setValue(*s.smooth2d);
    if (wireComplexitySlider_ && s.wireframeComplexity)
        wireComplexitySlider_->setValue(*s.wireframeComplexity);
    if (wireCleanupCombo_ && s.wireCleanupMode)
        wireCleanupCombo_->setCurrentIndex(*s.wireCleanupMode);
    if (wireSnapAction_ && s.wireframeSnap)
        wireSnapAction_->setChecked(*s.wireframeSnap);
    if (wireMeasureAction_ && s.wireframeMeasure)
        wireMeasureAction_->setChecked(*s.wireframeMeasure);
    if (wireExportCombo_ && s.wireframeExportMode)
        wireExportCombo_->setCurrentIndex(*s.wireframeExportMode);
    if (edgeAngleSpin_ && s.edgeAngle)
        edgeAngleSpin_->setValue(*s.edgeAngle);
    if (qualityCombo_ && s.qualityPreset)
        qualityCombo_->setCurrentIndex(*s.qualityPreset);
    setChecked(layerContourCheck_, s.layerContour);
    setChecked(layerAnnotationCheck_, s.layerAnnotation);
    setChecked(layerMeasurementCheck_, s.layerMeasurement);
    setChecked(layerKeptCheck_, s.layerKept);
    setChecked(hiddenLinesCheck_, s.drawingHiddenLines);
    if (s.projectionOrthographic) {
        if (*s.projectionOrthographic)
            onUseOrthographicProjection();
        else
            onUsePerspectiveProjection();
    }
    if (s.wireframeMode) {
        if (*s.wireframeMode)
            onShow3DWireframe();
        else
            onShow2DSection();
    }
    if (!reloading)
        applySessionDrawnWork(s, false);
    statusBar()->showMessage(QStringLiteral("Session loaded: %1").arg(path));
}
