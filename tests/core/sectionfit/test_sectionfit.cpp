#include "fitfixtures.h"

#include "model/sectionfit/sectionfit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace fitfixtures;
using sectionfit::FitEntity;
using sectionfit::FitEntityType;
using sectionfit::FitResult;
using sectionfit::kPi;

namespace {

SectionFitParams withTolerance(double tol)
{
    SectionFitParams p;
    p.tolerance = tol;
    return p;
}

// The promises every fit keeps: both-way bound (independently sampled),
// shared ends, closed loops closed, deviations reported honestly.
void expectSound(const QList<Polyline>& chains, const FitResult& r, double tol)
{
    ASSERT_FALSE(r.canceled);
    for (const auto& chain : r.chains) {
        ASSERT_FALSE(chain.entities.empty());
        for (std::size_t k = 0; k + 1 < chain.entities.size(); ++k)
            EXPECT_EQ(chain.entities[k].end, chain.entities[k + 1].start) << "entity " << k;
        if (chain.closed) {
            EXPECT_EQ(chain.entities.back().end, chain.entities.front().start);
        }
        for (const FitEntity& e : chain.entities) {
            EXPECT_LE(e.maxDeviation, tol);
            if (e.type == FitEntityType::Arc) {
                EXPECT_NEAR(std::hypot(e.start.x() - e.center.x(), e.start.y() - e.center.y()), e.radius, 1e-9);
                EXPECT_NEAR(std::hypot(e.end.x() - e.center.x(), e.end.y() - e.center.y()), e.radius, 1e-9);
            }
        }
    }
    EXPECT_LE(r.maxDeviation, tol);
    // The sampled value falls short of the true deviation (but for the
    // sagitta of its own arc chords, far below tol / 1000); the reported one
    // may only exceed it.
    EXPECT_LE(sampledDeviation(chains, r, tol / 10), r.maxDeviation + tol * 1e-3);
}

double turnAt(const FitEntity& a, const FitEntity& b)
{
    const auto dirAt = [](const FitEntity& e, bool atEnd) {
        if (e.type == FitEntityType::Line)
            return (e.end - e.start) / std::hypot(e.end.x() - e.start.x(), e.end.y() - e.start.y());
        const QPointF p = (atEnd ? e.end : e.start) - e.center;
        const QPointF t(-p.y() / e.radius, p.x() / e.radius);
        return e.sweep > 0 ? t : -t;
    };
    const QPointF u = dirAt(a, true), v = dirAt(b, false);
    return std::abs(std::atan2(u.x() * v.y() - u.y() * v.x(), u.x() * v.x() + u.y() * v.y())) * 180 / kPi;
}

TEST(SectionFit, ShapesGiveTheDesignedEntitiesAlsoWithScanNoise)
{
    struct Case {
        const char* name;
        QList<Polyline> chains;
        double tolerance;
        int lines, arcs, circles;
        bool tangent; // every junction smooth
    };
    const Case cases[] = {
        {"Rectangle", {rectangle(-50, -30, 100, 60)}, 0.05, 4, 0, 0, false},
        {"Polygon96", {circle({3, -2}, 20, 96)}, 0.05, 0, 0, 1, false},
        {"Slot", {slot(40, 10, 0.8)}, 0.05, 2, 2, 0, true},
        {"PlateWithHoles", {rectangle(0, 0, 100, 60), circle({25, 30}, 5, 64), circle({75, 30}, 8, 80)}, 0.05, 4, 0, 2,
         false},
        {"ChamferedL", {chamferedL()}, 0.05, 8, 0, 0, false},
        {"RoundedProfile", {profile(0.5)}, 0.05, 7, 5, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FitResult r = sectionfit::fitSectionChains(c.chains, withTolerance(c.tolerance));
        expectSound(c.chains, r, c.tolerance);
        EXPECT_EQ(r.lines, c.lines);
        EXPECT_EQ(r.arcs, c.arcs);
        EXPECT_EQ(r.circles, c.circles);
        if (c.tangent) {
            for (const auto& chain : r.chains)
                for (std::size_t k = 0; k < chain.entities.size(); ++k)
                    EXPECT_LT(turnAt(chain.entities[k], chain.entities[(k + 1) % chain.entities.size()]), 0.5);
        }
    }
    // The polygon's radius is the design radius.
    const FitResult r = sectionfit::fitSectionChains({circle({3, -2}, 20, 96)}, withTolerance(0.05));
    ASSERT_EQ(r.circles, 1);
    const FitEntity& c = r.chains[0].entities[0];
    EXPECT_NEAR(c.radius, 20.0, 0.01);
    EXPECT_NEAR(c.center.x(), 3.0, 1e-6);
    EXPECT_NEAR(c.center.y(), -2.0, 1e-6);
    // Scan-like noise keeps the design.
    // Scan-like: dense vertices every 0.15 mm, sigma 0.02 mm, fitted at 0.1.
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        const QList<Polyline> noisyChains{noisy(profile(0.15), 0.02, seed), noisy(circle({40, 25}, 6, 250), 0.02, seed + 9)};
        const FitResult noisyFit = sectionfit::fitSectionChains(noisyChains, withTolerance(0.1));
        expectSound(noisyChains, noisyFit, 0.1);
        EXPECT_EQ(noisyFit.lines, 7) << "seed " << seed;
        EXPECT_EQ(noisyFit.arcs, 5) << "seed " << seed;
        EXPECT_EQ(noisyFit.circles, 1) << "seed " << seed;
    }
}

// Random chains: smooth closed curves, open stretches of them, and jagged
// walks with sharp turns and chords of very uneven length.
Polyline randomChain(std::mt19937& rng, int kind)
{
    std::uniform_real_distribution<double> u(0.0, 1.0);
    Polyline p;
    if (kind < 2) {
        const int terms = 1 + int(u(rng) * 4);
        std::vector<double> amp, phase;
        for (int k = 0; k < terms; ++k) {
            amp.push_back(u(rng) * 3.0 / (k + 1));
            phase.push_back(u(rng) * 2 * kPi);
        }
        const int n = 60 + int(u(rng) * 500);
        const double span = kind == 0 ? 2 * kPi : (0.5 + u(rng) * 4.0);
        for (int i = 0; i < n; ++i) {
            const double t = span * i / n;
            double r = 15.0;
            for (int k = 0; k < terms; ++k)
                r += amp[std::size_t(k)] * std::cos((k + 2) * t + phase[std::size_t(k)]);
            p.append(QPointF(r * std::cos(t), r * std::sin(t)));
        }
        if (kind == 0)
            close(p);
        return p;
    }
    QPointF at(0, 0);
    double heading = 0.0;
    p.append(at);
    const int n = 20 + int(u(rng) * 300);
    for (int i = 0; i < n; ++i) {
        const double turn = u(rng) < 0.15 ? (u(rng) - 0.5) * 2.5 : (u(rng) - 0.5) * 0.3;
        heading += turn;
        const double step = u(rng) < 0.1 ? 2.0 + 10.0 * u(rng) : 0.05 + 0.5 * u(rng);
        at += step * QPointF(std::cos(heading), std::sin(heading));
        p.append(at);
    }
    return p;
}

TEST(SectionFit, RandomAndOddInputKeepsTheBoundAndCancelReturnsNothing)
{
    const double nan = std::nan("");
    // One NaN splits the polyline; repeats and lone points vanish.
    const QList<Polyline> chains{{{0, 0}, {10, 0}, {nan, 1}, {20, 0}, {20, 0}, {30, 0}}, {{5, 5}}, {}};
    const FitResult r = sectionfit::fitSectionChains(chains, withTolerance(0.05));
    ASSERT_EQ(r.chains.size(), 2u);
    EXPECT_EQ(r.lines, 2);
    EXPECT_EQ(r.chains[1].entities[0].start, QPointF(20, 0));

    for (double tol : {0.0, -1.0, nan, std::numeric_limits<double>::infinity()})
        EXPECT_TRUE(sectionfit::fitSectionChains({rectangle(0, 0, 1, 1)}, withTolerance(tol)).chains.empty());

    // Far from the origin, and smaller than the tolerance.
    Polyline far = profile(0.5);
    for (QPointF& q : far)
        q += QPointF(1e6, -2e6);
    const QList<Polyline> odd{far, rectangle(0, 0, 0.01, 0.02)};
    expectSound(odd, sectionfit::fitSectionChains(odd, withTolerance(0.05)), 0.05);
    // Cancel returns nothing.
    Progress progress;
    progress.cancel();
    const FitResult canceled = sectionfit::fitSectionChains({profile(0.1)}, withTolerance(0.05), &progress);
    EXPECT_TRUE(canceled.canceled);
    EXPECT_TRUE(canceled.chains.empty());
    // Random chains keep the bound and stay closed.
    std::mt19937 rng(20261206);
    const double tolerances[] = {0.01, 0.05, 0.2};
    for (int trial = 0; trial < 27; ++trial) {
        const int kind = trial % 3;
        const double tolerance = tolerances[(trial / 3) % 3];
        const QList<Polyline> randomChains{randomChain(rng, kind)};
        SCOPED_TRACE(testing::Message() << "trial " << trial << " kind " << kind << " tolerance " << tolerance);
        const FitResult randomFit = sectionfit::fitSectionChains(randomChains, withTolerance(tolerance));
        ASSERT_EQ(randomFit.chains.size(), 1u);
        EXPECT_EQ(randomFit.chains[0].closed, kind == 0);
        expectSound(randomChains, randomFit, tolerance);
    }
}

} // namespace
