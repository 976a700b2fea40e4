// Status panel, enabled state of the mesh commands, page switching and the
// window-wide Escape.
#include "ui/mainwindow/mainwindow.h"
#include "ui/view3d/occtmeshview.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QStatusBar>

QString MainWindow::modeText() const
{
    return modeLabel_->text();
}

void MainWindow::setMode(const QString& text)
{
    modeLabel_->setText(text);
}

void MainWindow::updateStatusPanel()
{
    if (!model_.hasMesh()) {
        fileLabel_->setText(QStringLiteral("No file loaded"));
        typeLabel_->setText(QStringLiteral("-"));
        verticesLabel_->setText(QStringLiteral("-"));
        facesLabel_->setText(QStringLiteral("-"));
        extentsLabel_->setText(QStringLiteral("-"));
        alignmentLabel_->setText(QStringLiteral("Not aligned"));
        return;
    }
    const auto renderCount = [](std::size_t render, std::size_t full) { return render ? render : full; };
    fileLabel_->setText(QFileInfo(QString::fromStdString(model_.sourcePath)).fileName());
    typeLabel_->setText(QStringLiteral("Mesh"));
    verticesLabel_->setText(QStringLiteral("%1 (render %2)")
                                .arg(model_.vertices.size())
                                .arg(renderCount(model_.displayVertices.size(), model_.vertices.size())));
    facesLabel_->setText(QStringLiteral("%1 (render %2)")
                             .arg(model_.faces.size())
                             .arg(renderCount(model_.displayFaces.size(), model_.faces.size())));
    const Vec3f e = model_.extents();
    extentsLabel_->setText(QStringLiteral("%1 x %2 x %3 mm")
                               .arg(double(e.x), 0, 'f', 1)
                               .arg(double(e.y), 0, 'f', 1)
                               .arg(double(e.z), 0, 'f', 1));
    alignmentLabel_->setText(aligned_ ? QStringLiteral("Aligned") : QStringLiteral("Not aligned"));
}

void MainWindow::setMeshCommandsEnabled(bool enabled)
{
    for (QAction* action : alignmentActions_)
        action->setEnabled(enabled);
    for (QAction* action : colorActions_)
        action->setEnabled(enabled);
    for (QAction* action : {exportDxfAction_, exportSvgAction_, export2DDrawingAction_, wireframeAction_,
                            exportWireframeDxfAction_, measure3DAction_, curvatureAction_})
        action->setEnabled(enabled);
    surfaceBuildButton_->setEnabled(enabled);
    qualityCombo_->setEnabled(enabled);
    surfaceClearButton_->setEnabled(enabled && surfaceBuildActive_);
}

void MainWindow::setSliceControlsEnabled(bool enabled)
{
    sliceAxisCombo_->setEnabled(enabled);
    sliceSlider_->setEnabled(enabled);
    sliceExactSpin_->setEnabled(enabled);
}

void MainWindow::onShowAlignmentControlsToggled(bool on)
{
    bottomControls_->setVisible(on);
    statusBar()->showMessage(on ? QStringLiteral("Bottom controls shown") : QStringLiteral("Bottom controls hidden"));
}

void MainWindow::onCancelInteraction()
{
    // The window's shortcut takes Escape before the view sees it.
    if (mainView_)
        mainView_->cancelInteraction();
    measure3DAction_->setChecked(false);
    alignPickActive_ = false;
    alignFacePicked_ = false;
    statusBar()->showMessage(QStringLiteral("Cancelled"));
}

void MainWindow::onShow2DSection()
{
    showRightPage(SectionPage);
    refresh3DViews();
}

void MainWindow::onShow3DWireframe()
{
    showRightPage(WireframePage);
    refresh3DViews();
}

void MainWindow::onWireframeToolbarToggled(bool on)
{
    if (on)
        onShow3DWireframe();
    else
        onShow2DSection();
}
