#include "ui/mainwindow/mainwindow.h"

#include "model/section/slicecutter.h"

#include <QApplication>
#include <QKeySequence>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>

namespace {

const char* const kWindowStyle = R"(
QMainWindow { background: #1f2233; color: #e6e8ef; }
QWidget { background: #1f2233; color: #e6e8ef; }
QToolBar { background: #181b2a; border: 1px solid #2e334d; spacing: 2px; }
QToolButton { background: transparent; color: #dde3ff; border: 1px solid transparent; padding: 4px 6px; }
QToolButton:hover { border: 1px solid #5a6eb8; background: #2a3150; }
QToolButton:checked { border: 1px solid #6ea1ff; background: #334274; }
QPushButton { background: #2a2f47; border: 1px solid #454f77; padding: 4px 10px; }
QPushButton:checked { background: #3a4c8a; border: 1px solid #7ea0ff; }
QPushButton:hover { background: #31395b; }
QLineEdit, QComboBox, QDoubleSpinBox { background: #171a29; border: 1px solid #3a4265; padding: 2px 4px; }
QSlider::groove:horizontal { border: 1px solid #414c76; height: 6px; background: #171a29; }
QSlider::handle:horizontal { background: #85a8ff; border: 1px solid #c2d5ff; width: 10px; margin: -4px 0; }
QGroupBox { border: 1px solid #394264; margin-top: 8px; }
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 4px; color: #c8d4ff; }
QStatusBar { background: #171a29; border-top: 1px solid #2f3651; }
)";

// Room left for the window manager's title bar when the window is sized to
// the screen.
constexpr int kTitleBarAllowance = 32;

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Halvoran 2.0"));
    // 1400 x 800 where the screen has room; on a laptop screen a larger
    // window would put the status bar and the bottom rows off screen.
    QSize size(1400, 800);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize room = screen->availableGeometry().size() - QSize(0, kTitleBarAllowance);
        size = size.boundedTo(room);
    }
    resize(size);
    setStyleSheet(QString::fromLatin1(kWindowStyle));

    // Timers and watchers exist before any control can fire a handler.
    sliceDebounceTimer_ = new QTimer(this);
    sliceDebounceTimer_->setSingleShot(true);
    sliceDebounceTimer_->setInterval(60);
    connect(sliceDebounceTimer_, &QTimer::timeout, this, &MainWindow::onSliceDebounceTimeout);
    wirePreviewTimer_ = new QTimer(this);
    wirePreviewTimer_->setSingleShot(true);
    wirePreviewTimer_->setInterval(80);
    connect(wirePreviewTimer_, &QTimer::timeout, this, &MainWindow::onWirePreviewDebounceTimeout);
    sliceJob_ = std::make_unique<LatestJob<QList<QLineF>>>(
        this, [this](const QList<QLineF>& lines) { onSliceComputeFinished(lines); });
    cutterJob_ = std::make_unique<LatestJob<std::shared_ptr<const SliceCutter>>>(
        this, [this](const std::shared_ptr<const SliceCutter>& cutter) {
            // Built for the geometry the window still shows, or useless.
            if (cutter && cutter->serves(model_))
                sliceCutter_ = cutter;
        });
    createWireframeController();

    buildMenus();
    buildMainToolbar();

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(buildLeftPane());
    splitter->addWidget(buildRightPane());
    placeWireView();
    wireframe_->setControls({wireView_, wireComplexitySlider_, wireComplexityLabel_, wireCleanupCombo_,
                             wireExportCombo_, wireSelectAction_});
    splitter->setSizes({700, 700});
    setCentralWidget(splitter);

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &MainWindow::onCancelInteraction);

    showRightPage(SectionPage);
    updateWireframeControls(false, QString());
    setMeshCommandsEnabled(false);
    statusBar()->showMessage(QStringLiteral("Ready - Load STL/ASC scan data to begin"));
    updateStatusPanel();
}

MainWindow::~MainWindow()
{
    // A load still running on the pool must not call back into a dead window.
    if (loadWatcher_)
        loadWatcher_->disconnect(this);
    sliceJob_->detach();
    cutterJob_->detach();
    releaseLoadCursor();
    if (busy_)
        QApplication::restoreOverrideCursor();
}
