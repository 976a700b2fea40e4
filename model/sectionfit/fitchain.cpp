#include "model/sectionfit/fitchain.h"
#include "model/sectionfit/fitmath.h"

#include "model/section/vec2.h"

#include <cmath>

namespace sectionfit {

const QPointF& FitChain::cyclic(int i) const
{
    const int n = size() - 1;
    return pts[std::size_t(((i % n) + n) % n)];
}

namespace {

bool finitePoint(const QPointF& p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

void finishPiece(std::vector<QPointF>& piece, bool mayClose, std::vector<FitChain>& out)
{
    if (piece.size() >= 2) {
        FitChain chain;
        chain.closed = mayClose && piece.size() >= 4 && piece.front() == piece.back();
        chain.pts = std::move(piece);
        out.push_back(std::move(chain));
    }
    piece.clear();
}

} // namespace

std::vector<FitChain> prepareChains(const QList<QList<QPointF>>& polylines)
{
    std::vector<FitChain> out;
    for (const QList<QPointF>& poly : polylines) {
        std::vector<QPointF> piece;
        bool whole = true;
        for (const QPointF& p : poly) {
            if (!finitePoint(p)) {
                whole = false;
                finishPiece(piece, false, out);
                continue;
            }
            if (piece.empty() || p != piece.back())
                piece.push_back(p);
        }
        finishPiece(piece, whole, out);
    }
    return out;
}

FitChain rotatedChain(const FitChain& chain, int start)
{
    FitChain out;
    out.closed = true;
    const int n = chain.size() - 1;
    out.pts.reserve(std::size_t(n + 1));
    for (int k = 0; k <= n; ++k)
        out.pts.push_back(chain.cyclic(start + k));
    return out;
}

std::vector<QPointF> runNeighbourhood(const FitChain& chain, int first, int last, double reach)
{
    const int n = chain.size();
    constexpr int kMaxExtra = 24;
    const auto vertex = [&](int i) -> const QPointF& { return chain.closed ? chain.cyclic(i) : chain.pts[std::size_t(i)]; };
    // How far to extend: until the chain has gone reach away, at least one vertex.
    const auto extent = [&](int from, int step) {
        int k = 0;
        double walked = 0.0;
        while (k < kMaxExtra) {
            const int next = from + step * (k + 1);
            if (!chain.closed && (next < 0 || next >= n))
                break;
            walked += norm(vertex(next) - vertex(from + step * k));
            ++k;
            if (walked > reach)
                break;
        }
        return k;
    };
    const int cycle = chain.closed ? n - 1 : n;
    int before = extent(first, -1), after = extent(last, +1);
    // A loop's neighbourhood never laps itself.
    while (chain.closed && (last - first) + before + after >= cycle) {
        if (before >= after && before > 0)
            --before;
        else if (after > 0)
            --after;
        else
            break;
    }
    std::vector<QPointF> out;
    out.reserve(std::size_t(last - first + 1 + before + after));
    for (int i = first - before; i <= last + after; ++i)
        out.push_back(vertex(i));
    return out;
}

} // namespace sectionfit
