#pragma once

#include "model/mesh/meshtypes.h"

#include <QVector3D>

// A 3x3 single-precision rotation; a point p maps to R * p. For alignments the
// rows are the new X, Y and Z axes written in the old coordinates.
struct Rotation3 {
    float m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

    static Rotation3 identity() { return {}; }
    static Rotation3 fromRows(const QVector3D& r0, const QVector3D& r1, const QVector3D& r2);

    QVector3D row(int i) const { return {m[i][0], m[i][1], m[i][2]}; }
    QVector3D apply(const QVector3D& v) const;
    float determinant() const;

    friend Rotation3 operator*(const Rotation3& a, const Rotation3& b);
};

// v / |v| when |v| > 1e-8, else the fallback made unit, else (1, 0, 0).
QVector3D normalizedOr(const QVector3D& v, const QVector3D& fallback);

// Unit vector of v with its component along the normal removed; the
// fallback's projection when v is (nearly) parallel to the normal.
QVector3D projectOntoPlane(const QVector3D& v, const QVector3D& normal, const QVector3D& fallback);

// Rodrigues rotation; a positive angle turns counter-clockwise seen from the
// tip of the axis.
Rotation3 axisAngleRotation(const QVector3D& axis, float angleRadians);

// A world axis as a unit vector.
QVector3D basisAxis(Axis axis);

// Shortest rotation taking the direction n onto basis axis t.
Rotation3 rotationBetween(const QVector3D& n, Axis targetAxis);

// Normal n onto +e_t, the reference direction r (flattened into n's plane)
// onto the in-plane target (X, or Y when t is X), then a twist about e_t.
Rotation3 buildAxisAlignment(const QVector3D& n, Axis targetAxis, const QVector3D& reference, float twistDegrees);
