#include "ui/view3d/orbitcamera.h"

#include <QVector4D>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kHalfFovDeg = 22.5f;

float radians(float degrees) { return float(double(degrees) * kPi / 180.0); }
float degrees(double radians) { return float(radians * 180.0 / kPi); }

// Right and up of a view direction; a vertical view takes world Y as reference.
void screenAxes(const QVector3D& f, QVector3D* right, QVector3D* up)
{
    const QVector3D ref = std::fabs(QVector3D::dotProduct(f, QVector3D(0, 0, 1))) > 0.95f ? QVector3D(0, 1, 0)
                                                                                           : QVector3D(0, 0, 1);
    *right = QVector3D::crossProduct(f, ref).normalized();
    *up = QVector3D::crossProduct(*right, f).normalized();
}

} // namespace

float OrbitCamera::wrapDegrees(float value)
{
    return float(std::remainder(double(value), 360.0));
}

float OrbitCamera::usedElevation() const
{
    return elevation == elevation ? wrapDegrees(elevation) : 0.0f;
}

QVector3D OrbitCamera::eye() const
{
    const double a = radians(usedAzimuth());
    const double e = radians(usedElevation());
    const double d = usedDistance();
    return target + QVector3D(float(d * std::cos(a) * std::cos(e)), float(d * std::sin(a) * std::cos(e)),
                              float(d * std::sin(e)));
}

QVector3D OrbitCamera::forward() const
{
    const QVector3D f = target - eye();
    if (f.lengthSquared() < 1e-10f)
        return QVector3D(0, 0, -1);
    return f.normalized();
}

QVector3D OrbitCamera::up() const
{
    const double a = radians(usedAzimuth());
    const double e = radians(usedElevation());
    QVector3D up(float(-std::sin(e) * std::cos(a)), float(-std::sin(e) * std::sin(a)), float(std::cos(e)));
    const QVector3D f = forward();
    if (up.lengthSquared() < 1e-10f || std::fabs(QVector3D::dotProduct(up.normalized(), f)) > 0.9999f) {
        QVector3D right;
        screenAxes(f, &right, &up);
        return up;
    }
    return up.normalized();
}

QMatrix4x4 OrbitCamera::viewMatrix() const
{
    QMatrix4x4 view;
    view.lookAt(eye(), target, up());
    return view;
}

QMatrix4x4 OrbitCamera::projectionMatrix(int width, int height, float boundsDiagonal) const
{
    const float aspect = float(width) / float(std::max(height, 1));
    const float d = usedDistance();
    QMatrix4x4 projection;
    if (orthographic) {
        // Same cross-section as the perspective frustum at the target.
        const float h = std::max(std::tan(radians(kHalfFovDeg)) * d, 0.001f);
        const float w = h * aspect;
        const float farPlane = std::max(8.0f * std::max(boundsDiagonal, 1.0f) + 200.0f * d, 1.001f);
        projection.ortho(-w, w, -h, h, 0.001f, farPlane);
    } else {
        const float nearPlane = std::max(0.001f * d, 0.0001f);
        const float farPlane = std::max(100.0f * d, nearPlane + 1.0f);
        projection.perspective(2.0f * kHalfFovDeg, aspect, nearPlane, farPlane);
    }
    return projection;
}

void OrbitCamera::fit(float radius)
{
    fitDistance = 2.2f * radius;
    distance = fitDistance;
    reset();
}

void OrbitCamera::reset()
{
    distance = fitDistance;
    target = fitTarget;
    azimuth = kDefaultAzimuth;
    elevation = kDefaultElevation;
}

void OrbitCamera::frame(const QVector3D& boxMin, const QVector3D& boxMax, float aspect)
{
    const QVector3D centre = 0.5f * (boxMin + boxMax);
    const QVector3D f = forward();
    const QVector3D u = up();
    const QVector3D r = QVector3D::crossProduct(f, u).normalized();
    const float slope = std::tan(radians(kHalfFovDeg)) * kFrameFill;
    const float a = aspect > 1e-3f && aspect == aspect ? aspect : 1.0f;
    float d = 0.0f;
    for (int corner = 0; corner < 8; ++corner) {
        const QVector3D p((corner & 1) ? boxMax.x() : boxMin.x(), (corner & 2) ? boxMax.y() : boxMin.y(),
                          (corner & 4) ? boxMax.z() : boxMin.z());
        const QVector3D v = p - centre;
        const float need = std::max(std::fabs(QVector3D::dotProduct(v, u)),
                                    std::fabs(QVector3D::dotProduct(v, r)) / a) / slope;
        // Orthographic: the view's half-height is slope * d everywhere; the
        // eye only has to stay outside the box. Perspective: a corner nearer
        // the eye by z sees the frustum at d - z.
        const float towardEye = -QVector3D::dotProduct(v, f);
        d = orthographic ? std::max({d, need, 1.1f * towardEye}) : std::max(d, towardEye + need);
    }
    target = centre;
    fitTarget = centre;
    // A point-sized box keeps the distance it has (repaired elsewhere).
    if (validDistance(d)) {
        distance = d;
        fitDistance = d;
    }
}

void OrbitCamera::repairDistance()
{
    if (!validDistance(distance))
        distance = validDistance(fitDistance) ? fitDistance : 1.0f;
}

void OrbitCamera::isometric()
{
    azimuth = 45.0f;
    elevation = kIsometricElevation;
    repairDistance();
}

void OrbitCamera::lookAlong(const QVector3D& d)
{
    const QVector3D u = d.normalized();
    if (u.isNull())
        return;
    azimuth = degrees(std::atan2(double(u.y()), double(u.x())));
    elevation = std::clamp(degrees(std::asin(std::clamp(double(u.z()), -1.0, 1.0))), -89.0f, 89.0f);
    repairDistance();
}

void OrbitCamera::orbit(float dx, float dy)
{
    azimuth = wrapDegrees(azimuth - 0.3f * dx);
    elevation = wrapDegrees(elevation + 0.3f * dy);
}

void OrbitCamera::pan(float dx, float dy, int viewportHeight)
{
    QVector3D right, upAxis;
    screenAxes(forward(), &right, &upAxis);
    const float scale = std::max(std::tan(radians(kHalfFovDeg)) * 2.0f * usedDistance() / float(std::max(viewportHeight, 1)),
                                 1e-6f);
    target += upAxis * (dy * scale) - right * (dx * scale);
}

void OrbitCamera::zoom(bool forwardTurn)
{
    distance = forwardTurn ? std::max(distance * 0.9f, 0.01f) : distance * 1.1f;
}

bool projectToScreen(const QVector3D& world, const QMatrix4x4& viewProjection, int width, int height,
                     QPointF* screen, float* depth)
{
    const QVector4D clip = viewProjection * QVector4D(world, 1.0f);
    if (clip.w() <= 0.0f || std::fabs(clip.w()) < 1e-8f)
        return false;
    const float x = clip.x() / clip.w();
    const float y = clip.y() / clip.w();
    *screen = QPointF((double(x) + 1.0) * 0.5 * width, (1.0 - double(y)) * 0.5 * height);
    if (depth)
        *depth = clip.z() / clip.w();
    return true;
}

bool screenRay(const QPointF& pixel, const QMatrix4x4& viewProjection, int width, int height, QVector3D* origin,
               QVector3D* direction)
{
    if (width < 2 || height < 2)
        return false;
    bool invertible = false;
    const QMatrix4x4 inverse = viewProjection.inverted(&invertible);
    if (!invertible)
        return false;
    const float nx = float(2.0 * pixel.x() / width - 1.0);
    const float ny = float(1.0 - 2.0 * pixel.y() / height);
    const QVector4D nearClip = inverse * QVector4D(nx, ny, -1.0f, 1.0f);
    const QVector4D farClip = inverse * QVector4D(nx, ny, 1.0f, 1.0f);
    if (std::fabs(nearClip.w()) < 1e-8f || std::fabs(farClip.w()) < 1e-8f)
        return false;
    const QVector3D nearPoint = nearClip.toVector3D() / nearClip.w();
    const QVector3D farPoint = farClip.toVector3D() / farClip.w();
    const QVector3D dir = farPoint - nearPoint;
    if (dir.lengthSquared() < 1e-12f)
        return false;
    *origin = nearPoint;
    *direction = dir.normalized();
    return true;
}
