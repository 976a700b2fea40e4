// 2D drawing: generate into the 2D view, preview and export as SVG or DXF.
#include "ui/mainwindow/mainwindow.h"

#include "app/automation.h"
#include "export/drawingwriter.h"
#include "model/drawing/drawingedges.h"
#include "model/repair/holes.h"
#include "ui/mainwindow/buildstatus.h"
#include "ui/mainwindow/pollingloop.h"
#include "ui/section2d/section2dwidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPen>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtDebug>

#include <algorithm>

namespace {

const char* const kViewDisplayNames[3] = {"Top (XY)", "Front (XZ)", "Right (YZ)"};

// Zoom anchored under the mouse.
class DrawingPreviewView : public QGraphicsView {
public:
    using QGraphicsView::QGraphicsView;

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        const double factor = event->angleDelta().y() > 0 ? 1.15 : 1.0 / 1.15;
        scale(factor, factor);
        event->accept();
    }
};

} // namespace

DrawingOptions MainWindow::drawingOptionsForView(DrawingView view) const
{
    return drawingOptionsFromPanel(view, minSizeSlider_ ? minSizeSlider_->value() : 30,
                                   detailSlider_ ? detailSlider_->value() : 50,
                                   zThresholdSpin_ ? zThresholdSpin_->value() : 0.5,
                                   boundaryCheck_ ? boundaryCheck_->isChecked() : true,
                                   sharpEdgesCheck_ ? sharpEdgesCheck_->isChecked() : true,
                                   hiddenLinesCheck_ && hiddenLinesCheck_->isChecked());
}

bool MainWindow::computeDrawingWithProgress(const DrawingOptions& options,
                                            std::vector<MeshModel::DrawingEdge2D>& edges)
{
    if (!beginBusyOperation(QStringLiteral("2D Drawing")))
        return false;
    QProgressDialog progress(QStringLiteral("Computing 2D drawing..."), QStringLiteral("Cancel"), 0, 100, this);
    progress.setWindowTitle(QStringLiteral("2D Drawing"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.show();
    const BuildStatus building(statusBar(), QStringLiteral("Computing 2D drawing..."));
    // The copy shares the arrays; the modal dialog keeps commands from
    // changing the mesh meanwhile anyway.
    const MeshModel model = model_;
    Progress work;
    std::vector<MeshModel::DrawingEdge2D> result;
    try {
        result = runPollingLoop([model, options, &work]() { return model.computeDrawingEdges(options, &work); },
                                &progress, &work);
    } catch (const std::exception& error) {
        qWarning().noquote() << QStringLiteral("[DRAWING] extraction failed: %1").arg(QString::fromLocal8Bit(error.what()));
        result.clear();
    }
    progress.close();
    endBusyOperation();
    if (work.canceled()) {
        statusBar()->showMessage(QStringLiteral("2D Drawing canceled."));
        return false;
    }
    edges = std::move(result);
    return true;
}

void MainWindow::onGenerate2DDrawing()
{
    if (!model_.hasMesh()) {
        QMessageBox::warning(this, QStringLiteral("2D Drawing"), QStringLiteral("No mesh loaded."));
        return;
    }
    if (!model_.repaired && !isAutomationMode()) {
        const std::size_t open = holes::countBoundaryEdges(model_.faces.vec(), model_.vertices.size());
        if (open > 0)
            QMessageBox::information(this, QStringLiteral("2D Drawing"),
                                     QStringLiteral("This mesh has %1 boundary edges (holes). Running Repair Mesh "
                                                    "first may produce cleaner 2D drawings.")
                                         .arg(open));
    }
    const DrawingView view = drawingViewFromIndex(drawingViewCombo_ ? drawingViewCombo_->currentIndex() : 0);
    std::vector<MeshModel::DrawingEdge2D> edges;
    if (!computeDrawingWithProgress(drawingOptionsForView(view), edges))
        return;
    if (edges.empty()) {
        QMessageBox::warning(this, QStringLiteral("2D Drawing"), QStringLiteral("No edges extracted."));
        return;
    }

    SectionLines lines;
    lines.reserve(static_cast<qsizetype>(edges.size()));
    QSet<int> hidden;
    int features = 0, contours = 0, outlines = 0;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const auto& e = edges[i];
        lines.append(QLineF(e.x1, e.y1, e.x2, e.y2));
        if (e.type == kDrawingHidden)
            hidden.insert(static_cast<int>(i));
        else if (e.type == kDrawingSilhouette)
            ++outlines;
        else if (e.type == kDrawingFeature || e.type == kDrawingBoundary)
            ++features;
        else if (e.type == kDrawingContour)
            ++contours;
    }
    section2D_->setSegments(lines);
    section2D_->setErasedIndices(hidden);
    section2D_->update();
    if (isWireframePageShown())
        showRightPage(SectionPage);
    // Outlines and hidden lines are most of a drawing: count them too, so
    // the status matches what the view shows.
    QString text = QStringLiteral("2D Drawing (%1): %2 feature, %3 contour edges")
                       .arg(QLatin1String(drawingViewName(view)))
                       .arg(features)
                       .arg(contours);
    text += QStringLiteral("; %1 outline").arg(outlines);
    if (!hidden.isEmpty())
        text += QStringLiteral(", %1 hidden").arg(hidden.size());
    statusBar()->showMessage(text);
}

bool MainWindow::saveDrawingFile(const DrawingExportContext& context, DrawingView view)
{
    const QString path = automationSaveFileName(
        this, QStringLiteral("Save 2D Drawing"),
        QStringLiteral("drawing_%1.svg").arg(QLatin1String(drawingViewFileName(view))),
        QStringLiteral("SVG Files (*.svg);;DXF Files (*.dxf)"), "HALVORAN_AUTOMATION_DRAWING_EXPORT");
    if (path.isEmpty())
        return false;
    if (!writeDrawingFile(context, path)) {
        QMessageBox::critical(this, QStringLiteral("Export"), QStringLiteral("Failed to write file."));
        return false;
    }
    statusBar()->showMessage(
        QStringLiteral("Exported 2D drawing: %1 (%2 edges)").arg(path).arg(static_cast<qulonglong>(context.edges.size())));
    return true;
}

void MainWindow::onExport2DDrawing()
{
    if (!model_.hasMesh()) {
        QMessageBox::warning(this, QStringLiteral("2D Drawing"), QStringLiteral("No mesh loaded."));
        return;
    }
    DrawingView view = drawingViewFromIndex(envIntOrDefault("HALVORAN_AUTOMATION_DRAWING_VIEW", 0));
    const bool automation = isAutomationMode();
    if (!automation) {
        QStringList names;
        for (const char* name : kViewDisplayNames)
            names << QLatin1String(name);
        bool ok = false;
        const QString choice = QInputDialog::getItem(this, QStringLiteral("2D Drawing"), QStringLiteral("Projection view:"),
                                                     names, static_cast<int>(view), false, &ok);
        if (!ok)
            return;
        view = drawingViewFromIndex(static_cast<int>(names.indexOf(choice)));
    }

    std::vector<MeshModel::DrawingEdge2D> edges;
    if (!computeDrawingWithProgress(drawingOptionsForView(view), edges))
        return;
    if (edges.empty()) {
        QMessageBox::warning(this, QStringLiteral("2D Drawing"),
                             QStringLiteral("No edges extracted. Check the mesh has visible features."));
        return;
    }
    const DrawingExportContext context = makeDrawingExportContext(std::move(edges));
    if (automation) {
        saveDrawingFile(context, view);
        return;
    }

    QDialog preview(this);
    preview.setObjectName(QStringLiteral("drawingPreview"));
    preview.setWindowTitle(QStringLiteral("2D Drawing Preview"));
    preview.resize(900, 700);
    auto* scene = new QGraphicsScene(&preview);
    scene->setBackgroundBrush(QColor(30, 30, 38));
    const double unit = 0.003 * std::max(context.width, context.height);
    const auto pen = [unit](QColor colour, double width, bool dashed = false) {
        QPen p(colour, width * unit);
        p.setCosmetic(false);
        if (dashed)
            p.setStyle(Qt::DashLine);
        return p;
    };
    // Later classes paint on top.
    const struct {
        int types[2];
        QPen pen;
    } layers[] = {
        {{kDrawingHidden, -1}, pen(QColor(120, 125, 135), 0.7, true)},
        {{kDrawingContour, -1}, pen(QColor(145, 150, 165), 0.8)},
        {{kDrawingFeature, kDrawingBoundary}, pen(QColor(210, 220, 235), 1.25)},
        {{kDrawingSilhouette, -1}, pen(QColor(255, 255, 255), 2.0)},
    };
    int counts[5] = {0, 0, 0, 0, 0};
    for (const auto& layer : layers)
        for (const auto& e : context.edges)
            if (e.type == layer.types[0] || e.type == layer.types[1])
                scene->addLine(e.x1, -e.y1, e.x2, -e.y2, layer.pen);
    for (const auto& e : context.edges)
        if (e.type >= 0 && e.type < 5)
            ++counts[e.type];

    auto* layout = new QVBoxLayout(&preview);
    auto* view2D = new DrawingPreviewView(scene, &preview);
    view2D->setRenderHint(QPainter::Antialiasing);
    view2D->setDragMode(QGraphicsView::ScrollHandDrag);
    view2D->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    view2D->setInteractive(true);
    layout->addWidget(view2D, 1);
    auto* label = new QLabel(QStringLiteral("Silhouette: %1  |  Feature: %2  |  Contour: %3  |  Hidden: %4")
                                 .arg(counts[kDrawingSilhouette])
                                 .arg(counts[kDrawingFeature] + counts[kDrawingBoundary])
                                 .arg(counts[kDrawingContour])
                                 .arg(counts[kDrawingHidden]),
                             &preview);
    label->setObjectName(QStringLiteral("drawingCounts"));
    label->setStyleSheet(QStringLiteral("color: #aaa; font-size: 11px;"));
    layout->addWidget(label);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* save = new QPushButton(QStringLiteral("Save SVG / DXF"), &preview);
    auto* close = new QPushButton(QStringLiteral("Close"), &preview);
    buttons->addWidget(save);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(save, &QPushButton::clicked, &preview, [this, &preview, &context, view]() {
        if (saveDrawingFile(context, view))
            preview.accept();
    });
    connect(close, &QPushButton::clicked, &preview, &QDialog::reject);
    // Fit once the view has its real size.
    QTimer::singleShot(0, view2D, [view2D, scene]() { view2D->fitInView(scene->itemsBoundingRect(), Qt::KeepAspectRatio); });
    preview.exec();
}
