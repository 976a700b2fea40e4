// Right pane: page switches, slice row, drawing controls, the stacked 2D and
// wireframe pages, information panel and layer switches.
#include "ui/mainwindow/mainwindow.h"
#include "ui/mainwindow/toolbarrows.h"
#include "ui/section2d/section2dwidget.h"

#include "model/section/sectiondefaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const QString kActivePageStyle = QStringLiteral(
    "QPushButton { background: #3a3a4a; color: #ffffff; border: 1px solid #555; font-weight: bold; padding: 2px 12px; }");
const QString kInactivePageStyle =
    QStringLiteral("QPushButton { background: #2a2a2a; color: #888; border: 1px solid #444; padding: 2px 12px; }");

// The Z threshold spans 0.01 .. ~2000 mm on a slider of 0..100.
constexpr double kZThresholdDecades = 5.301;

QHBoxLayout* tightRow(QWidget* parent)
{
    auto* layout = new QHBoxLayout(parent);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(4);
    return layout;
}

QSlider* fixedSlider(QWidget* parent, int min, int max, int value, int width)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(min, max);
    slider->setValue(value);
    slider->setFixedWidth(width);
    return slider;
}

QLabel* valueLabel(QWidget* parent, int value)
{
    auto* label = new QLabel(QString::number(value), parent);
    label->setFixedWidth(22);
    label->setStyleSheet(QStringLiteral("color: #aaa; font-size: 10px;"));
    return label;
}

double zThresholdFromSlider(int value)
{
    return std::pow(10.0, value / 100.0 * kZThresholdDecades - 2.0);
}

int zThresholdSliderFor(double millimetres)
{
    const long slider = std::lround((std::log10(std::max(millimetres, 0.01)) + 2.0) / kZThresholdDecades * 100.0);
    return int(std::clamp(slider, 0L, 100L));
}

} // namespace

QWidget* MainWindow::buildRightPane()
{
    auto* pane = new QWidget(this);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    layout->addWidget(buildTopBar());
    buildDrawToolbar();
    buildMeasureToolbar();
    buildWireframeToolbar();
    for (QToolBar* bar : {drawToolbar_, measureToolbar_, wireToolbar_})
        for (QToolBar* row : toolbarRows(bar))
            layout->addWidget(row);
    layout->addWidget(buildSliceRow());
    layout->addWidget(buildSliceCleanupRows());
    layout->addWidget(buildDrawingControls());

    rightStack_ = new QStackedWidget(pane);
    rightStack_->setObjectName(QStringLiteral("rightStack"));
    // The section canvas sits in page 0, the wireframe OcctMeshView goes into page 1.
    sectionCanvasHost_ = new QWidget(rightStack_);
    sectionCanvasHost_->setObjectName(QStringLiteral("sectionCanvasHost"));
    new QVBoxLayout(sectionCanvasHost_);
    sectionCanvasHost_->layout()->setContentsMargins(0, 0, 0, 0);
    section2D_ = new Section2DWidget(sectionCanvasHost_);
    section2D_->setObjectName(QStringLiteral("section2D"));
    // Lower than the canvas' own minimum so the window fits a 768-pixel screen.
    section2D_->setMinimumSize(240, 150);
    sectionCanvasHost_->layout()->addWidget(section2D_);
    wireViewHost_ = new QWidget(rightStack_);
    wireViewHost_->setObjectName(QStringLiteral("wireViewHost"));
    new QVBoxLayout(wireViewHost_);
    wireViewHost_->layout()->setContentsMargins(0, 0, 0, 0);
    rightStack_->addWidget(sectionCanvasHost_);
    rightStack_->addWidget(wireViewHost_);
    layout->addWidget(rightStack_, 1);

    layout->addWidget(buildInformationPanel());
    layout->addWidget(buildLayerSwitches());
    return pane;
}

QWidget* MainWindow::buildTopBar()
{
    auto* bar = new QWidget(this);
    auto* row = tightRow(bar);

    show2DButton_ = new QPushButton(QStringLiteral("2D"), bar);
    show2DButton_->setCheckable(true);
    show2DButton_->setChecked(true);
    show2DButton_->setFixedHeight(28);
    connect(show2DButton_, &QPushButton::clicked, this, &MainWindow::onShow2DSection);
    row->addWidget(show2DButton_);

    modeCombo_ = new QComboBox(bar);
    modeCombo_->setObjectName(QStringLiteral("modeCombo"));
    modeCombo_->addItems({QStringLiteral("2D Slice"), QStringLiteral("2D Drawing")});
    modeCombo_->setFixedHeight(28);
    modeCombo_->setMinimumWidth(100);
    connect(modeCombo_, &QComboBox::currentIndexChanged, this, &MainWindow::on2DModeChanged);
    row->addWidget(modeCombo_);

    showWireButton_ = new QPushButton(QStringLiteral("3D Wireframe"), bar);
    showWireButton_->setCheckable(true);
    showWireButton_->setFixedHeight(28);
    connect(showWireButton_, &QPushButton::clicked, this, &MainWindow::onShow3DWireframe);
    row->addWidget(showWireButton_);

    row->addWidget(new QLabel(QStringLiteral("Slice Axis:"), bar));
    sliceAxisCombo_ = new QComboBox(bar);
    sliceAxisCombo_->setObjectName(QStringLiteral("sliceAxisCombo"));
    sliceAxisCombo_->addItems({QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")});
    sliceAxisCombo_->setCurrentIndex(2);
    sliceAxisCombo_->setMinimumWidth(84);
    connect(sliceAxisCombo_, &QComboBox::currentIndexChanged, this, &MainWindow::onSliceAxisChanged);
    row->addWidget(sliceAxisCombo_);
    row->addStretch(1);
    return bar;
}

QWidget* MainWindow::buildSliceRow()
{
    sliceRow_ = new QWidget(this);
    auto* row = tightRow(sliceRow_);
    row->addWidget(new QLabel(QStringLiteral("Slice:"), sliceRow_));
    sliceSlider_ = new QSlider(Qt::Horizontal, sliceRow_);
    sliceSlider_->setObjectName(QStringLiteral("sliceSlider"));
    sliceSlider_->setRange(0, 1000);
    sliceSlider_->setValue(500);
    sliceSlider_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(sliceSlider_, &QSlider::valueChanged, this, &MainWindow::onSliceSliderChanged);
    row->addWidget(sliceSlider_, 1);
    sliceExactSpin_ = new QDoubleSpinBox(sliceRow_);
    sliceExactSpin_->setObjectName(QStringLiteral("sliceExactSpin"));
    sliceExactSpin_->setDecimals(2);
    sliceExactSpin_->setRange(-1e9, 1e9);
    sliceExactSpin_->setSuffix(QStringLiteral(" mm"));
    sliceExactSpin_->setMinimumWidth(120);
    connect(sliceExactSpin_, &QDoubleSpinBox::valueChanged, this, &MainWindow::onSliceExactChanged);
    row->addWidget(sliceExactSpin_);
    return sliceRow_;
}

QWidget* MainWindow::buildSliceCleanupRows()
{
    // Two compact rows under the slice row: these change every section and
    // every export, so they stay in view with it.
    sliceCleanupRows_ = new QWidget(this);
    sliceCleanupRows_->setObjectName(QStringLiteral("sliceCleanupRows"));
    auto* grid = new QGridLayout(sliceCleanupRows_);
    grid->setContentsMargins(4, 0, 4, 0);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);

    bandThicknessSpin_ = new QDoubleSpinBox(sliceCleanupRows_);
    bandThicknessSpin_->setObjectName(QStringLiteral("bandThicknessSpin"));
    bandThicknessSpin_->setDecimals(1);
    bandThicknessSpin_->setRange(0.0, 50.0);
    bandThicknessSpin_->setSingleStep(0.1);
    bandThicknessSpin_->setSuffix(QStringLiteral(" mm"));
    // Value changes take the debounced path; the slot itself refreshes at once.
    connect(bandThicknessSpin_, &QDoubleSpinBox::valueChanged, this, [this](double) { startSliceDebounce(); });
    grid->addWidget(new QLabel(QStringLiteral("Band Thickness:"), sliceCleanupRows_), 0, 0);
    grid->addWidget(bandThicknessSpin_, 0, 1);

    qualityCombo_ = new QComboBox(sliceCleanupRows_);
    qualityCombo_->setObjectName(QStringLiteral("qualityCombo"));
    qualityCombo_->addItems({QStringLiteral("Fast"), QStringLiteral("Balanced"), QStringLiteral("High Quality")});
    qualityCombo_->setCurrentIndex(1);
    connect(qualityCombo_, &QComboBox::currentIndexChanged, this, &MainWindow::onQualityPresetChanged);
    grid->addWidget(new QLabel(QStringLiteral("Quality:"), sliceCleanupRows_), 1, 0);
    grid->addWidget(qualityCombo_, 1, 1);

    const auto percentSlider = [&](int row, const QString& label, int min, int value, QSlider*& slider,
                                   QLabel*& number, const char* name) {
        slider = new QSlider(Qt::Horizontal, sliceCleanupRows_);
        slider->setObjectName(QString::fromLatin1(name));
        slider->setRange(min, 100);
        slider->setValue(value);
        number = new QLabel(QStringLiteral("%1%").arg(value), sliceCleanupRows_);
        number->setMinimumWidth(34);
        grid->addWidget(new QLabel(label, sliceCleanupRows_), row, 2);
        grid->addWidget(slider, row, 3);
        grid->addWidget(number, row, 4);
    };
    percentSlider(0, QStringLiteral("Long Segments:"), 5, kDefaultKeepPercent, keepRatioSlider_, keepRatioLabel_,
                  "keepRatioSlider");
    connect(keepRatioSlider_, &QSlider::valueChanged, this, &MainWindow::onKeepRatioChanged);
    percentSlider(1, QStringLiteral("2D Smooth:"), 0, kDefaultSmoothStrength, smooth2DSlider_, smooth2DLabel_,
                  "smooth2DSlider");
    connect(smooth2DSlider_, &QSlider::valueChanged, this, &MainWindow::onSmooth2DChanged);
    grid->setColumnStretch(3, 1);
    return sliceCleanupRows_;
}

QWidget* MainWindow::buildDrawingControls()
{
    drawingControls_ = new QWidget(this);
    drawingControls_->setObjectName(QStringLiteral("drawingControls"));
    auto* rows = new QVBoxLayout(drawingControls_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);

    auto* viewRow = new QWidget(drawingControls_);
    auto* viewLayout = tightRow(viewRow);
    viewLayout->addWidget(new QLabel(QStringLiteral("View:"), viewRow));
    drawingViewCombo_ = new QComboBox(viewRow);
    drawingViewCombo_->addItems({QStringLiteral("Top (XY)"), QStringLiteral("Front (XZ)"), QStringLiteral("Right (YZ)")});
    viewLayout->addWidget(drawingViewCombo_);
    auto* generate = new QPushButton(QStringLiteral("Generate"), viewRow);
    generate->setFixedHeight(26);
    connect(generate, &QPushButton::clicked, this, &MainWindow::onGenerate2DDrawing);
    viewLayout->addWidget(generate);
    viewLayout->addStretch(1);
    rows->addWidget(viewRow);

    auto* zRow = new QWidget(drawingControls_);
    auto* zLayout = tightRow(zRow);
    zLayout->addWidget(new QLabel(QStringLiteral("Z Threshold:"), zRow));
    zThresholdSlider_ = fixedSlider(zRow, 0, 100, 30, 90);
    zThresholdSlider_->setObjectName(QStringLiteral("zThresholdSlider"));
    zThresholdSpin_ = new QDoubleSpinBox(zRow);
    zThresholdSpin_->setObjectName(QStringLiteral("zThresholdSpin"));
    zThresholdSpin_->setRange(0.01, 2000.0);
    zThresholdSpin_->setDecimals(2);
    zThresholdSpin_->setSuffix(QStringLiteral(" mm"));
    zThresholdSpin_->setValue(0.5);
    zThresholdSpin_->setFixedWidth(100);
    connect(zThresholdSlider_, &QSlider::valueChanged, this, &MainWindow::onZThresholdSliderChanged);
    connect(zThresholdSpin_, &QDoubleSpinBox::valueChanged, this, &MainWindow::onZThresholdSpinChanged);
    zLayout->addWidget(zThresholdSlider_);
    zLayout->addWidget(zThresholdSpin_);
    zLayout->addStretch(1);
    rows->addWidget(zRow);

    const auto sliderRow = [&](const QString& label, QSlider*& slider, int value) {
        auto* row = new QWidget(drawingControls_);
        auto* rowLayout = tightRow(row);
        rowLayout->addWidget(new QLabel(label, row));
        slider = fixedSlider(row, 0, 100, value, 90);
        QLabel* number = valueLabel(row, value);
        connect(slider, &QSlider::valueChanged, number, [number](int v) { number->setNum(v); });
        rowLayout->addWidget(slider);
        rowLayout->addWidget(number);
        rowLayout->addStretch(1);
        rows->addWidget(row);
    };
    sliderRow(QStringLiteral("Min Size:"), minSizeSlider_, 30);
    sliderRow(QStringLiteral("Detail Level:"), detailSlider_, 50);
    minSizeSlider_->setObjectName(QStringLiteral("drawingMinSizeSlider"));
    detailSlider_->setObjectName(QStringLiteral("drawingDetailSlider"));

    auto* checkRow = new QWidget(drawingControls_);
    auto* checkLayout = tightRow(checkRow);
    boundaryCheck_ = new QCheckBox(QStringLiteral("Boundary"), checkRow);
    boundaryCheck_->setChecked(true);
    sharpEdgesCheck_ = new QCheckBox(QStringLiteral("Sharp Edges"), checkRow);
    sharpEdgesCheck_->setChecked(true);
    hiddenLinesCheck_ = new QCheckBox(QStringLiteral("Hidden lines"), checkRow);
    hiddenLinesCheck_->setObjectName(QStringLiteral("hiddenLinesCheck"));
    checkLayout->addWidget(boundaryCheck_);
    checkLayout->addWidget(sharpEdgesCheck_);
    checkLayout->addWidget(hiddenLinesCheck_);
    checkLayout->addStretch(1);
    rows->addWidget(checkRow);
    return drawingControls_;
}

void MainWindow::onZThresholdSliderChanged(int value)
{
    const QSignalBlocker block(zThresholdSpin_);
    zThresholdSpin_->setValue(zThresholdFromSlider(value));
}

void MainWindow::onZThresholdSpinChanged(double value)
{
    const QSignalBlocker block(zThresholdSlider_);
    zThresholdSlider_->setValue(zThresholdSliderFor(value));
}

QWidget* MainWindow::buildInformationPanel()
{
    auto* group = new QGroupBox(QStringLiteral("Information"), this);
    // Two columns of label pairs: four rows leave the canvas room on a
    // 768-pixel screen.
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(6, 12, 6, 6);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(8);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    int next = 0;
    const auto addLabel = [&](const QString& row, const QString& name, const QString& text = QString()) {
        auto* label = new QLabel(text, group);
        label->setObjectName(name);
        const int r = next / 2, c = (next % 2) * 2;
        grid->addWidget(new QLabel(row, group), r, c);
        grid->addWidget(label, r, c + 1);
        ++next;
        return label;
    };
    fileLabel_ = addLabel(QStringLiteral("File:"), QStringLiteral("fileLabel"));
    typeLabel_ = addLabel(QStringLiteral("Type:"), QStringLiteral("typeLabel"));
    verticesLabel_ = addLabel(QStringLiteral("Vertices:"), QStringLiteral("verticesLabel"));
    facesLabel_ = addLabel(QStringLiteral("Faces:"), QStringLiteral("facesLabel"));
    extentsLabel_ = addLabel(QStringLiteral("Extents:"), QStringLiteral("extentsLabel"));
    alignmentLabel_ = addLabel(QStringLiteral("Alignment:"), QStringLiteral("alignmentLabel"));
    modeLabel_ = addLabel(QStringLiteral("Mode:"), QStringLiteral("modeLabel"), QStringLiteral("Navigation"));
    return group;
}

QWidget* MainWindow::buildLayerSwitches()
{
    auto* group = new QGroupBox(QStringLiteral("Layers"), this);
    auto* row = new QHBoxLayout(group);
    row->setContentsMargins(6, 12, 6, 6);
    const struct {
        const char* text;
        const char* layer;
        QCheckBox** check;
    } layers[] = {
        {"Contour", "contour", &layerContourCheck_},
        {"Annot", "annotation", &layerAnnotationCheck_},
        {"Measure", "measurement", &layerMeasurementCheck_},
        {"Kept", "kept", &layerKeptCheck_},
        {"Fit", "fit", &layerFitCheck_},
    };
    for (const auto& entry : layers) {
        auto* check = new QCheckBox(QString::fromLatin1(entry.text), group);
        check->setObjectName(QStringLiteral("layer%1Check").arg(QString::fromLatin1(entry.text)));
        check->setChecked(true);
        const QString layer = QString::fromLatin1(entry.layer);
        connect(check, &QCheckBox::toggled, this, [this, layer](bool on) { applyLayerVisibility(layer, on); });
        row->addWidget(check);
        *entry.check = check;
    }
    row->addStretch(1);
    return group;
}

bool MainWindow::isWireframePageShown() const
{
    return rightStack_->currentIndex() == WireframePage;
}

void MainWindow::showRightPage(RightPage page)
{
    const bool wire = page == WireframePage;
    rightStack_->setCurrentIndex(page);
    show2DButton_->setChecked(!wire);
    showWireButton_->setChecked(wire);
    show2DButton_->setStyleSheet(wire ? kInactivePageStyle : kActivePageStyle);
    showWireButton_->setStyleSheet(wire ? kActivePageStyle : kInactivePageStyle);
    for (QToolBar* bar : {drawToolbar_, measureToolbar_})
        for (QToolBar* row : toolbarRows(bar))
            row->setVisible(!wire);
    for (QToolBar* row : toolbarRows(wireToolbar_))
        row->setVisible(wire);
    {
        // The menu entry and the toolbar toggle mirror the page.
        const QSignalBlocker blockMenu(wireframeModeAction_);
        const QSignalBlocker blockBar(wireframeAction_);
        wireframeModeAction_->setChecked(wire);
        wireframeAction_->setChecked(wire);
    }
    updateRightPaneVisibility();
}

void MainWindow::updateRightPaneVisibility()
{
    const bool wire = isWireframePageShown();
    const bool drawingMode = modeCombo_->currentIndex() == 1;
    drawingControls_->setVisible(drawingMode && !wire);
    sliceRow_->setVisible(!drawingMode && !wire);
    sliceCleanupRows_->setVisible(!drawingMode && !wire);
}
