#include "model/section/slicecutter.h"

#include <algorithm>
#include <cmath>

namespace {

// Bucket of a coordinate: the same expression for building and querying, so
// a point inside a triangle's span always lands within its buckets (rounded
// subtraction and division by a positive width are monotonic).
inline std::int64_t bucketOf(float value, float origin, float width, std::int64_t count)
{
    const double b = std::floor((double(value) - double(origin)) / double(width));
    return std::clamp<std::int64_t>(std::int64_t(std::clamp(b, -1.0, double(count))), 0, count - 1);
}

} // namespace

std::shared_ptr<const SliceCutter> SliceCutter::build(const MeshModel& model, Progress* progress)
{
    return build(model, ProgressStage(progress, 0, 100));
}

std::shared_ptr<const SliceCutter> SliceCutter::build(const MeshModel& model, const ProgressStage& whole)
{
    const SharedArray<Vec3f>& vertices = model.vertices;
    const SharedArray<Triangle>& faces = model.slicingFaces();
    if (vertices.empty() || faces.empty())
        return nullptr;
    auto cutter = std::make_shared<SliceCutter>();
    cutter->revision_ = model.geometryRevision;
    const std::size_t vertexCount = vertices.size();
    const std::size_t faceCount = faces.size();
    const Vec3f lo = model.boundsMin(), hi = model.boundsMax();
    const Vec3f* v = vertices.data();

    for (int axis = 0; axis < 3; ++axis) {
        const ProgressStage stage = whole.sub(axis * 33, axis * 33 + 33);
        // Bucket width: the mean triangle span, so a short triangle covers a
        // bucket or two and a query visits about kShortSpanBuckets times the
        // triangles it touches. Floored so the bucket count stays bounded.
        double spanSum = 0.0;
        std::size_t spanCount = 0;
        for (std::size_t i = 0; i < faceCount; ++i) {
            const Triangle& t = faces[i];
            if (!t.inRange(vertexCount))
                continue;
            const float a = v[t[0]][axis], b = v[t[1]][axis], c = v[t[2]][axis];
            spanSum += double(std::max({a, b, c}) - std::min({a, b, c}));
            ++spanCount;
            if ((i & (kProgressPollInterval - 1)) == 0 && !stage.step(i, 3 * faceCount))
                return nullptr;
        }
        const double extent = std::max(double(hi[axis]) - double(lo[axis]), 1e-12);
        const double meanSpan = spanCount ? spanSum / double(spanCount) : extent;
        const double width = std::max({meanSpan, extent / double(1 << 20), 1e-9});
        const std::int64_t count = std::max<std::int64_t>(1, std::int64_t(std::ceil(extent / width)) + 1);

        AxisBuckets& buckets = cutter->axes_[axis];
        buckets.origin = lo[axis];
        buckets.width = float(width);
        // Counting sort by start bucket keeps triangles ascending per bucket.
        std::vector<std::uint32_t> counts(std::size_t(count) + 1, 0);
        const auto classify = [&](std::size_t i, std::int64_t& first) {
            const Triangle& t = faces[i];
            const float a = v[t[0]][axis], b = v[t[1]][axis], c = v[t[2]][axis];
            first = bucketOf(std::min({a, b, c}), buckets.origin, buckets.width, count);
            const std::int64_t last = bucketOf(std::max({a, b, c}), buckets.origin, buckets.width, count);
            return last - first < kShortSpanBuckets;
        };
        for (std::size_t i = 0; i < faceCount; ++i) {
            if (!faces[i].inRange(vertexCount))
                continue;
            std::int64_t first = 0;
            if (classify(i, first))
                ++counts[std::size_t(first) + 1];
            else
                buckets.longIds.push_back(std::uint32_t(i));
            if ((i & (kProgressPollInterval - 1)) == 0 && !stage.step(faceCount + i, 3 * faceCount))
                return nullptr;
        }
        for (std::size_t b = 1; b < counts.size(); ++b)
            counts[b] += counts[b - 1];
        buckets.start = counts;
        buckets.ids.resize(counts.back());
        for (std::size_t i = 0; i < faceCount; ++i) {
            if (!faces[i].inRange(vertexCount))
                continue;
            std::int64_t first = 0;
            if (classify(i, first))
                buckets.ids[counts[std::size_t(first)]++] = std::uint32_t(i);
            if ((i & (kProgressPollInterval - 1)) == 0 && !stage.step(2 * faceCount + i, 3 * faceCount))
                return nullptr;
        }
    }
    whole.finish();
    return cutter;
}

void SliceCutter::trianglesTouching(const MeshModel& model, Axis axis, float position,
                                    std::vector<std::uint32_t>& out) const
{
    if (!isValidAxis(axis))
        return;
    const AxisBuckets& buckets = axes_[axisIndex(axis)];
    if (buckets.start.size() < 2)
        return;
    const SharedArray<Triangle>& faces = model.slicingFaces();
    const Vec3f* v = model.vertices.data();
    const std::int64_t count = std::int64_t(buckets.start.size()) - 1;
    const double p = double(position);
    const auto touches = [&](std::uint32_t i) {
        const Triangle& t = faces[i];
        const double a = double(v[t[0]][axis]) - p, b = double(v[t[1]][axis]) - p, c = double(v[t[2]][axis]) - p;
        return std::min({a, b, c}) <= 0.0 && std::max({a, b, c}) >= 0.0;
    };

    const std::size_t first = out.size();
    // A short triangle touching the plane starts at most kShortSpanBuckets
    // buckets below the plane's bucket.
    const std::int64_t last = bucketOf(position, buckets.origin, buckets.width, count);
    const std::int64_t from = std::max<std::int64_t>(0, last - kShortSpanBuckets);
    for (std::uint32_t k = buckets.start[std::size_t(from)]; k < buckets.start[std::size_t(last) + 1]; ++k)
        if (touches(buckets.ids[k]))
            out.push_back(buckets.ids[k]);
    for (std::uint32_t i : buckets.longIds)
        if (touches(i))
            out.push_back(i);
    std::sort(out.begin() + std::ptrdiff_t(first), out.end());
}
