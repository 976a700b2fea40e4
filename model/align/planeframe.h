#pragma once

#include <QVector3D>

// A right-handed frame of a section plane: u points right and v up in the
// section view, n towards the viewer.
struct PlaneFrame {
    QVector3D n{0, 0, 1};
    QVector3D u{1, 0, 0};
    QVector3D v{0, 1, 0};
};

// Unit n from normal, u from inPlaneRef projected into the plane, v = n x u.
// Degenerate input never fails: it falls back to fixed axes.
PlaneFrame buildPlaneFrame(const QVector3D& normal, const QVector3D& inPlaneRef);
