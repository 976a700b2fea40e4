#include "model/sectionfit/segmentation.h"

#include "model/sectionfit/runfit.h"

#include <algorithm>

namespace sectionfit {

namespace {

class Walker {
public:
    Walker(const std::vector<QPointF>& pts, const SectionFitParams& params, const Progress* progress)
        : pts_(pts), params_(params), progress_(progress)
    {
    }

    bool fits(int i, int j)
    {
        if (++tests_ % 512 == 0 && isCanceled(progress_))
            canceled_ = true;
        return canceled_ || runFits(&pts_[std::size_t(i)], j - i + 1, params_);
    }

    // Farthest j >= known (known fits from i) with i..j fitting, up to limit.
    int reachForward(int i, int known, int limit)
    {
        int good = std::max(known, i + 1), bad = -1;
        for (int step = 1; good < limit; step *= 2) {
            const int candidate = std::min(good + step, limit);
            if (!fits(i, candidate)) {
                bad = candidate;
                break;
            }
            good = candidate;
        }
        while (bad > good + 1) {
            const int mid = good + (bad - good) / 2;
            (fits(i, mid) ? good : bad) = mid;
        }
        return good;
    }

    // Earliest i <= known with i..j fitting.
    int reachBackward(int j, int known)
    {
        int good = std::min(known, j - 1), bad = -1;
        for (int step = 1; good > 0; step *= 2) {
            const int candidate = std::max(good - step, 0);
            if (!fits(candidate, j)) {
                bad = candidate;
                break;
            }
            good = candidate;
        }
        while (bad >= 0 && good > bad + 1) {
            const int mid = bad + (good - bad) / 2;
            (fits(mid, j) ? good : bad) = mid;
        }
        return good;
    }

    bool canceled() const { return canceled_; }

private:
    const std::vector<QPointF>& pts_;
    const SectionFitParams& params_;
    const Progress* progress_;
    long tests_ = 0;
    bool canceled_ = false;
};

} // namespace

std::vector<int> minimumSegmentation(const std::vector<QPointF>& pts, const SectionFitParams& params,
                                     const Progress* progress)
{
    const int n = int(pts.size());
    if (n <= 2)
        return {0, std::max(n - 1, 0)};
    Walker walker(pts, params, progress);

    std::vector<int> forward{0};
    while (forward.back() < n - 1)
        forward.push_back(walker.reachForward(forward.back(), forward.back() + 1, n - 1));
    const int pieces = int(forward.size()) - 1;

    std::vector<int> backward(std::size_t(pieces + 1), 0);
    backward[std::size_t(pieces)] = n - 1;
    for (int k = pieces - 1; k > 0; --k)
        backward[std::size_t(k)] = walker.reachBackward(backward[std::size_t(k + 1)], backward[std::size_t(k + 1)] - 1);
    if (walker.canceled())
        return {};

    std::vector<int> breaks{0};
    for (int k = 1; k < pieces; ++k) {
        const int lo = std::min(backward[std::size_t(k)], forward[std::size_t(k)]);
        const int hi = forward[std::size_t(k)];
        const int target = lo + (hi - lo) / 2;
        const int from = breaks.back();
        // The previous break moved off the forward walk, so check how far
        // it reaches; the window's lower end is always reachable.
        int chosen = target;
        if (target > lo && !walker.fits(from, target))
            chosen = std::max(lo, walker.reachForward(from, std::max(lo, from + 1), target));
        breaks.push_back(std::max(chosen, from + 1));
    }
    breaks.push_back(n - 1);
    if (walker.canceled())
        return {};
    return breaks;
}

} // namespace sectionfit
