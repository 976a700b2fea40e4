// Rectangle snap: a plane normal onto the target axis, and the part turned
// about it so that its trimmed outline is squared up with the in-plane axis.
#include "model/align/commandchecks.h"
#include "model/align/flatfaceorient.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr float kMaxTrimFraction = 0.22f;
constexpr std::size_t kMinPoints = 16;

using commandchecks::finite;
using commandchecks::setMessage;

} // namespace

bool MeshModel::rectangleSnap(const QVector3D& normal, Axis targetAxis, int side, float trimPercent, std::string* error)
{
    if (!commandchecks::meshAxisAndNormal(*this, targetAxis, normal, error))
        return false;
    if (vertices.size() < kMinPoints) {
        setMessage(error, "Not enough points for rectangle snap.");
        return false;
    }
    const float trim = std::clamp(std::isfinite(trimPercent) ? trimPercent / 100.0f : 0.0f, 0.0f, kMaxTrimFraction);

    // In-plane coordinates after the normal is on the target axis: the two
    // other axes in ascending order, so the in-plane reference axis (X, or Y
    // for target X) is always the first coordinate.
    const Rotation3 r1 = rotationBetween(normal, targetAxis);
    const int i0 = targetAxis == Axis::X ? 1 : 0;
    const int i1 = targetAxis == Axis::Z ? 1 : 2;
    double sx = 0, sy = 0, sz = 0;
    std::size_t finiteCount = 0;
    for (const Vec3f& v : vertices)
        if (std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z)) {
            sx += v.x;
            sy += v.y;
            sz += v.z;
            ++finiteCount;
        }
    const QVector3D c = finiteCount ? QVector3D(float(sx / double(finiteCount)), float(sy / double(finiteCount)),
                                                float(sz / double(finiteCount)))
                                    : QVector3D();
    const QVector3D row0 = r1.row(i0), row1 = r1.row(i1);
    std::vector<float> us, vs;
    us.reserve(finiteCount);
    vs.reserve(finiteCount);
    for (const Vec3f& v : vertices) {
        const QVector3D d = QVector3D(v.x, v.y, v.z) - c;
        const float u = QVector3D::dotProduct(row0, d), w = QVector3D::dotProduct(row1, d);
        if (!std::isfinite(u) || !std::isfinite(w))
            continue;
        us.push_back(u);
        vs.push_back(w);
    }
    if (us.size() < kMinPoints) {
        setMessage(error, "Not enough valid points for rectangle snap.");
        return false;
    }

    const std::size_t k = std::size_t(std::floor(double(us.size()) * double(trim)));
    std::vector<float> sortedU(us), sortedV(vs);
    float uLo, uHi, vLo, vHi;
    trimmedRange(sortedU, k, &uLo, &uHi);
    trimmedRange(sortedV, k, &vLo, &vHi);
    double mu = 0, mv = 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < us.size(); ++i)
        if (us[i] >= uLo && us[i] <= uHi && vs[i] >= vLo && vs[i] <= vHi) {
            mu += us[i];
            mv += vs[i];
            ++n;
        }
    double cuu = 0, cuv = 0, cvv = 0;
    if (n > 0) {
        mu /= double(n);
        mv /= double(n);
        for (std::size_t i = 0; i < us.size(); ++i)
            if (us[i] >= uLo && us[i] <= uHi && vs[i] >= vLo && vs[i] <= vHi) {
                const double du = us[i] - mu, dv = vs[i] - mv;
                cuu += du * du;
                cuv += du * dv;
                cvv += dv * dv;
            }
    }
    // Principal direction of the 2x2 covariance in closed form; with its
    // perpendicular and both signs, the candidate nearest the in-plane
    // reference axis (1, 0) wins, so the part turns as little as it can.
    const double theta = 0.5 * std::atan2(2.0 * cuv, cuu - cvv);
    const float pu = float(std::cos(theta)), pv = float(std::sin(theta));
    const float candidates[4][2] = {{pu, pv}, {-pv, pu}, {-pu, -pv}, {pv, -pu}};
    int best = 0;
    for (int i = 1; i < 4; ++i)
        if (candidates[i][0] > candidates[best][0])
            best = i;

    QVector3D inRotated;
    inRotated[i0] = candidates[best][0];
    inRotated[i1] = candidates[best][1];
    // Back into world coordinates: R1 is a rotation, so its transpose undoes it.
    const QVector3D reference = r1.row(0) * inRotated.x() + r1.row(1) * inRotated.y() + r1.row(2) * inRotated.z();
    const float sideAngles[4] = {0.0f, 180.0f, 90.0f, -90.0f};
    const Rotation3 rotation = buildAxisAlignment(normal, targetAxis, reference, sideAngles[std::clamp(side, 0, 3)]);

    orientdetail::turnAboutFiniteCentroid(*this, rotation);
    orientdetail::seatOnAxis(*this, targetAxis);
    updateCaches();
    return true;
}
