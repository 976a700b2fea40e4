// Opening a scan: the load task on the thread pool and the hand-back that
// installs the new mesh.
#include "io/meshload.h"
#include "ui/mainwindow/mainwindow.h"
#include "ui/section2d/section2dwidget.h"
#include "ui/view3d/occtmeshview.h"

#include "app/automation.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>

namespace {

std::size_t renderOr(std::size_t render, std::size_t full)
{
    return render ? render : full;
}

bool isSameFile(const std::string& current, const QString& loaded)
{
    const QString a = QFileInfo(QString::fromStdString(current)).canonicalFilePath();
    return !a.isEmpty() && a == QFileInfo(loaded).canonicalFilePath();
}

void trace(const QString& text)
{
    qInfo().noquote() << QStringLiteral("[LOAD_TRACE] ") + text;
}

} // namespace

void MainWindow::onLoadMesh()
{
    if (loadInProgress_ || busy_) {
        statusBar()->showMessage(QStringLiteral("Please wait for the current operation to finish."));
        return;
    }
    const QString path = automationOpenFileName(
        this, QStringLiteral("Open Scan File"), QString(),
        QStringLiteral("All Supported (*.stl *.obj *.ply *.3mf *.step *.stp *.asc);;STL (*.stl);;OBJ (*.obj);;"
                       "PLY (*.ply);;3MF (*.3mf);;STEP (*.step *.stp);;ASC (*.asc);;All Files (*)"),
        "HALVORAN_AUTOMATION_OPEN_MESH");
    if (path.isEmpty())
        return;
    beginAsyncLoad(path);
}

MainWindow::LoadResult MainWindow::runLoadTask(const QString& path, qint32 requestId, std::shared_ptr<Progress> progress)
{
    LoadResult result;
    result.filePath = path;
    result.requestId = requestId;
    // Importers report failures as text; anything thrown (out of memory) is
    // turned into text too, so the future always carries a result.
    try {
        auto mesh = std::make_shared<MeshModel>();
        std::string error;
        // The import alignment runs here too, not on the interface thread (about
        // a second at 20 M triangles); it builds the render mesh the load skips.
        LoadOptions options;
        options.buildCaches = false;
        if (!loadMesh(*mesh, path.toUtf8().toStdString(), &error, progress.get(), options)) {
            result.errorMessage = QString::fromUtf8(error.c_str());
            return result;
        }
        trace(QStringLiteral("step 1: autoAlignOnImport..."));
        if (!mesh->autoAlignOnImport(&result.alignmentFallback, progress.get()) && isCanceled(progress.get())) {
            result.errorMessage = QStringLiteral("Load canceled.");
            return result;
        }
        trace(QStringLiteral("step 2: autoAlign done"));
        result.mesh = std::move(mesh);
        result.success = true;
    } catch (const std::exception& e) {
        result.errorMessage = QString::fromLocal8Bit(e.what());
    } catch (...) {
        result.errorMessage.clear();
    }
    return result;
}

void MainWindow::beginAsyncLoad(const QString& path)
{
    if (!loadWatcher_) {
        loadWatcher_ = new QFutureWatcher<LoadResult>(this);
        connect(loadWatcher_, &QFutureWatcher<LoadResult>::finished, this, &MainWindow::endAsyncLoad);
    }
    closeLoadProgress();
    loadInProgress_ = true;
    const qint32 requestId = ++loadRequestCounter_;
    setMeshCommandsEnabled(false);
    setSliceControlsEnabled(false);
    updateWireframeControls(false, QString());

    loadProgress_ = new QProgressDialog(QStringLiteral("Loading scan file..."), QStringLiteral("Cancel"), 0, 0, this);
    loadProgress_->setWindowTitle(QStringLiteral("Loading"));
    loadProgress_->setWindowModality(Qt::ApplicationModal);
    loadProgress_->setMinimumDuration(0);
    loadProgress_->setAutoClose(false);
    loadProgress_->setAutoReset(false);
    connect(loadProgress_, &QProgressDialog::canceled, this, &MainWindow::onLoadCanceled);
    loadProgress_->show();

    if (!loadCursorPushed_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        loadCursorPushed_ = true;
    }
    setMode(QStringLiteral("Loading"));
    statusBar()->showMessage(QStringLiteral("Loading %1 ...").arg(QFileInfo(path).fileName()));
    loadCancel_ = std::make_shared<Progress>();
    loadWatcher_->setFuture(
        QtConcurrent::run(QThreadPool::globalInstance(), &MainWindow::runLoadTask, path, requestId, loadCancel_));
}

void MainWindow::closeLoadProgress()
{
    if (!loadProgress_)
        return;
    // Closing emits canceled(), which must not count as a user cancel.
    loadProgress_->disconnect(this);
    loadProgress_->close();
    loadProgress_->deleteLater();
    loadProgress_ = nullptr;
}

void MainWindow::releaseLoadCursor()
{
    // Cancel and the later hand-back both release it; only one may pop.
    if (!loadCursorPushed_)
        return;
    loadCursorPushed_ = false;
    QApplication::restoreOverrideCursor();
}

void MainWindow::onLoadCanceled()
{
    if (loadCancel_)
        loadCancel_->cancel();
    finishSessionRestore(loadRequestCounter_, false);
    ++loadRequestCounter_;
    statusBar()->showMessage(QStringLiteral("Load canceled."));
    setMode(QStringLiteral("Navigation"));
    setMeshCommandsEnabled(model_.hasMesh());
    releaseLoadCursor();
}

void MainWindow::showLoadError(const QString& message)
{
    // A scripted run has nobody to press OK: show the box without blocking.
    if (isAutomationMode()) {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Load Error"), message, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
        return;
    }
    QMessageBox::warning(this, QStringLiteral("Load Error"), message);
}

void MainWindow::endAsyncLoad()
{
    loadWatcher_->waitForFinished();
    const LoadResult result = loadWatcher_->result();
    loadInProgress_ = false;
    releaseLoadCursor();
    closeLoadProgress();
    setSliceControlsEnabled(true);

    if (result.requestId != loadRequestCounter_) {
        updateWireframeControls(false, QString());
        setMeshCommandsEnabled(model_.hasMesh());
        return;
    }
    if (!result.success || !result.mesh) {
        QString message = result.success ? QStringLiteral("Loader returned empty model.") : result.errorMessage;
        if (message.isEmpty())
            message = QStringLiteral("Unknown load error.");
        showLoadError(message);
        finishSessionRestore(result.requestId, false);
        statusBar()->showMessage(QStringLiteral("Load failed: %1").arg(QFileInfo(result.filePath).fileName()));
        refresh3DViews();
        refresh2DSection();
        updateStatusPanel();
        setMeshCommandsEnabled(model_.hasMesh());
        updateWireframeControls(false, QString());
        setMode(QStringLiteral("Navigation"));
        return;
    }

    try {
        // Another part: the sketches, measurements, marks, overlay and drawing
        // of the previous one do not belong on its section. Reloading the
        // same file (a session restore) keeps them.
        const bool otherFile = !isSameFile(model_.sourcePath, result.filePath);
        model_ = *result.mesh;
        if (otherFile && section2D_) {
            section2D_->resetForNewScan();
            sectionLines_.clear();
            fitKey_ = SectionCacheKey();
        }
        invalidateSectionState();
        resetWireframePreviewState();
        const std::size_t vertexCount = model_.vertices.size();
        const std::size_t renderFaces = renderOr(model_.displayFaces.size(), model_.faces.size());
        trace(QStringLiteral("mesh assigned, verts=%1 faces=%2 displayVerts=%3 displayFaces=%4")
                  .arg(vertexCount)
                  .arg(model_.faces.size())
                  .arg(renderOr(model_.displayVertices.size(), vertexCount))
                  .arg(renderFaces));

        const std::string& fallback = result.alignmentFallback;
        aligned_ = true;
        alignPickActive_ = false;
        alignFacePicked_ = false;
        // Undo entries hold the previous scan's vertices.
        alignmentHistory_.clear();
        updateUndoRedoActions();

        trace(QStringLiteral("step 3: updateSliceBounds..."));
        mainView_->clearAlignPick();
        mainView_->setSurfacePick(false);
        updateSliceRangeForAxis();

        trace(QStringLiteral("step 4: staying in current view mode..."));

        trace(QStringLiteral("step 5: wireExportModeCombo..."));
        if (wireExportCombo_->currentIndex() != 1)
            wireExportCombo_->setCurrentIndex(1);

        trace(QStringLiteral("step 6: refresh3DViews..."));
        refresh3DViews();

        trace(QStringLiteral("step 7: refresh2DSection..."));
        leaveDrawingMode();
        refresh2DSection();
        startSliceCutterWarmUp();

        trace(QStringLiteral("step 8: updateStatusPanel..."));
        updateStatusPanel();

        setMeshCommandsEnabled(true);
        updateWireframeControls(false, QString());
        setMode(QStringLiteral("Axis Slice"));
        finishSessionRestore(result.requestId, true);
        const QString loaded = QStringLiteral("Loaded %1 (%2 vertices, render %3 faces)")
                                   .arg(QFileInfo(result.filePath).fileName())
                                   .arg(vertexCount)
                                   .arg(renderFaces);
        if (fallback.empty())
            statusBar()->showMessage(loaded + QStringLiteral(" - auto-aligned (minimum OBB)"));
        else
            statusBar()->showMessage(loaded + QStringLiteral(" - OBB fallback: %1").arg(QString::fromStdString(fallback)));
    } catch (const std::exception& e) {
        const QString what = QString::fromLocal8Bit(e.what());
        qCritical().noquote() << QStringLiteral("[LOAD_TRACE] EXCEPTION in endAsyncLoad:") << what;
        statusBar()->showMessage(QStringLiteral("Load error: %1").arg(what));
        setMeshCommandsEnabled(model_.hasMesh());
    } catch (...) {
        qCritical().noquote() << QStringLiteral("[LOAD_TRACE] UNKNOWN EXCEPTION in endAsyncLoad");
        statusBar()->showMessage(QStringLiteral("Unknown error during load."));
        setMeshCommandsEnabled(model_.hasMesh());
    }
}
