#pragma once

#include <QMatrix4x4>
#include <QPointF>
#include <QVector3D>

// Orbit camera of the 3D view: Z up, eye on a sphere about the target.
// Plain maths with no widget, so the rules for degenerate input can be
// tested without a GL context.
struct OrbitCamera {
    static constexpr float kDefaultAzimuth = 225.0f;
    static constexpr float kDefaultElevation = 25.0f;
    static constexpr float kIsometricElevation = 35.264389f; // atan(1 / sqrt 2)

    // Share of the view's half-size a framed part may fill: the rest is margin.
    static constexpr float kFrameFill = 0.85f;

    QVector3D target{0.0f, 0.0f, 0.0f};
    float distance = 500.0f;
    float fitDistance = 500.0f; // repairs an invalid distance
    QVector3D fitTarget{0.0f, 0.0f, 0.0f};
    float azimuth = kDefaultAzimuth;     // degrees about world Z
    float elevation = kDefaultElevation; // degrees above the XY plane
    bool orthographic = true;

    // Angle into [-180, 180] by the IEEE remainder with 360.
    static float wrapDegrees(float degrees);
    static bool validDistance(float d) { return d == d && d > 0.0001f; }

    // NaN-safe inputs as the view matrix uses them.
    float usedAzimuth() const { return azimuth == azimuth ? azimuth : 0.0f; }
    float usedElevation() const;
    float usedDistance() const { return validDistance(distance) ? distance : 1.0f; }

    QVector3D eye() const;
    QVector3D forward() const;
    QVector3D up() const;
    QMatrix4x4 viewMatrix() const;
    // boundsDiagonal: |max - min| of the mesh, for the orthographic far plane.
    QMatrix4x4 projectionMatrix(int width, int height, float boundsDiagonal) const;

    // Camera fit after a new mesh: distance from the mesh radius, default angles.
    void fit(float radius);
    // Fit All: back to the last fit.
    void reset();
    // Target at the box centre and the distance at which its eight corners
    // project inside the view (aspect = width / height) with a margin, for
    // the current angles and projection. Becomes the fit.
    void frame(const QVector3D& boxMin, const QVector3D& boxMax, float aspect);
    void isometric();
    // Eye placed along d from the target (d need not be unit).
    void lookAlong(const QVector3D& d);
    void orbit(float dx, float dy);
    // Pixel motion; the model follows the pointer.
    void pan(float dx, float dy, int viewportHeight);
    void zoom(bool forward);

private:
    void repairDistance();
};

// World point to widget pixels (y down); fails behind the eye (w <= 0 or
// |w| < 1e-8). depth receives ndc z when given.
bool projectToScreen(const QVector3D& world, const QMatrix4x4& viewProjection, int width, int height,
                     QPointF* screen, float* depth = nullptr);

// Widget pixel to a world ray through the near and far planes.
bool screenRay(const QPointF& pixel, const QMatrix4x4& viewProjection, int width, int height, QVector3D* origin,
               QVector3D* direction);
