#pragma once

#include "model/mesh/meshmodel.h"
#include "model/mesh/raypick.h"
#include "ui/view3d/orbitcamera.h"

#include <QColor>
#include <QList>
#include <QMatrix4x4>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLWidget>
#include <QPointF>
#include <QPolygonF>
#include <QString>
#include <QVector3D>

#include <memory>
#include <optional>
#include <vector>

class QOpenGLShaderProgram;
class QPainter;

// The 3D view: the mesh with four-light Phong shading over a gradient, an
// orbit camera, painted overlays and the pick workflows whose results leave
// through the signals. Both the main view and the wireframe page use it.
class OcctMeshView : public QOpenGLWidget, protected QOpenGLFunctions_3_3_Core {
    Q_OBJECT

public:
    static constexpr int kProgressiveThreshold = 50000;  // triangles uploaded in one go
    static constexpr int kUploadChunkFloats = 900000;    // 50,000 triangles a frame
    static constexpr int kFloatsPerTriangle = 18;

    struct PickHit {
        QVector3D point;
        QVector3D normal;
        int triangle = -1;
    };

    // A face offered in align pick modes 1-3.
    struct CandidatePlane {
        QVector3D normal;
        QVector3D inPlaneRef;
        QVector3D center;
        QVector3D corners[4];
        QPolygonF screen;
    };

    struct CompassArrow {
        float angleDeg = 0.0f;
        QString label;
        QVector3D direction;
        QPointF base;
        QPointF tip;
        bool visible = false;
    };

    struct DatumPlane {
        QString label;
        QVector3D normal;
        QVector3D point;
    };

    explicit OcctMeshView(QWidget* parent = nullptr);
    ~OcctMeshView() override;

    // --- mesh ------------------------------------------------------------------
    void setMesh(const MeshModel& model, bool wireframe = false);
    void clearMesh();
    bool hasMesh() const { return hasMesh_; }
    // The wireframe page hides the surface while lattice lines are shown.
    void setMeshVisible(bool visible);
    bool isMeshVisible() const { return meshVisible_; }
    bool isWireframe() const { return wireframe_; }
    void setWireframeComplexity(int percent);
    int wireframeComplexity() const { return wireframeComplexity_; }

    int triangleCount() const { return triangleCount_; }
    int readyTriangleCount() const { return readyCount_; }
    bool isProgressiveUpload() const { return progressive_; }
    // False once the GPU holds the whole vertex array.
    bool holdsCpuVertexData() const { return !vertexData_.empty(); }
    const std::vector<float>& cpuVertexData() const { return vertexData_; }
    QVector3D meshBoundsMin() const { return boundsMin_; }
    QVector3D meshBoundsMax() const { return boundsMax_; }
    QVector3D modelCenter() const { return modelCenter_; }

    // --- appearance ----------------------------------------------------------------
    void setModelColor(const QColor& color);
    QColor modelColor() const;
    void setBackgroundColor(const QColor& color);
    QVector3D backgroundBottom() const { return bgBottom_; }
    QVector3D backgroundTop() const { return bgTop_; }

    // --- camera --------------------------------------------------------------------
    void setOrthographic(bool on);
    bool isOrthographic() const { return camera_.orthographic; }
    void viewIsometric();
    void fitAll();
    void lookAlong(const QVector3D& direction);
    const OrbitCamera& camera() const { return camera_; }
    void setCamera(const OrbitCamera& camera);
    QMatrix4x4 viewMatrix() const { return camera_.viewMatrix(); }
    QMatrix4x4 projectionMatrix() const;
    QMatrix4x4 viewProjection() const { return projectionMatrix() * viewMatrix(); }
    // World point to widget pixels with the current camera.
    bool worldToScreen(const QVector3D& world, QPointF* screen, float* depth = nullptr) const;
    // True once the 3.3 core functions were resolved and the programs linked.
    bool isGlReady() const { return glReady_ && meshProgramOk_; }

    // --- slice plane and other overlays ---------------------------------------------
    void setSlicePlaneIndicator(Axis axis, float position, const QVector3D& boundsMin, const QVector3D& boundsMax);
    void hideSlicePlaneIndicator();
    bool isSlicePlaneIndicatorVisible() const { return sliceVisible_; }
    int slicePlaneIndicatorAxis() const { return sliceAxis_; }
    float slicePlaneIndicatorPosition() const { return slicePosition_; }

    void setWireSegments(const std::vector<MeshModel::SliceSegment3D>& segments);
    void setSecondaryWireSegments(const std::vector<MeshModel::SliceSegment3D>& segments);
    void clearWireOverlay();
    const std::vector<MeshModel::SliceSegment3D>& wireSegments() const { return wireSegments_; }
    const std::vector<MeshModel::SliceSegment3D>& secondaryWireSegments() const { return secondaryWireSegments_; }
    void setSelectedWireSegments(const QList<int>& indices);
    QList<int> selectedWireSegments() const { return selectedWireIndices_; }
    void setSelectedWireSegment(int index);
    int selectedWireSegment() const { return selectedWireSegment_; }
    void setLongFeatureMode(bool on);
    bool longFeatureMode() const { return longFeatureMode_; }

    // Curvature heat, one value in [0, 1] per render-mesh vertex, drawn as
    // coloured points over the surface (blue low, red high) while enabled.
    // A new mesh drops the values.
    void setHeatValues(std::vector<float> values);
    const std::vector<float>& heatValues() const { return heatValues_; }
    void setHeatEnabled(bool on);
    bool heatEnabled() const { return heatEnabled_; }

    bool addDatumPlane(const DatumPlane& plane); // at most three
    void clearDatumPlanes();
    const QList<DatumPlane>& datumPlanes() const { return datumPlanes_; }

    // --- pick modes ----------------------------------------------------------------
    void startAlignPick(Axis axis);
    void clearAlignPick();
    int alignPickMode() const { return alignPickMode_; }
    void setAlignTargetAxis(Axis axis);
    int alignTargetAxis() const { return alignTargetAxis_; }
    void setSurfacePick(bool on);
    bool surfacePick() const { return surfacePick_; }
    void setSurfacePlanePick(bool on);
    bool surfacePlanePick() const { return surfacePlanePick_; }
    void setMeasureMode(bool on);
    bool measureMode() const { return measureMode_; }
    void setSnapEnabled(bool on) { snapEnabled_ = on; }
    bool snapEnabled() const { return snapEnabled_; }
    void clearMeasurement();
    void setWireSelectMode(bool on);
    bool wireSelectMode() const { return wireSelectMode_; }
    // Window-wide cancel: arrows, align, surface and measure picks off.
    void cancelInteraction();

    std::optional<PickHit> rayPick(const QPointF& pixel) const;
    const QList<CandidatePlane>& candidatePlanes() const { return candidatePlanes_; }
    const QList<CompassArrow>& compassArrows() const { return compassArrows_; }
    // Screen position of a triad axis tip (0..2 positive X, Y, Z).
    QPointF triadTip(int axis) const;

signals:
    void facePicked(const QVector3D& normal, const QVector3D& inPlaneRef);
    void surfaceBuildPlanePicked(const QVector3D& normal, const QVector3D& inPlaneRef, const QVector3D& point);
    void arrowsShown();
    void arrowPicked(const QVector3D& faceNormal, const QVector3D& inPlaneRef, float angleDeg, const QString& label);
    void measurement3D(float distance, const QVector3D& first, const QVector3D& second);
    void wireSegmentPicked(int index, const QVector3D& start, const QVector3D& end);
    void wireDeleteRequested();

protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeGL(int width, int height) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Rendering (occtmeshview_render.cpp).
    void cleanupGL();
    void releaseContextObjects();
    bool buildPrograms();
    void uploadPendingMesh();
    void drawFlatQuad(const QVector3D corners[4], const QVector4D& color, const QMatrix4x4& mvp);
    void drawSlicePlane(const QMatrix4x4& mvp);
    void drawDatumPlanes(const QMatrix4x4& mvp);

    // Painted overlays (occtmeshview_overlays.cpp).
    void paintOverlays(QPainter& painter);
    void paintAlignHighlight(QPainter& painter) const;
    void paintDatumLabels(QPainter& painter) const;
    void paintMeasurement(QPainter& painter) const;
    void paintWireSegments(QPainter& painter) const;
    void paintTriad(QPainter& painter) const;
    void paintCompass(QPainter& painter) const;
    int triadAxisAt(const QPointF& pixel) const;

    // Picking (occtmeshview_interaction.cpp).
    void updateCursor();
    bool anyPickFlag() const;
    void rebuildCandidatePlanes();
    void updateCandidateScreens();
    void updateCompass();
    void showCompass(const QVector3D& normal, const QVector3D& ref, const QVector3D& point);
    void derivePickedFace(const PickHit& hit, QVector3D* normal, QVector3D* ref) const;
    void handleClick(const QPointF& pos, Qt::MouseButton button);
    bool handleCompassClick(const QPointF& pos);
    void handleCandidateClick(const QPointF& pos);
    void handleMeasureClick(const QPointF& pos);
    void handleWireClick(const QPointF& pos);
    float pickScale() const;
    void pickMeshChanged();

    OrbitCamera camera_;
    QVector3D modelColor_{0.72f, 0.72f, 0.74f};
    QVector3D bgBottom_{0.18f, 0.18f, 0.20f};
    QVector3D bgTop_{0.08f, 0.08f, 0.10f};
    bool wireframe_ = false;
    int wireframeComplexity_ = 100;
    bool meshVisible_ = true;
    bool hasMesh_ = false;
    QVector3D boundsMin_, boundsMax_, modelCenter_;
    float meshRadius_ = 0.0f;
    // Geometry last handed to setMesh, to tell a re-send from a new mesh.
    const void* shownVerticesId_ = nullptr;
    const void* shownFacesId_ = nullptr;
    std::size_t shownVertexCount_ = 0;
    // The camera is at the framed pose: a resize frames again.
    bool framed_ = false;
    void frameMesh();

    // CPU copy until uploaded.
    std::vector<float> vertexData_;
    int triangleCount_ = 0;
    int readyCount_ = 0;
    bool progressive_ = false;
    std::size_t uploadCursor_ = 0;
    bool meshUploadPending_ = false;
    bool meshBufferAllocated_ = false;

    // GL objects.
    bool glReady_ = false;
    bool meshProgramOk_ = false;
    bool bgProgramOk_ = false;
    bool flatProgramOk_ = false;
    bool bgUploadPending_ = true;
    QOpenGLShaderProgram* meshProgram_ = nullptr;
    QOpenGLShaderProgram* bgProgram_ = nullptr;
    QOpenGLShaderProgram* flatProgram_ = nullptr;
    unsigned meshVao_ = 0, meshVbo_ = 0;
    unsigned bgVao_ = 0, bgVbo_ = 0;
    unsigned flatVao_ = 0, flatVbo_ = 0;

    // Heat overlay (occtmeshview_heat.cpp).
    void initHeatGL();
    void releaseHeatGL();
    void drawHeat(const QMatrix4x4& mvp);
    std::vector<float> heatValues_;
    bool heatEnabled_ = false;
    bool heatUploadPending_ = false;
    int heatPointCount_ = 0;
    bool heatProgramOk_ = false;
    QOpenGLShaderProgram* heatProgram_ = nullptr;
    unsigned heatVao_ = 0, heatVbo_ = 0;

    // Slice plane indicator.
    bool sliceVisible_ = false;
    int sliceAxis_ = 2;
    float slicePosition_ = 0.0f;
    QVector3D sliceMin_, sliceMax_;

    // Overlays.
    std::vector<MeshModel::SliceSegment3D> wireSegments_;
    std::vector<MeshModel::SliceSegment3D> secondaryWireSegments_;
    QList<int> selectedWireIndices_;
    int selectedWireSegment_ = -1;
    bool longFeatureMode_ = true;
    QList<DatumPlane> datumPlanes_;

    // Interaction.
    QPointF pressPos_, lastPos_;
    bool moved_ = false;
    Qt::MouseButtons buttons_;
    bool triadDrag_ = false;
    int triadAxis_ = -1;
    int alignPickMode_ = 0;
    int alignTargetAxis_ = 2;
    bool surfacePick_ = false;
    bool surfacePlanePick_ = false;
    bool measureMode_ = false;
    bool snapEnabled_ = false;
    bool hasPointA_ = false, hasPointB_ = false;
    QVector3D pointA_, pointB_;
    bool hasLastMeasurement_ = false;
    QVector3D lastA_, lastB_;
    bool wireSelectMode_ = false;
    QList<CandidatePlane> candidatePlanes_;
    int hoverCandidate_ = -1;
    QList<CompassArrow> compassArrows_;
    QString compassLabel_;
    QVector3D pickedNormal_, pickedRef_, pickedPoint_;

    // Pick mesh: what is drawn. Its search index is built on the thread pool
    // after the first pick; until it is ready a pick tests every triangle.
    SharedArray<Vec3f> pickVertices_;
    SharedArray<Triangle> pickFaces_;
    mutable std::shared_ptr<const RayPickIndex> pickIndex_;
    mutable bool pickIndexBuilding_ = false;
    quint64 pickGeneration_ = 0;
    void startPickIndexBuild() const;

public:
    // For tests: wait until the pick index is ready (false when none is building).
    bool waitForPickIndex(int timeoutMs);
    bool hasPickIndex() const { return pickIndex_ != nullptr; }
};
