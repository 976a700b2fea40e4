// Detect Holes and Fill Holes: boundary loops drawn over the main view,
// clicked loops kept open, the rest closed in one undoable step.
#include "ui/mainwindow/mainwindow.h"
#include "ui/view3d/occtmeshview.h"
#include "ui/mainwindow/buildstatus.h"
#include "ui/mainwindow/pollingloop.h"

#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>

#include <memory>
#include <optional>

void MainWindow::ensureHoleListCurrent()
{
    // Alignment moves vertices only; any other change makes the indices stale.
    if (holeFacesId_ == model_.faces.storageId() && holeFacesCount_ == model_.faces.size())
        return;
    holes_.clear();
    keepOpenHoles_.clear();
    holeSegmentMap_.clear();
    holeFacesId_ = nullptr;
    holeFacesCount_ = 0;
}

void MainWindow::leaveHoleMode()
{
    holeMode_ = false;
    if (holePickConnection_)
        disconnect(holePickConnection_);
    holePickConnection_ = {};
    mainView_->setWireSelectMode(false);
}

void MainWindow::onDetectHoles()
{
    if (!model_.hasMesh())
        return;
    holes_ = model_.findBoundaryLoops();
    holeFacesId_ = model_.faces.storageId();
    holeFacesCount_ = model_.faces.size();
    keepOpenHoles_.clear();
    holeSegmentMap_.clear();

    std::vector<MeshModel::SliceSegment3D> segments;
    const std::size_t vertexCount = model_.vertices.size();
    for (std::size_t i = 0; i < holes_.size(); ++i) {
        const std::vector<std::uint32_t>& loop = holes_[i];
        for (std::size_t k = 0; k < loop.size(); ++k) {
            const std::uint32_t a = loop[k], b = loop[(k + 1) % loop.size()];
            if (a >= vertexCount || b >= vertexCount)
                continue;
            segments.push_back({model_.vertices[a], model_.vertices[b]});
            holeSegmentMap_.push_back(std::uint32_t(i));
        }
    }
    if (holes_.empty()) {
        leaveHoleMode();
        QMessageBox::information(this, QStringLiteral("Detect Holes"), QStringLiteral("No holes found in the mesh."));
        return;
    }
    mainView_->setWireSegments(segments);
    mainView_->setWireSelectMode(true);
    mainView_->setSelectedWireSegments({});
    holeMode_ = true;
    if (!holePickConnection_)
        holePickConnection_ =
            connect(mainView_, &OcctMeshView::wireSegmentPicked, this, &MainWindow::onHoleWireSegmentPicked);
    statusBar()->showMessage(QStringLiteral("Found %1 holes. Click holes to KEEP open, then press Fill Holes.")
                                 .arg(holes_.size()));
}

void MainWindow::onHoleWireSegmentPicked(int index, const QVector3D&, const QVector3D&)
{
    if (!holeMode_ || index < 0 || std::size_t(index) >= holeSegmentMap_.size())
        return;
    // Another overlay took the view's wire segments since detection.
    if (mainView_->wireSegments().size() != holeSegmentMap_.size())
        return;
    const std::uint32_t hole = holeSegmentMap_[std::size_t(index)];
    if (!keepOpenHoles_.erase(hole))
        keepOpenHoles_.insert(hole);
    QList<int> selected;
    for (std::size_t i = 0; i < holeSegmentMap_.size(); ++i)
        if (keepOpenHoles_.count(holeSegmentMap_[i]))
            selected.append(int(i));
    mainView_->setSelectedWireSegments(selected);
    statusBar()->showMessage(QStringLiteral("Keeping %1 of %2 holes open. Press Fill Holes when ready.")
                                 .arg(keepOpenHoles_.size())
                                 .arg(holes_.size()));
}

void MainWindow::onFillHoles()
{
    if (!model_.hasMesh())
        return;
    ensureHoleListCurrent();
    if (holes_.empty()) {
        holes_ = model_.findBoundaryLoops();
        holeFacesId_ = model_.faces.storageId();
        holeFacesCount_ = model_.faces.size();
    }
    if (holes_.empty()) {
        QMessageBox::information(this, QStringLiteral("Fill Holes"), QStringLiteral("No holes found."));
        return;
    }
    if (loadInProgress_ || busy_) {
        QMessageBox::warning(this, QStringLiteral("Fill Holes"),
                             QStringLiteral("Cannot start: another operation is in progress."));
        return;
    }
    if (!beginBusyOperation(QStringLiteral("Filling Holes")))
        return;
    const std::size_t oldFaces = model_.faces.size();

    // A copy is filled on a worker: the window keeps painting, and a cancel
    // leaves the window's model as it was.
    struct Outcome {
        bool ok = false;
        std::string error;
        MeshModel model;
    };
    auto work = std::make_shared<MeshModel>(model_);
    auto taskProgress = std::make_shared<Progress>();
    const auto holeList = holes_;
    const auto keepOpen = keepOpenHoles_;
    QProgressDialog progress(QStringLiteral("Filling holes..."), QStringLiteral("Cancel"), 0, 100, this);
    progress.setWindowTitle(QStringLiteral("Fill Holes"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.show();
    std::optional<BuildStatus> building(std::in_place, statusBar(), QStringLiteral("Filling holes..."));
    Outcome outcome = runPollingLoop(
        [work, holeList, keepOpen, taskProgress]() {
            Outcome o;
            o.ok = work->fillSelectedHoles(holeList, keepOpen, &o.error, taskProgress.get());
            if (o.ok)
                o.model = std::move(*work);
            return o;
        },
        &progress, taskProgress.get());
    progress.close();
    building.reset();

    if (taskProgress->canceled() && !outcome.ok) {
        endBusyOperation();
        statusBar()->showMessage(QStringLiteral("Hole filling canceled."));
        return;
    }
    // The state before the fill, which the window's model still is.
    pushUndoSnapshot(true);
    if (!outcome.ok) {
        endBusyOperation();
        QMessageBox::warning(this, QStringLiteral("Fill Holes"),
                             outcome.error.empty() ? QStringLiteral("Fill failed.")
                                                   : QString::fromStdString(outcome.error));
        return;
    }
    model_ = std::move(outcome.model);
    leaveHoleMode();
    holes_.clear();
    keepOpenHoles_.clear();
    holeSegmentMap_.clear();
    holeFacesId_ = nullptr;
    holeFacesCount_ = 0;
    mainView_->clearWireOverlay();
    mainView_->setSelectedWireSegments({});
    refreshAfterGeometryChange(true);
    const std::size_t newFaces = model_.faces.size();
    statusBar()->showMessage(QStringLiteral("Holes filled: %1 → %2 faces (+%3)")
                                 .arg(oldFaces)
                                 .arg(newFaces)
                                 .arg(qlonglong(newFaces) - qlonglong(oldFaces)));
    endBusyOperation();
}
