// Picked-face and principal-axis alignment, 180-degree flips, the X/Y swap,
// fine tune and the reset to the loaded pose.
#include "model/align/alignmentcommands.h"
#include "model/align/commandchecks.h"
#include "model/align/flatfaceorient.h"

#include <QMatrix3x3>
#include <QQuaternion>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr float kSnapCosine = 0.72f;

using commandchecks::finite;
using commandchecks::setMessage;
using orientdetail::seatOnAxis;

} // namespace

Rotation3 fineTuneRotation(float xDegrees, float yDegrees, float zDegrees)
{
    const QQuaternion qx = QQuaternion::fromAxisAndAngle(QVector3D(1, 0, 0), xDegrees);
    const QQuaternion qy = QQuaternion::fromAxisAndAngle(QVector3D(0, 1, 0), yDegrees);
    const QQuaternion qz = QQuaternion::fromAxisAndAngle(QVector3D(0, 0, 1), zDegrees);
    const QMatrix3x3 m = (qz * qy * qx).normalized().toRotationMatrix();
    Rotation3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = m(i, j);
    return r;
}

QVector3D snapPickedReference(const QVector3D& normal, const QVector3D& pickedReference, const Rotation3& principalRows)
{
    const QVector3D fallback(1, 0, 0);
    const QVector3D n = normalizedOr(normal, QVector3D(0, 0, 1));
    const QVector3D u = projectOntoPlane(pickedReference, n, fallback);
    const QVector3D candidates[6] = {principalRows.row(0), principalRows.row(1), principalRows.row(2),
                                     QVector3D(1, 0, 0),   QVector3D(0, 1, 0),   QVector3D(0, 0, 1)};
    QVector3D best;
    float bestDot = 0.0f, bestAbs = -1.0f;
    for (const QVector3D& c : candidates) {
        const QVector3D flat = projectOntoPlane(c, n, fallback);
        const float d = QVector3D::dotProduct(flat, u);
        if (std::fabs(d) > bestAbs) {
            bestAbs = std::fabs(d);
            bestDot = d;
            best = flat;
        }
    }
    if (bestAbs >= kSnapCosine)
        return bestDot < 0.0f ? -best : best;
    return u;
}

bool MeshModel::alignToPickedFace(const QVector3D& normal, const QVector3D& inPlaneRef, Axis targetAxis,
                                  float twistDegrees, std::string* error)
{
    if (!commandchecks::meshAxisAndNormal(*this, targetAxis, normal, error))
        return false;
    Rotation3 principal;
    computePrincipalAxes(&principal);
    const QVector3D reference = snapPickedReference(normal, inPlaneRef, principal);
    applyRotation(buildAxisAlignment(normal, targetAxis, reference, twistDegrees));
    seatOnAxis(*this, targetAxis);
    updateCaches();
    return true;
}

bool MeshModel::alignPrincipalAxes(Axis targetAxis, float twistDegrees, std::string* error)
{
    if (!commandchecks::meshAndAxis(*this, targetAxis, error))
        return false;
    QVector3D major, minor;
    computePrincipalAxes(nullptr, nullptr, &major, &minor);
    if (!finite(major) || !finite(minor) || major.length() < 1e-6f || minor.length() < 1e-6f) {
        setMessage(error, "Failed to compute stable PCA basis for alignment.");
        return false;
    }
    applyRotation(buildAxisAlignment(minor, targetAxis, major, twistDegrees));
    updateCaches();
    return true;
}

bool MeshModel::flipAboutAxis(Axis axis, float angleDegrees, std::string* error)
{
    if (!commandchecks::meshAndAxis(*this, axis, error))
        return false;
    applyRotation(axisAngleRotation(basisAxis(axis), angleDegrees * 0.017453292f));
    // Always seated for Z: the part keeps resting on the XY plane.
    seatOnAxis(*this, Axis::Z);
    updateCaches();
    return true;
}

bool MeshModel::swapXYAxes(std::string* error)
{
    if (!hasMesh()) {
        setMessage(error, "No mesh loaded.");
        return false;
    }
    clearDerivedState();
    // Everything below is rebuilt by updateCaches; dropping the arrays that
    // share storage with vertices and faces first keeps the edits in place.
    displayVertices.clear();
    displayFaces.clear();
    sliceFaces.clear();
    // Written into fresh arrays rather than edited in place: the undo entry
    // and the loaded copy usually share both arrays, so a copy-on-write
    // detach would copy them first and then edit them a second time.
    std::vector<Vec3f> swapped;
    swapped.reserve(vertices.size());
    for (const Vec3f& v : vertices)
        swapped.emplace_back(v.y, v.x, v.z);
    vertices.assign(std::move(swapped));
    // The swap is a mirror; reversing every triangle keeps the normals outward.
    std::vector<Triangle> reversed;
    reversed.reserve(faces.size());
    for (const Triangle& t : faces)
        reversed.emplace_back(t.v[0], t.v[2], t.v[1]);
    faces.assign(std::move(reversed));
    seatOnAxis(*this, Axis::Z);
    updateCaches();
    return true;
}

bool MeshModel::resetAlignment(std::string* fallbackMessage, std::string* error)
{
    if (loadedVertices.empty() || loadedFaces.empty()) {
        setMessage(error, "No mesh loaded.");
        return false;
    }
    vertices = loadedVertices;
    faces = loadedFaces;
    clearDerivedState();
    // The auto-alignment ends in updateCaches; a render mesh built here would
    // be thrown away at once, so the stale one is only dropped.
    displayVertices.clear();
    displayFaces.clear();
    sliceFaces = faces;
    bumpGeometryRevision();
    return autoAlignOnImport(fallbackMessage);
}

void MeshModel::applyFineTune(float xDegrees, float yDegrees, float zDegrees)
{
    // applyRotation turns the render mesh with the vertices and drops the
    // derived state, so no rebuild is needed afterwards.
    applyRotation(fineTuneRotation(xDegrees, yDegrees, zDegrees));
}
