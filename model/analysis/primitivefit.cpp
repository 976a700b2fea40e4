#include "model/analysis/primitivefit.h"

#include "model/mesh/surfacesamples.h"

#include <Eigen/Eigenvalues>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>
#include <cstdio>

namespace {

// Coarse meshes are sampled to at least this many points, enough for a
// residual that sees a CAD cylinder's wall between its rims.
constexpr std::size_t kMinSamples = 20000;
// A sample belongs to a cylinder's wall when its normal is this far from
// the axis (cos 60°); the end caps face along the axis.
constexpr double kWallAxisCos = 0.5;
// Large meshes are summed in this many chunks, on as many threads as there are cores.
constexpr std::size_t kParallelFaces = 200000;
constexpr std::size_t kChunks = 8;

// Weighted sums of a few per-sample values.
template <int N>
struct Sums {
    double w = 0.0;
    double v[N] = {};
    Sums& operator+=(const Sums& o)
    {
        w += o.w;
        for (int i = 0; i < N; ++i)
            v[i] += o.v[i];
        return *this;
    }
};

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

// Runs fn(acc, sample) over every sample in a fixed number of face chunks,
// on up to that many threads, and adds the chunks' sums in chunk order, so
// the result does not depend on the machine's core count.
template <class Acc, class Fn>
Acc sumOverSamples(const MeshModel& model, double totalArea, std::size_t minSamples, Fn fn)
{
    const std::size_t nf = model.faces.size();
    const std::size_t chunks = nf >= kParallelFaces ? kChunks : 1;
    std::vector<Acc> sums(chunks);
    const auto run = [&](std::size_t i) {
        const std::size_t first = nf * i / chunks, last = nf * (i + 1) / chunks;
        forEachSurfaceSample(model.vertices.data(), model.vertices.size(), model.faces.data() + first, last - first,
                             totalArea, minSamples, [&](const SurfaceSample& s) { fn(sums[i], s); });
    };
    const std::size_t threads = std::min<std::size_t>(chunks, std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (std::size_t i = t; i < chunks; i += threads)
                run(i);
        });
    for (std::size_t i = 0; i < chunks; i += threads)
        run(i);
    for (std::thread& t : pool)
        t.join();
    Acc total;
    for (const Acc& a : sums)
        total += a;
    return total;
}

// Distance of c + d from the axis line through c along the unit vector a,
// given r2 = |d|².
double axisDistance(const Eigen::Vector3d& d, double r2, const Eigen::Vector3d& a)
{
    const double along = d.dot(a);
    return std::sqrt(std::max(0.0, r2 - along * along));
}

} // namespace

PrimitiveFit fitPrimitive(const MeshModel& model)
{
    PrimitiveFit fit;
    if (!model.hasMesh() || model.vertices.size() < 10)
        return fit;
    // The area centroid is exact from one sample per triangle; only the
    // second moments need the finer sampling of large triangles.
    const auto first = sumOverSamples<Sums<3>>(model, 0.0, 1, [](Sums<3>& a, const SurfaceSample& s) {
        a.w += s.weight;
        for (int i = 0; i < 3; ++i)
            a.v[i] += s.weight * double(s.point[i]);
    });
    const double total = first.w;
    if (!(total > 0.0) || !std::isfinite(total))
        return fit;
    const Eigen::Vector3d c = Eigen::Vector3d(first.v[0], first.v[1], first.v[2]) / total;

    // Upper triangle of the covariance: xx, xy, xz, yy, yz, zz.
    const auto second = sumOverSamples<Sums<6>>(model, total, kMinSamples, [&](Sums<6>& a, const SurfaceSample& s) {
        const Eigen::Vector3d d = toEigen(s.point) - c;
        const double m[6] = {d.x() * d.x(), d.x() * d.y(), d.x() * d.z(), d.y() * d.y(), d.y() * d.z(), d.z() * d.z()};
        for (int i = 0; i < 6; ++i)
            a.v[i] += s.weight * m[i];
    });
    Eigen::Matrix3d cov;
    cov << second.v[0], second.v[1], second.v[2], second.v[1], second.v[3], second.v[4], second.v[2], second.v[4],
        second.v[5];
    cov /= total;
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(cov); // eigenvalues ascending
    const Eigen::Matrix3d axes = solver.eigenvectors();
    const Eigen::Vector3d normal = unitOrAsIs(axes.col(0));

    // The plane's mean square offset is the smallest eigenvalue itself.
    const double planeResidual = std::sqrt(std::max(0.0, solver.eigenvalues()(0)));

    // Distance from c and from each eigenvector's axis line, first and
    // second moments in one pass (variance = E[x²] − E[x]², in doubles).
    Eigen::Vector3d unitAxes[3];
    for (int k = 0; k < 3; ++k)
        unitAxes[k] = unitOrAsIs(axes.col(k));
    // m[i] sums x, m[4 + i] sums x².
    const auto moments = sumOverSamples<Sums<8>>(model, total, kMinSamples, [&](Sums<8>& a, const SurfaceSample& s) {
        const Eigen::Vector3d d = toEigen(s.point) - c;
        const double r2 = d.squaredNorm();
        const double x[4] = {std::sqrt(r2), axisDistance(d, r2, unitAxes[0]), axisDistance(d, r2, unitAxes[1]),
                             axisDistance(d, r2, unitAxes[2])};
        for (int i = 0; i < 4; ++i) {
            a.v[i] += s.weight * x[i];
            a.v[4 + i] += s.weight * x[i] * x[i];
        }
    });
    double mean[4], rms[4];
    for (int i = 0; i < 4; ++i) {
        mean[i] = moments.v[i] / total;
        rms[i] = std::sqrt(std::max(0.0, moments.v[4 + i] / total - mean[i] * mean[i]));
    }
    const double sphereRadius = mean[0], sphereResidual = rms[0];
    int best = 1;
    for (int k = 2; k < 4; ++k)
        if (rms[k] < rms[best])
            best = k;
    double cylinderRadius = mean[best], cylinderResidual = rms[best];
    const Eigen::Vector3d cylinderAxis = unitAxes[best - 1];

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
        const auto wall = sumOverSamples<Sums<2>>(model, total, kMinSamples, [&](Sums<2>& a, const SurfaceSample& s) {
            if (std::fabs(toEigen(s.normal).dot(cylinderAxis)) >= kWallAxisCos)
                return;
            const Eigen::Vector3d d = toEigen(s.point) - c;
            const double x = axisDistance(d, d.squaredNorm(), cylinderAxis);
            a.w += s.weight;
            a.v[0] += s.weight * x;
            a.v[1] += s.weight * x * x;
        });
        const double wallWeight = wall.w;
        const double wallRadius = wallWeight > 0.0 ? wall.v[0] / wallWeight : 0.0;
        const double wallResidual =
            wallWeight > 0.0 ? std::sqrt(std::max(0.0, wall.v[1] / wallWeight - wallRadius * wallRadius)) : 0.0;
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
