// The pipeline around the section clean-up stages, the keep-ratio filter and
// the validity rules they all share.
#include "model/section/sectionpostprocess.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

double lineLength(const QLineF& l)
{
    return std::sqrt(l.dx() * l.dx() + l.dy() * l.dy());
}

} // namespace

std::vector<MeshModel::SliceSegment3D> keepLongestSegments(const std::vector<MeshModel::SliceSegment3D>& segments,
                                                           float keepRatio)
{
    if (segments.empty())
        return {};
    // A NaN ratio means "no usable slider value": keep everything.
    const float ratio = std::isnan(keepRatio) ? 1.0f : std::clamp(keepRatio, 0.01f, 1.0f);
    if (ratio >= 0.999f)
        return segments;

    const std::size_t count = segments.size();
    const std::size_t k = std::clamp<std::size_t>(std::size_t(std::lround(float(count) * ratio)), 1, count);

    std::vector<float> lengths(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Vec3f d = segments[i].p1 - segments[i].p0;
        lengths[i] = std::sqrt(dot(d, d));
    }
    // Selection needs a strict order; a NaN length ranks last (and never survives).
    std::vector<float> ranked(lengths);
    for (float& l : ranked)
        if (std::isnan(l))
            l = -std::numeric_limits<float>::infinity();
    std::nth_element(ranked.begin(), ranked.begin() + std::ptrdiff_t(k - 1), ranked.end(), std::greater<float>());
    const float threshold = ranked[k - 1];

    std::vector<MeshModel::SliceSegment3D> kept;
    kept.reserve(k);
    for (std::size_t i = 0; i < count; ++i)
        if (lengths[i] + 1e-6f >= threshold)
            kept.push_back(segments[i]);
    return kept;
}

bool isValidSectionLine(const QLineF& line)
{
    if (!std::isfinite(line.x1()) || !std::isfinite(line.y1()) || !std::isfinite(line.x2())
        || !std::isfinite(line.y2()))
        return false;
    return lineLength(line) > 1e-7;
}

SectionLines sanitizeSectionLines(const SectionLines& lines)
{
    SectionLines valid;
    valid.reserve(lines.size());
    for (const QLineF& l : lines)
        if (isValidSectionLine(l))
            valid.append(l);
    return valid;
}

SectionStatistics sectionStatistics(const SectionLines& lines)
{
    SectionStatistics stats;
    std::vector<double> lengths;
    lengths.reserve(std::size_t(lines.size()));
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
    for (const QLineF& l : lines) {
        if (!isValidSectionLine(l))
            continue;
        if (lengths.empty()) {
            minX = maxX = l.x1();
            minY = maxY = l.y1();
        }
        minX = std::min({minX, l.x1(), l.x2()});
        maxX = std::max({maxX, l.x1(), l.x2()});
        minY = std::min({minY, l.y1(), l.y2()});
        maxY = std::max({maxY, l.y1(), l.y2()});
        lengths.push_back(lineLength(l));
    }
    if (lengths.empty())
        return stats;
    const auto mid = lengths.begin() + std::ptrdiff_t(lengths.size() / 2);
    std::nth_element(lengths.begin(), mid, lengths.end());
    stats.medianLength = *mid;
    stats.extent = std::max(maxX - minX, maxY - minY);
    stats.validCount = int(lengths.size());
    return stats;
}

SectionLines postProcessProjectedSection(const SectionLines& projected, const SectionPostProcessSettings& settings)
{
    const bool band = std::abs(settings.bandThickness) > 1e-8f;
    SectionLines lines = band ? cleanupBandSection(projected, true) : sanitizeSectionLines(projected);
    if (!settings.smoothAndChain)
        return lines;
    // Exact cuts are already clean; heavy smoothing would only round real corners.
    const int strength = band ? settings.smoothStrength : std::min(settings.smoothStrength, 55);
    lines = smoothSectionGraph(lines, strength);
    return chainAndSmoothSection(lines, strength, band);
}

SectionLines postProcessSection(const std::vector<MeshModel::SliceSegment3D>& raw, Axis axis,
                                const SectionPostProcessSettings& settings)
{
    return postProcessProjectedSection(toSectionLines(keepLongestSegments(raw, settings.keepRatio), axis), settings);
}

SectionLines postProcessSection(const std::vector<MeshModel::SliceSegment3D>& raw, const QVector3D& origin,
                                const QVector3D& u, const QVector3D& v, const SectionPostProcessSettings& settings)
{
    return postProcessProjectedSection(toSectionLines(keepLongestSegments(raw, settings.keepRatio), origin, u, v),
                                       settings);
}
