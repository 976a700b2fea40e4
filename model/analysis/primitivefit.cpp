#include "model/analysis/primitivefit.h"

#include "model/mesh/surfacesamples.h"

#include <Eigen/Eigenvalues>

#include <cmath>
#include <cstdio>

namespace {

// Coarse meshes are sampled to at least this many points, enough for a
// residual that sees a CAD cylinder's wall between its rims.
constexpr std::size_t kMinSamples = 20000;
// A sample belongs to a cylinder's wall when its normal is this far from
// the axis (cos 60°); the end caps face along the axis.
constexpr double kWallAxisCos = 0.5;

Eigen::Vector3d toEigen(const Vec3f& v)
{
    return {double(v.x), double(v.y), double(v.z)};
}

Vec3f toVec(const Eigen::Vector3d& v)
{
    return Vec3f(float(v.x()), float(v.y()), float(v.z()));
}

Eigen::Vector3d unitOrAsIs(const Eigen::Vector3d& v)
{
    const double n = v.norm();
    return n > 0.0 ? Eigen::Vector3d(v / n) : v;
}

// Weighted mean and RMS spread of a per-sample value, two passes.
template <class Visit, class Value>
void meanAndSpread(const Visit& visit, const Value& value, double* mean, double* rms, double* weight = nullptr)
{
    double sum = 0.0, w = 0.0;
    visit([&](const SurfaceSample& s) {
        double x;
        if (value(s, &x)) {
            sum += s.weight * x;
            w += s.weight;
        }
    });
    *mean = w > 0.0 ? sum / w : 0.0;
    double sq = 0.0;
    visit([&](const SurfaceSample& s) {
        double x;
        if (value(s, &x))
            sq += s.weight * (x - *mean) * (x - *mean);
    });
    *rms = w > 0.0 ? std::sqrt(sq / w) : 0.0;
    if (weight)
        *weight = w;
}

} // namespace

PrimitiveFit fitPrimitive(const MeshModel& model)
{
    PrimitiveFit fit;
    if (!model.hasMesh() || model.vertices.size() < 10)
        return fit;
    const Vec3f* v = model.vertices.data();
    const std::size_t nv = model.vertices.size();
    const Triangle* f = model.faces.data();
    const std::size_t nf = model.faces.size();
    const double area = surfaceArea(v, nv, f, nf);
    if (!(area > 0.0) || !std::isfinite(area))
        return fit;
    const auto visit = [&](auto&& fn) { forEachSurfaceSample(v, nv, f, nf, area, kMinSamples, fn); };

    Eigen::Vector3d c = Eigen::Vector3d::Zero();
    double total = 0.0;
    visit([&](const SurfaceSample& s) {
        c += s.weight * toEigen(s.point);
        total += s.weight;
    });
    c /= total;
    Eigen::Matrix3d cov = Eigen::Matrix3d::Zero();
    visit([&](const SurfaceSample& s) {
        const Eigen::Vector3d d = toEigen(s.point) - c;
        cov += s.weight * d * d.transpose();
    });
    cov /= total;
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(cov); // eigenvalues ascending
    const Eigen::Matrix3d axes = solver.eigenvectors();
    const Eigen::Vector3d normal = unitOrAsIs(axes.col(0));

    // Distances to the candidate shapes: plane offset, distance from c, and
    // distance from each eigenvector's axis line. One pass for the means, one
    // for the spreads.
    Eigen::Vector3d unitAxes[3];
    for (int k = 0; k < 3; ++k)
        unitAxes[k] = unitOrAsIs(axes.col(k));
    const auto distances = [&](const SurfaceSample& s, double out[5]) {
        const Eigen::Vector3d d = toEigen(s.point) - c;
        out[0] = d.dot(normal);
        out[1] = d.norm();
        for (int k = 0; k < 3; ++k)
            out[2 + k] = (d - d.dot(unitAxes[k]) * unitAxes[k]).norm();
    };
    double mean[5] = {0, 0, 0, 0, 0}, sq[5] = {0, 0, 0, 0, 0};
    visit([&](const SurfaceSample& s) {
        double x[5];
        distances(s, x);
        for (int i = 0; i < 5; ++i)
            mean[i] += s.weight * x[i];
    });
    for (double& m : mean)
        m /= total;
    visit([&](const SurfaceSample& s) {
        double x[5];
        distances(s, x);
        // The plane's residual is about the plane through c itself.
        sq[0] += s.weight * x[0] * x[0];
        for (int i = 1; i < 5; ++i)
            sq[i] += s.weight * (x[i] - mean[i]) * (x[i] - mean[i]);
    });
    const double planeResidual = std::sqrt(sq[0] / total);
    const double sphereRadius = mean[1], sphereResidual = std::sqrt(sq[1] / total);
    int best = 0;
    for (int k = 1; k < 3; ++k)
        if (sq[2 + k] < sq[2 + best])
            best = k;
    double cylinderRadius = mean[2 + best], cylinderResidual = std::sqrt(sq[2 + best] / total);
    const Eigen::Vector3d cylinderAxis = unitAxes[best];

    fit.centre = toVec(c);
    if (planeResidual <= sphereResidual && planeResidual <= cylinderResidual) {
        fit.type = "plane";
        fit.residual = float(planeResidual);
        fit.axis = toVec(normal);
    } else if (cylinderResidual < sphereResidual) {
        fit.type = "cylinder";
        fit.axis = toVec(cylinderAxis);
        // The caps of a closed cylinder pull the mean distance inwards; when
        // the wall carries most of the area, it alone gives radius and residual.
        double wallRadius = 0.0, wallResidual = 0.0, wallWeight = 0.0;
        meanAndSpread(
            visit,
            [&](const SurfaceSample& s, double* x) {
                if (std::fabs(toEigen(s.normal).dot(cylinderAxis)) >= kWallAxisCos)
                    return false;
                const Eigen::Vector3d d = toEigen(s.point) - c;
                *x = (d - d.dot(cylinderAxis) * cylinderAxis).norm();
                return true;
            },
            &wallRadius, &wallResidual, &wallWeight);
        if (wallWeight >= 0.5 * total) {
            cylinderRadius = wallRadius;
            cylinderResidual = wallResidual;
        }
        fit.residual = float(cylinderResidual);
        fit.radius = float(cylinderRadius);
    } else {
        fit.type = "sphere";
        fit.residual = float(sphereResidual);
        fit.radius = float(sphereRadius);
    }
    return fit;
}

namespace {

std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string triple(const Vec3f& v, int decimals)
{
    return "(" + fixed(v.x, decimals) + ", " + fixed(v.y, decimals) + ", " + fixed(v.z, decimals) + ")";
}

} // namespace

std::string primitiveReport(const PrimitiveFit& fit)
{
    const std::string residual = " (residual " + fixed(fit.residual, 4) + " mm)";
    if (fit.type == "plane")
        return "Best fit: PLANE" + residual + "\nNormal: " + triple(fit.axis, 4) + "\nCenter: " + triple(fit.centre, 2);
    if (fit.type == "sphere")
        return "Best fit: SPHERE" + residual + "\nRadius: " + fixed(fit.radius, 2) + " mm\nCenter: " +
               triple(fit.centre, 2);
    if (fit.type == "cylinder")
        return "Best fit: CYLINDER" + residual + "\nRadius: " + fixed(fit.radius, 2) + " mm\nAxis: " +
               triple(fit.axis, 4) + "\nCenter: " + triple(fit.centre, 2);
    return "Could not fit any primitive.";
}
