#include "model/sectionfit/sectionfit.h"
#include "model/sectionfit/fitmath.h"

#include "model/sectionfit/corners.h"
#include "model/sectionfit/deviation.h"
#include "model/sectionfit/fitchain.h"
#include "model/sectionfit/joining.h"
#include "model/sectionfit/runfit.h"
#include "model/sectionfit/segmentation.h"
#include "model/sectionfit/snapping.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace sectionfit {

namespace {

FitEntity circleEntity(const Circle& c)
{
    FitEntity e;
    e.type = FitEntityType::Circle;
    e.center = c.center;
    e.radius = c.radius;
    e.start = e.end = c.center + QPointF(c.radius, 0.0);
    e.sweep = 2.0 * kPi;
    return e;
}

// Deviation of a loop from a whole circle, or infinity when the loop does not
// wind once round it. Winding once inside the band proves the other
// direction: every ray from the centre meets the loop within the band.
double loopToCircle(const FitChain& loop, const Circle& c, double tolerance)
{
    if (c.radius <= tolerance)
        return INFINITY;
    const double turns = sweepAbout(loop.pts.data(), loop.size(), c.center) / (2.0 * kPi);
    if (std::abs(std::abs(turns) - 1.0) > 1e-6)
        return INFINITY;
    return polylineToEntity(loop.pts.data(), loop.size(), circleEntity(c), tolerance);
}

std::optional<FitEntity> wholeCircle(const FitChain& loop, const SectionFitParams& params)
{
    const std::optional<Circle> c = fitCircle(loop.pts.data(), loop.size() - 1, 8);
    if (!c)
        return std::nullopt;
    const double deviation = loopToCircle(loop, *c, params.tolerance);
    if (!(deviation <= params.tolerance))
        return std::nullopt;
    FitEntity e = circleEntity(*c);
    e.maxDeviation = deviation;
    return e;
}

std::vector<Piece> piecesOf(const FitChain& chain, const std::vector<int>& breaks, const SectionFitParams& params)
{
    std::vector<Piece> pieces;
    for (std::size_t k = 0; k + 1 < breaks.size(); ++k) {
        Piece p;
        p.first = breaks[k];
        p.last = breaks[k + 1];
        p.fit = bestRunFit(&chain.pts[std::size_t(p.first)], p.last - p.first + 1, params);
        pieces.push_back(p);
    }
    return pieces;
}

double summedDeviation(const std::vector<Piece>& pieces)
{
    double sum = 0.0;
    for (const Piece& p : pieces)
        sum += p.fit.deviation;
    return sum;
}

struct ChainWork {
    FitChain chain;
    std::optional<FitEntity> circle;
    std::vector<Piece> pieces;
};

// A loop is cut open where a break is sure to be: its sharpest corner. A
// smooth loop has no such place, so a few starts are tried, taken from the
// breaks of a first segmentation (breaks sit where the shape changes).
bool segmentLoop(ChainWork& work, const SectionFitParams& params, const Progress* progress)
{
    const FitChain& loop = work.chain;
    const std::vector<double> strengths =
        cornerStrengths(loop, params.cornerWindowTolerances * params.tolerance);
    const int corner = sharpestCorner(strengths, params.cornerAngleDegrees * kPi / 180.0);
    const int first = corner >= 0 ? corner
                                  : int(std::max_element(strengths.begin(), strengths.end()) - strengths.begin());
    std::vector<int> starts{first};
    bool tried = false;
    std::vector<Piece> best;
    FitChain bestChain;
    for (std::size_t s = 0; s < starts.size(); ++s) {
        FitChain rotated = rotatedChain(loop, starts[s]);
        const std::vector<int> breaks = minimumSegmentation(rotated.pts, params, progress);
        if (breaks.empty())
            return false;
        std::vector<Piece> pieces = piecesOf(rotated, breaks, params);
        if (!tried || pieces.size() < best.size() ||
            (pieces.size() == best.size() && summedDeviation(pieces) < summedDeviation(best))) {
            best = std::move(pieces);
            bestChain = std::move(rotated);
            tried = true;
        }
        if (s == 0 && corner < 0) {
            const int n = loop.size() - 1;
            const int inner = int(breaks.size()) - 2;
            const int wanted = std::min(params.smoothLoopStarts - 1, inner);
            for (int k = 0; k < wanted; ++k)
                starts.push_back((first + breaks[std::size_t(1 + k * inner / wanted)]) % n);
        }
    }
    work.chain = std::move(bestChain);
    work.pieces = std::move(best);
    return true;
}

void snapRadii(std::vector<ChainWork>& work, const SectionFitParams& params)
{
    std::vector<double> radii, weights;
    std::vector<std::pair<std::size_t, int>> owners; // chain, piece (-1: the circle)
    for (std::size_t c = 0; c < work.size(); ++c) {
        if (work[c].circle) {
            radii.push_back(work[c].circle->radius);
            weights.push_back(2.0 * kPi * work[c].circle->radius);
            owners.emplace_back(c, -1);
        }
        for (int k = 0; k < int(work[c].pieces.size()); ++k) {
            const Piece& p = work[c].pieces[std::size_t(k)];
            if (p.fit.entity.type != FitEntityType::Arc)
                continue;
            radii.push_back(p.fit.circle.radius);
            weights.push_back(entityLength(p.fit.entity));
            owners.emplace_back(c, k);
        }
    }
    const std::vector<double> shared = sharedRadii(radii, weights, params);
    for (std::size_t i = 0; i < shared.size(); ++i) {
        if (shared[i] <= 0.0)
            continue;
        ChainWork& w = work[owners[i].first];
        if (owners[i].second >= 0) {
            w.pieces[std::size_t(owners[i].second)].snapRadius = shared[i];
            continue;
        }
        // A whole circle keeps the shared radius when its best centre for
        // that radius still holds the loop within tolerance.
        double centre[2] = {w.circle->center.x(), w.circle->center.y()};
        const double r = shared[i];
        const std::optional<Circle> c = fitCircleFamily(
            w.chain.pts.data(), w.chain.size() - 1,
            [r](const double* p) { return std::optional<Circle>(Circle{QPointF(p[0], p[1]), r}); }, centre, 2);
        if (!c)
            continue;
        const double deviation = loopToCircle(w.chain, *c, params.tolerance);
        if (deviation <= params.tolerance) {
            *w.circle = circleEntity(*c);
            w.circle->maxDeviation = deviation;
        }
    }
}

} // namespace

FitResult fitSectionChains(const QList<QList<QPointF>>& polylines, const SectionFitParams& params, Progress* progress)
{
    FitResult result;
    if (!std::isfinite(params.tolerance) || params.tolerance <= 0.0)
        return result;
    const ProgressStage stage(progress, 0, 100);
    std::vector<ChainWork> work;
    std::vector<FitChain> chains = prepareChains(polylines);
    const std::size_t total = chains.size();
    for (std::size_t i = 0; i < chains.size(); ++i) {
        if (!stage.step(i, 2 * total))
            return FitResult{{}, 0, 0, 0, 0.0, true};
        ChainWork w;
        w.chain = std::move(chains[i]);
        if (w.chain.closed)
            w.circle = wholeCircle(w.chain, params);
        if (!w.circle) {
            if (w.chain.closed) {
                if (!segmentLoop(w, params, progress))
                    return FitResult{{}, 0, 0, 0, 0.0, true};
            } else {
                const std::vector<int> breaks = minimumSegmentation(w.chain.pts, params, progress);
                if (breaks.empty())
                    return FitResult{{}, 0, 0, 0, 0.0, true};
                w.pieces = piecesOf(w.chain, breaks, params);
            }
            snapLinesToAxes(w.chain, w.pieces, params);
        }
        work.push_back(std::move(w));
    }
    snapRadii(work, params);

    for (std::size_t i = 0; i < work.size(); ++i) {
        if (!stage.step(total + i, 2 * total))
            return FitResult{{}, 0, 0, 0, 0.0, true};
        FittedChain fitted;
        fitted.closed = work[i].chain.closed;
        if (work[i].circle)
            fitted.entities = {*work[i].circle};
        else
            fitted.entities = joinPieces(work[i].chain, std::move(work[i].pieces), params);
        for (const FitEntity& e : fitted.entities) {
            fitted.maxDeviation = std::max(fitted.maxDeviation, e.maxDeviation);
            result.lines += e.type == FitEntityType::Line;
            result.arcs += e.type == FitEntityType::Arc;
            result.circles += e.type == FitEntityType::Circle;
        }
        result.maxDeviation = std::max(result.maxDeviation, fitted.maxDeviation);
        result.chains.push_back(std::move(fitted));
    }
    stage.finish();
    return result;
}

} // namespace sectionfit
