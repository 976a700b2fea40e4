// Bounding-box auto-alignment: the oriented box pose with a principal-axes
// fallback, and the operation that applies a rotation to the model.
#include "model/mesh/meshmodel.h"
#include "model/align/pointobb.h"
#include "model/align/rotation.h"

#include <Eigen/Eigenvalues>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr double kTiny = 1e-12;

struct Vec3d {
    double x = 0, y = 0, z = 0;
};
Vec3d operator-(Vec3d a, Vec3d b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3d operator*(Vec3d a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dotd(Vec3d a, Vec3d b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double lengthd(Vec3d a) { return std::sqrt(dotd(a, a)); }
Vec3d crossd(Vec3d a, Vec3d b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3d unitd(Vec3d a) { return a * (1.0 / lengthd(a)); }

void setMessage(std::string* out, const char* text)
{
    if (out)
        *out = text;
}

} // namespace

void MeshModel::computePrincipalAxes(Rotation3* rotation, QVector3D* centroidOut, QVector3D* majorAxis,
                                     QVector3D* minorAxis) const
{
    const Vec3f c = centroid();
    if (centroidOut)
        *centroidOut = QVector3D(c.x, c.y, c.z);
    QVector3D major(1, 0, 0), minor(0, 0, 1);
    Rotation3 r = Rotation3::identity();
    if (vertices.size() >= 3) {
        Eigen::Matrix3d cov = Eigen::Matrix3d::Zero();
        for (const Vec3f& v : vertices) {
            const Eigen::Vector3d d(double(v.x - c.x), double(v.y - c.y), double(v.z - c.z));
            cov.noalias() += d * d.transpose();
        }
        cov /= double(vertices.size());
        Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(cov);
        QVector3D e[3];
        for (int i = 0; i < 3; ++i) {
            const Eigen::Vector3d ev = solver.eigenvectors().col(i);
            QVector3D q(float(ev.x()), float(ev.y()), float(ev.z()));
            if (q.length() > 0.0f)
                q.normalize();
            e[i] = q;
        }
        if (QVector3D::dotProduct(e[0], QVector3D::crossProduct(e[2], e[1])) < 0.0f)
            e[0] = -e[0];
        r = Rotation3::fromRows(e[2], e[1], e[0]);
        major = e[2];
        minor = e[0];
    }
    if (rotation)
        *rotation = r;
    if (majorAxis)
        *majorAxis = major;
    if (minorAxis)
        *minorAxis = minor;
}

bool MeshModel::computeObbAlignment(Rotation3* rotation, std::string* message) const
{
    if (!rotation || vertices.size() < 3) {
        setMessage(message, "Not enough points for OBB alignment.");
        return false;
    }
    // At most 1.5 M points (every step-th; at least 1.5 M when sampled).
    const std::size_t count = vertices.size();
    const std::size_t step = std::max<std::size_t>(1, count / 1500000);
    const PointObb box = pointObb(vertices.data(), count, step);
    const Vec3d boxMax{box.maxAxis[0], box.maxAxis[1], box.maxAxis[2]};
    const Vec3d boxMid{box.midAxis[0], box.midAxis[1], box.midAxis[2]};
    const Vec3d boxMin{box.minAxis[0], box.minAxis[1], box.minAxis[2]};

    if (lengthd(boxMax) < kTiny || lengthd(boxMid) < kTiny) {
        setMessage(message, "VTK OBB produced a degenerate orientation.");
        return false;
    }
    const Vec3d major = unitd(boxMax);
    Vec3d middle = boxMid - major * dotd(boxMid, major);
    if (lengthd(middle) < kTiny) {
        Vec3d candidate = boxMin;
        if (lengthd(boxMin) < kTiny)
            candidate = std::fabs(major.x) < 0.9 ? Vec3d{1, 0, 0} : Vec3d{0, 1, 0};
        middle = candidate - major * dotd(candidate, major);
        if (lengthd(middle) < kTiny) {
            setMessage(message, "OBB axis orthogonalization failed.");
            return false;
        }
    }
    middle = unitd(middle);
    Vec3d minor = crossd(major, middle);
    if (lengthd(minor) < kTiny) {
        setMessage(message, "OBB axis cross-product failed.");
        return false;
    }
    minor = unitd(minor);
    if (lengthd(boxMin) > kTiny && dotd(minor, boxMin) < 0.0)
        minor = minor * -1.0;
    middle = unitd(crossd(minor, major));

    const auto toQ = [](Vec3d v) { return QVector3D(float(v.x), float(v.y), float(v.z)); };
    const Rotation3 r = Rotation3::fromRows(toQ(major), toQ(middle), toQ(minor));

    // Order by the extents measured over all vertices, not the box's own.
    const Vec3f c = centroid();
    std::array<float, 3> lo{}, hi{};
    lo.fill(std::numeric_limits<float>::max());
    hi.fill(std::numeric_limits<float>::lowest());
    for (const Vec3f& v : vertices) {
        const Vec3f d = v - c;
        for (int i = 0; i < 3; ++i) {
            const float p = r.m[i][0] * d.x + r.m[i][1] * d.y + r.m[i][2] * d.z;
            lo[i] = std::min(lo[i], p);
            hi[i] = std::max(hi[i], p);
        }
    }
    std::array<int, 3> order{0, 1, 2};
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return hi[a] - lo[a] > hi[b] - lo[b]; });
    Rotation3 p;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            p.m[i][j] = order[i] == j ? 1.0f : 0.0f;
    if (p.determinant() < 0.0f)
        for (float& x : p.m[2])
            x = -x;
    *rotation = p * r;
    if (message)
        message->clear();
    return true;
}

void MeshModel::applyRotation(const Rotation3& rotation)
{
    if (vertices.empty())
        return;
    clearDerivedState();
    const Vec3f c = centroid();
    const auto turn = [&](SharedArray<Vec3f>& points) {
        if (points.empty())
            return;
        for (Vec3f& v : points.edit()) {
            const Vec3f d = v - c;
            v = Vec3f{c.x + rotation.m[0][0] * d.x + rotation.m[0][1] * d.y + rotation.m[0][2] * d.z,
                      c.y + rotation.m[1][0] * d.x + rotation.m[1][1] * d.y + rotation.m[1][2] * d.z,
                      c.z + rotation.m[2][0] * d.x + rotation.m[2][1] * d.y + rotation.m[2][2] * d.z};
        }
    };
    turn(vertices);
    turn(displayVertices);
    bumpGeometryRevision();
}

bool MeshModel::autoAlignOnImport(std::string* message, Progress* progress, bool rebuildCaches)
{
    if (vertices.empty() || faces.empty()) {
        setMessage(message, "No mesh loaded.");
        return false;
    }
    Rotation3 r = Rotation3::identity();
    std::string reason;
    const bool boxed = computeObbAlignment(&r, &reason);
    if (!boxed) {
        QVector3D major, minor;
        computePrincipalAxes(nullptr, nullptr, &major, &minor);
        r = buildAxisAlignment(minor, Axis::Z, major, 0.0f);
    }
    // The pose is found; from here on the model changes, so this is the
    // last point where a cancel leaves it as it was.
    if (isCanceled(progress)) {
        setMessage(message, "Alignment canceled.");
        return false;
    }
    if (!boxed && message)
        *message = "OBB auto-align fallback: " + reason;
    else if (message)
        message->clear();
    applyRotation(r);
    const Vec3f c = centroid();
    for (Vec3f& v : vertices.edit())
        v = v - c;
    if (rebuildCaches)
        updateCaches();
    bumpGeometryRevision();
    return true;
}
