// The release smoke test: drives the window's commands unattended. It runs
// the steps whose commands exist and stops at the first one that fails.
#include "ui/mainwindow/mainwindow.h"
#include "ui/mainwindow/toolbarrows.h"

#include "app/smokeoutput.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSlider>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QToolBar>

#include <QStatusBar>

#include <functional>

namespace {

// A command that answers "not available" has not been built: the smoke test fails.
bool reportsUnavailable(QStatusBar* bar, const QString& command, QString& error)
{
    const QString message = bar->currentMessage();
    if (!message.contains(QLatin1String("not available"), Qt::CaseInsensitive) &&
        !message.contains(QLatin1String("unavailable"), Qt::CaseInsensitive))
        return false;
    error = QStringLiteral("Command unavailable: %1 (%2)").arg(command, message);
    return true;
}

} // namespace

bool MainWindow::waitForIdle(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    const auto running = [this]() {
        return loadInProgress_ || busy_ || sliceJob_->isBusy() || cutterJob_->isBusy() || wireframe_->isBuilding();
    };
    while (running()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    QCoreApplication::processEvents();
    return true;
}

bool MainWindow::clickButton(const QString& text, QString& error)
{
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        if (button->text() == text) {
            button->click();
            QCoreApplication::processEvents();
            return !reportsUnavailable(statusBar(), text, error);
        }
    }
    error = QStringLiteral("Missing button: %1").arg(text);
    return false;
}

bool MainWindow::triggerAction(const QString& text, QString& error)
{
    // Menu texts carry mnemonics ("View &Isometric"); scripts name them without.
    for (QAction* action : findChildren<QAction*>()) {
        if (!action->isSeparator() && QString(action->text()).remove(QLatin1Char('&')) == text) {
            action->trigger();
            QCoreApplication::processEvents();
            return !reportsUnavailable(statusBar(), text, error);
        }
    }
    error = QStringLiteral("Missing action: %1").arg(text);
    return false;
}

bool MainWindow::triggerToolbarAction(QToolBar* bar, const QString& text, QString& error)
{
    if (!bar) {
        error = QStringLiteral("Missing toolbar for action: %1").arg(text);
        return false;
    }
    for (QAction* action : toolbarRowActions(bar)) {
        if (action->text() == text) {
            action->trigger();
            QCoreApplication::processEvents();
            return !reportsUnavailable(statusBar(), text, error);
        }
    }
    error = QStringLiteral("Missing toolbar action: %1").arg(text);
    return false;
}

bool MainWindow::runReleaseSmokeTest(const QString& meshPath, const QString& outputDir, QString& error)
{
    if (meshPath.isEmpty() || !QFileInfo::exists(meshPath)) {
        error = QStringLiteral("Smoke mesh not found: %1").arg(meshPath);
        return false;
    }
    // The folder is emptied first: never one whose loss would hurt.
    const QString refusal = smokeOutputRefusal(outputDir);
    if (!refusal.isEmpty()) {
        error = refusal;
        return false;
    }
    QDir(outputDir).removeRecursively();
    QDir().mkpath(outputDir);
    qputenv("HALVORAN_AUTOMATION", "1");
    qputenv("HALVORAN_AUTOMATION_OUTPUT_DIR", QFile::encodeName(outputDir));
    qputenv("HALVORAN_AUTOMATION_OPEN_MESH", QFile::encodeName(meshPath));

    onLoadMesh();
    if (!waitIdle(error))
        return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] load complete");
    if (!model_.hasMesh()) {
        error = QStringLiteral("Smoke load failed for %1").arg(meshPath);
        return false;
    }
    if (sectionLines_.isEmpty()) {
        error = QStringLiteral("Initial 2D slice was not generated.");
        return false;
    }
    // Colours.
    showBottomControlsAction_->setChecked(true);
    for (const char* text : {"Model Color", "Background Color", "Contour Color"})
        if (!triggerAction(QString::fromLatin1(text), error))
            return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] colors complete");

    // The ten alignment actions in toolbar order.
    if (alignmentActions_.size() != 10) {
        error = QStringLiteral("Missing action: %1").arg(QStringLiteral("alignment action"));
        return false;
    }
    for (QAction* action : alignmentActions_) {
        action->trigger();
        QCoreApplication::processEvents();
    }
    if (!waitIdle(error))
        return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] main alignment actions complete");

    // Arrow buttons.
    for (const char* text : {"+X", "-X", "+Y", "-Y", "+45", "-45", "+90", "-90"})
        if (!clickButton(QString::fromLatin1(text), error) || !waitIdle(error))
            return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] arrow buttons complete");

    // Fine tune, undo, redo.
    if (!fineTuneX_ || !fineTuneY_ || !fineTuneZ_) {
        error = QStringLiteral("Fine-tune controls were not created.");
        return false;
    }
    fineTuneX_->setValue(20);
    fineTuneY_->setValue(-10);
    fineTuneZ_->setValue(15);
    if (!clickButton(QStringLiteral("Apply Fine-Tune"), error) || !waitIdle(error))
        return false;
    if (!triggerAction(QStringLiteral("Undo Alignment"), error) || !waitIdle(error))
        return false;
    if (!triggerAction(QStringLiteral("Redo Alignment"), error) || !waitIdle(error))
        return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] fine tune undo redo complete");

    // Slice controls.
    if (!sliceAxisCombo_ || !sliceSlider_ || !bandThicknessSpin_ || !keepRatioSlider_ || !smooth2DSlider_) {
        error = QStringLiteral("Slice controls were not created.");
        return false;
    }
    const std::function<void()> sliceSteps[] = {
        [this]() { sliceAxisCombo_->setCurrentIndex(1); }, [this]() { sliceSlider_->setValue(750); },
        [this]() { bandThicknessSpin_->setValue(0.8); },   [this]() { keepRatioSlider_->setValue(85); },
        [this]() { smooth2DSlider_->setValue(20); },
    };
    for (const auto& step : sliceSteps) {
        step();
        if (!waitIdle(error))
            return false;
    }

    // Surface build with one synthetic pick on the mesh's top face.
    if (!surfaceBuildButton_ || !surfaceClearButton_) {
        error = QStringLiteral("Surface build buttons were not created.");
        return false;
    }
    surfaceBuildButton_->click();
    const Vec3f centre = model_.centroid();
    onSurfaceBuildPlanePicked(QVector3D(0, 0, 1), QVector3D(1, 0, 0),
                              QVector3D(centre.x, centre.y, model_.boundsMax().z));
    if (!waitIdle(error))
        return false;
    surfaceClearButton_->click();
    if (!waitIdle(error))
        return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] surface build complete");

    // Draw and measure toolbars.
    if (!drawToolbar_ || !measureToolbar_) {
        error = QStringLiteral("2D controls were not created.");
        return false;
    }
    for (const char* text : {"Line", "Circle", "Rect", "Polygon", "Trace", "Offset", "Select", "Eraser",
                             "Area Eraser", "Snap", "Undo", "Delete", "Merge", "Clear"})
        if (!triggerToolbarAction(drawToolbar_, QString::fromLatin1(text), error))
            return false;
    for (const char* text : {"Length", "Radius", "Arc", "Angle", "Point", "Snapshot"})
        if (!triggerToolbarAction(measureToolbar_, QString::fromLatin1(text), error))
            return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] draw and measure toolbar complete");

    // 2D drawing and the section exports.
    modeCombo_->setCurrentIndex(modeCombo_->findText(QStringLiteral("2D Drawing")));
    if (!clickButton(QStringLiteral("Generate"), error) || !waitIdle(error))
        return false;
    modeCombo_->setCurrentIndex(modeCombo_->findText(QStringLiteral("2D Slice")));
    if (!waitIdle(error))
        return false;
    for (const char* text : {"Export DXF", "Export SVG", "2D Drawing"})
        if (!triggerToolbarAction(mainToolbar_, QString::fromLatin1(text), error))
            return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] 2D exports complete");

    // Session round trip.
    onSaveSession();
    onLoadSession();
    if (!waitIdle(error))
        return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] session save load complete");

    // Slice stack and comparison overlay.
    onSliceStack();
    onLoadComparisonSlice();
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] slice stack compare complete");

    // Projections and analytics.
    for (const char* text : {"Perspective Projection", "Orthographic Projection", "View Isometric", "3D Measurement",
                             "3D Measurement", "Curvature Heatmap"})
        if (!triggerAction(QString::fromLatin1(text), error))
            return false;
    if (!waitIdle(error) || !triggerAction(QStringLiteral("Curvature Heatmap"), error))
        return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] projection and analytics complete");

    // Wireframe tools.
    if (!waitIdle(error))
        return false;
    if (!wireToolbar_ || !wireExportCombo_) {
        error = QStringLiteral("Wireframe controls were not created.");
        return false;
    }
    for (const char* text : {"Measure", "Measure", "Snap", "Snap", "Select Line", "Delete Line"})
        if (!triggerToolbarAction(wireToolbar_, QString::fromLatin1(text), error))
            return false;
    wireExportCombo_->setCurrentIndex(0);
    if (!waitIdle(error) || !triggerToolbarAction(wireToolbar_, QStringLiteral("Keep N..."), error) || !waitIdle(error))
        return false;
    // A real Keep N on long-feature lines, not a refusal.
    const QString kept = statusBar()->currentMessage();
    if (!kept.startsWith(QLatin1String("Kept top ")) && !kept.startsWith(QLatin1String("Keep N: nothing removed"))) {
        error = QStringLiteral("Keep N did not run: %1").arg(kept);
        return false;
    }
    wireExportCombo_->setCurrentIndex(1);
    if (!waitIdle(error) || !triggerToolbarAction(wireToolbar_, QStringLiteral("Clear Measure"), error) ||
        !triggerToolbarAction(mainToolbar_, QStringLiteral("Export Wireframe DXF"), error))
        return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] wireframe tools complete");

    // Datum planes and primitive fit.
    if (!waitIdle(error))
        return false;
    onAddDatum();
    onClearDatums();
    onFitPrimitive();
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] datum and primitive complete");

    // Holes: opening one more by dropping the last triangle guarantees a loop.
    if (model_.faces.size() < 5) {
        error = QStringLiteral("Sample mesh is too small for hole smoke testing.");
        return false;
    }
    model_.faces.edit().pop_back();
    model_.updateCaches();
    refreshAfterGeometryChange(false);
    if (!waitIdle(error))
        return false;
    if (!clickButton(QStringLiteral("Detect Holes"), error))
        return false;
    if (holes_.empty()) {
        error = QStringLiteral("Boundary loop detection failed after removing a face.");
        return false;
    }
    if (!clickButton(QStringLiteral("Fill Holes"), error) || !waitIdle(error))
        return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] detect fill holes complete");

    // Repair.
    if (model_.faces.size() <= 4) {
        error = QStringLiteral("Mesh is too small for repair smoke testing.");
        return false;
    }
    model_.faces.edit().pop_back();
    model_.updateCaches();
    refreshAfterGeometryChange(false);
    if (!waitIdle(error))
        return false;
    if (!clickButton(QStringLiteral("Repair Mesh"), error) || !waitIdle(error, 180000))
        return false;
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] repair complete");

    // Files the earlier steps must have written.
    const QStringList expected{QStringLiteral("section.dxf"),   QStringLiteral("section.svg"),
                               QStringLiteral("drawing_top.svg"), QStringLiteral("wireframe.dxf"),
                               QStringLiteral("session.hvs"),   QStringLiteral("snapshot.bmp"),
                               QStringLiteral("slicestack.dxf")};
    for (const QString& name : expected) {
        const QString path = QDir(outputDir).filePath(name);
        if (!QFileInfo::exists(path)) {
            error = QStringLiteral("Expected output missing: %1").arg(path);
            return false;
        }
    }
    qInfo().noquote() << QStringLiteral("[SMOKE_STEP] output verification complete");
    return true;
}

bool MainWindow::waitIdle(QString& error, int timeoutMs)
{
    if (waitForIdle(timeoutMs))
        return true;
    error = QStringLiteral("Timed out waiting for %1").arg(QStringLiteral("UI idle"));
    return false;
}
