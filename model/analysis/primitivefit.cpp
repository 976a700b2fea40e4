#include "model/analysis/primitivefit.h"

#include <Eigen/Eigenvalues>

#include <cmath>

namespace {

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

} // namespace

PrimitiveFit fitPrimitive(const MeshModel& model)
{
    PrimitiveFit fit;
    const std::size_t n = model.vertices.size();
    if (!model.hasMesh() || n < 10)
        return fit;
    const Vec3f* v = model.vertices.data();
    const double count = double(n);

    Eigen::Vector3d c = Eigen::Vector3d::Zero();
    for (std::size_t i = 0; i < n; ++i)
        c += toEigen(v[i]);
    c /= count;
    Eigen::Matrix3d cov = Eigen::Matrix3d::Zero();
    for (std::size_t i = 0; i < n; ++i) {
        const Eigen::Vector3d d = toEigen(v[i]) - c;
        cov += d * d.transpose();
    }
    cov /= count;
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(cov); // eigenvalues ascending
    const Eigen::Matrix3d axes = solver.eigenvectors();
    const Eigen::Vector3d normal = unitOrAsIs(axes.col(0));

    double planeSq = 0.0, radiusSum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const Eigen::Vector3d d = toEigen(v[i]) - c;
        planeSq += std::pow(d.dot(normal), 2);
        radiusSum += d.norm();
    }
    const double planeResidual = std::sqrt(planeSq / count);
    const double sphereRadius = radiusSum / count;
    double sphereSq = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        sphereSq += std::pow((toEigen(v[i]) - c).norm() - sphereRadius, 2);
    const double sphereResidual = std::sqrt(sphereSq / count);

    double cylinderResidual = 0.0, cylinderRadius = 0.0;
    Eigen::Vector3d cylinderAxis = Eigen::Vector3d::UnitZ();
    for (int k = 0; k < 3; ++k) {
        const Eigen::Vector3d a = unitOrAsIs(axes.col(k));
        const auto distance = [&](const Vec3f& p) {
            const Eigen::Vector3d d = toEigen(p) - c;
            return (d - d.dot(a) * a).norm();
        };
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            sum += distance(v[i]);
        const double radius = sum / count;
        double sq = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            sq += std::pow(distance(v[i]) - radius, 2);
        const double residual = std::sqrt(sq / count);
        if (k == 0 || residual < cylinderResidual) {
            cylinderResidual = residual;
            cylinderRadius = radius;
            cylinderAxis = a;
        }
    }

    fit.centre = toVec(c);
    if (planeResidual <= sphereResidual && planeResidual <= cylinderResidual) {
        fit.type = "plane";
        fit.residual = float(planeResidual);
        fit.axis = toVec(normal);
    } else if (cylinderResidual < sphereResidual) {
        fit.type = "cylinder";
        fit.residual = float(cylinderResidual);
        fit.radius = float(cylinderRadius);
        fit.axis = toVec(cylinderAxis);
    } else {
        fit.type = "sphere";
        fit.residual = float(sphereResidual);
        fit.radius = float(sphereRadius);
    }
    return fit;
}
