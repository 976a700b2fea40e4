// 3D view commands: the two OcctMeshViews, camera presets, projections and
// colours, and handing the model to the views.
#include "ui/mainwindow/mainwindow.h"
#include "ui/section2d/section2dwidget.h"
#include "ui/view3d/occtmeshview.h"

#include "app/automation.h"

#include <QAction>
#include <QColorDialog>
#include <QComboBox>
#include <QLayout>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace {

// Automation answers from the environment instead of a dialog.
QColor askColor(QWidget* parent, const QColor& current, const QString& title, const char* variable,
                const char* fallback)
{
    if (isAutomationMode())
        return envColorOrDefault(variable, QColor(QString::fromLatin1(fallback)));
    return QColorDialog::getColor(current, parent, title);
}

} // namespace

void MainWindow::createViews()
{
    mainView_ = new OcctMeshView(mainViewHost_);
    mainView_->setObjectName(QStringLiteral("mainView"));
    // The wireframe page is built after the left pane; the view moves there
    // once its host exists and stays hidden until then.
    wireView_ = new OcctMeshView(this);
    wireView_->setObjectName(QStringLiteral("wireView"));
    wireView_->hide();
    connectMainViewSignals();
    connect(wireView_, &OcctMeshView::measurement3D, this, &MainWindow::onMeasurement3DResult);
    connect(wireView_, &OcctMeshView::wireSegmentPicked, this, &MainWindow::onWireSegmentPicked);
    connect(wireView_, &OcctMeshView::wireDeleteRequested, this, &MainWindow::onWireDeleteSelected);
    QTimer::singleShot(0, this, &MainWindow::placeWireView);
}

void MainWindow::placeWireView()
{
    if (!wireView_ || !wireViewHost_ || wireView_->parentWidget() == wireViewHost_ || !wireViewHost_->layout())
        return;
    wireViewHost_->layout()->addWidget(wireView_);
    wireView_->show();
}

void MainWindow::connectMainViewSignals()
{
    connect(mainView_, &OcctMeshView::facePicked, this, &MainWindow::onFacePicked);
    connect(mainView_, &OcctMeshView::surfaceBuildPlanePicked, this, &MainWindow::onSurfaceBuildPlanePicked);
    connect(mainView_, &OcctMeshView::arrowsShown, this, &MainWindow::onArrowsShown);
    connect(mainView_, &OcctMeshView::arrowPicked, this, &MainWindow::onArrowPicked);
    connect(mainView_, &OcctMeshView::measurement3D, this, &MainWindow::onMeasurement3DResult);
    // The main view's wire segments are the hole loops: Delete there must
    // not reach the wireframe page's lines.
}

void MainWindow::refresh3DViews()
{
    placeWireView();
    if (!model_.hasMesh()) {
        resetWireframePreviewState();
        mainView_->clearMesh();
        wireView_->clearMesh();
        wireView_->clearWireOverlay();
        return;
    }
    mainView_->setMesh(model_, false);
    if (isWireframePageShown()) {
        const int complexity = wireComplexitySlider_ ? wireComplexitySlider_->value() : 70;
        wireView_->setWireframeComplexity(std::clamp(complexity, 5, 100));
        wireView_->setSnapEnabled(wireSnapAction_ && wireSnapAction_->isChecked());
        const bool longFeature = !wireExportCombo_ || wireExportCombo_->currentIndex() != 1;
        wireView_->setLongFeatureMode(longFeature);
        wireView_->setMesh(model_, longFeature);
        scheduleWireframePreview(0);
        wireView_->setMeasureMode(wireMeasureAction_ && wireMeasureAction_->isChecked());
    } else {
        updateWireframeControls(false, QString());
        wireView_->setLongFeatureMode(true);
        wireView_->clearMeasurement();
        wireView_->clearMesh();
    }
    updateSlicePlaneIndicator();
}

void MainWindow::setSliceIndicatorOnView(bool show, Axis axis, double position)
{
    if (!mainView_)
        return;
    if (!show) {
        mainView_->hideSlicePlaneIndicator();
        return;
    }
    const Vec3f lo = model_.boundsMin(), hi = model_.boundsMax();
    mainView_->setSlicePlaneIndicator(axis, float(position), QVector3D(lo.x, lo.y, lo.z), QVector3D(hi.x, hi.y, hi.z));
}

void MainWindow::onFitAll()
{
    mainView_->fitAll();
}

void MainWindow::onViewAlongX()
{
    mainView_->lookAlong(QVector3D(1, 0, 0));
}

void MainWindow::onViewAlongY()
{
    mainView_->lookAlong(QVector3D(0, 1, 0));
}

void MainWindow::onViewAlongZ()
{
    mainView_->lookAlong(QVector3D(0, 0, 1));
}

void MainWindow::onViewIsometric()
{
    onUseOrthographicProjection();
    mainView_->viewIsometric();
    wireView_->viewIsometric();
    statusBar()->showMessage(QStringLiteral("View: Isometric"));
}

void MainWindow::onUseOrthographicProjection()
{
    setProjection(true);
}

void MainWindow::onUsePerspectiveProjection()
{
    setProjection(false);
}

void MainWindow::setProjection(bool orthographic)
{
    mainView_->setOrthographic(orthographic);
    wireView_->setOrthographic(orthographic);
    if (orthographicAction_)
        orthographicAction_->setChecked(orthographic);
    if (perspectiveAction_)
        perspectiveAction_->setChecked(!orthographic);
    statusBar()->showMessage(orthographic ? QStringLiteral("Projection: Orthographic")
                                          : QStringLiteral("Projection: Perspective"));
}

void MainWindow::onModelColor()
{
    const QColor color = askColor(this, mainView_->modelColor(), QStringLiteral("Choose Model Color"),
                                  "HALVORAN_AUTOMATION_MODEL_COLOR", "#6ec8ff");
    if (!color.isValid())
        return;
    mainView_->setModelColor(color);
    wireView_->setModelColor(color);
    statusBar()->showMessage(QStringLiteral("Model color changed to %1").arg(color.name()));
}

void MainWindow::onBackgroundColor()
{
    const QVector3D bottom = mainView_->backgroundBottom();
    const QColor current = QColor::fromRgbF(bottom.x(), bottom.y(), bottom.z());
    const QColor color = askColor(this, current, QStringLiteral("Choose Background Color"),
                                  "HALVORAN_AUTOMATION_BACKGROUND_COLOR", "#10161f");
    if (!color.isValid())
        return;
    mainView_->setBackgroundColor(color);
    wireView_->setBackgroundColor(color);
    statusBar()->showMessage(QStringLiteral("Background color changed to %1").arg(color.name()));
}

void MainWindow::onContourColor()
{
    const QColor color = askColor(this, contourColor_, QStringLiteral("Choose Contour Color"),
                                  "HALVORAN_AUTOMATION_CONTOUR_COLOR", "#ffcc4d");
    if (!color.isValid())
        return;
    contourColor_ = color;
    if (section2D_)
        section2D_->setContourPenColor(color);
    statusBar()->showMessage(QStringLiteral("Contour color changed to %1").arg(color.name()));
}
