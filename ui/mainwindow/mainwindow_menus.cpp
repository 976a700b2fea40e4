// Menu bar and the main toolbar.
#include "ui/mainwindow/mainwindow.h"
#include "ui/mainwindow/toolbarrows.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

namespace {

QAction* addMenuCommand(QMenu* menu, const QString& text, const QString& shortcut = QString())
{
    QAction* action = menu->addAction(text);
    if (!shortcut.isEmpty())
        action->setShortcut(QKeySequence(shortcut));
    return action;
}

} // namespace

void MainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    openAction_ = addMenuCommand(file, QStringLiteral("&Open Scan..."), QStringLiteral("Ctrl+O"));
    connect(openAction_, &QAction::triggered, this, &MainWindow::onLoadMesh);
    file->addSeparator();
    saveSessionAction_ = addMenuCommand(file, QStringLiteral("&Save Session..."), QStringLiteral("Ctrl+S"));
    connect(saveSessionAction_, &QAction::triggered, this, &MainWindow::onSaveSession);
    loadSessionAction_ = addMenuCommand(file, QStringLiteral("&Load Session..."), QStringLiteral("Ctrl+Shift+S"));
    connect(loadSessionAction_, &QAction::triggered, this, &MainWindow::onLoadSession);
    file->addSeparator();
    connect(addMenuCommand(file, QStringLiteral("Export &DXF...")), &QAction::triggered, this,
            &MainWindow::onExportDxf);
    connect(addMenuCommand(file, QStringLiteral("Export S&VG...")), &QAction::triggered, this,
            &MainWindow::onExportSvg);
    connect(addMenuCommand(file, QStringLiteral("Export &Wireframe DXF...")), &QAction::triggered, this,
            &MainWindow::onExportWireframeDxf);
    QAction* exportMesh = addMenuCommand(file, QStringLiteral("Export &Mesh..."));
    exportMesh->setObjectName(QStringLiteral("exportMeshAction"));
    connect(exportMesh, &QAction::triggered, this, &MainWindow::onExportMesh);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    undoAction_ = addMenuCommand(edit, QStringLiteral("&Undo Alignment"), QStringLiteral("Ctrl+Z"));
    undoAction_->setEnabled(false);
    connect(undoAction_, &QAction::triggered, this, &MainWindow::onUndoAlignment);
    redoAction_ = addMenuCommand(edit, QStringLiteral("&Redo Alignment"), QStringLiteral("Ctrl+Y"));
    redoAction_->setEnabled(false);
    connect(redoAction_, &QAction::triggered, this, &MainWindow::onRedoAlignment);
    edit->addSeparator();
    QAction* fileCoordinates = addMenuCommand(edit, QStringLiteral("&File Coordinates"));
    fileCoordinates->setObjectName(QStringLiteral("fileCoordinatesAction"));
    connect(fileCoordinates, &QAction::triggered, this, &MainWindow::onFileCoordinates);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    connect(addMenuCommand(view, QStringLiteral("&Fit All"), QStringLiteral("F")), &QAction::triggered, this,
            &MainWindow::onFitAll);
    view->addSeparator();
    connect(addMenuCommand(view, QStringLiteral("View Along &X"), QStringLiteral("1")), &QAction::triggered, this,
            &MainWindow::onViewAlongX);
    connect(addMenuCommand(view, QStringLiteral("View Along &Y"), QStringLiteral("2")), &QAction::triggered, this,
            &MainWindow::onViewAlongY);
    connect(addMenuCommand(view, QStringLiteral("View Along &Z"), QStringLiteral("3")), &QAction::triggered, this,
            &MainWindow::onViewAlongZ);
    view->addSeparator();
    connect(addMenuCommand(view, QStringLiteral("View &Isometric"), QStringLiteral("4")), &QAction::triggered, this,
            &MainWindow::onViewIsometric);
    view->addSeparator();
    orthographicAction_ = addMenuCommand(view, QStringLiteral("&Orthographic Projection"));
    orthographicAction_->setCheckable(true);
    orthographicAction_->setChecked(true);
    connect(orthographicAction_, &QAction::triggered, this, &MainWindow::onUseOrthographicProjection);
    perspectiveAction_ = addMenuCommand(view, QStringLiteral("&Perspective Projection"));
    perspectiveAction_->setCheckable(true);
    connect(perspectiveAction_, &QAction::triggered, this, &MainWindow::onUsePerspectiveProjection);
    auto* projection = new QActionGroup(this);
    projection->setExclusive(true);
    projection->addAction(orthographicAction_);
    projection->addAction(perspectiveAction_);
    view->addSeparator();
    wireframeModeAction_ = addMenuCommand(view, QStringLiteral("&Wireframe Mode"), QStringLiteral("W"));
    wireframeModeAction_->setCheckable(true);
    connect(wireframeModeAction_, &QAction::toggled, this, &MainWindow::onWireframeToolbarToggled);

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    measure3DAction_ = addMenuCommand(tools, QStringLiteral("3D &Measurement"));
    measure3DAction_->setCheckable(true);
    measure3DAction_->setEnabled(false);
    connect(measure3DAction_, &QAction::triggered, this, &MainWindow::onMeasure3D);
    curvatureAction_ = addMenuCommand(tools, QStringLiteral("Curvature &Heatmap"));
    curvatureAction_->setCheckable(true);
    curvatureAction_->setEnabled(false);
    connect(curvatureAction_, &QAction::toggled, this, &MainWindow::onCurvatureToggled);
    tools->addSeparator();
    showBottomControlsAction_ = addMenuCommand(tools, QStringLiteral("Show &Bottom Controls"));
    showBottomControlsAction_->setCheckable(true);
    showBottomControlsAction_->setChecked(false);
    connect(showBottomControlsAction_, &QAction::toggled, this, &MainWindow::onShowAlignmentControlsToggled);
    tools->addSeparator();
    connect(addMenuCommand(tools, QStringLiteral("&Slice Stack...")), &QAction::triggered, this,
            &MainWindow::onSliceStack);
    connect(addMenuCommand(tools, QStringLiteral("&Compare Slice...")), &QAction::triggered, this,
            &MainWindow::onLoadComparisonSlice);
    connect(addMenuCommand(tools, QStringLiteral("&Fit Primitive")), &QAction::triggered, this,
            &MainWindow::onFitPrimitive);
    tools->addSeparator();
    connect(addMenuCommand(tools, QStringLiteral("Add &Datum Plane...")), &QAction::triggered, this,
            &MainWindow::onAddDatum);
    connect(addMenuCommand(tools, QStringLiteral("C&lear Datum Planes")), &QAction::triggered, this,
            &MainWindow::onClearDatums);
}

QAction* MainWindow::addCommand(QToolBar* bar, const QString& text, void (MainWindow::*slot)())
{
    QAction* action = bar->addAction(text);
    connect(action, &QAction::triggered, this, slot);
    return action;
}

void MainWindow::buildMainToolbar()
{
    mainToolbar_ = addToolBar(QStringLiteral("Main Toolbar"));
    mainToolbar_->setObjectName(QStringLiteral("mainToolbar"));
    mainToolbar_->setMovable(false);

    addCommand(mainToolbar_, QStringLiteral("Load Scan"), &MainWindow::onLoadMesh);
    mainToolbar_->addSeparator();

    alignmentActions_ = {
        addCommand(mainToolbar_, QStringLiteral("Auto Orient"), &MainWindow::onAutoFlatAlign),
        addCommand(mainToolbar_, QStringLiteral("Auto X"), &MainWindow::onAutoAlignX),
        addCommand(mainToolbar_, QStringLiteral("Auto Y"), &MainWindow::onAutoAlignY),
        addCommand(mainToolbar_, QStringLiteral("Auto Z"), &MainWindow::onAutoAlignZ),
        addCommand(mainToolbar_, QStringLiteral("Flip 180 X"), &MainWindow::onFlipXSide),
        addCommand(mainToolbar_, QStringLiteral("Flip 180 Y"), &MainWindow::onFlipYSide),
        addCommand(mainToolbar_, QStringLiteral("Flip 180 Z"), &MainWindow::onFlipZSide),
        addCommand(mainToolbar_, QStringLiteral("Swap X<->Y"), &MainWindow::onSwapXYAxes),
        addCommand(mainToolbar_, QStringLiteral("Rect Snap"), &MainWindow::onRectSnapAlign),
        addCommand(mainToolbar_, QStringLiteral("Reset Alignment"), &MainWindow::onResetAlignment),
    };

    // The bar is ~1880 px wide in one row: colours, exports and the
    // wireframe go on in a second row.
    addToolBarBreak();
    QToolBar* row = continueToolbarRow(mainToolbar_);
    addToolBar(row);
    colorActions_ = {
        addCommand(row, QStringLiteral("Model Color"), &MainWindow::onModelColor),
        addCommand(row, QStringLiteral("Background Color"), &MainWindow::onBackgroundColor),
        addCommand(row, QStringLiteral("Contour Color"), &MainWindow::onContourColor),
    };
    row->addSeparator();

    exportDxfAction_ = addCommand(row, QStringLiteral("Export DXF"), &MainWindow::onExportDxf);
    exportSvgAction_ = addCommand(row, QStringLiteral("Export SVG"), &MainWindow::onExportSvg);
    export2DDrawingAction_ = addCommand(row, QStringLiteral("2D Drawing"), &MainWindow::onExport2DDrawing);
    row->addSeparator();

    wireframeAction_ = row->addAction(QStringLiteral("Wireframe"));
    wireframeAction_->setCheckable(true);
    connect(wireframeAction_, &QAction::toggled, this, &MainWindow::onWireframeToolbarToggled);
    exportWireframeDxfAction_ =
        addCommand(row, QStringLiteral("Export Wireframe DXF"), &MainWindow::onExportWireframeDxf);
}
