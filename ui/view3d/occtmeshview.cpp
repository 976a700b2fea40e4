// OcctMeshView state: the vertex array built from a model, colours, camera
// commands and the overlay data handed in by the window.
#include "ui/view3d/occtmeshview.h"

#include "ui/view3d/creasenormals.h"

#include <QOpenGLContext>
#include <QSurfaceFormat>

#include <algorithm>
#include <cmath>

namespace {

QVector3D toQt(const Vec3f& v) { return QVector3D(v.x, v.y, v.z); }

QVector3D rgbOf(const QColor& color)
{
    return QVector3D(float(color.redF()), float(color.greenF()), float(color.blueF()));
}

// Every step-th face while thinning the wireframe; 1 keeps them all.
std::size_t thinningStep(std::size_t faceCount, bool wireframe, int complexity)
{
    if (!wireframe || complexity >= 100 || faceCount == 0)
        return 1;
    const double fraction = std::clamp(complexity / 100.0, 0.05, 1.0);
    const std::size_t target = std::max<std::size_t>(300, std::size_t(std::llround(double(faceCount) * fraction)));
    if (target >= faceCount)
        return 1;
    return std::max<std::size_t>(1, (faceCount + target - 1) / target);
}

} // namespace

OcctMeshView::OcctMeshView(QWidget* parent) : QOpenGLWidget(parent)
{
    QSurfaceFormat fmt = format();
    fmt.setRenderableType(QSurfaceFormat::OpenGL);
    fmt.setVersion(3, 3);
    fmt.setProfile(QSurfaceFormat::CoreProfile);
    fmt.setDepthBufferSize(24);
    fmt.setStencilBufferSize(8);
    fmt.setSamples(4);
    setFormat(fmt);
    setMinimumSize(160, 120);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
}

OcctMeshView::~OcctMeshView()
{
    // The base class destroys the context after this body has run; its
    // signal must not reach a member of the view that is gone by then.
    if (context())
        disconnect(context(), &QOpenGLContext::aboutToBeDestroyed, this, nullptr);
    if (glReady_ && context()) {
        makeCurrent();
        cleanupGL();
        doneCurrent();
    }
}

void OcctMeshView::setMesh(const MeshModel& model, bool wireframe)
{
    wireframe_ = wireframe;
    const bool useDisplay = !model.displayVertices.empty() && !model.displayFaces.empty() &&
                            !(wireframe && wireframeComplexity_ >= 90);
    const SharedArray<Vec3f>& vertices = useDisplay ? model.displayVertices : model.vertices;
    const SharedArray<Triangle>& sourceFaces = useDisplay ? model.displayFaces : model.faces;

    SharedArray<Triangle> faces = sourceFaces;
    const std::size_t step = thinningStep(sourceFaces.size(), wireframe, wireframeComplexity_);
    if (step > 1) {
        std::vector<Triangle> kept;
        kept.reserve(sourceFaces.size() / step + 1);
        for (std::size_t i = 0; i < sourceFaces.size(); i += step)
            kept.push_back(sourceFaces[i]);
        faces.assign(std::move(kept));
    }
    if (vertices.empty() || faces.empty()) {
        clearMesh();
        return;
    }

    const QVector3D oldMin = boundsMin_, oldMax = boundsMax_;
    const std::size_t vertexCount = vertices.size();
    double sum[3] = {0, 0, 0};
    Vec3f lo = vertices[0], hi = vertices[0];
    for (const Vec3f& v : vertices) {
        for (int a = 0; a < 3; ++a) {
            sum[a] += v[a];
            lo[a] = std::min(lo[a], v[a]);
            hi[a] = std::max(hi[a], v[a]);
        }
    }
    modelCenter_ = QVector3D(float(sum[0] / vertexCount), float(sum[1] / vertexCount), float(sum[2] / vertexCount));
    boundsMin_ = toQt(lo);
    boundsMax_ = toQt(hi);

    // Positions, then normals split at creases so sharp edges shade flat.
    std::vector<float> data;
    data.resize(faces.size() * kFloatsPerTriangle);
    float* out = data.data();
    for (const Triangle& tri : faces) {
        if (!tri.inRange(vertexCount))
            continue;
        for (int k = 0; k < 3; ++k) {
            const Vec3f& p = vertices[tri[k]];
            out[0] = p.x, out[1] = p.y, out[2] = p.z;
            out += 6;
        }
    }
    writeCreaseNormals(vertices.data(), vertexCount, faces.data(), faces.size(), kRenderCreaseDegrees,
                       data.data() + 3, 6);
    data.resize(std::size_t(out - data.data()));

    const QVector3D centre = modelCenter_;
    float radius = 0.0f;
    for (const Vec3f& v : vertices)
        radius = std::max(radius, (toQt(v) - centre).length());
    meshRadius_ = radius;
    // The same geometry handed in again (a page switch, a new colour) keeps
    // the user's camera; new geometry is framed.
    const bool sameGeometry = hasMesh_ && vertices.storageId() == shownVerticesId_ &&
                              sourceFaces.storageId() == shownFacesId_ && vertices.size() == shownVertexCount_ &&
                              oldMin == boundsMin_ && oldMax == boundsMax_;
    shownVerticesId_ = vertices.storageId();
    shownFacesId_ = sourceFaces.storageId();
    shownVertexCount_ = vertices.size();
    hasMesh_ = true;
    if (!sameGeometry) {
        camera_.fit(radius);
        frameMesh();
    }

    vertexData_ = std::move(data);
    triangleCount_ = int(vertexData_.size() / kFloatsPerTriangle);
    readyCount_ = 0;
    progressive_ = triangleCount_ > kProgressiveThreshold;
    uploadCursor_ = 0;
    meshBufferAllocated_ = false;
    meshUploadPending_ = true;
    hasMesh_ = true;

    pickVertices_ = vertices;
    pickFaces_ = faces;
    pickMeshChanged();
    update();
}

void OcctMeshView::clearMesh()
{
    vertexData_.clear();
    vertexData_.shrink_to_fit();
    triangleCount_ = 0;
    readyCount_ = 0;
    progressive_ = false;
    uploadCursor_ = 0;
    meshUploadPending_ = false;
    meshBufferAllocated_ = false;
    hasMesh_ = false;
    meshRadius_ = 0.0f;
    shownVerticesId_ = shownFacesId_ = nullptr;
    shownVertexCount_ = 0;
    framed_ = false;

    wireSegments_.clear();
    secondaryWireSegments_.clear();
    selectedWireIndices_.clear();
    selectedWireSegment_ = -1;
    datumPlanes_.clear();
    sliceVisible_ = false;

    alignPickMode_ = 0;
    surfacePick_ = false;
    surfacePlanePick_ = false;
    measureMode_ = false;
    wireSelectMode_ = false;
    hasPointA_ = hasPointB_ = hasLastMeasurement_ = false;
    candidatePlanes_.clear();
    hoverCandidate_ = -1;
    compassArrows_.clear();
    compassLabel_.clear();
    triadDrag_ = false;

    pickVertices_.clear();
    pickFaces_.clear();
    pickMeshChanged();
    updateCursor();
    update();
}

void OcctMeshView::setMeshVisible(bool visible)
{
    if (meshVisible_ == visible)
        return;
    meshVisible_ = visible;
    update();
}

void OcctMeshView::setWireframeComplexity(int percent)
{
    wireframeComplexity_ = std::clamp(percent, 5, 100);
}

void OcctMeshView::setModelColor(const QColor& color)
{
    if (!color.isValid())
        return;
    modelColor_ = rgbOf(color);
    update();
}

QColor OcctMeshView::modelColor() const
{
    return QColor::fromRgbF(modelColor_.x(), modelColor_.y(), modelColor_.z());
}

void OcctMeshView::setBackgroundColor(const QColor& color)
{
    if (!color.isValid())
        return;
    bgBottom_ = rgbOf(color);
    const QVector3D top = 0.45f * bgBottom_;
    bgTop_ = QVector3D(std::clamp(top.x(), 0.0f, 1.0f), std::clamp(top.y(), 0.0f, 1.0f), std::clamp(top.z(), 0.0f, 1.0f));
    if (glReady_ && context()) {
        makeCurrent();
        glClearColor(bgBottom_.x(), bgBottom_.y(), bgBottom_.z(), 1.0f);
        doneCurrent();
    }
    update();
}

void OcctMeshView::setOrthographic(bool on)
{
    camera_.orthographic = on;
    // The two projections need different distances to frame the part.
    if (framed_)
        frameMesh();
    update();
}

void OcctMeshView::viewIsometric()
{
    camera_.isometric();
    frameMesh();
    updateCompass();
    update();
}

void OcctMeshView::fitAll()
{
    if (!hasMesh_)
        return;
    camera_.reset();
    frameMesh();
    updateCompass();
    update();
}

void OcctMeshView::frameMesh()
{
    if (!hasMesh_)
        return;
    camera_.frame(boundsMin_, boundsMax_, float(std::max(width(), 1)) / float(std::max(height(), 1)));
    framed_ = true;
}

void OcctMeshView::resizeGL(int, int)
{
    // Still at the framed pose: keep the part framed at the new aspect.
    if (framed_)
        frameMesh();
}

void OcctMeshView::lookAlong(const QVector3D& direction)
{
    camera_.lookAlong(direction);
    framed_ = false;
    updateCompass();
    update();
}

void OcctMeshView::setCamera(const OrbitCamera& camera)
{
    camera_ = camera;
    framed_ = false;
    updateCompass();
    update();
}

QMatrix4x4 OcctMeshView::projectionMatrix() const
{
    const float diagonal = hasMesh_ ? (boundsMax_ - boundsMin_).length() : 0.0f;
    return camera_.projectionMatrix(width(), height(), diagonal);
}

bool OcctMeshView::worldToScreen(const QVector3D& world, QPointF* screen, float* depth) const
{
    return projectToScreen(world, viewProjection(), width(), height(), screen, depth);
}

void OcctMeshView::setSlicePlaneIndicator(Axis axis, float position, const QVector3D& boundsMin,
                                          const QVector3D& boundsMax)
{
    sliceVisible_ = true;
    sliceAxis_ = axisIndex(axis);
    slicePosition_ = position;
    sliceMin_ = boundsMin;
    sliceMax_ = boundsMax;
    update();
}

void OcctMeshView::hideSlicePlaneIndicator()
{
    if (!sliceVisible_)
        return;
    sliceVisible_ = false;
    update();
}

void OcctMeshView::setWireSegments(const std::vector<MeshModel::SliceSegment3D>& segments)
{
    wireSegments_ = segments;
    if (selectedWireSegment_ >= int(wireSegments_.size()))
        selectedWireSegment_ = -1;
    update();
}

void OcctMeshView::setSecondaryWireSegments(const std::vector<MeshModel::SliceSegment3D>& segments)
{
    secondaryWireSegments_ = segments;
    update();
}

void OcctMeshView::clearWireOverlay()
{
    wireSegments_.clear();
    secondaryWireSegments_.clear();
    selectedWireIndices_.clear();
    selectedWireSegment_ = -1;
    update();
}

void OcctMeshView::setSelectedWireSegments(const QList<int>& indices)
{
    selectedWireIndices_ = indices;
    update();
}

void OcctMeshView::setSelectedWireSegment(int index)
{
    selectedWireSegment_ = index >= 0 && index < int(wireSegments_.size()) ? index : -1;
    update();
}

void OcctMeshView::setLongFeatureMode(bool on)
{
    if (longFeatureMode_ == on)
        return;
    longFeatureMode_ = on;
    update();
}

bool OcctMeshView::addDatumPlane(const DatumPlane& plane)
{
    if (datumPlanes_.size() >= 3)
        return false;
    datumPlanes_.append(plane);
    update();
    return true;
}

void OcctMeshView::clearDatumPlanes()
{
    datumPlanes_.clear();
    update();
}
