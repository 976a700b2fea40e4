#include "model/align/rotation.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float kPi = 3.1415927f;
}

Rotation3 Rotation3::fromRows(const QVector3D& r0, const QVector3D& r1, const QVector3D& r2)
{
    Rotation3 r;
    const QVector3D rows[3] = {r0, r1, r2};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = rows[i][j];
    return r;
}

QVector3D Rotation3::apply(const QVector3D& v) const
{
    return {m[0][0] * v.x() + m[0][1] * v.y() + m[0][2] * v.z(), m[1][0] * v.x() + m[1][1] * v.y() + m[1][2] * v.z(),
            m[2][0] * v.x() + m[2][1] * v.y() + m[2][2] * v.z()};
}

float Rotation3::determinant() const
{
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
           + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Rotation3 operator*(const Rotation3& a, const Rotation3& b)
{
    Rotation3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    return r;
}

QVector3D normalizedOr(const QVector3D& v, const QVector3D& fallback)
{
    const float len = v.length();
    if (len > 1e-8f)
        return v / len;
    const float flen = fallback.length();
    if (flen > 1e-8f)
        return fallback / flen;
    return {1.0f, 0.0f, 0.0f};
}

QVector3D projectOntoPlane(const QVector3D& v, const QVector3D& normal, const QVector3D& fallback)
{
    const QVector3D n = normalizedOr(normal, QVector3D(0, 0, 1));
    const QVector3D p = v - QVector3D::dotProduct(v, n) * n;
    if (p.length() > 1e-8f)
        return p.normalized();
    const QVector3D q = fallback - QVector3D::dotProduct(fallback, n) * n;
    return normalizedOr(q, QVector3D(1, 0, 0));
}

Rotation3 axisAngleRotation(const QVector3D& axis, float angleRadians)
{
    const QVector3D k = normalizedOr(axis, QVector3D(0, 0, 1));
    const float c = std::cos(angleRadians), s = std::sin(angleRadians), t = 1.0f - c;
    const float x = k.x(), y = k.y(), z = k.z();
    Rotation3 r;
    r.m[0][0] = c + t * x * x;
    r.m[0][1] = t * x * y - s * z;
    r.m[0][2] = t * x * z + s * y;
    r.m[1][0] = t * x * y + s * z;
    r.m[1][1] = c + t * y * y;
    r.m[1][2] = t * y * z - s * x;
    r.m[2][0] = t * x * z - s * y;
    r.m[2][1] = t * y * z + s * x;
    r.m[2][2] = c + t * z * z;
    return r;
}

QVector3D basisAxis(Axis axis)
{
    return {axis == Axis::X ? 1.0f : 0.0f, axis == Axis::Y ? 1.0f : 0.0f, axis == Axis::Z ? 1.0f : 0.0f};
}

Rotation3 rotationBetween(const QVector3D& n, Axis targetAxis)
{
    const QVector3D e = basisAxis(targetAxis);
    const QVector3D nh = normalizedOr(n, e);
    const float d = std::clamp(QVector3D::dotProduct(nh, e), -1.0f, 1.0f);
    if (std::fabs(d) <= 0.999999f) {
        const QVector3D axis = normalizedOr(QVector3D::crossProduct(nh, e), QVector3D(0, 0, 1));
        return axisAngleRotation(axis, std::acos(d));
    }
    if (d < 0.0f) {
        const QVector3D aux = std::fabs(nh.x()) < 0.9f ? QVector3D(1, 0, 0) : QVector3D(0, 1, 0);
        const QVector3D axis = normalizedOr(QVector3D::crossProduct(nh, aux), QVector3D(0, 0, 1));
        return axisAngleRotation(axis, kPi);
    }
    return Rotation3::identity();
}

Rotation3 buildAxisAlignment(const QVector3D& n, Axis targetAxis, const QVector3D& reference, float twistDegrees)
{
    const QVector3D e = basisAxis(targetAxis);
    const QVector3D nh = normalizedOr(n, e);
    const QVector3D u = projectOntoPlane(reference, nh, QVector3D(1, 0, 0));
    const Rotation3 r1 = rotationBetween(nh, targetAxis);
    const QVector3D w = targetAxis == Axis::X ? QVector3D(0, 1, 0) : QVector3D(1, 0, 0);
    const QVector3D uPrime = projectOntoPlane(r1.apply(u), e, w);
    const float phi = std::atan2(QVector3D::dotProduct(e, QVector3D::crossProduct(uPrime, w)),
                                 std::clamp(QVector3D::dotProduct(uPrime, w), -1.0f, 1.0f));
    const Rotation3 r2 = axisAngleRotation(e, phi);
    const Rotation3 r3 = axisAngleRotation(e, twistDegrees * kPi / 180.0f);
    return r3 * r2 * r1;
}
