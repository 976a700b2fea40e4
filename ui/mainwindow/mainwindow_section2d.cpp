// The 2D page: slice/drawing mode, drawing generation, draw and measure
// tools, kept vectors and layers. The canvas itself is Section2DWidget.
#include "ui/mainwindow/mainwindow.h"
#include "ui/section2d/section2dwidget.h"

#include "app/automation.h"

#include <QAction>
#include <QComboBox>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QToolBar>

namespace {

const char* const kBrushNames[3] = {"Small", "Medium", "Large"};

QString actionText(const QAction* action)
{
    return QString(action->text()).remove(QLatin1Char('&'));
}

// Tool actions carry their canvas tool number; Snap and the commands do not.
bool isToolAction(const QAction* action)
{
    return action->isCheckable() && action->data().isValid();
}

// One canvas tool at a time: checking a tool unchecks every other tool
// action on both 2D toolbars.
void uncheckOtherTools(const QAction* keep, std::initializer_list<QToolBar*> bars)
{
    for (QToolBar* bar : bars) {
        if (!bar)
            continue;
        for (QAction* action : bar->actions())
            if (action != keep && isToolAction(action) && action->isChecked())
                action->setChecked(false);
    }
}

} // namespace

void MainWindow::on2DModeChanged(int index)
{
    updateRightPaneVisibility();
    if (index == 0 && model_.hasMesh())
        refresh2DSection();
}

void MainWindow::leaveDrawingMode()
{
    // A drawing of the geometry before a change is stale: back to the slice,
    // which the caller refreshes.
    if (!modeCombo_ || modeCombo_->currentIndex() != 1)
        return;
    {
        const QSignalBlocker block(modeCombo_);
        modeCombo_->setCurrentIndex(0);
    }
    updateRightPaneVisibility();
    if (section2D_)
        section2D_->setSectionLines(sectionLines_);
}

void MainWindow::onDrawToolTriggered()
{
    auto* action = qobject_cast<QAction*>(sender());
    if (!action || !section2D_)
        return;
    const QString text = actionText(action);

    if (action == snapAction_ || text == QLatin1String("Snap")) {
        section2D_->setSnapEnabled(action->isChecked());
        statusBar()->showMessage(action->isChecked() ? QStringLiteral("Snap enabled")
                                                     : QStringLiteral("Snap disabled"));
        return;
    }
    for (int i = 0; i < 3; ++i) {
        if (text == QStringLiteral("Brush: %1").arg(QLatin1String(kBrushNames[i]))) {
            onEraserSizeChanged(i);
            return;
        }
    }
    if (text == QLatin1String("Undo")) {
        section2D_->undoLastAnnotation();
        statusBar()->showMessage(QStringLiteral("Undo last annotation"));
        return;
    }
    if (text == QLatin1String("Delete")) {
        statusBar()->showMessage(section2D_->deleteSelected() ? QStringLiteral("Deleted selected item")
                                                              : QStringLiteral("Nothing selected"));
        return;
    }
    if (text == QLatin1String("Clear")) {
        section2D_->clearAnnotations();
        statusBar()->showMessage(QStringLiteral("Cleared annotations"));
        return;
    }
    if (text == QLatin1String("Merge")) {
        if (section2D_->mergeSelectedAnnotation()) {
            sectionLines_ = section2D_->sectionLines();
            statusBar()->showMessage(QStringLiteral("Merged annotation into contour data"));
        } else {
            statusBar()->showMessage(QStringLiteral("Select a non-measure annotation to merge"));
        }
        return;
    }
    if (!isToolAction(action))
        return;

    QString name = QStringLiteral("Navigation");
    if (action->isChecked()) {
        uncheckOtherTools(action, {drawToolbar_, measureToolbar_});
        section2D_->setTool(static_cast<sketch::Tool>(action->data().toInt()));
        name = text;
    } else {
        section2D_->setTool(sketch::Tool::Navigation);
    }
    setMode(QStringLiteral("2D Draw: %1").arg(name));
    statusBar()->showMessage(QStringLiteral("Draw tool selected: %1").arg(name));
}

void MainWindow::onMeasureToolTriggered()
{
    auto* action = qobject_cast<QAction*>(sender());
    if (!action || !section2D_)
        return;
    const QString text = actionText(action);

    if (text == QLatin1String("Snapshot")) {
        const QString path = automationSaveFileName(
            this, QStringLiteral("Save Snapshot"), QStringLiteral("snapshot.bmp"),
            QStringLiteral("BMP Image (*.bmp);;PNG Image (*.png);;JPEG Image (*.jpg);;All Files (*)"),
            "HALVORAN_AUTOMATION_SNAPSHOT");
        if (path.isEmpty())
            return;
        QPixmap pixmap = section2D_->grab();
        if (pixmap.isNull()) {
            pixmap = QPixmap(section2D_->size().expandedTo(QSize(1, 1)));
            pixmap.fill(Qt::transparent);
            section2D_->render(&pixmap, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
        }
        if (pixmap.save(path)) {
            statusBar()->showMessage(QStringLiteral("Snapshot saved to %1").arg(path));
        } else {
            QMessageBox::warning(this, QStringLiteral("Save Snapshot"),
                                 QStringLiteral("Failed to save snapshot. Try BMP if PNG/JPEG codecs are unavailable."));
            statusBar()->showMessage(QStringLiteral("Snapshot export failed"));
        }
        return;
    }
    // Snap sits on both toolbars as one action, handled by onDrawToolTriggered.
    if (!isToolAction(action))
        return;

    QString name = QStringLiteral("Navigation");
    if (action->isChecked()) {
        uncheckOtherTools(action, {measureToolbar_, drawToolbar_});
        section2D_->setTool(static_cast<sketch::Tool>(action->data().toInt()));
        name = text;
    } else {
        section2D_->setTool(sketch::Tool::Navigation);
    }
    setMode(QStringLiteral("2D Measure: %1").arg(name));
    statusBar()->showMessage(QStringLiteral("Measure tool selected: %1").arg(name));
}

void MainWindow::onEraserSizeChanged(int index)
{
    if (!section2D_)
        return;
    section2D_->setEraserSize(index);
    const int size = section2D_->eraserSize();
    if (brushCombo_ && brushCombo_->currentIndex() != size) {
        const QSignalBlocker block(brushCombo_);
        brushCombo_->setCurrentIndex(size);
    }
    statusBar()->showMessage(QStringLiteral("Eraser brush size: %1").arg(QLatin1String(kBrushNames[size])));
}

void MainWindow::onKeepVectorToggled(bool on)
{
    if (!section2D_)
        return;
    section2D_->setKeepVectorMode(on);
    if (keepVectorButton_ && keepVectorButton_->isChecked() != on) {
        const QSignalBlocker block(keepVectorButton_);
        keepVectorButton_->setChecked(on);
    }
    statusBar()->showMessage(on ? QStringLiteral("Keep vector mode: drag rectangle in 2D view")
                                : QStringLiteral("Keep vector mode off"));
}

void MainWindow::onClearKeptVectors()
{
    if (section2D_)
        section2D_->clearKeptIndices();
    statusBar()->showMessage(QStringLiteral("Kept vectors cleared"));
}

void MainWindow::applyLayerVisibility(const QString& layer, bool on)
{
    if (section2D_)
        section2D_->setLayerVisible(layer, on);
}
