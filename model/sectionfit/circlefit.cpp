#include "model/sectionfit/circlefit.h"
#include "model/sectionfit/fitmath.h"

#include <Eigen/Dense>

#include <cmath>
#include <vector>

namespace sectionfit {

namespace {

// Each vertex stands for half of each segment beside it, so a polyline
// sampled unevenly (long chords on flat faces, short ones on curves) is
// fitted as the curve it is rather than by where its vertices crowd.
std::vector<double> vertexWeights(const QPointF* pts, int count)
{
    std::vector<double> w(static_cast<std::size_t>(count), 0.0);
    for (int i = 0; i + 1 < count; ++i) {
        const double half = 0.5 * norm(pts[i + 1].x() - pts[i].x(), pts[i + 1].y() - pts[i].y());
        w[std::size_t(i)] += half;
        w[std::size_t(i + 1)] += half;
    }
    return w;
}

double radialCost(const QPointF* pts, const std::vector<double>& w, int count, const Circle& c)
{
    double sum = 0.0;
    for (int i = 0; i < count; ++i) {
        const double d = norm(pts[i].x() - c.center.x(), pts[i].y() - c.center.y()) - c.radius;
        sum += w[std::size_t(i)] * d * d;
    }
    return sum;
}

bool finite(const Circle& c)
{
    return std::isfinite(c.center.x()) && std::isfinite(c.center.y()) && std::isfinite(c.radius) && c.radius > 0.0;
}

// Taubin's fit (the Newton iteration on the characteristic polynomial),
// on coordinates centred at the centroid so large positions lose nothing.
std::optional<Circle> taubin(const QPointF* pts, const std::vector<double>& w, int count)
{
    double mx = 0.0, my = 0.0, total = 0.0;
    for (int i = 0; i < count; ++i) {
        mx += w[std::size_t(i)] * pts[i].x();
        my += w[std::size_t(i)] * pts[i].y();
        total += w[std::size_t(i)];
    }
    if (!(total > 0.0))
        return std::nullopt;
    mx /= total;
    my /= total;
    double Mxx = 0, Myy = 0, Mxy = 0, Mxz = 0, Myz = 0, Mzz = 0;
    for (int i = 0; i < count; ++i) {
        const double x = pts[i].x() - mx, y = pts[i].y() - my, z = x * x + y * y, wi = w[std::size_t(i)];
        Mxx += wi * x * x;
        Myy += wi * y * y;
        Mxy += wi * x * y;
        Mxz += wi * x * z;
        Myz += wi * y * z;
        Mzz += wi * z * z;
    }
    Mxx /= total;
    Myy /= total;
    Mxy /= total;
    Mxz /= total;
    Myz /= total;
    Mzz /= total;
    const double Mz = Mxx + Myy;
    const double covXY = Mxx * Myy - Mxy * Mxy;
    const double varZ = Mzz - Mz * Mz;
    const double A3 = 4.0 * Mz;
    const double A2 = -3.0 * Mz * Mz - Mzz;
    const double A1 = varZ * Mz + 4.0 * covXY * Mz - Mxz * Mxz - Myz * Myz;
    const double A0 = Mxz * (Mxz * Myy - Myz * Mxy) + Myz * (Myz * Mxx - Mxz * Mxy) - varZ * covXY;
    double x = 0.0, y = A0;
    for (int iter = 0; iter < 99; ++iter) {
        const double dy = A1 + x * (2.0 * A2 + 3.0 * A3 * x);
        const double xNew = x - y / dy;
        if (xNew == x || !std::isfinite(xNew))
            break;
        const double yNew = A0 + xNew * (A1 + xNew * (A2 + xNew * A3));
        if (std::abs(yNew) >= std::abs(y))
            break;
        x = xNew;
        y = yNew;
    }
    const double det = x * x - x * Mz + covXY;
    if (std::abs(det) < 1e-300)
        return std::nullopt;
    const double cx = (Mxz * (Myy - x) - Myz * Mxy) / det / 2.0;
    const double cy = (Myz * (Mxx - x) - Mxz * Mxy) / det / 2.0;
    const Circle c{QPointF(cx + mx, cy + my), std::sqrt(cx * cx + cy * cy + Mz)};
    if (!finite(c))
        return std::nullopt;
    return c;
}

} // namespace

std::optional<Circle> fitCircle(const QPointF* pts, int count, int refineIterations)
{
    if (count < 3)
        return std::nullopt;
    const std::vector<double> w = vertexWeights(pts, count);
    std::optional<Circle> start = taubin(pts, w, count);
    if (!start)
        return std::nullopt;
    Circle c = *start;
    double cost = radialCost(pts, w, count, c);
    // Gauss-Newton on (cx, cy, r); a step that does not lower the cost ends it.
    for (int iter = 0; iter < refineIterations; ++iter) {
        Eigen::Matrix3d JtJ = Eigen::Matrix3d::Zero();
        Eigen::Vector3d Jtr = Eigen::Vector3d::Zero();
        for (int i = 0; i < count; ++i) {
            const double dx = pts[i].x() - c.center.x(), dy = pts[i].y() - c.center.y();
            const double dist = norm(dx, dy);
            if (dist <= 0.0)
                continue;
            const Eigen::Vector3d J(-dx / dist, -dy / dist, -1.0);
            JtJ += w[std::size_t(i)] * J * J.transpose();
            Jtr += w[std::size_t(i)] * J * (dist - c.radius);
        }
        const Eigen::Vector3d step = JtJ.ldlt().solve(-Jtr);
        if (!step.allFinite())
            break;
        const Circle next{c.center + QPointF(step[0], step[1]), c.radius + step[2]};
        const double nextCost = finite(next) ? radialCost(pts, w, count, next) : INFINITY;
        if (!(nextCost < cost))
            break;
        c = next;
        cost = nextCost;
    }
    return c;
}

std::optional<Circle> fitCircleFamily(const QPointF* pts, int count, const CircleFamily& family, double* params,
                                      int paramCount, int iterations)
{
    std::optional<Circle> current = family(params);
    if (!current || !finite(*current))
        return std::nullopt;
    if (paramCount == 0 || count == 0)
        return current;
    const std::vector<double> w = vertexWeights(pts, count);
    std::vector<double> sw(w.size());
    for (std::size_t i = 0; i < w.size(); ++i)
        sw[i] = std::sqrt(w[i]);
    double cost = radialCost(pts, w, count, *current);
    double lambda = 1e-3;
    std::vector<double> residuals(static_cast<std::size_t>(count)), shifted(static_cast<std::size_t>(count));
    const auto residualsOf = [&](const Circle& c, std::vector<double>& out) {
        for (int i = 0; i < count; ++i)
            out[std::size_t(i)] =
                sw[std::size_t(i)] * (norm(pts[i].x() - c.center.x(), pts[i].y() - c.center.y()) - c.radius);
    };
    const double scale = std::max(1.0, current->radius);
    for (int iter = 0; iter < iterations; ++iter) {
        residualsOf(*current, residuals);
        // Forward differences: the families are smooth and cheap.
        Eigen::MatrixXd J(count, paramCount);
        bool ok = true;
        for (int k = 0; k < paramCount && ok; ++k) {
            const double h = 1e-7 * std::max(std::abs(params[k]), scale);
            const double saved = params[k];
            params[k] = saved + h;
            const std::optional<Circle> moved = family(params);
            params[k] = saved;
            if (!moved || !finite(*moved)) {
                ok = false;
                break;
            }
            residualsOf(*moved, shifted);
            for (int i = 0; i < count; ++i)
                J(i, k) = (shifted[std::size_t(i)] - residuals[std::size_t(i)]) / h;
        }
        if (!ok)
            break;
        const Eigen::Map<const Eigen::VectorXd> r(residuals.data(), count);
        const Eigen::MatrixXd JtJ = J.transpose() * J;
        const Eigen::VectorXd Jtr = J.transpose() * r;
        bool improved = false;
        for (int tries = 0; tries < 8 && !improved; ++tries) {
            Eigen::MatrixXd A = JtJ;
            for (int k = 0; k < paramCount; ++k)
                A(k, k) += lambda * std::max(JtJ(k, k), 1e-12);
            const Eigen::VectorXd step = A.ldlt().solve(-Jtr);
            if (!step.allFinite())
                break;
            std::vector<double> next(params, params + paramCount);
            for (int k = 0; k < paramCount; ++k)
                next[std::size_t(k)] += step[k];
            const std::optional<Circle> candidate = family(next.data());
            const double nextCost =
                candidate && finite(*candidate) ? radialCost(pts, w, count, *candidate) : INFINITY;
            if (nextCost < cost) {
                const double gain = cost - nextCost;
                std::copy(next.begin(), next.end(), params);
                current = candidate;
                cost = nextCost;
                lambda = std::max(lambda * 0.3, 1e-9);
                improved = true;
                if (gain <= 1e-14 * (1.0 + cost))
                    return current;
            } else {
                lambda *= 10.0;
            }
        }
        if (!improved)
            break;
    }
    return current;
}

} // namespace sectionfit
