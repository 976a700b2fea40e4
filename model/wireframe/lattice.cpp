#include "model/wireframe/lattice.h"

#include "model/section/sectionpostprocess.h"
#include "model/section/slicecutter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <thread>
#include <tuple>

namespace {

using Segment = MeshModel::SliceSegment3D;

constexpr int kLanesPerAxis = 180;
constexpr std::size_t kMaxSegmentsPerLane = 2180;
constexpr std::size_t kFeatureFallbackBelow = std::size_t(kLanesPerAxis) * 48;
constexpr std::size_t kMaxFeatureLines = std::size_t(kLanesPerAxis) * 20;
constexpr std::size_t kMaxLatticeSegments = std::size_t(kLanesPerAxis) * 3200;
// Lattice cuts join a little wider than a section's exact cut, so lanes do
// not break at tiny scan holes; a lane's own segments re-chain tighter, so
// cleaning never welds neighbouring features. Pinned by the lattice tests.
constexpr JoinToleranceProfile kLatticeJoin{0.00115, 0.56, 0.009};
constexpr JoinToleranceProfile kLaneCleanJoin{0.00085, 0.44, 0.006};

float length3(const Vec3f& a, const Vec3f& b)
{
    const Vec3f d = b - a;
    return std::sqrt(dot(d, d));
}

double diagonal(const Vec3f& lo, const Vec3f& hi)
{
    const double dx = double(hi.x) - lo.x, dy = double(hi.y) - lo.y, dz = double(hi.z) - lo.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

bool finiteBox(const Vec3f& lo, const Vec3f& hi)
{
    for (int a = 0; a < 3; ++a)
        if (!std::isfinite(lo[a]) || !std::isfinite(hi[a]))
            return false;
    return true;
}

// Position of cut plane i on an axis spanning lo..hi; the one formula both
// the cuts and the lane grouping use, so positions compare exactly.
float cutPosition(int i, double lo, double hi)
{
    const double e = hi - lo;
    const double start = lo + 0.004 * e;
    const double span = (hi - 0.004 * e) - start;
    return float(start + (i + 0.5) / kLanesPerAxis * span);
}

// True when v is exactly one of the cut positions on an axis spanning lo..hi.
bool onCutPlane(float v, double lo, double hi)
{
    const double e = hi - lo;
    if (!(e > 1e-6) || !std::isfinite(v))
        return false;
    const double span = (hi - 0.004 * e) - (lo + 0.004 * e);
    const long i = std::lround((double(v) - (lo + 0.004 * e)) / span * kLanesPerAxis - 0.5);
    return i >= 0 && i < kLanesPerAxis && cutPosition(int(i), lo, hi) == v;
}

// Sanitise, chain and fall back to the raw lines when chaining finds nothing.
QList<SectionPolyline> chainLines(const SectionLines& lines, const JoinToleranceProfile& profile, bool cleanup)
{
    SectionLines clean = sanitizeSectionLines(lines);
    // The weld tolerance follows the cut's own segment size (taken before
    // cleanup merges straight runs); the cap keeps coarse meshes, whose
    // segments span whole faces, from welding corners together.
    const SectionStatistics stats = sectionStatistics(clean);
    double tolerance = estimateJoinTolerance(clean, profile);
    tolerance = std::min(tolerance, std::max(0.002 * stats.extent, profile.minimum));
    if (cleanup && clean.size() >= 2)
        clean = cleanupBandSection(clean, false);
    QList<SectionPolyline> polylines = chainSegmentsToPolylines(clean, tolerance);
    if (polylines.isEmpty()) {
        for (const QLineF& line : clean)
            polylines.append(SectionPolyline{line.p1(), line.p2()});
    }
    return polylines;
}

// The cleaned lines of one cut plane, lifted back to 3D, at most
// kMaxSegmentsPerLane. work is the calling thread's own copy of the model
// (a cut updates its slice cache).
LatticeSegments cutLane(MeshModel& work, const SliceCutter* cutter, int axis, float p, float minLength)
{
    LatticeSegments out;
    const std::vector<Segment> cut = work.sliceAxis(axisFromIndex(axis), p, 0.0f, cutter);
    if (cut.empty())
        return out;
    // Perpendicular to X the section is (y, z), perpendicular to Y (x, z).
    const SectionLines lines = toSectionLines(cut, axisFromIndex(axis));
    const QList<SectionPolyline> polylines = chainLines(lines, kLatticeJoin, true);
    std::size_t produced = 0;
    for (const SectionPolyline& poly : polylines) {
        for (int k = 0; k + 1 < poly.size() && produced < kMaxSegmentsPerLane; ++k, ++produced) {
            const QPointF& a = poly[k];
            const QPointF& b = poly[k + 1];
            const Segment s = axis == 0 ? Segment{{p, float(a.x()), float(a.y())}, {p, float(b.x()), float(b.y())}}
                                        : Segment{{float(a.x()), p, float(a.y())}, {float(b.x()), p, float(b.y())}};
            if (length3(s.p0, s.p1) >= minLength)
                out.push_back(s);
        }
        if (produced >= kMaxSegmentsPerLane)
            break;
    }
    return out;
}

} // namespace

LatticeSegments computeLatticeSegments(const MeshModel& snapshot, const SliceCutter* cutter, Progress* progress)
{
    if (snapshot.vertices.empty() || snapshot.faces.empty())
        return {};
    const Vec3f lo = snapshot.boundsMin(), hi = snapshot.boundsMax();
    if (!finiteBox(lo, hi))
        return {};
    const double d = diagonal(lo, hi);
    if (!(d > 1e-6))
        return {};
    const float minLength = float(std::max(2.5e-5 * d, 0.01));

    // Cuts update the one-entry slice cache; keep that off the snapshot. The
    // copy shares the snapshot's arrays.
    MeshModel work(snapshot);
    std::shared_ptr<const SliceCutter> ownCutter;
    if (!cutter || !cutter->serves(work)) {
        ownCutter = SliceCutter::build(work, ProgressStage(progress, 0, 10));
        cutter = ownCutter.get();
    }
    if (isCanceled(progress))
        return {};

    // Every plane is its own job; the cores take them in turn and the lanes
    // are joined in plane order, so the result does not depend on the core count.
    const int jobs = 2 * kLanesPerAxis;
    std::vector<LatticeSegments> lanes(jobs);
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::atomic<bool> stopped{false};
    const ProgressStage cuts(progress, 10, 90);
    const auto runJobs = [&](MeshModel& model) {
        for (int job = next++; job < jobs; job = next++) {
            if (cuts.canceled()) {
                stopped = true;
                return;
            }
            const int axis = job / kLanesPerAxis;
            if (double(hi[axis]) - lo[axis] > 1e-6)
                lanes[std::size_t(job)] = cutLane(model, cutter, axis, cutPosition(job % kLanesPerAxis, lo[axis], hi[axis]),
                                                  minLength);
            cuts.step(std::size_t(++done), std::size_t(jobs));
        }
    };
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back([&work, &runJobs] {
            MeshModel own(work);
            runJobs(own);
        });
    runJobs(work);
    for (std::thread& t : pool)
        t.join();
    if (stopped || isCanceled(progress))
        return {};
    LatticeSegments result;
    std::size_t total = 0;
    for (const LatticeSegments& lane : lanes)
        total += lane.size();
    result.reserve(total);
    for (const LatticeSegments& lane : lanes)
        result.insert(result.end(), lane.begin(), lane.end());

    // Sparse cuts (thin or small parts): add the part's long straight creases.
    if (result.size() < kFeatureFallbackBelow) {
        LatticeSegments lines = dominantFeatureLines(work.featureEdges(26.0f));
        if (lines.size() > kMaxFeatureLines)
            lines.resize(kMaxFeatureLines);
        result.insert(result.end(), lines.begin(), lines.end());
    }

    if (result.size() > kMaxLatticeSegments) {
        const std::size_t k = (result.size() + kMaxLatticeSegments - 1) / kMaxLatticeSegments;
        LatticeSegments thinned;
        thinned.reserve(result.size() / k + 1);
        for (std::size_t i = 0; i < result.size(); i += k)
            thinned.push_back(result[i]);
        result.swap(thinned);
    }
    return result;
}

LatticeSegments dominantFeatureLines(const LatticeSegments& featureEdges)
{
    if (featureEdges.empty())
        return {};
    Vec3f lo{INFINITY, INFINITY, INFINITY}, hi{-INFINITY, -INFINITY, -INFINITY};
    bool any = false;
    for (const Segment& s : featureEdges) {
        for (const Vec3f& p : {s.p0, s.p1}) {
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                continue;
            any = true;
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], p[a]);
                hi[a] = std::max(hi[a], p[a]);
            }
        }
    }
    if (!any)
        return {};
    const double zExtent = std::max(double(hi.z) - lo.z, 1e-6);
    const double zTolerance = 0.7 * std::max(0.06 * zExtent, 0.8);

    LatticeSegments output;
    // family 0 runs along X (cross coordinate Y), family 1 along Y (cross X).
    for (int family = 0; family < 2; ++family) {
        const int run = family == 0 ? 0 : 1;
        const int crossAxis = family == 0 ? 1 : 0;
        const double crossExtent = std::max(double(hi[crossAxis]) - lo[crossAxis], 1e-6);
        const double runExtent = std::max(double(hi[run]) - lo[run], 1e-6);
        const double w = std::max(0.016 * crossExtent, 0.8);

        struct Bin {
            double runMin = INFINITY, runMax = -INFINITY, crossSum = 0.0, zSum = 0.0;
            int count = 0;
        };
        // Keyed by cross coordinate and by Z, so that parallel creases at
        // different heights stay separate lines.
        std::map<std::pair<long, long>, Bin> bins;
        for (const Segment& s : featureEdges) {
            const Vec3f dv = s.p1 - s.p0;
            const float ax = std::fabs(dv.x), ay = std::fabs(dv.y), az = std::fabs(dv.z);
            if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(az))
                continue;
            const bool member = family == 0 ? (ax >= ay && ax >= az) : (ay >= ax && ay >= az);
            if (!member)
                continue;
            const Vec3f mid = (s.p0 + s.p1) * 0.5f;
            for (const Vec3f& p : {mid, s.p0, s.p1}) {
                const long key = std::lround((double(p[crossAxis]) - lo[crossAxis]) / w);
                const long zKey = std::lround((double(p.z) - lo.z) / zTolerance);
                Bin& b = bins[{key, zKey}];
                b.runMin = std::min(b.runMin, double(p[run]));
                b.runMax = std::max(b.runMax, double(p[run]));
                b.crossSum += p[crossAxis];
                b.zSum += p.z;
                ++b.count;
            }
        }

        struct Candidate {
            double cross, z, runMin, runMax;
            double length() const { return runMax - runMin; }
        };
        std::vector<Candidate> candidates;
        for (const auto& [minCount, spanFactor, minSpan] : {std::tuple<int, double, double>{6, 0.28, 6.0},
                                                            std::tuple<int, double, double>{3, 0.12, 3.0}}) {
            const double needSpan = std::max(spanFactor * runExtent, minSpan);
            for (const auto& entry : bins) {
                const Bin& b = entry.second;
                if (b.count >= minCount && b.runMax - b.runMin >= needSpan)
                    candidates.push_back({b.crossSum / b.count, b.zSum / b.count, b.runMin, b.runMax});
            }
            if (!candidates.empty())
                break;
        }
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const Candidate& a, const Candidate& b) { return a.cross < b.cross; });

        std::vector<Candidate> accepted;
        for (const Candidate& c : candidates) {
            if (!accepted.empty()) {
                Candidate& last = accepted.back();
                if (std::fabs(c.cross - last.cross) <= 0.55 * w && std::fabs(c.z - last.z) <= zTolerance) {
                    if (c.length() > last.length())
                        last = c;
                    continue;
                }
            }
            accepted.push_back(c);
        }
        for (const Candidate& c : accepted) {
            Vec3f a, b;
            a[run] = float(c.runMin);
            b[run] = float(c.runMax);
            a[crossAxis] = b[crossAxis] = float(c.cross);
            a.z = b.z = float(c.z);
            output.push_back({a, b});
        }
    }
    return output;
}

bool buildLatticeLanes(LatticeSegments& segments, LatticeLanes& lanes, const Vec3f& boxMin, const Vec3f& boxMax)
{
    if (segments.empty())
        return false;
    const double boxDiagonal = finiteBox(boxMin, boxMax) ? diagonal(boxMin, boxMax) : 0.0;
    const float minLength = float(std::max(2e-5 * boxDiagonal, 0.008));

    std::vector<std::pair<double, std::uint32_t>> keys[2]; // 0 along X, 1 along Y
    const bool box = finiteBox(boxMin, boxMax);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        const float dx = std::fabs(s.p1.x - s.p0.x), dy = std::fabs(s.p1.y - s.p0.y);
        // A plumb piece of wall runs neither way: it belongs to the lane of the
        // cut it lies in. By X and Y alone every wall piece of the X cuts would
        // pile into one lane along X per wall, and hole walls into lanes of
        // their own, so the selection would show walls instead of the top.
        if (dx == dy && box && s.p0.x == s.p1.x && onCutPlane(s.p0.x, boxMin.x, boxMax.x))
            keys[1].push_back({double(s.p0.x), std::uint32_t(i)});
        else if (dx >= dy)
            keys[0].push_back({(double(s.p0.y) + s.p1.y) / 2.0, std::uint32_t(i)});
        else if (dy > dx)
            keys[1].push_back({(double(s.p0.x) + s.p1.x) / 2.0, std::uint32_t(i)});
        // NaN coordinates fall through both tests and are dropped.
    }

    LatticeSegments newSegments;
    LatticeLanes newLanes;
    for (int family = 0; family < 2; ++family) {
        // along X: lanes across Y; along Y: lanes across X.
        const int crossAxis = family == 0 ? 1 : 0;
        const int runAxis = family == 0 ? 0 : 1;
        const double extent = finiteBox(boxMin, boxMax) ? double(boxMax[crossAxis]) - boxMin[crossAxis] : 0.0;
        const double tolerance = std::max(0.001 * extent, 0.05);
        auto& pairs = keys[family];
        std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

        std::vector<std::pair<std::size_t, std::size_t>> groups; // [begin, end) into pairs
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            if (groups.empty() || pairs[i].first - pairs[groups.back().first].first > tolerance)
                groups.push_back({i, i + 1});
            else
                groups.back().second = i + 1;
        }

        for (const auto& [begin, end] : groups) {
            double keySum = 0.0;
            SectionLines lines;
            for (std::size_t i = begin; i < end; ++i) {
                keySum += pairs[i].first;
                const Segment& s = segments[pairs[i].second];
                lines.append(QLineF(s.p0[runAxis], s.p0.z, s.p1[runAxis], s.p1.z));
            }
            const float laneCoord = float(keySum / double(end - begin));
            LatticeLane lane;
            for (const SectionPolyline& poly : chainLines(lines, kLaneCleanJoin, false)) {
                for (int k = 0; k + 1 < poly.size(); ++k) {
                    Segment s;
                    s.p0[runAxis] = float(poly[k].x());
                    s.p0[crossAxis] = laneCoord;
                    s.p0.z = float(poly[k].y());
                    s.p1[runAxis] = float(poly[k + 1].x());
                    s.p1[crossAxis] = laneCoord;
                    s.p1.z = float(poly[k + 1].y());
                    if (length3(s.p0, s.p1) >= minLength) {
                        lane.push_back(std::uint32_t(newSegments.size()));
                        newSegments.push_back(s);
                    }
                }
            }
            if (lane.empty()) {
                for (std::size_t i = begin; i < end; ++i) {
                    lane.push_back(std::uint32_t(newSegments.size()));
                    newSegments.push_back(segments[pairs[i].second]);
                }
            }
            (family == 0 ? newLanes.alongX : newLanes.alongY).push_back(std::move(lane));
        }
    }
    if (newSegments.empty() || newLanes.empty())
        return false;
    segments.swap(newSegments);
    lanes = std::move(newLanes);
    return true;
}

double latticeLaneSpacing(int complexity)
{
    const double c = std::clamp(complexity / 100.0, 0.1, 1.0);
    return 50.0 - 45.0 * c;
}

LatticeSegments selectLatticeForDisplay(const LatticeSegments& segments, const LatticeLanes& lanes,
                                        const Vec3f& boxMin, const Vec3f& boxMax, int complexity,
                                        std::vector<std::uint32_t>& displayToLattice)
{
    displayToLattice.clear();
    const double c = std::clamp(complexity / 100.0, 0.1, 1.0);
    const double spacing = 50.0 - 45.0 * c;
    const std::size_t budget = std::size_t(std::lround(36000.0 * c + 9000.0));

    LatticeSegments shown;
    if (lanes.empty()) {
        shown = segments;
        displayToLattice.resize(segments.size());
        for (std::size_t i = 0; i < segments.size(); ++i)
            displayToLattice[i] = std::uint32_t(i);
    } else {
        std::vector<char> taken(segments.size(), 0);
        const auto extentOf = [&](int axis) {
            const double e = double(boxMax[axis]) - boxMin[axis];
            return std::isfinite(e) ? std::max(e, 1.0) : 1.0;
        };
        const std::pair<const std::vector<LatticeLane>*, double> families[2] = {{&lanes.alongX, extentOf(1)},
                                                                                 {&lanes.alongY, extentOf(0)}};
        for (const auto& [list, extent] : families) {
            const std::size_t n = list->size();
            double step = n < 2 ? extent : extent / double(n - 1);
            step = std::max(step, 0.25);
            const long k = std::max(1L, std::lround(spacing / step));
            for (std::size_t i = 0; i < n; ++i) {
                if (!(i == 0 || i + 1 == n || i % std::size_t(k) == 0))
                    continue;
                for (std::uint32_t index : (*list)[i]) {
                    if (index >= segments.size() || taken[index])
                        continue;
                    taken[index] = 1;
                    shown.push_back(segments[index]);
                    displayToLattice.push_back(index);
                }
            }
        }
    }
    if (shown.size() > budget) {
        shown.resize(budget);
        displayToLattice.resize(budget);
    }
    return shown;
}
