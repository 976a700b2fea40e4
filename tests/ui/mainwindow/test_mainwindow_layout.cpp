// The window at common screen sizes: at the default splitter position every
// toolbar entry and every control of the current page is shown whole, inside
// the window, enabled once a scan is loaded, and is what a click there hits.
#include "tests/ui/common/windowtest.h"
#include "ui/view3d/occtmeshview.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDir>
#include <QPainter>
#include <QSlider>
#include <QToolBar>

#include <cstdlib>

namespace {

// A maximised window: the screen less ~60 px of title bar and panel.
struct ScreenCase {
    const char* name;
    QSize window;
};
const ScreenCase kScreens[] = {
    {"1366x768", {1366, 705}},
    {"1600x1000", {1600, 937}},
    {"1920x1080", {1920, 1017}},
};

// What is wrong with how w is shown, or empty: clipped by an ancestor,
// outside the window, or covered where a click would land.
QString shownWholeProblem(QWidget* w, QWidget* window)
{
    if (!w->isVisible())
        return QStringLiteral("hidden");
    QRect rect(w->mapTo(window, QPoint(0, 0)), w->size());
    for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget()) {
        const QRect parentRect(p->mapTo(window, QPoint(0, 0)), p->size());
        if (!parentRect.contains(rect))
            return QStringLiteral("clipped by %1 %2").arg(QString::fromLatin1(p->metaObject()->className()), p->objectName());
    }
    if (!window->rect().contains(rect))
        return QStringLiteral("outside the window");
    QWidget* hit = window->childAt(rect.center());
    if (hit != w && !w->isAncestorOf(hit))
        return QStringLiteral("covered by %1").arg(hit ? QString::fromLatin1(hit->metaObject()->className())
                                                         : QStringLiteral("nothing"));
    return {};
}

// Pixels of a 3D view's image far from the background of their row (its
// left edge), triad corner excluded: the drawn part or its lines.
int drawnPixels(const QImage& image)
{
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QColor bg = image.pixelColor(1, y);
        for (int x = 0; x < image.width(); ++x) {
            if (x < 130 && y > image.height() - 130)
                continue;
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - bg.red()) + std::abs(c.green() - bg.green()) + std::abs(c.blue() - bg.blue()) > 60)
                ++drawn;
        }
    }
    return drawn;
}

QString describe(QWidget* w)
{
    if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty())
        return button->text();
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
}

} // namespace

class TestMainWindowLayout : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        writeScan(scanPath_, "scan.stl", 6000);
        shotDir_ = QDir::current().absoluteFilePath(QStringLiteral("screenshots"));
        QVERIFY(QDir().mkpath(shotDir_));
    }

    void cleanup() { closeWindow(); }

    void everyEntryShownAtScreenSizes_data()
    {
        QTest::addColumn<QSize>("size");
        for (const ScreenCase& screen : kScreens)
            QTest::newRow(screen.name) << screen.window;
    }

    void everyEntryShownAtScreenSizes()
    {
        QFETCH(QSize, size);
        openWindow(false, size);
        load(scanPath_);
        MainWindow& window = *window_;
        QCOMPARE(window.size(), size);

        auto* mode = window.findChild<QComboBox*>(QStringLiteral("modeCombo"));
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        checkPage(window, tag + QStringLiteral("_slice"),
                  {"sliceAxisCombo", "sliceSlider", "sliceExactSpin", "bandThicknessSpin", "qualityCombo",
                   "keepRatioSlider", "smooth2DSlider", "brushCombo", "fitToleranceSpin"});
        mode->setCurrentIndex(1);
        checkPage(window, tag + QStringLiteral("_drawing"), {"zThresholdSlider", "zThresholdSpin"});
        mode->setCurrentIndex(0);
        window.onShow3DWireframe();
        QTRY_VERIFY_WITH_TIMEOUT(findAction(&window, QStringLiteral("Select Line"))->isEnabled(), kLoadTimeoutMs);
        // The finished build leaves no "Building..." in the status bar.
        QVERIFY2(!window.statusBar()->currentMessage().startsWith(QStringLiteral("Building")),
                 qPrintable(window.statusBar()->currentMessage()));
        // The wireframe view draws the part's lines once it has painted a
        // frame; a grab before that showed an empty page.
        auto* wireView = window.findChild<OcctMeshView*>(QStringLiteral("wireView"));
        QVERIFY(wireView && wireView->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(drawnPixels(wireView->grabFramebuffer()) > 2000, kLoadTimeoutMs);
        checkPage(window, tag + QStringLiteral("_wireframe"),
                  {"wireComplexitySlider", "wireCleanupCombo", "wireExportCombo"});
        // QWidget::grab leaves the reparented wireframe view empty although
        // the screen shows it: paint its own frame into the screenshot.
        QImage shot = window.grab().toImage();
        QPainter(&shot).drawImage(wireView->mapTo(&window, QPoint(0, 0)), wireView->grabFramebuffer());
        QVERIFY(shot.save(QDir(shotDir_).filePath(tag + QStringLiteral("_wireframe.png"))));
    }

private:
    // Every visible toolbar entry and input control, plus the named ones.
    void checkPage(MainWindow& window, const QString& shot, std::initializer_list<const char*> named)
    {
        QTest::qWait(50);
        QVERIFY(window.grab().save(QDir(shotDir_).filePath(shot + QStringLiteral(".png"))));
        int entries = 0;
        for (QToolBar* bar : window.findChildren<QToolBar*>()) {
            if (!bar->isVisible())
                continue;
            for (QAction* action : bar->actions()) {
                if (action->isSeparator() || !action->isVisible())
                    continue;
                QWidget* w = bar->widgetForAction(action);
                QVERIFY2(w, qPrintable(action->text()));
                const QString name = action->text().isEmpty() ? describe(w) : action->text();
                const QString problem = shownWholeProblem(w, &window);
                QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("%1: %2 (%3)").arg(shot, name, problem)));
                QVERIFY2(bar->rect().contains(w->geometry()), qPrintable(name));
                QVERIFY2(w->isEnabled(), qPrintable(shot + QStringLiteral(": ") + name + QStringLiteral(" disabled")));
                ++entries;
            }
            // The extension arrow shows only when entries did not fit.
            for (QAbstractButton* extension : bar->findChildren<QAbstractButton*>(QStringLiteral("qt_toolbar_ext_button")))
                QVERIFY2(!extension->isVisible(), qPrintable(shot + QStringLiteral(": ") + bar->windowTitle()));
        }
        QVERIFY(entries > 20);
        for (const char* name : named) {
            auto* w = window.findChild<QWidget*>(QString::fromLatin1(name));
            QVERIFY2(w, name);
            QVERIFY2(w->isVisible(), qPrintable(shot + QStringLiteral(": ") + QString::fromLatin1(name)));
        }
        for (QWidget* w : window.findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                                 qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QSlider*>(w);
            if (!control || !w->isVisible() || w->objectName().startsWith(QStringLiteral("qt_")))
                continue;
            const QString problem = shownWholeProblem(w, &window);
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("%1: %2 (%3)").arg(shot, describe(w), problem)));
        }
    }

    QString scanPath_;
    QString shotDir_;
};

QTEST_MAIN(TestMainWindowLayout)
#include "test_mainwindow_layout.moc"
