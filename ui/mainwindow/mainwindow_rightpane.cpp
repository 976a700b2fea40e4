// Right pane: page switches, slice row, drawing controls, the stacked 2D and
// wireframe pages, information panel and layer switches.
#include "ui/mainwindow/mainwindow.h"
#include "ui/section2d/section2dwidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
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
    layout->addWidget(drawToolbar_);
    layout->addWidget(measureToolbar_);
    layout->addWidget(wireToolbar_);
    layout->addWidget(buildSliceRow());
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

    auto* checkRow = new QWidget(drawingControls_);
    auto* checkLayout = tightRow(checkRow);
    boundaryCheck_ = new QCheckBox(QStringLiteral("Boundary"), checkRow);
    boundaryCheck_->setChecked(true);
    sharpEdgesCheck_ = new QCheckBox(QStringLiteral("Sharp Edges"), checkRow);
    sharpEdgesCheck_->setChecked(true);
    hiddenLinesCheck_ = new QCheckBox(QStringLiteral("Hidden lines"), checkRow);
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
    auto* form = new QFormLayout(group);
    form->setContentsMargins(6, 12, 6, 6);
    form->setVerticalSpacing(2);
    const auto addLabel = [&](const QString& row, const QString& name, const QString& text = QString()) {
        auto* label = new QLabel(text, group);
        label->setObjectName(name);
        form->addRow(row, label);
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
    drawToolbar_->setVisible(!wire);
    measureToolbar_->setVisible(!wire);
    wireToolbar_->setVisible(wire);
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
}
