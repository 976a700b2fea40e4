#include "model/align/planeframe.h"

#include "model/align/rotation.h"

#include <cmath>

PlaneFrame buildPlaneFrame(const QVector3D& normal, const QVector3D& inPlaneRef)
{
    PlaneFrame f;
    f.n = normalizedOr(normal, QVector3D(0, 0, 1));
    QVector3D u0 = inPlaneRef - QVector3D::dotProduct(inPlaneRef, f.n) * f.n;
    if (u0.length() < 1e-8f) {
        // Any fixed in-plane axis will do; X unless the plane faces X.
        const QVector3D r = std::fabs(QVector3D::dotProduct(f.n, QVector3D(1, 0, 0))) >= 0.85f ? QVector3D(0, 1, 0)
                                                                                              : QVector3D(1, 0, 0);
        u0 = r - QVector3D::dotProduct(r, f.n) * f.n;
    }
    f.u = normalizedOr(u0, QVector3D(1, 0, 0));
    f.v = normalizedOr(QVector3D::crossProduct(f.n, f.u), QVector3D(0, 1, 0));
    const QVector3D remade = QVector3D::crossProduct(f.v, f.n);
    if (remade.length() > 1e-8f)
        f.u = remade.normalized();
    return f;
}
