// OcctMeshView input: orbit, pan and zoom, the 3-pixel click rule, ray
// picking and the pick workflows that end in the view's signals.
#include "ui/view3d/occtmeshview.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QThread>
#include <QWheelEvent>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr qreal kArrowHitPixels = 10.0;

Vec3f toVec(const QVector3D& v) { return Vec3f(v.x(), v.y(), v.z()); }
QVector3D toQt(const Vec3f& v) { return QVector3D(v.x, v.y, v.z); }

qreal pointSegmentDistance(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF ab = b - a;
    const qreal len2 = ab.x() * ab.x() + ab.y() * ab.y();
    qreal t = len2 > 0.0 ? ((p.x() - a.x()) * ab.x() + (p.y() - a.y()) * ab.y()) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const QPointF d = p - (a + t * ab);
    return std::hypot(d.x(), d.y());
}

// Any unit vector perpendicular to n.
QVector3D perpendicular(const QVector3D& n)
{
    const QVector3D ref = std::fabs(n.x()) < 0.9f ? QVector3D(1, 0, 0) : QVector3D(0, 1, 0);
    return QVector3D::crossProduct(n, ref).normalized();
}

struct ArrowSpec {
    float angle;
    const char* pattern;
};
const ArrowSpec kArrows[8] = {{0.0f, "+%1 (0)"},       {45.0f, "+%1 (+45)"},   {90.0f, "+%1 (+90)"},
                              {135.0f, "+%1 (+135)"},  {180.0f, "-%1 (180)"},  {-135.0f, "+%1 (-135)"},
                              {-90.0f, "+%1 (-90)"},   {-45.0f, "+%1 (-45)"}};

} // namespace

// --- modes -----------------------------------------------------------------------

bool OcctMeshView::anyPickFlag() const
{
    return alignPickMode_ != 0 || surfacePick_ || surfacePlanePick_ || measureMode_ || wireSelectMode_;
}

void OcctMeshView::updateCursor()
{
    if (anyPickFlag())
        setCursor(Qt::CrossCursor);
    else
        unsetCursor();
}

void OcctMeshView::startAlignPick(Axis axis)
{
    alignTargetAxis_ = axisIndex(axis);
    alignPickMode_ = alignTargetAxis_ + 1;
    compassArrows_.clear();
    compassLabel_.clear();
    rebuildCandidatePlanes();
    updateCursor();
    update();
}

void OcctMeshView::clearAlignPick()
{
    alignPickMode_ = 0;
    compassArrows_.clear();
    compassLabel_.clear();
    candidatePlanes_.clear();
    hoverCandidate_ = -1;
    updateCursor();
    update();
}

void OcctMeshView::setAlignTargetAxis(Axis axis)
{
    alignTargetAxis_ = axisIndex(axis);
}

void OcctMeshView::setSurfacePick(bool on)
{
    surfacePick_ = on;
    updateCursor();
}

void OcctMeshView::setSurfacePlanePick(bool on)
{
    surfacePlanePick_ = on;
    updateCursor();
}

void OcctMeshView::setMeasureMode(bool on)
{
    measureMode_ = on;
    if (!on)
        hasPointA_ = hasPointB_ = false;
    updateCursor();
    update();
}

void OcctMeshView::clearMeasurement()
{
    hasPointA_ = hasPointB_ = hasLastMeasurement_ = false;
    update();
}

void OcctMeshView::setWireSelectMode(bool on)
{
    wireSelectMode_ = on;
    updateCursor();
}

void OcctMeshView::cancelInteraction()
{
    alignPickMode_ = 0;
    compassArrows_.clear();
    compassLabel_.clear();
    candidatePlanes_.clear();
    hoverCandidate_ = -1;
    surfacePick_ = false;
    surfacePlanePick_ = false;
    measureMode_ = false;
    hasPointA_ = hasPointB_ = false;
    updateCursor();
    update();
}

void OcctMeshView::pickMeshChanged()
{
    // Heat values are per vertex of the mesh that was shown.
    heatValues_.clear();
    heatEnabled_ = false;
    heatUploadPending_ = false;
    heatPointCount_ = 0;
    pickIndex_.reset();
    pickIndexBuilding_ = false;
    ++pickGeneration_;
    if (alignPickMode_ >= 1 && alignPickMode_ <= 3)
        rebuildCandidatePlanes();
    else if (alignPickMode_ == 4)
        updateCompass();
}

float OcctMeshView::pickScale() const
{
    const QVector3D extent = boundsMax_ - boundsMin_;
    return std::max({extent.x(), extent.y(), extent.z(), 1.0f});
}

// --- picking -----------------------------------------------------------------------

std::optional<OcctMeshView::PickHit> OcctMeshView::rayPick(const QPointF& pixel) const
{
    if (!hasMesh_ || pickVertices_.empty() || pickFaces_.empty() || width() < 2 || height() < 2)
        return std::nullopt;
    QVector3D origin, direction;
    if (!screenRay(pixel, viewProjection(), width(), height(), &origin, &direction))
        return std::nullopt;
    RayHit hit;
    bool found;
    if (pickIndex_) {
        found = pickIndex_->pick(toVec(origin), toVec(direction), &hit);
    } else {
        found = pickLinear(pickVertices_, pickFaces_, toVec(origin), toVec(direction), &hit);
        startPickIndexBuild();
    }
    if (!found)
        return std::nullopt;
    return PickHit{toQt(hit.point), toQt(hit.normal), int(hit.triangle)};
}

void OcctMeshView::startPickIndexBuild() const
{
    if (pickIndex_ || pickIndexBuilding_ || pickFaces_.empty())
        return;
    pickIndexBuilding_ = true;
    auto* self = const_cast<OcctMeshView*>(this);
    const quint64 generation = pickGeneration_;
    using Result = std::shared_ptr<const RayPickIndex>;
    auto* watcher = new QFutureWatcher<Result>(self);
    connect(watcher, &QFutureWatcherBase::finished, self, [self, watcher, generation]() {
        if (generation == self->pickGeneration_) {
            self->pickIndex_ = watcher->result();
            self->pickIndexBuilding_ = false;
        }
        watcher->deleteLater();
    });
    // The shared arrays are never written in place, so the task may read them.
    const SharedArray<Vec3f> vertices = pickVertices_;
    const SharedArray<Triangle> faces = pickFaces_;
    watcher->setFuture(QtConcurrent::run([vertices, faces]() {
        auto index = std::make_shared<RayPickIndex>();
        index->build(vertices, faces);
        return Result(std::move(index));
    }));
}

bool OcctMeshView::waitForPickIndex(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (pickIndexBuilding_ && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return pickIndex_ != nullptr;
}

void OcctMeshView::derivePickedFace(const PickHit& hit, QVector3D* normal, QVector3D* ref) const
{
    // Scan noise makes one triangle's normal unreliable: average the nearby
    // triangles that lie in the hit's plane, area-weighted.
    const float s = pickScale();
    const float radius = std::max(0.065f * s, 0.001f);
    const float tolerance = std::max(0.0035f * s, 0.00015f);
    const Vec3f n0 = toVec(hit.normal);
    const Vec3f p0 = toVec(hit.point);
    const std::size_t vertexCount = pickVertices_.size();
    Vec3f sum;
    double area = 0.0;
    int count = 0;
    std::vector<std::uint32_t> nearby;
    if (pickIndex_)
        pickIndex_->collectNear(p0, radius, &nearby);
    const std::size_t candidates = pickIndex_ ? nearby.size() : pickFaces_.size();
    for (std::size_t k = 0; k < candidates; ++k) {
        const Triangle& tri = pickFaces_[pickIndex_ ? nearby[k] : k];
        if (!tri.inRange(vertexCount))
            continue;
        const Vec3f& a = pickVertices_[tri[0]];
        const Vec3f& b = pickVertices_[tri[1]];
        const Vec3f& c = pickVertices_[tri[2]];
        const Vec3f d = (a + b + c) * (1.0f / 3.0f) - p0;
        if (dot(d, d) > radius * radius || std::fabs(dot(d, n0)) > tolerance)
            continue;
        const Vec3f n = cross(b - a, c - a);
        const float len = std::sqrt(dot(n, n));
        if (len <= 0.0f || dot(n, n0) < 0.9f * len)
            continue;
        sum = sum + n;
        area += 0.5 * len;
        ++count;
    }
    QVector3D result = hit.normal;
    if (count >= 8 && area >= 1e-6) {
        const QVector3D averaged = toQt(sum).normalized();
        if (!averaged.isNull())
            result = averaged;
    }
    *normal = result.normalized();

    // Reference: the hit triangle's longest edge, laid into the plane.
    QVector3D edge;
    if (hit.triangle >= 0 && std::size_t(hit.triangle) < pickFaces_.size()) {
        const Triangle& tri = pickFaces_[std::size_t(hit.triangle)];
        if (tri.inRange(vertexCount)) {
            for (int k = 0; k < 3; ++k) {
                const QVector3D e = toQt(pickVertices_[tri[(k + 1) % 3]] - pickVertices_[tri[k]]);
                if (e.lengthSquared() > edge.lengthSquared())
                    edge = e;
            }
        }
    }
    edge -= QVector3D::dotProduct(edge, *normal) * *normal;
    *ref = edge.lengthSquared() > 1e-12f ? edge.normalized() : perpendicular(*normal);
}

void OcctMeshView::rebuildCandidatePlanes()
{
    candidatePlanes_.clear();
    hoverCandidate_ = -1;
    if (!hasMesh_ || pickVertices_.empty())
        return;
    // Thin boxes are padded so that every face has an area to click.
    const float s = pickScale();
    const float pad = std::max(0.0005f * s, 0.0001f);
    QVector3D lo = boundsMin_, hi = boundsMax_;
    for (int a = 0; a < 3; ++a) {
        if (hi[a] - lo[a] < pad) {
            lo[a] -= pad;
            hi[a] += pad;
        }
    }
    for (int axis = 0; axis < 3; ++axis) {
        for (int side = 0; side < 2; ++side) {
            CandidatePlane plane;
            plane.normal[axis] = side == 0 ? -1.0f : 1.0f;
            const float fixed = side == 0 ? lo[axis] : hi[axis];
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            const float us[4] = {lo[u], hi[u], hi[u], lo[u]};
            const float vs[4] = {lo[v], lo[v], hi[v], hi[v]};
            QVector3D centre;
            for (int k = 0; k < 4; ++k) {
                plane.corners[k][axis] = fixed;
                plane.corners[k][u] = us[k];
                plane.corners[k][v] = vs[k];
                centre += plane.corners[k];
            }
            plane.center = centre / 4.0f;
            const QVector3D edge = plane.corners[1] - plane.corners[0];
            const QVector3D other = plane.corners[3] - plane.corners[0];
            plane.inPlaneRef = edge.lengthSquared() > 1e-12f    ? edge.normalized()
                               : other.lengthSquared() > 1e-12f ? other.normalized()
                                                                : perpendicular(plane.normal);
            candidatePlanes_.append(plane);
        }
    }
    updateCandidateScreens();
}

void OcctMeshView::updateCandidateScreens()
{
    const QMatrix4x4 vp = viewProjection();
    for (CandidatePlane& plane : candidatePlanes_) {
        plane.screen.clear();
        QPolygonF polygon;
        bool ok = true;
        for (const QVector3D& corner : plane.corners) {
            QPointF p;
            ok = ok && projectToScreen(corner, vp, width(), height(), &p);
            polygon << p;
        }
        if (ok)
            plane.screen = polygon;
    }
}

void OcctMeshView::showCompass(const QVector3D& normal, const QVector3D& ref, const QVector3D& point)
{
    pickedNormal_ = normal;
    pickedRef_ = ref;
    pickedPoint_ = point;
    alignPickMode_ = 4;
    candidatePlanes_.clear();
    hoverCandidate_ = -1;
    compassArrows_.clear();
    const QString axis = QString(QChar(u'X' + alignTargetAxis_));
    const QVector3D side = QVector3D::crossProduct(normal, ref);
    for (const ArrowSpec& spec : kArrows) {
        CompassArrow arrow;
        arrow.angleDeg = spec.angle;
        arrow.label = QString::fromLatin1(spec.pattern).arg(axis);
        const double a = double(spec.angle) * kPi / 180.0;
        arrow.direction = (ref * float(std::cos(a)) + side * float(std::sin(a))).normalized();
        compassArrows_.append(arrow);
    }
    updateCompass();
    updateCursor();
    update();
    emit arrowsShown();
}

void OcctMeshView::updateCompass()
{
    if (alignPickMode_ != 4)
        return;
    const QMatrix4x4 vp = viewProjection();
    const float length = 0.3f * std::max(meshRadius_, 1e-3f);
    QPointF base;
    const bool baseOk = projectToScreen(pickedPoint_, vp, width(), height(), &base);
    for (CompassArrow& arrow : compassArrows_) {
        QPointF tip;
        arrow.visible = baseOk && projectToScreen(pickedPoint_ + arrow.direction * length, vp, width(), height(), &tip);
        arrow.base = base;
        arrow.tip = tip;
    }
}

// --- clicks ------------------------------------------------------------------------------

void OcctMeshView::handleClick(const QPointF& pos, Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return;
    if (alignPickMode_ == 4) {
        handleCompassClick(pos);
        return;
    }
    if (surfacePick_) {
        const auto hit = rayPick(pos);
        if (!hit)
            return;
        QVector3D normal, ref;
        derivePickedFace(*hit, &normal, &ref);
        emit facePicked(normal, ref);
        compassLabel_ = QStringLiteral("picked face");
        showCompass(normal, ref, hit->point);
        return;
    }
    if (alignPickMode_ >= 1 && alignPickMode_ <= 3) {
        handleCandidateClick(pos);
        return;
    }
    if (surfacePlanePick_) {
        const auto hit = rayPick(pos);
        if (!hit)
            return;
        QVector3D normal, ref;
        derivePickedFace(*hit, &normal, &ref);
        surfacePlanePick_ = false;
        updateCursor();
        emit surfaceBuildPlanePicked(normal, ref, hit->point);
        return;
    }
    // Measure and wire select may both be on: the click measures, then
    // selects the nearest segment.
    if (measureMode_)
        handleMeasureClick(pos);
    if (wireSelectMode_ && !wireSegments_.empty())
        handleWireClick(pos);
}

bool OcctMeshView::handleCompassClick(const QPointF& pos)
{
    updateCompass();
    int best = -1;
    qreal bestDistance = kArrowHitPixels;
    for (int i = 0; i < compassArrows_.size(); ++i) {
        const CompassArrow& arrow = compassArrows_[i];
        if (!arrow.visible)
            continue;
        // The shaft near the base is shared by all arrows; only its outer part counts.
        const QPointF from = arrow.base + 0.35 * (arrow.tip - arrow.base);
        const qreal distance = pointSegmentDistance(pos, from, arrow.tip);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    const QVector3D normal = pickedNormal_, ref = pickedRef_;
    if (best >= 0) {
        const CompassArrow arrow = compassArrows_[best];
        emit arrowPicked(normal, ref, arrow.angleDeg, arrow.label);
        clearAlignPick();
        return true;
    }
    const auto hit = rayPick(pos);
    if (!hit)
        return false;
    QVector3D v = hit->point - pickedPoint_;
    v -= QVector3D::dotProduct(v, normal) * normal;
    if (v.lengthSquared() <= 1e-10f)
        return false;
    v.normalize();
    const double sine = QVector3D::dotProduct(normal, QVector3D::crossProduct(ref, v));
    const double cosine = std::clamp(double(QVector3D::dotProduct(ref, v)), -1.0, 1.0);
    const float angle = float(std::atan2(sine, cosine) * 180.0 / kPi);
    emit arrowPicked(normal, ref, angle, QStringLiteral("custom %1 deg").arg(double(angle), 0, 'f', 1));
    clearAlignPick();
    return true;
}

void OcctMeshView::handleCandidateClick(const QPointF& pos)
{
    updateCandidateScreens();
    int chosen = -1;
    float nearest = 0.0f;
    for (int i = 0; i < candidatePlanes_.size(); ++i) {
        const CandidatePlane& plane = candidatePlanes_[i];
        if (plane.screen.size() < 4 || !plane.screen.containsPoint(pos, Qt::OddEvenFill))
            continue;
        // Overlapping faces of the box: the one nearest the eye is the visible one.
        QPointF unused;
        float depth = 0.0f;
        if (!worldToScreen(plane.center, &unused, &depth))
            continue;
        if (chosen < 0 || depth < nearest) {
            chosen = i;
            nearest = depth;
        }
    }
    if (chosen >= 0) {
        const CandidatePlane plane = candidatePlanes_[chosen];
        compassLabel_ = QStringLiteral("face %1").arg(chosen + 1);
        showCompass(plane.normal, plane.inPlaneRef, plane.center);
        return;
    }
    const auto hit = rayPick(pos);
    if (!hit)
        return;
    QVector3D normal, ref;
    derivePickedFace(*hit, &normal, &ref);
    compassLabel_ = QStringLiteral("picked face");
    showCompass(normal, ref, hit->point);
}

void OcctMeshView::handleMeasureClick(const QPointF& pos)
{
    const auto hit = rayPick(pos);
    if (!hit)
        return;
    QVector3D point = hit->point;
    if (snapEnabled_) {
        const std::int64_t nearest = nearestVertex(pickVertices_, toVec(point));
        if (nearest >= 0)
            point = toQt(pickVertices_[std::size_t(nearest)]);
    }
    if (!hasPointA_) {
        pointA_ = point;
        hasPointA_ = true;
        hasLastMeasurement_ = false;
        update();
        return;
    }
    pointB_ = point;
    hasPointB_ = true;
    const QVector3D a = pointA_, b = pointB_;
    lastA_ = a;
    lastB_ = b;
    hasLastMeasurement_ = true;
    hasPointA_ = hasPointB_ = false;
    update();
    emit measurement3D((b - a).length(), a, b);
}

void OcctMeshView::handleWireClick(const QPointF& pos)
{
    const QMatrix4x4 vp = viewProjection();
    int best = -1;
    qreal bestDistance = 0.0;
    for (std::size_t i = 0; i < wireSegments_.size(); ++i) {
        QPointF a, b;
        if (!projectToScreen(toQt(wireSegments_[i].p0), vp, width(), height(), &a) ||
            !projectToScreen(toQt(wireSegments_[i].p1), vp, width(), height(), &b))
            continue;
        const qreal distance = pointSegmentDistance(pos, a, b);
        if (best < 0 || distance < bestDistance) {
            best = int(i);
            bestDistance = distance;
        }
    }
    if (best < 0)
        return;
    selectedWireSegment_ = best;
    update();
    const MeshModel::SliceSegment3D segment = wireSegments_[std::size_t(best)];
    emit wireSegmentPicked(best, toQt(segment.p0), toQt(segment.p1));
}

// --- events -----------------------------------------------------------------------------

void OcctMeshView::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    pressPos_ = lastPos_ = event->position();
    moved_ = false;
    buttons_ = event->buttons();
    if (event->button() == Qt::LeftButton) {
        triadAxis_ = triadAxisAt(event->position());
        triadDrag_ = triadAxis_ >= 0;
        if (triadDrag_)
            update();
    }
    event->accept();
}

void OcctMeshView::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    const QPointF delta = pos - lastPos_;
    lastPos_ = pos;
    const Qt::MouseButtons buttons = event->buttons();
    buttons_ = buttons;
    const bool held = buttons & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton);
    if (held && !moved_) {
        const QPointF fromPress = pos - pressPos_;
        if (std::fabs(fromPress.x()) + std::fabs(fromPress.y()) > 3.0)
            moved_ = true;
    }
    const bool pickPending = alignPickMode_ != 0 || surfacePick_ || surfacePlanePick_ || triadDrag_;
    bool changed = false;
    if ((buttons & Qt::MiddleButton) || ((buttons & Qt::LeftButton) && !pickPending)) {
        camera_.orbit(float(delta.x()), float(delta.y()));
        framed_ = false;
        changed = true;
    } else if (buttons & Qt::RightButton) {
        camera_.pan(float(delta.x()), float(delta.y()), height());
        framed_ = false;
        changed = true;
    }
    if (alignPickMode_ == 4)
        updateCompass();
    if (alignPickMode_ >= 1 && alignPickMode_ <= 3) {
        updateCandidateScreens();
        int hover = -1;
        float nearest = 0.0f;
        for (int i = 0; i < candidatePlanes_.size(); ++i) {
            const CandidatePlane& plane = candidatePlanes_[i];
            QPointF unused;
            float depth = 0.0f;
            if (plane.screen.size() < 4 || !plane.screen.containsPoint(pos, Qt::OddEvenFill) ||
                !worldToScreen(plane.center, &unused, &depth))
                continue;
            if (hover < 0 || depth < nearest) {
                hover = i;
                nearest = depth;
            }
        }
        changed = changed || hover != hoverCandidate_;
        hoverCandidate_ = hover;
    }
    if (changed || held)
        update();
    event->accept();
}

void OcctMeshView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (triadDrag_) {
        if (event->button() == Qt::LeftButton) {
            const int axis = triadAxisAt(pos);
            if (axis >= 0) {
                QVector3D pressed, released;
                pressed[triadAxis_ % 3] = triadAxis_ < 3 ? 1.0f : -1.0f;
                released[axis % 3] = axis < 3 ? 1.0f : -1.0f;
                if (QVector3D::dotProduct(pressed, released) > 0.995f)
                    lookAlong(pressed);
            }
        }
        triadDrag_ = false;
        triadAxis_ = -1;
        update();
        event->accept();
        return;
    }
    if (!moved_)
        handleClick(pos, event->button());
    event->accept();
}

void OcctMeshView::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y();
    if (steps == 0) {
        event->ignore();
        return;
    }
    camera_.zoom(steps > 0);
    framed_ = false;
    if (alignPickMode_ == 4)
        updateCompass();
    if (alignPickMode_ >= 1 && alignPickMode_ <= 3)
        updateCandidateScreens();
    update();
    event->accept();
}

void OcctMeshView::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key == Qt::Key_Delete || key == Qt::Key_Backspace) && wireSelectMode_ &&
        (selectedWireSegment_ >= 0 || !selectedWireIndices_.isEmpty())) {
        emit wireDeleteRequested();
        event->accept();
        return;
    }
    if (key == Qt::Key_Escape) {
        if (alignPickMode_ != 0) {
            clearAlignPick();
            event->accept();
            return;
        }
        if (surfacePlanePick_) {
            setSurfacePlanePick(false);
            event->accept();
            return;
        }
    }
    QOpenGLWidget::keyPressEvent(event);
}
