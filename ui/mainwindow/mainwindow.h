#pragma once

#include "model/align/alignmenthistory.h"
#include "model/mesh/meshmodel.h"
#include "model/wireframe/lattice.h"
#include "export/dxfwriter.h"
#include "io/sessionfile.h"
#include "model/section/sectionrequest.h"
#include "model/section/sectionlines.h"
#include "ui/mainwindow/latestjob.h"
#include "ui/mainwindow/wireframecontroller.h"

#include <QFutureWatcher>
#include <QLineF>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QVector3D>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QProgressDialog;
class QPushButton;
class QScrollArea;
class QSlider;
class QStackedWidget;
class QTimer;
class QToolBar;
class QVBoxLayout;
class QElapsedTimer;
class QTextStream;
class OcctMeshView;
class Section2DWidget;
class SliceCutter;
struct DrawingExportContext;
enum class DrawingView : std::int32_t;

// The single window: owns the working mesh and turns user commands into core
// calls. Long work runs on the global thread pool; one operation at a time.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    struct LoadResult {
        bool success = false;
        QString errorMessage;
        QString filePath;
        std::shared_ptr<MeshModel> mesh; // already auto-aligned, caches built
        std::string alignmentFallback;   // why the box pose was not used; empty when it was
        qint32 requestId = 0;
    };

    // Pages of the right-hand stacked widget.
    enum RightPage { SectionPage = 0, WireframePage = 1 };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    void beginAsyncLoad(const QString& path);
    bool runReleaseSmokeTest(const QString& meshPath, const QString& outputDir, QString& error);

    bool beginBusyOperation(const QString& modeText);
    void endBusyOperation();

    // Restarts the wireframe preview debounce (clamped to 20..400 ms), or
    // rebuilds at once for a delay below 1 ms.
    void scheduleWireframePreview(int delayMs);

    const MeshModel& model() const { return model_; }
    bool isLoadInProgress() const { return loadInProgress_; }
    bool isBusy() const { return busy_; }
    bool isAligned() const { return aligned_; }
    const AlignmentHistory& alignmentHistory() const { return alignmentHistory_; }
    bool isAlignPickActive() const { return alignPickActive_; }
    bool isAlignFacePicked() const { return alignFacePicked_; }
    QString modeText() const;
    const SectionLines& sectionLines() const { return sectionLines_; }
    // Background slice tasks started since construction.
    int sliceTasksStarted() const { return sliceJob_->started(); }
    // The exact-cut index for the current geometry; null until the worker
    // that builds it after every geometry change is done.
    const std::shared_ptr<const SliceCutter>& sliceCutter() const { return sliceCutter_; }

    // The empty containers the 3D views and the section canvas are placed in.
    QWidget* mainViewHost() const { return mainViewHost_; }
    QWidget* sectionCanvasHost() const { return sectionCanvasHost_; }
    QWidget* wireViewHost() const { return wireViewHost_; }
    Section2DWidget* sectionCanvas() const { return section2D_; }

public slots:
    // File
    void onLoadMesh();
    void onSaveSession();
    void onLoadSession();
    void onExportDxf();
    void onExportSvg();
    void onExportWireframeDxf();
    void onExport2DDrawing();
    void onExportMesh();
    // Edit and alignment
    void onUndoAlignment();
    void onRedoAlignment();
    void onFileCoordinates();
    void onAutoFlatAlign();
    void onAutoAlignX();
    void onAutoAlignY();
    void onAutoAlignZ();
    void onFlipXSide();
    void onFlipYSide();
    void onFlipZSide();
    void onSwapXYAxes();
    void onRectSnapAlign();
    void onResetAlignment();
    void onArrowPlusX();
    void onArrowMinusX();
    void onArrowPlusY();
    void onArrowMinusY();
    void onArrowPlus45();
    void onArrowMinus45();
    void onArrowPlus90();
    void onArrowMinus90();
    void onFineTuneApply();
    void onFacePicked(const QVector3D& normal, const QVector3D& inPlaneRef);
    void onArrowsShown();
    void onArrowPicked(const QVector3D& normal, const QVector3D& inPlaneRef, float angleDeg, const QString& label);
    // View
    void onFitAll();
    void onViewAlongX();
    void onViewAlongY();
    void onViewAlongZ();
    void onViewIsometric();
    void onUseOrthographicProjection();
    void onUsePerspectiveProjection();
    void onModelColor();
    void onBackgroundColor();
    void onContourColor();
    // Tools and analysis
    void onMeasure3D();
    void onMeasurement3DResult(float distance, const QVector3D& first, const QVector3D& second);
    void onCurvatureToggled(bool on);
    void onShowAlignmentControlsToggled(bool on);
    void onSliceStack();
    void onLoadComparisonSlice();
    void onFitPrimitive();
    void onAddDatum();
    void onClearDatums();
    // Repair
    void onRepairMesh();
    void onDetectHoles();
    void onFillHoles();
    void onHoleWireSegmentPicked(int index, const QVector3D& start, const QVector3D& end);
    // Slicing
    void onSliceAxisChanged(int index);
    void onSliceSliderChanged(int value);
    void onSliceExactChanged(double value);
    void onBandThicknessChanged(double value);
    void onQualityPresetChanged(int index);
    void onKeepRatioChanged(int value);
    void onSmooth2DChanged(int value);
    void onKeepVectorToggled(bool on);
    void onClearKeptVectors();
    void onStartSurfaceBuildPick();
    void onClearSurfaceBuildPlane();
    void onSurfaceBuildPlanePicked(const QVector3D& normal, const QVector3D& inPlaneRef, const QVector3D& point);
    // 2D page
    void onShow2DSection();
    void onShow3DWireframe();
    void on2DModeChanged(int index);
    void onGenerate2DDrawing();
    void onEdgeAngleChanged(double degrees);
    void onDrawToolTriggered();
    void onMeasureToolTriggered();
    void onEraserSizeChanged(int index);
    // "Fit Lines/Arcs": the current plane's exact section as fitted lines,
    // arcs and circles on the fit layer (mainwindow_sectionfit.cpp).
    void onFitLinesArcs();
    // Wireframe
    void onWireframeToolbarToggled(bool on);
    void onWireMeasureToggled(bool on);
    void onWireSnapToggled(bool on);
    void onWireSelectToggled(bool on);
    void onWireDeleteSelected();
    void onWireKeepTopCount();
    void onWireClearMeasure();
    void onWireComplexityChanged(int value);
    void onWireCleanupChanged(int index);
    void onWireExportModeChanged(int index);
    void onWireSegmentPicked(int index, const QVector3D& start, const QVector3D& end);

private slots:
    void endAsyncLoad();
    void onLoadCanceled();
    void onCancelInteraction();
    void onSliceDebounceTimeout();
    void onWirePreviewDebounceTimeout();
    void onZThresholdSliderChanged(int value);
    void onZThresholdSpinChanged(double value);

private:
    // 2D drawing (mainwindow_drawing.cpp).
    DrawingOptions drawingOptionsForView(DrawingView view) const;
    // Runs the extraction behind the modal progress dialog; false when cancelled.
    bool computeDrawingWithProgress(const DrawingOptions& options, std::vector<MeshModel::DrawingEdge2D>& edges);
    // Asks for the path and writes; false when nothing was written.
    bool saveDrawingFile(const DrawingExportContext& context, DrawingView view);
    // The visible section lines, kept marks and annotations for a section
    // export, after the entity check; false (with its message) when there is
    // nothing to write or the user declined.
    bool gatherSectionExport(const QString& formatName, SectionDxfContent& content);
    // Writes one section file behind the export progress dialog; a cancel or
    // a failed write leaves no file behind.
    void writeSectionFile(const QString& format, const QString& path, const QElapsedTimer& timer,
                          const std::function<bool(QTextStream&, const ItemProgress&)>& write, int items);
    // Construction, one builder per region.
    void buildMenus();
    void buildMainToolbar();
    QWidget* buildLeftPane();
    QWidget* buildBottomControls();
    QWidget* buildRightPane();
    QWidget* buildTopBar();
    QWidget* buildSliceRow();
    QWidget* buildSliceCleanupRows();
    // Back from "2D Drawing" to "2D Slice" when the drawing went stale.
    void leaveDrawingMode();
    QWidget* buildDrawingControls();
    QWidget* buildInformationPanel();
    QWidget* buildLayerSwitches();
    void buildDrawToolbar();
    void buildMeasureToolbar();
    void buildWireframeToolbar();
    QAction* addCommand(QToolBar* bar, const QString& text, void (MainWindow::*slot)());

    // Status and enabled state.
    void updateStatusPanel();
    void setMeshCommandsEnabled(bool enabled);
    void setSliceControlsEnabled(bool enabled);
    void setMode(const QString& text);
    void showRightPage(RightPage page);
    void updateRightPaneVisibility();
    void updateWireframeControls(bool building, const QString& statusText);
    void applyLayerVisibility(const QString& layer, bool on);

    // Load pipeline.
    void closeLoadProgress();
    void releaseLoadCursor();
    void showLoadError(const QString& message);
    static LoadResult runLoadTask(const QString& path, qint32 requestId, std::shared_ptr<Progress> progress);

    // Hooks of the section, view and wireframe families.
    void refresh2DSection();
    void refresh3DViews();
    void updateSliceRangeForAxis();
    void invalidateSectionState();
    // After every geometry change: builds the fast exact cutter off the interface thread.
    void startSliceCutterWarmUp();
    // What a session file stores, read from the controls and the canvas.
    SessionSettings currentSessionSettings() const;
    // A session's slice plane and drawn work wait for the scan it reloads
    // (mainwindow_session.cpp): the load's own set-up would recentre the
    // plane, and the kept marks index the section at the saved plane.
    struct PendingSessionRestore {
        qint32 requestId = 0;
        SessionSettings settings;
    };
    std::optional<PendingSessionRestore> pendingSession_;
    void applySessionSlicePlane(const SessionSettings& s);
    void applySessionDrawnWork(const SessionSettings& s, bool withKept);
    // After the load with this request id ended; loaded: it succeeded.
    void finishSessionRestore(qint32 requestId, bool loaded);
    void startSliceDebounce();
    SectionRequest currentSectionRequest() const;
    Axis currentSliceAxis() const;
    void acceptSection(const SectionLines& lines, const SectionRequest& request);
    // Fits belong to one plane: a section of another plane (or mesh) drops them.
    void dropStaleFits(const SectionRequest& shown);
    int positionToSliderValue(double position) const;
    void updateSlicePlaneIndicator();
    void exitSurfaceBuildMode(bool refresh);
    void handSectionToCanvas();

    // Smoke-test helpers.
    bool waitForIdle(int timeoutMs);
    // waitForIdle that reports the smoke test's time-out text.
    bool waitIdle(QString& error, int timeoutMs = 120000);
    bool clickButton(const QString& text, QString& error);
    bool triggerAction(const QString& text, QString& error);
    bool triggerToolbarAction(QToolBar* bar, const QString& text, QString& error);

    bool isWireframePageShown() const;

    MeshModel model_;
    bool aligned_ = false;
    bool loadInProgress_ = false;
    bool loadCursorPushed_ = false;
    qint32 loadRequestCounter_ = 0;
    bool busy_ = false;

    // Interactive picking (alignment) and the section's surface plane.
    bool alignPickActive_ = false;
    bool alignFacePicked_ = false;
    Axis alignTargetAxis_ = Axis::Z;
    QVector3D alignPickedNormal_{0, 0, 1};
    QVector3D alignPickedRef_{1, 0, 0};
    AlignmentHistory alignmentHistory_;
    const void* historyMeshId_ = nullptr; // loaded arrays the history belongs to

    // Alignment commands (mainwindow_alignment*.cpp).
    // After every mesh change: views, section, slice bounds, status panel.
    void refreshAfterGeometryChange(bool clearPick);
    // Undo entry before a change; repair commands pass withFaces.
    void pushUndoSnapshot(bool withFaces = false);
    // One alignment-type geometry change: busy guard, undo entry, the
    // operation, the refresh after it, a warning on failure. True on success.
    bool runGeometryCommand(const QString& busyLabel, const QString& failureTitle, const QString& fallback,
                            bool undoWithFaces, const std::function<bool(std::string*)>& operation);
    void updateUndoRedoActions();
    void startAlignPick(Axis axis);
    Axis currentAlignTarget() const;
    bool applyPickedFaceAlignment(Axis axis, float angleDeg, const QString& label);
    bool applyPrincipalAxisOrientation(Axis axis, float angleDeg, const QString& label);
    void applyArrow(float angleDeg, const QString& label);
    void applyFlip(Axis axis);
    void stepAlignmentHistory(bool undo);
    // Drops history entries of a previously loaded mesh.
    void syncHistoryWithMesh();
    bool surfaceBuildActive_ = false;

    SectionLines sectionLines_;
    // A fresh background section for the current controls.
    void onSliceComputeFinished(const QList<QLineF>& lines);
    std::unique_ptr<LatestJob<QList<QLineF>>> sliceJob_;
    std::shared_ptr<const SliceCutter> sliceCutter_;
    std::unique_ptr<LatestJob<std::shared_ptr<const SliceCutter>>> cutterJob_;
    bool updatingSliceControls_ = false; // the window itself is moving the slice controls
    QVector3D surfacePlaneNormal_{0, 0, 1};
    QVector3D surfacePlaneOrigin_{0, 0, 0};
    QVector3D surfacePlaneU_{1, 0, 0};
    QVector3D surfacePlaneV_{0, 1, 0};

    SectionCacheKey sectionKey_;

    QFutureWatcher<LoadResult>* loadWatcher_ = nullptr;
    QPointer<QProgressDialog> loadProgress_;
    // The running load's cancel: "Cancel" stops the importer's work (kills the
    // STEP reader) instead of only dropping its result.
    std::shared_ptr<Progress> loadCancel_;
    QTimer* sliceDebounceTimer_ = nullptr;
    QTimer* wirePreviewTimer_ = nullptr;

    // Menus.
    QAction* openAction_ = nullptr;
    QAction* saveSessionAction_ = nullptr;
    QAction* loadSessionAction_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    QAction* orthographicAction_ = nullptr;
    QAction* perspectiveAction_ = nullptr;
    QAction* wireframeModeAction_ = nullptr;
    QAction* measure3DAction_ = nullptr;
    QAction* curvatureAction_ = nullptr;
    QAction* showBottomControlsAction_ = nullptr;

    // Main toolbar.
    QToolBar* mainToolbar_ = nullptr;
    QList<QAction*> alignmentActions_; // the ten, in toolbar order
    QList<QAction*> colorActions_;
    QAction* exportDxfAction_ = nullptr;
    QAction* exportSvgAction_ = nullptr;
    QAction* export2DDrawingAction_ = nullptr;
    QAction* wireframeAction_ = nullptr;
    QAction* exportWireframeDxfAction_ = nullptr;

    // Left pane.
    QWidget* mainViewHost_ = nullptr;
    QScrollArea* bottomControls_ = nullptr;
    QDoubleSpinBox* bandThicknessSpin_ = nullptr;
    QComboBox* qualityCombo_ = nullptr;
    QComboBox* alignTargetCombo_ = nullptr;
    QCheckBox* pickOnMeshCheck_ = nullptr;
    QPushButton* surfaceBuildButton_ = nullptr;
    QPushButton* surfaceClearButton_ = nullptr;
    QComboBox* rectSideCombo_ = nullptr;
    QComboBox* edgeAxisCombo_ = nullptr;
    QDoubleSpinBox* rectTrimSpin_ = nullptr;
    QSlider* keepRatioSlider_ = nullptr;
    QLabel* keepRatioLabel_ = nullptr;
    QSlider* smooth2DSlider_ = nullptr;
    QLabel* smooth2DLabel_ = nullptr;
    QPushButton* keepVectorButton_ = nullptr;
    QDoubleSpinBox* edgeAngleSpin_ = nullptr;
    QSlider* fineTuneX_ = nullptr;
    QSlider* fineTuneY_ = nullptr;
    QSlider* fineTuneZ_ = nullptr;

    // Right pane.
    QPushButton* show2DButton_ = nullptr;
    QPushButton* showWireButton_ = nullptr;
    QComboBox* modeCombo_ = nullptr;
    QComboBox* sliceAxisCombo_ = nullptr;
    QWidget* sliceRow_ = nullptr;
    QWidget* sliceCleanupRows_ = nullptr;
    QSlider* sliceSlider_ = nullptr;
    QDoubleSpinBox* sliceExactSpin_ = nullptr;
    QWidget* drawingControls_ = nullptr;
    QComboBox* drawingViewCombo_ = nullptr;
    QSlider* zThresholdSlider_ = nullptr;
    QDoubleSpinBox* zThresholdSpin_ = nullptr;
    QSlider* minSizeSlider_ = nullptr;
    QSlider* detailSlider_ = nullptr;
    QCheckBox* boundaryCheck_ = nullptr;
    QCheckBox* sharpEdgesCheck_ = nullptr;
    QCheckBox* hiddenLinesCheck_ = nullptr;
    QStackedWidget* rightStack_ = nullptr;
    QWidget* sectionCanvasHost_ = nullptr;
    Section2DWidget* section2D_ = nullptr;
    QWidget* wireViewHost_ = nullptr;

    // Toolbars of the right pane.
    QToolBar* drawToolbar_ = nullptr;
    QToolBar* measureToolbar_ = nullptr;
    QToolBar* wireToolbar_ = nullptr;
    QAction* snapAction_ = nullptr;
    QComboBox* brushCombo_ = nullptr;
    QAction* wireMeasureAction_ = nullptr;
    QAction* wireSnapAction_ = nullptr;
    QAction* wireSelectAction_ = nullptr;
    QAction* wireDeleteAction_ = nullptr;
    QAction* wireKeepTopAction_ = nullptr;
    QAction* wireClearMeasureAction_ = nullptr;
    QSlider* wireComplexitySlider_ = nullptr;
    QLabel* wireComplexityLabel_ = nullptr;
    QComboBox* wireCleanupCombo_ = nullptr;
    QComboBox* wireExportCombo_ = nullptr;
    QLabel* wireBuildLabel_ = nullptr;
    QProgressBar* wireBuildProgress_ = nullptr;
    QAction* wireBuildLabelAction_ = nullptr;
    QAction* wireBuildProgressAction_ = nullptr;

    // Information panel.
    QLabel* modeLabel_ = nullptr;
    QLabel* fileLabel_ = nullptr;
    QLabel* typeLabel_ = nullptr;
    QLabel* verticesLabel_ = nullptr;
    QLabel* facesLabel_ = nullptr;
    QLabel* extentsLabel_ = nullptr;
    QLabel* alignmentLabel_ = nullptr;
    QCheckBox* layerContourCheck_ = nullptr;
    QCheckBox* layerAnnotationCheck_ = nullptr;
    QCheckBox* layerMeasurementCheck_ = nullptr;
    QCheckBox* layerKeptCheck_ = nullptr;
    QCheckBox* layerFitCheck_ = nullptr;
    // Fit Lines/Arcs: its tolerance and the plane the shown fits belong to.
    QDoubleSpinBox* fitToleranceSpin_ = nullptr;
    SectionCacheKey fitKey_;

    // --- 3D views: the main view in the left pane, the second one on the
    // wireframe page; camera and colour commands go to both.
public:
    OcctMeshView* mainView() const { return mainView_; }
    OcctMeshView* wireView() const { return wireView_; }

private:
    void createViews();
    // Both views and the two menu entries.
    void setProjection(bool orthographic);
    void placeWireView();
    void connectMainViewSignals();
    // The slice-plane indicator of the main view; hidden when show is false.
    void setSliceIndicatorOnView(bool show, Axis axis, double position);
    OcctMeshView* mainView_ = nullptr;
    OcctMeshView* wireView_ = nullptr;
    QColor contourColor_{116, 199, 236};

    // --- wireframe page (wireframecontroller.cpp); the wire slots forward there.
public:
    const WireframeController& wireframe() const { return *wireframe_; }
    const std::vector<MeshModel::SliceSegment3D>& latticeSegments() const { return wireframe_->latticeSegments(); }
    const LatticeLanes& latticeLanes() const { return wireframe_->latticeLanes(); }
    bool isLatticeCacheValid() const { return wireframe_->isLatticeCacheValid(); }
    bool isLatticeJobRunning() const { return wireframe_->isBuilding(); }
    // Lattice jobs started since construction.
    int latticeJobsStarted() const { return wireframe_->buildsStarted(); }
    const std::vector<std::uint32_t>& selectedLatticeSegments() const { return wireframe_->selectedLatticeSegments(); }

private:
    void createWireframeController();
    void refreshWireframePreview() { wireframe_->refreshPreview(); }
    void invalidateWireCaches() { wireframe_->invalidate(); }
    void resetWireframePreviewState() { wireframe_->resetPreview(); }
    WireframeController* wireframe_ = nullptr;

    // --- repair and holes (mainwindow_repair.cpp, mainwindow_holes.cpp): the
    // detected loops shown in the main view; clicked loops stay open when the
    // rest are filled.
public:
    // Folder Repair Mesh takes the repair program from; empty (the default)
    // means next to the application.
    void setRepairProgramDir(const QString& dir) { repairProgramDir_ = dir; }
    const std::vector<std::vector<std::uint32_t>>& holeList() const { return holes_; }
    const std::set<std::uint32_t>& keepOpenHoles() const { return keepOpenHoles_; }
    bool isHoleMode() const { return holeMode_; }

private:
    // Loops of the current faces; the list is dropped when the faces changed.
    void ensureHoleListCurrent();
    void leaveHoleMode();
    std::vector<std::vector<std::uint32_t>> holes_;
    std::set<std::uint32_t> keepOpenHoles_;
    std::vector<std::uint32_t> holeSegmentMap_; // hole of each shown segment
    const void* holeFacesId_ = nullptr;
    std::size_t holeFacesCount_ = 0;
    bool holeMode_ = false;
    QMetaObject::Connection holePickConnection_;
    QString repairProgramDir_;
};
