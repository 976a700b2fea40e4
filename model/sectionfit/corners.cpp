#include "model/sectionfit/corners.h"
#include "model/sectionfit/fitmath.h"

#include "model/section/vec2.h"

#include <algorithm>
#include <cmath>

namespace sectionfit {

std::vector<double> cornerStrengths(const FitChain& loop, double window)
{
    const int n = loop.size() - 1; // distinct vertices
    std::vector<double> out(std::size_t(std::max(n, 0)), 0.0);
    if (!loop.closed || n < 3)
        return out;
    // Points window away on either side, found by walking a bounded way.
    const int maxSteps = std::min(n - 1, 512);
    const auto reachFrom = [&](int i, int step) {
        const QPointF& p = loop.cyclic(i);
        for (int k = 1; k <= maxSteps; ++k) {
            const QPointF& q = loop.cyclic(i + step * k);
            if (norm(q - p) >= window)
                return q;
        }
        return loop.cyclic(i + step);
    };
    for (int i = 0; i < n; ++i) {
        const QPointF& p = loop.cyclic(i);
        const QPointF in = p - reachFrom(i, -1), out2 = reachFrom(i, +1) - p;
        const double a = std::atan2(vec2::cross(in, out2), vec2::dot(in, out2));
        out[std::size_t(i)] = std::abs(a);
    }
    return out;
}

int sharpestCorner(const std::vector<double>& strengths, double minAngle)
{
    if (strengths.empty())
        return -1;
    const auto best = std::max_element(strengths.begin(), strengths.end());
    return *best >= minAngle ? int(best - strengths.begin()) : -1;
}

} // namespace sectionfit
