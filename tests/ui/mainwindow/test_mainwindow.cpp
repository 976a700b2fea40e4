// The window as built: start state, menus, toolbars, timers, the bottom
// controls switch and Escape.
#include "tests/ui/common/windowtest.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QTimer>

namespace {

// "text [shortcut] {flags}" per entry, "|" for separators.
QStringList menuLayout(QMenu* menu)
{
    QStringList entries;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            entries << QStringLiteral("|");
            continue;
        }
        QString entry = action->text();
        if (!action->shortcut().isEmpty())
            entry += QStringLiteral(" [%1]").arg(action->shortcut().toString());
        QString flags;
        if (action->isCheckable())
            flags += action->isChecked() ? QStringLiteral("checked") : QStringLiteral("checkable");
        if (!action->isEnabled())
            flags += flags.isEmpty() ? QStringLiteral("disabled") : QStringLiteral(",disabled");
        if (!flags.isEmpty())
            entry += QStringLiteral(" {%1}").arg(flags);
        entries << entry;
    }
    return entries;
}

} // namespace

class TestMainWindow : public WindowTest {
    Q_OBJECT

private slots:
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    void startStateAndMenus()
    {
        QCOMPARE(window_->windowTitle(), QStringLiteral("Halvoran 2.0"));
        QCOMPARE(window_->size(), QSize(1400, 800));
        QCOMPARE(status(), QStringLiteral("Ready - Load STL/ASC scan data to begin"));
        QCOMPARE(label("fileLabel"), QStringLiteral("No file loaded"));
        for (const char* name : {"typeLabel", "verticesLabel", "facesLabel", "extentsLabel"})
            QCOMPARE(label(name), QStringLiteral("-"));
        QCOMPARE(label("alignmentLabel"), QStringLiteral("Not aligned"));
        QCOMPARE(window_->modeText(), QStringLiteral("Navigation"));
        QVERIFY(!findAction(window_.get(), "Undo Alignment")->isEnabled());
        QVERIFY(!findAction(window_.get(), "Redo Alignment")->isEnabled());
        QVERIFY(!window_->model().hasMesh());
        QVERIFY(!window_->isLoadInProgress());
        QVERIFY(!window_->isBusy());
        QVERIFY(!child<QScrollArea>("bottomControls")->isVisible());
        // The mesh commands are off (test_mainwindow_load.cpp checks them all),
        // the surface-plane Clear too; loading stays possible.
        for (QPushButton* button : window_->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("Clear"))
                QVERIFY(!button->isEnabled());
        QVERIFY(findAction(window_.get(), "Open Scan...")->isEnabled());
        QVERIFY(findAction(window_.get(), "Load Scan")->isEnabled());

        // The menus' entries, shortcuts and states.
        QStringList titles;
        QList<QStringList> menus;
        for (QAction* action : window_->menuBar()->actions()) {
            titles << action->text();
            menus << menuLayout(action->menu());
        }
        QCOMPARE(titles, (QStringList{"&File", "&Edit", "&View", "&Tools"}));
        QCOMPARE(menus[0], (QStringList{"&Open Scan... [Ctrl+O]", "|", "&Save Session... [Ctrl+S]",
                                        "&Load Session... [Ctrl+Shift+S]", "|", "Export &DXF...", "Export S&VG...",
                                        "Export &Wireframe DXF...", "Export &Mesh..."}));
        QCOMPARE(menus[1], (QStringList{"&Undo Alignment [Ctrl+Z] {disabled}", "&Redo Alignment [Ctrl+Y] {disabled}", "|",
                                        "&File Coordinates"}));
        QCOMPARE(menus[2], (QStringList{"&Fit All [F]", "|", "View Along &X [1]", "View Along &Y [2]", "View Along &Z [3]",
                                        "|", "View &Isometric [4]", "|", "&Orthographic Projection {checked}",
                                        "&Perspective Projection {checkable}", "|", "&Wireframe Mode [W] {checkable}"}));
        QCOMPARE(menus[3], (QStringList{"3D &Measurement {checkable,disabled}", "Curvature &Heatmap {checkable,disabled}",
                                        "|", "Show &Bottom Controls {checkable}", "|", "&Slice Stack...",
                                        "&Compare Slice...", "&Fit Primitive", "|", "Add &Datum Plane...",
                                        "C&lear Datum Planes"}));
    }

    // The main toolbar, then the page toolbars, whose draw and measure Snap is
    // one action and the wireframe's another.
    void toolbarsInOrderAndSharedSnap()
    {
        QCOMPARE(toolbarLayout(findToolbar(window_.get(), "Main Toolbar")),
                 (QStringList{"Load Scan", "|", "Auto Orient", "Auto X", "Auto Y", "Auto Z", "Flip 180 X", "Flip 180 Y",
                              "Flip 180 Z", "Swap X<->Y", "Rect Snap", "Reset Alignment", "|", "Model Color",
                              "Background Color", "Contour Color", "|", "Export DXF", "Export SVG", "2D Drawing", "|",
                              "Wireframe", "Export Wireframe DXF"}));
        QVERIFY(findAction(window_.get(), "Wireframe")->isCheckable());
        QToolBar* draw = findToolbar(window_.get(), "Draw Tools");
        QToolBar* measure = findToolbar(window_.get(), "Measure Tools");
        QToolBar* wire = findToolbar(window_.get(), "Wireframe Tools");
        QVERIFY(draw && measure && wire);
        QStringList drawTexts = toolbarLayout(draw);
        drawTexts.replace(drawTexts.indexOf(QString()), QStringLiteral("<brush>"));
        QCOMPARE(drawTexts, (QStringList{"Line", "Circle", "Rect", "Polygon", "|", "Trace", "Offset", "|", "Select",
                                         "Eraser", "Area Eraser", "|", "Snap", "|", "<brush>", "|", "Undo", "Delete",
                                         "Merge", "Clear"}));
        QStringList measureTexts = toolbarLayout(measure);
        measureTexts.replace(measureTexts.indexOf(QString()), QStringLiteral("<tolerance>"));
        QCOMPARE(measureTexts, (QStringList{"Length", "Radius", "Arc", "Angle", "|", "Point", "|", "Snap", "|", "Snapshot",
                                            "|", "<tolerance>", "Fit Lines/Arcs"}));
        const QStringList wireTexts = toolbarLayout(wire);
        QCOMPARE(wireTexts.mid(0, 7),
                 (QStringList{"Measure", "Snap", "Select Line", "Delete Line", "Keep N...", "Clear Measure", "|"}));

        QAction* drawSnap = toolbarRowActions(draw).at(11);
        QAction* measureSnap = measure->actions().at(7);
        QCOMPARE(drawSnap, measureSnap);
        QVERIFY(drawSnap->isCheckable());
        QVERIFY(!drawSnap->isChecked());

        QAction* wireSnap = wire->actions().at(1);
        QVERIFY(wireSnap != drawSnap);
        QVERIFY(wireSnap->isCheckable() && wireSnap->isChecked());
        QVERIFY(wire->actions().at(0)->isCheckable() && !wire->actions().at(0)->isChecked());
        QVERIFY(wire->actions().at(2)->isCheckable());
    }

    // The window's two timers are idle single-shot debounces: the slice's and
    // the wireframe preview's, whose delay is clamped. Busy work stops both.
    void debounceTimersBottomControlsAndEscape()
    {
        QList<QTimer*> timers = window_->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(timers.size(), 2);
        for (QTimer* timer : timers)
            QVERIFY(timer->isSingleShot() && !timer->isActive());
        window_->scheduleWireframePreview(5);
        QTimer* preview = timers[0]->isActive() ? timers[0] : timers[1];
        QVERIFY(preview->isActive());
        QCOMPARE(preview->interval(), 20);
        window_->scheduleWireframePreview(1000);
        QCOMPARE(preview->interval(), 400);
        window_->scheduleWireframePreview(150);
        QCOMPARE(preview->interval(), 150);
        preview->stop();
        // No delay: the rebuild runs at once instead of arming the timer.
        window_->scheduleWireframePreview(0);
        QVERIFY(!preview->isActive());

        window_->scheduleWireframePreview(300);
        child<QSlider>("smooth2DSlider")->setValue(50); // arms the slice debounce
        QVERIFY(timers[0]->isActive() && timers[1]->isActive());
        QVERIFY(window_->beginBusyOperation(QStringLiteral("Fine Tune")));
        QVERIFY(!timers[0]->isActive() && !timers[1]->isActive());
        window_->endBusyOperation();
        QVERIFY(!QApplication::overrideCursor());

        // Show Bottom Controls toggles the panel and says so; Escape cancels and
        // ends a 3D measurement.
        QAction* toggle = findAction(window_.get(), "Show Bottom Controls");
        auto* bottom = child<QScrollArea>("bottomControls");
        toggle->trigger();
        QVERIFY(bottom->isVisible());
        QCOMPARE(status(), QStringLiteral("Bottom controls shown"));
        toggle->trigger();
        QVERIFY(!bottom->isVisible());
        QCOMPARE(status(), QStringLiteral("Bottom controls hidden"));

        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QTest::keyClick(window_.get(), Qt::Key_Escape);
        QCOMPARE(status(), QStringLiteral("Cancelled"));

        QAction* measure = findAction(window_.get(), "3D Measurement");
        measure->setEnabled(true);
        measure->setChecked(true);
        window_->statusBar()->clearMessage();
        QTest::keyClick(window_.get(), Qt::Key_Escape);
        QVERIFY(!measure->isChecked());
        QCOMPARE(status(), QStringLiteral("Cancelled"));
    }

private:
    QString label(const char* name) { return child<QLabel>(name)->text(); }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
