#include "model/sectionfit/snapping.h"
#include "model/sectionfit/fitmath.h"

#include "model/sectionfit/deviation.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace sectionfit {

void snapLinesToAxes(const FitChain& chain, std::vector<Piece>& pieces, const SectionFitParams& params)
{
    if (!params.snapToAxes)
        return;
    const double limit = params.axisSnapDegrees * kPi / 180.0;
    for (Piece& piece : pieces) {
        if (piece.fit.entity.type != FitEntityType::Line || !piece.fit.valid)
            continue;
        const QPointF dir = piece.fit.line.direction;
        const double angle = std::atan2(dir.y(), dir.x());
        const long quarter = std::lround(angle / (kPi / 2.0));
        if (std::abs(angle - double(quarter) * kPi / 2.0) > limit)
            continue;
        static const QPointF kAxes[4] = {QPointF(1, 0), QPointF(0, 1), QPointF(-1, 0), QPointF(0, -1)};
        const Line snapped{piece.fit.line.point, kAxes[((quarter % 4) + 4) % 4]};
        const QPointF* pts = &chain.pts[std::size_t(piece.first)];
        const int count = piece.last - piece.first + 1;
        RunFit fit = piece.fit;
        fit.line = snapped;
        fit.entity = lineEntity(projectOntoLine(pts[0], snapped), projectOntoLine(pts[count - 1], snapped));
        fit.deviation = polylineToEntity(pts, count, fit.entity, params.tolerance);
        if (fit.deviation <= params.tolerance)
            piece.fit = fit;
    }
}

std::vector<double> sharedRadii(const std::vector<double>& radii, const std::vector<double>& weights,
                                const SectionFitParams& params)
{
    std::vector<double> out(radii.size(), 0.0);
    if (!params.snapEqualRadii)
        return out;
    std::vector<std::size_t> order(radii.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return radii[a] < radii[b]; });
    for (std::size_t begin = 0; begin < order.size();) {
        const double smallest = radii[order[begin]];
        const double reach = std::min(params.radiusSnapFraction * smallest, params.tolerance);
        std::size_t end = begin + 1;
        while (end < order.size() && radii[order[end]] - smallest <= reach)
            ++end;
        if (end - begin >= 2) {
            double sum = 0.0, weight = 0.0;
            for (std::size_t k = begin; k < end; ++k) {
                sum += radii[order[k]] * weights[order[k]];
                weight += weights[order[k]];
            }
            const double shared = weight > 0.0 ? sum / weight : smallest;
            for (std::size_t k = begin; k < end; ++k)
                out[order[k]] = shared;
        }
        begin = end;
    }
    return out;
}

} // namespace sectionfit
