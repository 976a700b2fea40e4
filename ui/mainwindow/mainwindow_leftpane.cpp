// Left pane: the main 3D view, the repair row and the bottom controls.
#include "ui/mainwindow/mainwindow.h"

#include "ui/view3d/occtmeshview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QVBoxLayout>

namespace {

QComboBox* makeCombo(QWidget* parent, const QStringList& items, int current)
{
    auto* combo = new QComboBox(parent);
    combo->addItems(items);
    combo->setCurrentIndex(current);
    return combo;
}

QDoubleSpinBox* makeSpin(QWidget* parent, double min, double max, double step, double value, const QString& suffix)
{
    auto* spin = new QDoubleSpinBox(parent);
    spin->setDecimals(1);
    spin->setRange(min, max);
    spin->setSingleStep(step);
    spin->setValue(value);
    spin->setSuffix(suffix);
    return spin;
}

QSlider* makeSlider(QWidget* parent, int min, int max, int value)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(min, max);
    slider->setValue(value);
    return slider;
}

// A row of widgets packed to the left.
QWidget* makeRow(QWidget* parent, const QList<QWidget*>& widgets)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    for (QWidget* w : widgets) {
        w->setParent(row);
        layout->addWidget(w);
    }
    layout->addStretch(1);
    return row;
}

} // namespace

QWidget* MainWindow::buildLeftPane()
{
    auto* pane = new QWidget(this);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    mainViewHost_ = new QWidget(pane);
    mainViewHost_->setObjectName(QStringLiteral("mainViewHost"));
    auto* hostLayout = new QVBoxLayout(mainViewHost_);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    mainViewHost_->setMinimumSize(200, 150);
    layout->addWidget(mainViewHost_, 3);
    createViews();
    hostLayout->addWidget(mainView_);

    auto* repairRow = new QWidget(pane);
    auto* repairLayout = new QHBoxLayout(repairRow);
    repairLayout->setContentsMargins(4, 0, 4, 0);
    const struct {
        const char* text;
        void (MainWindow::*slot)();
    } repairButtons[] = {
        {"Repair Mesh", &MainWindow::onRepairMesh},
        {"Detect Holes", &MainWindow::onDetectHoles},
        {"Fill Holes", &MainWindow::onFillHoles},
    };
    for (const auto& entry : repairButtons) {
        auto* button = new QPushButton(QString::fromLatin1(entry.text), repairRow);
        button->setFixedHeight(26);
        connect(button, &QPushButton::clicked, this, entry.slot);
        repairLayout->addWidget(button);
    }
    repairLayout->addStretch(1);
    layout->addWidget(repairRow);

    layout->addWidget(buildBottomControls(), 2);
    return pane;
}

QWidget* MainWindow::buildBottomControls()
{
    // Many rows: scroll rather than squeeze the 3D view.
    bottomControls_ = new QScrollArea(this);
    bottomControls_->setObjectName(QStringLiteral("bottomControls"));
    bottomControls_->setWidgetResizable(true);
    bottomControls_->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(bottomControls_);
    auto* form = new QFormLayout(content);
    form->setContentsMargins(6, 4, 6, 4);
    form->setSpacing(4);

    // Band thickness, quality, long segments and 2D smooth shape every
    // section: they sit with it in the right pane (buildSliceCleanupRows).
    alignTargetCombo_ = makeCombo(content, {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")}, 2);
    alignTargetCombo_->setObjectName(QStringLiteral("alignTargetCombo"));
    form->addRow(QStringLiteral("Align Target:"), alignTargetCombo_);

    pickOnMeshCheck_ = new QCheckBox(QStringLiteral("Pick directly on mesh"), content);
    pickOnMeshCheck_->setChecked(true);
    form->addRow(QStringLiteral("Plane Pick:"), pickOnMeshCheck_);

    surfaceBuildButton_ = new QPushButton(QStringLiteral("Build On Surface"));
    surfaceBuildButton_->setEnabled(false);
    connect(surfaceBuildButton_, &QPushButton::clicked, this, &MainWindow::onStartSurfaceBuildPick);
    surfaceClearButton_ = new QPushButton(QStringLiteral("Clear"));
    surfaceClearButton_->setEnabled(false);
    connect(surfaceClearButton_, &QPushButton::clicked, this, &MainWindow::onClearSurfaceBuildPlane);
    form->addRow(QStringLiteral("Surface CAD:"), makeRow(content, {surfaceBuildButton_, surfaceClearButton_}));

    rectSideCombo_ = makeCombo(content,
                               {QStringLiteral("Right"), QStringLiteral("Left"), QStringLiteral("Top"), QStringLiteral("Bottom")}, 0);
    form->addRow(QStringLiteral("Rect Side:"), rectSideCombo_);
    edgeAxisCombo_ = makeCombo(content, {QStringLiteral("X"), QStringLiteral("Y")}, 0);
    form->addRow(QStringLiteral("Edge Axis:"), edgeAxisCombo_);
    rectTrimSpin_ = makeSpin(content, 0.0, 15.0, 0.5, 2.0, QStringLiteral(" %"));
    form->addRow(QStringLiteral("Rect Trim:"), rectTrimSpin_);

    const struct {
        const char* text;
        void (MainWindow::*slot)();
    } arrows[] = {
        {"+X", &MainWindow::onArrowPlusX},   {"-X", &MainWindow::onArrowMinusX},
        {"+Y", &MainWindow::onArrowPlusY},   {"-Y", &MainWindow::onArrowMinusY},
        {"+45", &MainWindow::onArrowPlus45}, {"-45", &MainWindow::onArrowMinus45},
        {"+90", &MainWindow::onArrowPlus90}, {"-90", &MainWindow::onArrowMinus90},
    };
    QList<QWidget*> arrowButtons;
    for (const auto& entry : arrows) {
        auto* button = new QPushButton(QString::fromLatin1(entry.text));
        connect(button, &QPushButton::clicked, this, entry.slot);
        arrowButtons.append(button);
    }
    form->addRow(QStringLiteral("Arrows:"), makeRow(content, arrowButtons));

    keepVectorButton_ = new QPushButton(QStringLiteral("Keep Vector Select"));
    keepVectorButton_->setCheckable(true);
    connect(keepVectorButton_, &QPushButton::toggled, this, &MainWindow::onKeepVectorToggled);
    auto* clearKept = new QPushButton(QStringLiteral("Clear Kept Vectors"));
    connect(clearKept, &QPushButton::clicked, this, &MainWindow::onClearKeptVectors);
    form->addRow(QStringLiteral("Keep Mode:"), makeRow(content, {keepVectorButton_, clearKept}));

    edgeAngleSpin_ = makeSpin(content, 1.0, 90.0, 5.0, 30.0, QStringLiteral(" deg"));
    edgeAngleSpin_->setObjectName(QStringLiteral("edgeAngleSpin"));
    connect(edgeAngleSpin_, &QDoubleSpinBox::valueChanged, this, &MainWindow::onEdgeAngleChanged);
    form->addRow(QStringLiteral("Edge Angle:"), edgeAngleSpin_);

    auto* fineTune = new QGroupBox(QStringLiteral("Fine-Tune Rotation"), content);
    auto* grid = new QGridLayout(fineTune);
    grid->setContentsMargins(6, 12, 6, 6);
    QSlider** sliders[] = {&fineTuneX_, &fineTuneY_, &fineTuneZ_};
    const char* labels[] = {"X:", "Y:", "Z:"};
    for (int i = 0; i < 3; ++i) {
        *sliders[i] = makeSlider(fineTune, -100, 100, 0);
        (*sliders[i])->setObjectName(QStringLiteral("fineTune%1").arg(QChar(u'X' + i)));
        grid->addWidget(new QLabel(QString::fromLatin1(labels[i]), fineTune), i, 0);
        grid->addWidget(*sliders[i], i, 1);
    }
    auto* apply = new QPushButton(QStringLiteral("Apply Fine-Tune"), fineTune);
    connect(apply, &QPushButton::clicked, this, &MainWindow::onFineTuneApply);
    grid->addWidget(apply, 3, 0, 1, 2);
    form->addRow(fineTune);

    bottomControls_->setWidget(content);
    bottomControls_->setVisible(false);
    return bottomControls_;
}
