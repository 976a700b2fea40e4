#include "model/wireframe/longfeature.h"

#include "model/wireframe/featurechains.h"

#include <algorithm>
#include <cmath>

namespace {

using Segment = MeshModel::SliceSegment3D;
using Polyline = std::vector<Vec3f>;

constexpr double kPi = 3.14159265358979323846;

double distance(const Vec3f& a, const Vec3f& b)
{
    const double dx = double(b.x) - a.x, dy = double(b.y) - a.y, dz = double(b.z) - a.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Cosine of the turn at b, clamped; the caller checks both legs are long enough.
double turnCosine(const Vec3f& a, const Vec3f& b, const Vec3f& c, double l1, double l2)
{
    const double d = ((double(b.x) - a.x) * (double(c.x) - b.x) + (double(b.y) - a.y) * (double(c.y) - b.y) +
                      (double(b.z) - a.z) * (double(c.z) - b.z)) /
                     (l1 * l2);
    return std::clamp(d, -1.0, 1.0);
}

double distanceToChord(const Vec3f& p, const Vec3f& a, const Vec3f& b)
{
    const double ab[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    const double ap[3] = {double(p.x) - a.x, double(p.y) - a.y, double(p.z) - a.z};
    const double len2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
    double t = len2 > 0.0 ? (ab[0] * ap[0] + ab[1] * ap[1] + ab[2] * ap[2]) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double d[3] = {ap[0] - t * ab[0], ap[1] - t * ab[1], ap[2] - t * ab[2]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

struct SimplifySettings {
    double runLimit;    // r
    double minSegment;  // m
    int maxRemovals;
};

// Thins a traced chain to its turns and long straight runs; empty when fewer
// than two points survive.
Polyline simplify(const Polyline& in, const SimplifySettings& s)
{
    if (in.size() < 2)
        return {};
    // 1. Keep turns sharper than 14 degrees and a point every run limit.
    const double keepTurn = std::cos(14.0 * kPi / 180.0);
    const double runKeep = std::max(s.runLimit, 1.2 * s.minSegment);
    Polyline kept{in.front()};
    double run = 0.0;
    for (std::size_t i = 1; i + 1 < in.size(); ++i) {
        const double l1 = distance(in[i - 1], in[i]), l2 = distance(in[i], in[i + 1]);
        if (!(l1 > 1e-6 && l2 > 1e-6))
            continue;
        const double t = turnCosine(in[i - 1], in[i], in[i + 1], l1, l2);
        run += distance(kept.back(), in[i]);
        if (t <= keepTurn || run >= runKeep) {
            kept.push_back(in[i]);
            run = 0.0;
        }
    }
    // 2. The end, unless it nearly repeats the last kept point.
    if (distance(kept.back(), in.back()) > 0.3 * s.minSegment)
        kept.push_back(in.back());
    if (kept.size() < 2)
        return {};

    // 3. Drop nearly straight points close to the chord of their neighbours.
    const double straight = std::cos(18.0 * kPi / 180.0);
    const double chordLimit = std::max(0.35 * runKeep, 0.01);
    int removals = 0;
    for (bool changed = true; changed && removals < s.maxRemovals;) {
        changed = false;
        Polyline next{kept.front()};
        for (std::size_t i = 1; i + 1 < kept.size(); ++i) {
            const Vec3f& a = next.back();
            const Vec3f& b = kept[i];
            const Vec3f& c = kept[i + 1];
            const double l1 = distance(a, b), l2 = distance(b, c);
            if (removals < s.maxRemovals && l1 > 1e-9 && l2 > 1e-9 && turnCosine(a, b, c, l1, l2) >= straight &&
                distanceToChord(b, a, c) <= chordLimit) {
                ++removals;
                changed = true;
                continue;
            }
            next.push_back(b);
        }
        next.push_back(kept.back());
        kept.swap(next);
    }

    // 4. No point nearer than 0.45 m to the one kept before it.
    Polyline out{kept.front()};
    for (std::size_t i = 1; i < kept.size(); ++i)
        if (distance(out.back(), kept[i]) >= 0.45 * s.minSegment)
            out.push_back(kept[i]);
    if (out.size() < 2)
        return {};
    return out;
}

double polylineLength(const Polyline& p)
{
    double total = 0.0;
    for (std::size_t i = 1; i < p.size(); ++i)
        total += distance(p[i - 1], p[i]);
    return total;
}

double medianEdgeLength(const WireSegments& edges)
{
    std::vector<float> lengths;
    lengths.reserve(edges.size());
    for (const Segment& s : edges)
        lengths.push_back(float(distance(s.p0, s.p1)));
    if (lengths.empty())
        return 0.0;
    const auto mid = lengths.begin() + std::ptrdiff_t(lengths.size() / 2);
    std::nth_element(lengths.begin(), mid, lengths.end());
    return *mid;
}

// The longest raw feature edges: the top 40 % (at least 1200), none below m.
WireSegments rawEdgeFallback(const WireSegments& edges, double minSegment, std::size_t maxEdges)
{
    const std::size_t n = edges.size();
    const std::size_t keep = std::max<std::size_t>(std::size_t(std::llround(0.4 * double(n))), 1200);
    std::vector<std::pair<double, std::size_t>> byLength;
    byLength.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        byLength.push_back({distance(edges[i].p0, edges[i].p1), i});
    double threshold = 0.0;
    if (n > keep) {
        std::vector<double> sorted;
        sorted.reserve(n);
        for (const auto& entry : byLength)
            sorted.push_back(entry.first);
        const auto at = sorted.begin() + std::ptrdiff_t(n - keep);
        std::nth_element(sorted.begin(), at, sorted.end());
        threshold = *at;
    }
    threshold = std::max(threshold, minSegment);
    std::vector<std::pair<double, std::size_t>> chosen;
    for (const auto& entry : byLength)
        if (entry.first >= threshold)
            chosen.push_back(entry);
    std::stable_sort(chosen.begin(), chosen.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (chosen.size() > maxEdges)
        chosen.resize(maxEdges);
    WireSegments out;
    out.reserve(chosen.size());
    for (const auto& entry : chosen)
        out.push_back(edges[entry.second]);
    return out;
}

} // namespace

double boxDiagonal(const MeshModel& model)
{
    return distance(model.boundsMin(), model.boundsMax());
}

bool LongFeatureKey::matches(const MeshModel& model, float edgeAngle) const
{
    return valid && vertexCount == model.vertices.size() && faceCount == model.faces.size() &&
           std::fabs(edgeAngle - angle) < 0.0001f;
}

LongFeatureKey LongFeatureKey::of(const MeshModel& model, float edgeAngle)
{
    return {true, model.vertices.size(), model.faces.size(), edgeAngle};
}

WireSegments buildLongFeatureSegments(MeshModel& model, float edgeAngle, const LongFeatureLimits& limits)
{
    const float angle =
        std::isfinite(edgeAngle) ? std::clamp(edgeAngle, limits.minAngle, limits.maxAngle) : limits.minAngle;
    const WireSegments edges = model.featureEdges(angle);
    if (edges.empty())
        return {};

    const double d = std::max(boxDiagonal(model), 1e-6);
    const double minSegment = std::max(0.0018 * d, 0.4);
    const double runLimit = std::max(0.015 * d, 2.0);
    const double minLength = std::max(0.045 * d, 20.0);
    const double weld = std::max({0.18 * medianEdgeLength(edges), 0.00025 * d, 0.01});

    struct Ranked {
        Polyline points;
        double length;
    };
    std::vector<Ranked> ranked;
    const SimplifySettings settings{runLimit, minSegment, limits.maxCollinearRemovals};
    for (const Polyline& chain : chainFeatureEdges(edges, weld)) {
        Polyline simple = simplify(chain, settings);
        if (simple.size() < 2)
            continue;
        const double length = polylineLength(simple);
        if (length >= minLength)
            ranked.push_back({std::move(simple), length});
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) { return a.length > b.length; });

    WireSegments out;
    for (std::size_t p = 0; p < ranked.size() && p < limits.maxPolylines; ++p) {
        const Polyline& points = ranked[p].points;
        for (std::size_t i = 1; i < points.size(); ++i)
            if (distance(points[i - 1], points[i]) >= minSegment)
                out.push_back({points[i - 1], points[i]});
        if (out.size() >= limits.maxSegments)
            break;
    }
    if (out.empty())
        out = rawEdgeFallback(edges, minSegment, limits.maxFallbackEdges);
    return out;
}

double wireCleanupFactor(int cleanupIndex)
{
    static constexpr double kFactors[3] = {1.0, 0.72, 0.46}; // Balanced, CAD Clean, Aggressive
    return kFactors[std::clamp(cleanupIndex, 0, 2)];
}

long longFeatureDisplayTarget(double c, int cleanupIndex)
{
    return std::max(std::lround((22000.0 * c + 900.0) * wireCleanupFactor(cleanupIndex)), 220L);
}

LongFeatureDisplay selectLongFeaturesForDisplay(const WireSegments& source, double boxDiagonal, int complexity,
                                                int cleanupIndex)
{
    LongFeatureDisplay display;
    if (source.empty())
        return display;
    const double c = std::clamp(complexity / 100.0, 0.1, 1.0);
    const int k = std::clamp(cleanupIndex, 0, 2);
    const double minLength =
        std::max((0.00024 * k + 0.00018 + 0.00016 * (1.0 - c)) * std::max(boxDiagonal, 0.001), 0.06);
    const std::size_t target = std::size_t(longFeatureDisplayTarget(c, k));
    const std::size_t n = source.size();
    const std::size_t stride = n > 2 * target ? std::max<std::size_t>(n / (2 * target), 1) : 1;
    for (std::size_t i = 0; i < n && display.segments.size() < target; i += stride) {
        if (distance(source[i].p0, source[i].p1) >= minLength) {
            display.segments.push_back(source[i]);
            display.sourceIndex.push_back(std::uint32_t(i));
        }
    }
    if (display.segments.empty()) {
        const std::size_t take = std::min(n, std::max<std::size_t>(target / 2, 1));
        for (std::size_t i = 0; i < take; ++i) {
            display.segments.push_back(source[i]);
            display.sourceIndex.push_back(std::uint32_t(i));
        }
    }
    return display;
}

bool keepFirstLongFeatures(LongFeatureDisplay& display, std::size_t count)
{
    if (count >= display.segments.size())
        return false;
    display.segments.resize(count);
    display.sourceIndex.resize(count);
    return true;
}

std::size_t latticeFeatureOverlayCount(std::size_t available, int complexity)
{
    const double c = std::clamp(complexity / 100.0, 0.1, 1.0);
    return std::min(available, std::size_t(std::lround(10800.0 * c + 1200.0)));
}
