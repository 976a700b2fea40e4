// The sums and the projection below repeat vtkOBBTree::ComputeOBB's own
// arithmetic in its order (doubles, no fused operations), minus the copy into
// vtkPoints, the virtual point reads and the closest-point work per axis.
#include "model/align/pointobb.h"

#include <vtkMath.h>
#include <vtkNew.h>
#include <vtkOBBTree.h>
#include <vtkPoints.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <thread>
#include <vector>

namespace {

// vtkLine::DistanceToLine treats a point as numerically far when the squared
// axis length is below this times the projection's numerator.
constexpr double kVtkLineTolerance = 1.0e-05;
// Below this many sampled points one thread projects them all.
constexpr std::size_t kParallelPoints = 200000;

struct Extent {
    double lo[3] = {DBL_MAX, DBL_MAX, DBL_MAX};
    double hi[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
    bool special = false; // a point VTK's line distance handles apart
};

void project(const Vec3f* points, std::size_t first, std::size_t last, std::size_t step, const double mean[3],
             const double* const ends[3], Extent& e)
{
    double p21[3][3], denom[3];
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k)
            p21[i][k] = ends[i][k] - mean[k];
        denom[i] = p21[i][0] * p21[i][0] + p21[i][1] * p21[i][1] + p21[i][2] * p21[i][2];
    }
    for (std::size_t j = first; j < last; ++j) {
        const Vec3f& v = points[j * step];
        const double x[3] = {double(v.x), double(v.y), double(v.z)};
        for (int i = 0; i < 3; ++i) {
            const double num =
                p21[i][0] * (x[0] - mean[0]) + p21[i][1] * (x[1] - mean[1]) + p21[i][2] * (x[2] - mean[2]);
            if (!(denom[i] >= std::fabs(kVtkLineTolerance * num)))
                e.special = true;
            const double t = num / denom[i];
            e.lo[i] = std::min(t, e.lo[i]);
            e.hi[i] = std::max(t, e.hi[i]);
        }
    }
}

} // namespace

PointObb pointObbVtk(const Vec3f* points, std::size_t count, std::size_t step)
{
    vtkNew<vtkPoints> sample;
    sample->SetDataTypeToDouble();
    sample->SetNumberOfPoints(vtkIdType((count + step - 1) / step));
    vtkIdType n = 0;
    for (std::size_t i = 0; i < count; i += step)
        sample->SetPoint(n++, double(points[i].x), double(points[i].y), double(points[i].z));
    PointObb o;
    vtkNew<vtkOBBTree> obb;
    obb->ComputeOBB(sample, o.corner, o.maxAxis, o.midAxis, o.minAxis, o.size);
    return o;
}

PointObb pointObb(const Vec3f* points, std::size_t count, std::size_t step, unsigned threads)
{
    const std::size_t n = (count + step - 1) / step;
    const double numPts = double(vtkIdType(n));
    double mean[3] = {0.0, 0.0, 0.0};
    for (std::size_t j = 0; j < n; ++j) {
        const Vec3f& v = points[j * step];
        mean[0] += double(v.x);
        mean[1] += double(v.y);
        mean[2] += double(v.z);
    }
    for (double& m : mean)
        m /= numPts;

    double a0[3] = {}, a1[3] = {}, a2[3] = {};
    for (std::size_t j = 0; j < n; ++j) {
        const Vec3f& v = points[j * step];
        const double xp[3] = {double(v.x) - mean[0], double(v.y) - mean[1], double(v.z) - mean[2]};
        for (int i = 0; i < 3; ++i) {
            a0[i] += xp[0] * xp[i];
            a1[i] += xp[1] * xp[i];
            a2[i] += xp[2] * xp[i];
        }
    }
    for (int i = 0; i < 3; ++i) {
        a0[i] /= numPts;
        a1[i] /= numPts;
        a2[i] /= numPts;
    }
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(a0[i]) || !std::isfinite(a1[i]) || !std::isfinite(a2[i]) || !std::isfinite(mean[i]))
            return pointObbVtk(points, count, step);

    PointObb o;
    double* a[3] = {a0, a1, a2};
    double v0[3], v1[3], v2[3];
    double* v[3] = {v0, v1, v2};
    vtkMath::Jacobi(a, o.size, v);
    double* axes[3] = {o.maxAxis, o.midAxis, o.minAxis};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k)
            axes[i][k] = v[k][i];
    for (int i = 0; i < 3; ++i) {
        a[0][i] = mean[i] + o.maxAxis[i];
        a[1][i] = mean[i] + o.midAxis[i];
        a[2][i] = mean[i] + o.minAxis[i];
    }

    const std::size_t parts = n >= kParallelPoints ? std::max(1u, threads) : 1;
    std::vector<Extent> extents(parts);
    std::vector<std::thread> pool;
    for (std::size_t p = 1; p < parts; ++p)
        pool.emplace_back([&, p] { project(points, n * p / parts, n * (p + 1) / parts, step, mean, a, extents[p]); });
    project(points, 0, n / parts, step, mean, a, extents[0]);
    for (std::thread& t : pool)
        t.join();
    Extent all;
    for (const Extent& e : extents) {
        all.special = all.special || e.special;
        for (int i = 0; i < 3; ++i) {
            all.lo[i] = std::min(e.lo[i], all.lo[i]);
            all.hi[i] = std::max(e.hi[i], all.hi[i]);
        }
    }
    // A zero extreme could carry either sign of zero, depending on the VTK
    // version's branch; let VTK decide those, as well as the far points.
    for (int i = 0; i < 3; ++i)
        if (all.lo[i] == 0.0 || all.hi[i] == 0.0)
            all.special = true;
    if (all.special)
        return pointObbVtk(points, count, step);

    for (int i = 0; i < 3; ++i) {
        o.corner[i] = mean[i] + all.lo[0] * o.maxAxis[i] + all.lo[1] * o.midAxis[i] + all.lo[2] * o.minAxis[i];
        o.maxAxis[i] = (all.hi[0] - all.lo[0]) * o.maxAxis[i];
        o.midAxis[i] = (all.hi[1] - all.lo[1]) * o.midAxis[i];
        o.minAxis[i] = (all.hi[2] - all.lo[2]) * o.minAxis[i];
    }
    return o;
}
