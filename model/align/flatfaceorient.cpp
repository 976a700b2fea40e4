// Flat-face auto orient: find the dominant plane of the scan, put it on
// z = 0 at the bottom and lock one side of its bounding rectangle to X or Y.
#include "model/align/flatfaceorient.h"

#include "model/mesh/surfacesamples.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <queue>

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kAngleToleranceDeg = 8.5f;
constexpr std::size_t kMinRecords = 24;
constexpr std::size_t kMaxScoring = 220000;
constexpr std::size_t kLargestSeeds = 600;
constexpr std::size_t kSampledSeeds = 180;
constexpr std::size_t kMinPatchPoints = 24;
constexpr std::size_t kMinRectanglePoints = 16;
// Points sampled on a flat face whose triangles have too few corners.
constexpr std::size_t kPatchSamples = 256;
// ... provided the face carries this share of the whole surface.
constexpr double kMinSampledShare = 0.05;

void setMessage(std::string* out, const char* text)
{
    if (out)
        *out = text;
}

bool finite(const Vec3f& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

QVector3D q(const Vec3f& v)
{
    return {v.x, v.y, v.z};
}

struct SurfaceTriangle {
    Vec3f normal;
    Vec3f centroid;
    float area = 0.0f;
};

// One usable triangle, or false when an index is out of range or the
// triangle is degenerate (non-finite corners fail the length test too).
bool surfaceTriangle(const Vec3f* v, std::size_t vertexCount, const Triangle& t, SurfaceTriangle* out)
{
    if (t.v[0] >= vertexCount || t.v[1] >= vertexCount || t.v[2] >= vertexCount)
        return false;
    const Vec3f a = v[t.v[0]], b = v[t.v[1]], c = v[t.v[2]];
    const Vec3f n = cross(b - a, c - a);
    const float len = std::sqrt(dot(n, n));
    if (!(len >= 1e-9f))
        return false;
    out->normal = n * (1.0f / len);
    out->centroid = (a + b + c) * (1.0f / 3.0f);
    out->area = 0.5f * len;
    return true;
}

// The scoring set in columns, so that one seed's support is a single
// vectorised pass.
struct ScoringSet {
    Eigen::ArrayXf nx, ny, nz, cx, cy, cz, area;
};

float support(const ScoringSet& s, const Vec3f& n, float offset, float cosTol, float distTol)
{
    return ((n.x * s.nx + n.y * s.ny + n.z * s.nz).abs() >= cosTol &&
            (n.x * s.cx + n.y * s.cy + n.z * s.cz - offset).abs() <= distTol)
        .select(s.area, 0.0f)
        .sum();
}

Vec3f finiteCentroid(const MeshModel& model, bool* allFinite)
{
    double sx = 0, sy = 0, sz = 0;
    std::size_t count = 0;
    for (const Vec3f& v : model.vertices) {
        if (!finite(v))
            continue;
        sx += v.x;
        sy += v.y;
        sz += v.z;
        ++count;
    }
    if (allFinite)
        *allFinite = count == model.vertices.size();
    if (count == 0)
        return {};
    return {float(sx / double(count)), float(sy / double(count)), float(sz / double(count))};
}

} // namespace

bool detectFlatFace(const Vec3f* vertices, std::size_t vertexCount, const Triangle* faces, std::size_t faceCount,
                    FlatFacePlane* plane, std::string* error)
{
    // Pass 1: count the usable triangles, keep the largest ones as seeds and
    // measure the part for the distance tolerance.
    using Ranked = std::pair<float, std::size_t>; // area, ordinal among usable triangles
    const auto smallerFirst = [](const Ranked& a, const Ranked& b) {
        return a.first > b.first || (a.first == b.first && a.second < b.second);
    };
    std::priority_queue<Ranked, std::vector<Ranked>, decltype(smallerFirst)> largest(smallerFirst);
    std::vector<SurfaceTriangle> largestRecords;
    std::size_t usable = 0;
    double totalArea = 0.0;
    SurfaceTriangle rec;
    for (std::size_t f = 0; f < faceCount; ++f) {
        if (!surfaceTriangle(vertices, vertexCount, faces[f], &rec))
            continue;
        totalArea += rec.area;
        if (largest.size() < kLargestSeeds)
            largest.emplace(rec.area, usable);
        else if (rec.area > largest.top().first) {
            largest.pop();
            largest.emplace(rec.area, usable);
        }
        ++usable;
    }
    if (usable < kMinRecords) {
        setMessage(error, "Could not build enough surface triangles for flat-face detection.");
        return false;
    }
    Vec3f lo(std::numeric_limits<float>::max(), std::numeric_limits<float>::max(), std::numeric_limits<float>::max());
    Vec3f hi = lo * -1.0f;
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const Vec3f& v = vertices[i];
        if (!finite(v))
            continue;
        lo = Vec3f(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
        hi = Vec3f(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
    }
    const Vec3f diagonal = hi - lo;
    const float scale = std::max(std::sqrt(dot(diagonal, diagonal)), 0.001f);
    const float cosTol = std::cos(kAngleToleranceDeg * kPi / 180.0f);
    const float distTol = std::clamp(0.0008f * scale, 0.02f, 0.8f);

    // Seed order: largest area first (ties by position), then the samples.
    std::vector<Ranked> largestSeeds;
    largestSeeds.reserve(largest.size());
    for (; !largest.empty(); largest.pop())
        largestSeeds.push_back(largest.top());
    std::sort(largestSeeds.begin(), largestSeeds.end(), [](const Ranked& a, const Ranked& b) {
        return a.first > b.first || (a.first == b.first && a.second < b.second);
    });

    // Pass 2: the scoring set, and the seeds' own records.
    const std::size_t step = usable > kMaxScoring ? usable / kMaxScoring : 1;
    const std::size_t scoringCount = (usable + step - 1) / step;
    const std::size_t sampleStep = std::max<std::size_t>(1, scoringCount / kSampledSeeds);
    ScoringSet s;
    for (Eigen::ArrayXf* column : {&s.nx, &s.ny, &s.nz, &s.cx, &s.cy, &s.cz, &s.area})
        column->resize(Eigen::Index(scoringCount));
    std::vector<std::size_t> seedOrdinals;
    for (const Ranked& r : largestSeeds)
        seedOrdinals.push_back(r.second);
    for (std::size_t i = 0; i < scoringCount; i += sampleStep)
        seedOrdinals.push_back(i * step);
    std::vector<std::size_t> byOrdinal(seedOrdinals);
    std::sort(byOrdinal.begin(), byOrdinal.end());
    byOrdinal.erase(std::unique(byOrdinal.begin(), byOrdinal.end()), byOrdinal.end());
    std::vector<SurfaceTriangle> seedRecords(byOrdinal.size());
    std::size_t ordinal = 0, nextSeed = 0;
    for (std::size_t f = 0; f < faceCount; ++f) {
        if (!surfaceTriangle(vertices, vertexCount, faces[f], &rec))
            continue;
        if (ordinal % step == 0) {
            const Eigen::Index i = Eigen::Index(ordinal / step);
            s.nx[i] = rec.normal.x;
            s.ny[i] = rec.normal.y;
            s.nz[i] = rec.normal.z;
            s.cx[i] = rec.centroid.x;
            s.cy[i] = rec.centroid.y;
            s.cz[i] = rec.centroid.z;
            s.area[i] = rec.area;
        }
        if (nextSeed < byOrdinal.size() && byOrdinal[nextSeed] == ordinal)
            seedRecords[nextSeed++] = rec;
        ++ordinal;
    }

    std::vector<char> tried(byOrdinal.size(), 0);
    float bestSupport = 0.0f;
    SurfaceTriangle best;
    for (std::size_t ord : seedOrdinals) {
        const std::size_t slot = std::size_t(std::lower_bound(byOrdinal.begin(), byOrdinal.end(), ord) - byOrdinal.begin());
        if (tried[slot])
            continue;
        tried[slot] = 1;
        const SurfaceTriangle& seed = seedRecords[slot];
        const float score = support(s, seed.normal, dot(seed.normal, seed.centroid), cosTol, distTol);
        if (score > bestSupport) {
            bestSupport = score;
            best = seed;
        }
    }
    if (!(bestSupport > 0.0f)) {
        setMessage(error, "Flat-face detection did not find a dominant plane.");
        return false;
    }

    // Pass 3: inliers over every triangle.
    const float offset = dot(best.normal, best.centroid);
    std::vector<std::uint8_t> marked(vertexCount, 0);
    double inlierArea = 0.0;
    for (std::size_t f = 0; f < faceCount; ++f) {
        if (!surfaceTriangle(vertices, vertexCount, faces[f], &rec))
            continue;
        if (std::fabs(dot(best.normal, rec.normal)) < cosTol ||
            std::fabs(dot(best.normal, rec.centroid) - offset) > distTol)
            continue;
        inlierArea += rec.area;
        for (std::uint32_t i : faces[f].v)
            marked[i] = 1;
    }
    if (!(inlierArea > 1e-9)) {
        setMessage(error, "Flat-face support area is too small.");
        return false;
    }
    std::vector<Vec3f> points;
    for (std::size_t i = 0; i < vertexCount; ++i)
        if (marked[i])
            points.push_back(vertices[i]);
    if (points.size() < kMinPatchPoints && inlierArea >= kMinSampledShare * totalArea) {
        // A CAD face is a few large triangles whose corners alone cannot
        // carry a plane fit; add area-weighted points on those triangles.
        // A lone facet of a curved part stays refused: it is no face.
        const auto inlier = [&](const Triangle& t, SurfaceTriangle* r) {
            return surfaceTriangle(vertices, vertexCount, t, r) && std::fabs(dot(best.normal, r->normal)) >= cosTol &&
                   std::fabs(dot(best.normal, r->centroid) - offset) <= distTol;
        };
        for (std::size_t f = 0; f < faceCount; ++f) {
            if (!inlier(faces[f], &rec))
                continue;
            const Triangle& t = faces[f];
            const int k = samplesPerSide(rec.area, inlierArea / double(kPatchSamples));
            forEachTriangleSample(vertices[t.v[0]], vertices[t.v[1]], vertices[t.v[2]], k,
                                  [&](const SurfaceSample& sample) { points.push_back(sample.point); });
        }
    }
    if (points.size() < kMinPatchPoints) {
        setMessage(error, "Flat-face patch has too few points.");
        return false;
    }

    Eigen::Vector3d mean = Eigen::Vector3d::Zero();
    for (const Vec3f& p : points)
        mean += Eigen::Vector3d(p.x, p.y, p.z);
    mean /= double(points.size());
    Eigen::Matrix3d cov = Eigen::Matrix3d::Zero();
    for (const Vec3f& p : points) {
        const Eigen::Vector3d d = Eigen::Vector3d(p.x, p.y, p.z) - mean;
        cov.noalias() += d * d.transpose();
    }
    cov /= double(points.size());
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(cov);
    const Eigen::Vector3d ev =
        solver.info() == Eigen::Success ? Eigen::Vector3d(solver.eigenvectors().col(0)) : Eigen::Vector3d::Zero();
    if (!ev.allFinite() || ev.norm() < 1e-12) {
        setMessage(error, "Flat-face plane fit failed.");
        return false;
    }
    QVector3D normal = QVector3D(float(ev.x()), float(ev.y()), float(ev.z())).normalized();
    if (QVector3D::dotProduct(normal, q(best.normal)) < 0.0f)
        normal = -normal;
    QVector3D centre(float(mean.x()), float(mean.y()), float(mean.z()));

    // Refinement: drop the patch points that sit off the fitted plane.
    const float keep = 1.35f * distTol;
    std::vector<Vec3f> near;
    near.reserve(points.size());
    Eigen::Vector3d nearSum = Eigen::Vector3d::Zero();
    for (const Vec3f& p : points)
        if (std::fabs(QVector3D::dotProduct(q(p) - centre, normal)) <= keep) {
            near.push_back(p);
            nearSum += Eigen::Vector3d(p.x, p.y, p.z);
        }
    if (near.size() >= kMinPatchPoints) {
        points.swap(near);
        nearSum /= double(points.size());
        centre = QVector3D(float(nearSum.x()), float(nearSum.y()), float(nearSum.z()));
    }

    plane->normal = normal;
    plane->centroid = centre;
    plane->points = std::move(points);
    plane->tolerance = distTol;
    return true;
}

void trimmedRange(std::vector<float>& values, std::size_t k, float* lo, float* hi)
{
    const std::size_t n = values.size();
    if (n == 0) {
        *lo = *hi = 0.0f;
        return;
    }
    k = std::min(k, n - 1);
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(k), values.end());
    const float a = values[k];
    const std::size_t hiIndex = std::max(k, n - k - 1);
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(hiIndex), values.end());
    const float b = values[hiIndex];
    *lo = std::min(a, b);
    *hi = std::max(a, b);
}

bool minimumAreaRectangle(const std::vector<Point2f>& points, Point2f* longAxis, Point2f* crossAxis)
{
    if (points.size() < 2)
        return false;
    // Andrew's monotone chain, in doubles so that near-collinear runs of a
    // flat scan do not flip the turn test.
    struct P {
        double x, y;
    };
    std::vector<P> pts;
    pts.reserve(points.size());
    for (const Point2f& p : points)
        if (std::isfinite(p.x) && std::isfinite(p.y))
            pts.push_back({p.x, p.y});
    if (pts.size() < 2)
        return false;
    std::sort(pts.begin(), pts.end(), [](const P& a, const P& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    pts.erase(std::unique(pts.begin(), pts.end(), [](const P& a, const P& b) { return a.x == b.x && a.y == b.y; }),
              pts.end());
    if (pts.size() == 1) {
        *longAxis = {1.0f, 0.0f};
        *crossAxis = {0.0f, 1.0f};
        return true;
    }
    const auto turn = [](const P& o, const P& a, const P& b) {
        return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
    };
    std::vector<P> hull(2 * pts.size());
    std::size_t k = 0;
    for (const P& p : pts) {
        while (k >= 2 && turn(hull[k - 2], hull[k - 1], p) <= 0.0)
            --k;
        hull[k++] = p;
    }
    for (std::size_t i = pts.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && turn(hull[k - 2], hull[k - 1], pts[i]) <= 0.0)
            --k;
        hull[k++] = pts[i];
    }
    hull.resize(k - 1);

    double bestArea = std::numeric_limits<double>::infinity();
    P bestE{1, 0};
    double bestAlong = 0, bestAcross = 0;
    for (std::size_t i = 0; i < hull.size(); ++i) {
        const P& a = hull[i];
        const P& b = hull[(i + 1) % hull.size()];
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        if (len < 1e-8)
            continue;
        const P e{(b.x - a.x) / len, (b.y - a.y) / len};
        const P perp{-e.y, e.x};
        double minE = std::numeric_limits<double>::infinity(), maxE = -minE, minP = minE, maxP = -minE;
        for (const P& h : hull) {
            const double u = h.x * e.x + h.y * e.y, v = h.x * perp.x + h.y * perp.y;
            minE = std::min(minE, u);
            maxE = std::max(maxE, u);
            minP = std::min(minP, v);
            maxP = std::max(maxP, v);
        }
        const double area = (maxE - minE) * (maxP - minP);
        if (area < bestArea) {
            bestArea = area;
            bestE = e;
            bestAlong = maxE - minE;
            bestAcross = maxP - minP;
        }
    }
    if (!std::isfinite(bestArea))
        return false;
    const P along = bestAlong >= bestAcross ? bestE : P{-bestE.y, bestE.x};
    const Point2f l{float(along.x), float(along.y)};
    const Point2f c{-l.y, l.x};
    if (std::hypot(l.x, l.y) < 1e-8f || std::hypot(c.x, c.y) < 1e-8f)
        return false;
    *longAxis = l;
    *crossAxis = c;
    return true;
}

namespace orientdetail {

void turnAboutFiniteCentroid(MeshModel& model, const Rotation3& rotation)
{
    bool allFinite = true;
    const Vec3f c = finiteCentroid(model, &allFinite);
    if (allFinite) {
        model.applyRotation(rotation);
        return;
    }
    // One non-finite vertex would otherwise turn the whole part into NaN
    // through the centroid; it stays as it is and the rest turns.
    model.clearDerivedState();
    const auto turn = [&](SharedArray<Vec3f>& points) {
        if (points.empty())
            return;
        for (Vec3f& v : points.edit()) {
            if (!finite(v))
                continue;
            const QVector3D r = rotation.apply(q(v - c));
            v = Vec3f(c.x + r.x(), c.y + r.y(), c.z + r.z());
        }
    };
    turn(model.vertices);
    if (!model.displayVertices.sharesStorageWith(model.vertices))
        turn(model.displayVertices);
    model.bumpGeometryRevision();
}

void seatOnAxis(MeshModel& model, Axis axis)
{
    Vec3f lo(std::numeric_limits<float>::max(), std::numeric_limits<float>::max(), std::numeric_limits<float>::max());
    Vec3f hi = lo * -1.0f;
    bool any = false;
    for (const Vec3f& v : model.vertices) {
        if (!finite(v))
            continue;
        any = true;
        lo = Vec3f(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
        hi = Vec3f(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
    }
    if (!any)
        return;
    Vec3f shift;
    for (int a = 0; a < 3; ++a)
        shift[a] = a == axisIndex(axis) ? -lo[a] : -0.5f * (lo[a] + hi[a]);
    if (shift == Vec3f())
        return;
    for (Vec3f& v : model.vertices.edit())
        v = v + shift;
    if (!model.displayVertices.empty() && !model.displayVertices.sharesStorageWith(model.vertices))
        for (Vec3f& v : model.displayVertices.edit())
            v = v + shift;
}

} // namespace orientdetail

bool MeshModel::autoOrientFlatFace(int edge, Axis lockAxis, float trimPercent, std::string* error)
{
    if (!hasMesh()) {
        setMessage(error, "No mesh loaded.");
        return false;
    }
    if (vertices.size() < 32 || faces.size() < 16) {
        setMessage(error, "Not enough mesh data for flat-face detection.");
        return false;
    }
    edge = std::clamp(edge, 0, 3);
    if (lockAxis != Axis::X)
        lockAxis = Axis::Y;
    if (!std::isfinite(trimPercent))
        trimPercent = 0.0f;

    FlatFacePlane plane;
    if (!detectFlatFace(vertices.data(), vertices.size(), faces.data(), faces.size(), &plane, error))
        return false;
    const QVector3D n = plane.normal;
    const Rotation3 r1 = rotationBetween(n, Axis::Z);

    // In-plane coordinates on a right-handed pair (a, b, n).
    const QVector3D a = projectOntoPlane(QVector3D(1, 0, 0), n, QVector3D(0, 1, 0));
    const QVector3D b = normalizedOr(QVector3D::crossProduct(n, a), QVector3D(0, 1, 0));
    if (plane.points.size() < kMinRectanglePoints) {
        setMessage(error, "Detected flat patch is too small for rectangle fit.");
        return false;
    }
    std::vector<Point2f> flat;
    flat.reserve(plane.points.size());
    for (const Vec3f& p : plane.points) {
        const QVector3D d = q(p) - plane.centroid;
        flat.push_back({QVector3D::dotProduct(d, a), QVector3D::dotProduct(d, b)});
    }
    const std::size_t k = std::size_t(std::floor(double(flat.size()) * std::max(0.0, double(trimPercent)) / 100.0));
    std::vector<float> us, vs;
    us.reserve(flat.size());
    vs.reserve(flat.size());
    for (const Point2f& p : flat) {
        us.push_back(p.x);
        vs.push_back(p.y);
    }
    float uLo, uHi, vLo, vHi;
    trimmedRange(us, k, &uLo, &uHi);
    trimmedRange(vs, k, &vLo, &vHi);
    std::vector<Point2f> kept;
    kept.reserve(flat.size());
    for (const Point2f& p : flat)
        if (p.x >= uLo && p.x <= uHi && p.y >= vLo && p.y <= vHi)
            kept.push_back(p);
    Point2f longAxis, crossAxis;
    if (!minimumAreaRectangle(kept, &longAxis, &crossAxis)) {
        setMessage(error, "Detected flat patch is too small for rectangle fit.");
        return false;
    }

    // Edge lock: the named side of the rectangle turned onto +X or +Y.
    const QVector3D u = r1.apply(longAxis.x * a + longAxis.y * b);
    const QVector3D v = r1.apply(crossAxis.x * a + crossAxis.y * b);
    const QVector3D sides[4] = {u, -u, v, -v};
    QVector3D d = sides[edge];
    d = normalizedOr(QVector3D(d.x(), d.y(), 0.0f), QVector3D(1, 0, 0));
    const QVector3D w = basisAxis(lockAxis);
    const float phi = std::atan2(QVector3D::crossProduct(d, w).z(), std::clamp(QVector3D::dotProduct(d, w), -1.0f, 1.0f));
    Rotation3 rotation = axisAngleRotation(QVector3D(0, 0, 1), phi) * r1;

    // Bottom test: the face must end below the rest of the part. The half
    // turn about the lock axis keeps the locked side where it is.
    const QVector3D zRow = rotation.row(2);
    double meanZ = 0.0;
    for (const Vec3f& p : plane.points)
        meanZ += QVector3D::dotProduct(zRow, q(p));
    meanZ /= double(plane.points.size());
    float minZ = std::numeric_limits<float>::max(), maxZ = std::numeric_limits<float>::lowest();
    for (const Vec3f& p : vertices) {
        if (!finite(p))
            continue;
        const float z = zRow.x() * p.x + zRow.y() * p.y + zRow.z() * p.z;
        minZ = std::min(minZ, z);
        maxZ = std::max(maxZ, z);
    }
    const double h = (meanZ - double(minZ)) / double(std::max(maxZ - minZ, 1e-6f));
    if (h > 0.5)
        rotation = axisAngleRotation(w, kPi) * rotation;

    orientdetail::turnAboutFiniteCentroid(*this, rotation);
    orientdetail::seatOnAxis(*this, Axis::Z);
    updateCaches();
    return true;
}
