// Toolbars of the right pane: draw and measure tools on the 2D page, the
// wireframe tools on the wireframe page.
#include "ui/mainwindow/mainwindow.h"
#include "ui/mainwindow/toolbarrows.h"

#include "model/section/sectionsketch.h"
#include "model/sectionfit/fitparams.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QProgressBar>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>

namespace {

// The canvas tool each tool action selects, carried in its data.
struct ToolEntry {
    const char* text;
    sketch::Tool tool;
};

QToolBar* makeToolbar(QWidget* parent, const QString& title, const QString& name)
{
    auto* bar = new QToolBar(title, parent);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setFloatable(false);
    return bar;
}

} // namespace

void MainWindow::buildDrawToolbar()
{
    drawToolbar_ = makeToolbar(this, QStringLiteral("Draw Tools"), QStringLiteral("drawToolbar"));
    const auto addTools = [this](std::initializer_list<ToolEntry> tools) {
        for (const ToolEntry& entry : tools) {
            QAction* action = drawToolbar_->addAction(QString::fromLatin1(entry.text));
            action->setCheckable(true);
            action->setData(static_cast<int>(entry.tool));
            connect(action, &QAction::triggered, this, &MainWindow::onDrawToolTriggered);
        }
    };
    addTools({{"Line", sketch::Tool::Line}, {"Circle", sketch::Tool::Circle}, {"Rect", sketch::Tool::Rect},
              {"Polygon", sketch::Tool::Polygon}});
    drawToolbar_->addSeparator();
    addTools({{"Trace", sketch::Tool::Trace}, {"Offset", sketch::Tool::Offset}});
    drawToolbar_->addSeparator();
    addTools({{"Select", sketch::Tool::Select}, {"Eraser", sketch::Tool::Eraser}, {"Area Eraser", sketch::Tool::AreaEraser}});

    // The commands go on in a second row: one row is ~1060 px wide.
    QToolBar* row = continueToolbarRow(drawToolbar_);
    // One action on both 2D toolbars, handled once.
    snapAction_ = row->addAction(QStringLiteral("Snap"));
    snapAction_->setCheckable(true);
    connect(snapAction_, &QAction::triggered, this, &MainWindow::onDrawToolTriggered);
    row->addSeparator();

    brushCombo_ = new QComboBox(row);
    brushCombo_->setObjectName(QStringLiteral("brushCombo"));
    brushCombo_->addItems({QStringLiteral("Brush: Small"), QStringLiteral("Brush: Medium"), QStringLiteral("Brush: Large")});
    brushCombo_->setCurrentIndex(1);
    connect(brushCombo_, &QComboBox::currentIndexChanged, this, &MainWindow::onEraserSizeChanged);
    row->addWidget(brushCombo_);
    row->addSeparator();

    for (const char* text : {"Undo", "Delete", "Merge", "Clear"})
        addCommand(row, QString::fromLatin1(text), &MainWindow::onDrawToolTriggered);
}

void MainWindow::buildMeasureToolbar()
{
    measureToolbar_ = makeToolbar(this, QStringLiteral("Measure Tools"), QStringLiteral("measureToolbar"));
    const auto addTool = [this](const ToolEntry& entry) {
        QAction* action = measureToolbar_->addAction(QString::fromLatin1(entry.text));
        action->setCheckable(true);
        action->setData(static_cast<int>(entry.tool));
        connect(action, &QAction::triggered, this, &MainWindow::onMeasureToolTriggered);
    };
    for (const ToolEntry& entry : {ToolEntry{"Length", sketch::Tool::Length}, ToolEntry{"Radius", sketch::Tool::Radius},
                                   ToolEntry{"Arc", sketch::Tool::Arc}, ToolEntry{"Angle", sketch::Tool::Angle}})
        addTool(entry);
    measureToolbar_->addSeparator();
    addTool({"Point", sketch::Tool::Point});
    measureToolbar_->addSeparator();
    measureToolbar_->addAction(snapAction_);
    measureToolbar_->addSeparator();
    addCommand(measureToolbar_, QStringLiteral("Snapshot"), &MainWindow::onMeasureToolTriggered);
    measureToolbar_->addSeparator();

    // Fitting sits with the measure tools: the short toolbar keeps it in view.
    fitToleranceSpin_ = new QDoubleSpinBox(measureToolbar_);
    fitToleranceSpin_->setObjectName(QStringLiteral("fitToleranceSpin"));
    fitToleranceSpin_->setToolTip(QStringLiteral("Fit tolerance: largest distance between the section and its fit"));
    fitToleranceSpin_->setDecimals(3);
    fitToleranceSpin_->setRange(0.001, 10.0);
    fitToleranceSpin_->setSingleStep(0.01);
    fitToleranceSpin_->setValue(SectionFitParams().tolerance);
    fitToleranceSpin_->setSuffix(QStringLiteral(" mm"));
    // Narrow enough that the whole bar fits a 1366-pixel screen's right pane.
    fitToleranceSpin_->setMaximumWidth(86);
    measureToolbar_->addWidget(fitToleranceSpin_);
    QAction* fit = addCommand(measureToolbar_, QStringLiteral("Fit Lines/Arcs"), &MainWindow::onFitLinesArcs);
    fit->setObjectName(QStringLiteral("fitLinesArcsAction"));
}

void MainWindow::buildWireframeToolbar()
{
    wireToolbar_ = makeToolbar(this, QStringLiteral("Wireframe Tools"), QStringLiteral("wireToolbar"));

    wireMeasureAction_ = wireToolbar_->addAction(QStringLiteral("Measure"));
    wireMeasureAction_->setCheckable(true);
    connect(wireMeasureAction_, &QAction::toggled, this, &MainWindow::onWireMeasureToggled);
    wireSnapAction_ = wireToolbar_->addAction(QStringLiteral("Snap"));
    wireSnapAction_->setCheckable(true);
    wireSnapAction_->setChecked(true);
    connect(wireSnapAction_, &QAction::toggled, this, &MainWindow::onWireSnapToggled);
    wireSelectAction_ = wireToolbar_->addAction(QStringLiteral("Select Line"));
    wireSelectAction_->setCheckable(true);
    connect(wireSelectAction_, &QAction::toggled, this, &MainWindow::onWireSelectToggled);
    wireDeleteAction_ = addCommand(wireToolbar_, QStringLiteral("Delete Line"), &MainWindow::onWireDeleteSelected);
    wireKeepTopAction_ = addCommand(wireToolbar_, QStringLiteral("Keep N..."), &MainWindow::onWireKeepTopCount);
    wireClearMeasureAction_ = addCommand(wireToolbar_, QStringLiteral("Clear Measure"), &MainWindow::onWireClearMeasure);

    // Three rows: in one the bar is ~1180 px wide.
    QToolBar* row = continueToolbarRow(wireToolbar_);
    row->addWidget(new QLabel(QStringLiteral("Simple"), row));
    wireComplexitySlider_ = new QSlider(Qt::Horizontal, row);
    wireComplexitySlider_->setObjectName(QStringLiteral("wireComplexitySlider"));
    wireComplexitySlider_->setRange(10, 100);
    wireComplexitySlider_->setValue(70);
    wireComplexitySlider_->setFixedWidth(160);
    connect(wireComplexitySlider_, &QSlider::valueChanged, this, &MainWindow::onWireComplexityChanged);
    row->addWidget(wireComplexitySlider_);
    wireComplexityLabel_ = new QLabel(QStringLiteral("70%"), row);
    row->addWidget(wireComplexityLabel_);
    row->addWidget(new QLabel(QStringLiteral("Complex"), row));
    row->addSeparator();

    row->addWidget(new QLabel(QStringLiteral("Cleanup"), row));
    wireCleanupCombo_ = new QComboBox(row);
    wireCleanupCombo_->setObjectName(QStringLiteral("wireCleanupCombo"));
    wireCleanupCombo_->addItems({QStringLiteral("Balanced"), QStringLiteral("CAD Clean"), QStringLiteral("Aggressive")});
    wireCleanupCombo_->setCurrentIndex(1);
    connect(wireCleanupCombo_, &QComboBox::currentIndexChanged, this, &MainWindow::onWireCleanupChanged);
    row->addWidget(wireCleanupCombo_);

    row = continueToolbarRow(wireToolbar_);
    row->addWidget(new QLabel(QStringLiteral("Export"), row));
    wireExportCombo_ = new QComboBox(row);
    wireExportCombo_->setObjectName(QStringLiteral("wireExportCombo"));
    wireExportCombo_->addItems({QStringLiteral("Long Feature Polylines"), QStringLiteral("X/Y Lattice Vectors")});
    wireExportCombo_->setCurrentIndex(1);
    connect(wireExportCombo_, &QComboBox::currentIndexChanged, this, &MainWindow::onWireExportModeChanged);
    row->addWidget(wireExportCombo_);
    row->addSeparator();

    wireBuildLabel_ = new QLabel(QStringLiteral("Wire Build"), row);
    wireBuildLabel_->setObjectName(QStringLiteral("wireBuildLabel"));
    wireBuildLabel_->setFixedWidth(130);
    wireBuildLabelAction_ = row->addWidget(wireBuildLabel_);
    wireBuildProgress_ = new QProgressBar(row);
    wireBuildProgress_->setRange(0, 0);
    wireBuildProgress_->setFixedWidth(80);
    wireBuildProgress_->setTextVisible(false);
    wireBuildProgressAction_ = row->addWidget(wireBuildProgress_);
}

void MainWindow::updateWireframeControls(bool building, const QString& statusText)
{
    wireBuildLabelAction_->setVisible(building);
    wireBuildProgressAction_->setVisible(building);
    // Wire edits wait for the build and for any other long operation.
    const bool enable = !building && model_.hasMesh() && !busy_ && !loadInProgress_;
    wireComplexitySlider_->setEnabled(enable);
    wireCleanupCombo_->setEnabled(enable);
    wireExportCombo_->setEnabled(enable);
    wireSelectAction_->setEnabled(enable);
    wireDeleteAction_->setEnabled(enable);
    wireKeepTopAction_->setEnabled(enable);
    if (!statusText.isEmpty())
        statusBar()->showMessage(statusText);
    else if (!building && statusBar()->currentMessage().startsWith(QLatin1String("Building")))
        statusBar()->clearMessage(); // a finished build leaves no "Building..." behind
}
