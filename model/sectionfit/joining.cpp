#include "model/sectionfit/joining.h"
#include "model/sectionfit/fitmath.h"

#include "model/sectionfit/deviation.h"
#include "model/sectionfit/tangency.h"
#include "model/section/vec2.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sectionfit {

namespace {

using vec2::cross;
using vec2::dot;


constexpr double kInf = std::numeric_limits<double>::infinity();
// How far (in chain segments) a junction's cut may move off its vertex.
constexpr int kCutReach = 32;

enum class JunctionKind { End, Tangent, Corner, Pinned };

// Where two entities meet (x), and where the chain is divided between them:
// the chain point nearest x, `cut` segments (fractional) from the vertex.
struct Junction {
    int vertex = 0;
    JunctionKind kind = JunctionKind::Corner;
    QPointF x;
    double cut = 0.0;
};

bool isArc(const Piece& p)
{
    return p.fit.entity.type == FitEntityType::Arc;
}

Carrier carrierOf(const Piece& p)
{
    Carrier c;
    c.isLine = !isArc(p);
    c.line = p.fit.line;
    c.circle = p.fit.circle;
    return c;
}

QPointF radialProjection(const QPointF& p, const Circle& c)
{
    const QPointF d = p - c.center;
    const double len = norm(d);
    return len > 0.0 ? c.center + d * (c.radius / len) : c.center + QPointF(c.radius, 0.0);
}

QPointF projectOnto(const QPointF& p, const Piece& piece)
{
    return isArc(piece) ? radialProjection(p, piece.fit.circle) : projectOntoLine(p, piece.fit.line);
}

// Unit direction of travel of the piece's carrier at its point nearest p.
QPointF travelDirection(const Piece& piece, const QPointF& p)
{
    if (!isArc(piece))
        return piece.fit.line.direction;
    const QPointF d = p - piece.fit.circle.center;
    const double len = norm(d);
    if (len <= 0.0)
        return QPointF(1.0, 0.0);
    const QPointF t(-d.y() / len, d.x() / len);
    return piece.fit.entity.sweep >= 0.0 ? t : -t;
}

// The arc of circle from a to b in the given direction; nothing when the
// ends coincide.
std::optional<FitEntity> arcBetween(const QPointF& a, const QPointF& b, const Circle& circle, bool ccw)
{
    const QPointF chord = b - a;
    const double len = norm(chord);
    if (len <= 1e-12)
        return std::nullopt;
    // The centre moves onto the chord's bisector, so both ends lie on the
    // circle exactly as far as doubles go.
    const QPointF mid = (a + b) / 2.0;
    const QPointF n(-chord.y() / len, chord.x() / len);
    const QPointF c = mid + n * dot(circle.center - mid, n);
    double sweep = std::atan2(cross(a - c, b - c), dot(a - c, b - c));
    if (ccw && sweep <= 0.0)
        sweep += 2.0 * kPi;
    if (!ccw && sweep >= 0.0)
        sweep -= 2.0 * kPi;
    FitEntity e;
    e.type = FitEntityType::Arc;
    e.start = a;
    e.end = b;
    e.center = c;
    e.radius = norm(a - c);
    e.sweep = sweep;
    return e;
}

class Joiner {
public:
    Joiner(const FitChain& chain, std::vector<Piece> pieces, const SectionFitParams& params)
        : chain_(chain), params_(params), pieces_(std::move(pieces)), closed_(chain.closed)
    {
        const int m = int(pieces_.size());
        for (int k = 0; k < m; ++k)
            junctions_.push_back(Junction{pieces_[std::size_t(k)].first, JunctionKind::Corner, {}, 0.0});
        if (!closed_) {
            junctions_.push_back(Junction{pieces_.back().last, JunctionKind::End, {}, 0.0});
            junctions_.front().kind = JunctionKind::End;
        }
        endpointFitted_.assign(std::size_t(m), false);
    }

    std::vector<FitEntity> run()
    {
        makeTangent();
        placeCorners();
        return prove();
    }

private:
    int count() const { return int(pieces_.size()); }
    int startJunction(int k) const { return k; }
    int endJunction(int k) const { return closed_ ? (k + 1) % count() : k + 1; }
    int previous(int k) const { return k > 0 ? k - 1 : (closed_ && count() > 1 ? count() - 1 : -1); }
    int next(int k) const { return k + 1 < count() ? k + 1 : (closed_ && count() > 1 ? 0 : -1); }
    Piece& piece(int k) { return pieces_[std::size_t(k)]; }
    Junction& junction(int j) { return junctions_[std::size_t(j)]; }
    int segments(int k) const { return pieces_[std::size_t(k)].last - pieces_[std::size_t(k)].first; }
    const QPointF* runPoints(int k) const { return &chain_.pts[std::size_t(pieces_[std::size_t(k)].first)]; }
    int runCount(int k) const { return segments(k) + 1; }

    const QPointF& vertex(int i) const
    {
        return closed_ ? chain_.cyclic(i) : chain_.pts[std::size_t(std::clamp(i, 0, chain_.size() - 1))];
    }
    QPointF chainPoint(double u) const
    {
        const int i = int(std::floor(u));
        const double f = u - i;
        return f == 0.0 ? vertex(i) : vertex(i) + (vertex(i + 1) - vertex(i)) * f;
    }

    // The chain point nearest x around junction j, as an offset from its
    // vertex, staying within the two pieces that meet there.
    double cutNear(int j, const QPointF& x)
    {
        const Junction& jn = junction(j);
        if (jn.kind == JunctionKind::End)
            return 0.0;
        const int after = j, before = previous(j);
        const int lo = -std::min(kCutReach, segments(before)), hi = std::min(kCutReach, segments(after));
        double best = kInf, cut = 0.0;
        for (int i = lo; i < hi; ++i) {
            const QPointF a = vertex(jn.vertex + i), d = vertex(jn.vertex + i + 1) - a;
            const double len2 = dot(d, d);
            const double s = len2 > 0.0 ? std::clamp(dot(x - a, d) / len2, 0.0, 1.0) : 0.0;
            const double dist = norm(a + d * s - x);
            if (dist < best) {
                best = dist;
                cut = i + s;
            }
        }
        return cut;
    }

    // The chain between two cut positions (vertex index plus fraction).
    std::vector<QPointF> portion(double from, double to) const
    {
        std::vector<QPointF> out;
        if (!(to - from > 1e-12))
            return out;
        out.push_back(chainPoint(from));
        for (int i = int(std::floor(from)) + 1; i < to; ++i)
            out.push_back(vertex(i));
        out.push_back(chainPoint(to));
        return out;
    }

    double startCut(int k) { return piece(k).first + junction(startJunction(k)).cut; }
    double endCut(int k) { return piece(k).last + junction(endJunction(k)).cut; }

    double portionDeviation(const std::vector<QPointF>& part, const std::optional<FitEntity>& e, double stopAbove)
    {
        if (!e || part.size() < 2)
            return kInf;
        if (e->type == FitEntityType::Arc) {
            // The arc must turn the way its chain does, not the long way round.
            const double turn = sweepAbout(part.data(), int(part.size()), e->center);
            if (std::abs(turn - e->sweep) > 0.75 * kPi)
                return kInf;
        }
        return polylineToEntity(part.data(), int(part.size()), *e, stopAbove);
    }

    bool smoothAt(int before, int after, const QPointF& p) const
    {
        const Piece& a = pieces_[std::size_t(before)];
        const Piece& b = pieces_[std::size_t(after)];
        if (!isArc(a) && !isArc(b))
            return false;
        const QPointF ta = travelDirection(a, projectOnto(p, a)), tb = travelDirection(b, projectOnto(p, b));
        const double angle = std::abs(std::atan2(cross(ta, tb), dot(ta, tb)));
        return angle < params_.tangentAngleDegrees * kPi / 180.0;
    }

    std::optional<FitEntity> carrierEntity(int k, const QPointF& a, const QPointF& b)
    {
        const Piece& p = piece(k);
        if (isArc(p))
            return arcBetween(a, b, p.fit.circle, p.fit.entity.sweep >= 0.0);
        if (norm(b - a) <= 1e-12 || dot(b - a, p.fit.line.direction) <= 0.0)
            return std::nullopt;
        return lineEntity(a, b);
    }

    // An end of piece k while junctions are being settled: a settled tangent
    // point, or where its break vertex projects (cut at the vertex).
    struct End {
        QPointF x;
        double cut;
    };
    End provisionalEnd(int k, bool atStart)
    {
        const int j = atStart ? startJunction(k) : endJunction(k);
        const int v = atStart ? piece(k).first : piece(k).last;
        if (junction(j).kind == JunctionKind::Tangent)
            return {junction(j).x, v + junction(j).cut};
        return {projectOnto(vertex(v), piece(k)), double(v)};
    }

    double trialDeviation(int k, const End& a, const End& b)
    {
        return portionDeviation(portion(a.cut, b.cut), carrierEntity(k, a.x, b.x), params_.tolerance);
    }

    void makeTangent()
    {
        const int m = count();
        std::vector<bool> settled(static_cast<std::size_t>(m));
        std::vector<int> arcs;
        for (int k = 0; k < m; ++k) {
            settled[std::size_t(k)] = !isArc(piece(k));
            if (isArc(piece(k)))
                arcs.push_back(k);
        }
        // Arcs with the most support first: the later ones touch them.
        std::stable_sort(arcs.begin(), arcs.end(), [&](int a, int b) { return runCount(a) > runCount(b); });
        for (int k : arcs) {
            fitArcToNeighbours(k, settled);
            settled[std::size_t(k)] = true;
        }
    }

    void fitArcToNeighbours(int k, const std::vector<bool>& settled)
    {
        const int before = previous(k), after = next(k);
        const int js = startJunction(k), je = endJunction(k);
        const bool touchStart = before >= 0 && before != k && settled[std::size_t(before)] &&
                                junction(js).kind != JunctionKind::End && smoothAt(before, k, vertex(piece(k).first));
        const bool touchEnd = after >= 0 && after != k && settled[std::size_t(after)] &&
                              junction(je).kind != JunctionKind::End && smoothAt(k, after, vertex(piece(k).last));
        const Piece original = piece(k);
        const Carrier startCarrier = touchStart ? carrierOf(piece(before)) : Carrier{};
        const Carrier endCarrier = touchEnd ? carrierOf(piece(after)) : Carrier{};

        // Most wanted first: both touches, then one (a line before an arc),
        // then none; each with the shared radius first when there is one.
        struct Option {
            bool start, end;
        };
        std::vector<Option> options;
        if (touchStart && touchEnd)
            options.push_back({true, true});
        const bool endFirst = touchStart && touchEnd && !isArc(piece(after)) && isArc(piece(before));
        if (touchStart && !endFirst)
            options.push_back({true, false});
        if (touchEnd)
            options.push_back({false, true});
        if (touchStart && endFirst)
            options.push_back({true, false});
        options.push_back({false, false});
        std::vector<double> radii{0.0};
        if (original.snapRadius > 0.0)
            radii.insert(radii.begin(), original.snapRadius);

        const double tol = params_.tolerance;
        for (const Option& option : options) {
            for (double radius : radii) {
                if (radius == 0.0 && !option.start && !option.end)
                    break; // the free fit as it is
                const std::optional<TangentArc> arc =
                    fitTangentArc(runPoints(k), runCount(k), original.fit.circle, option.start ? &startCarrier : nullptr,
                                  vertex(original.first), option.end ? &endCarrier : nullptr, vertex(original.last),
                                  radius);
                if (!arc || arc->circle.radius <= tol || arc->circle.radius > params_.maxArcRadius)
                    continue;
                piece(k).fit.circle = arc->circle;
                const End a = option.start ? End{arc->startTouch, original.first + cutNear(js, arc->startTouch)}
                                           : provisionalEnd(k, true);
                const End b = option.end ? End{arc->endTouch, original.last + cutNear(je, arc->endTouch)}
                                         : provisionalEnd(k, false);
                bool ok = trialDeviation(k, a, b) <= tol;
                if (ok && option.start)
                    ok = trialDeviation(before, provisionalEnd(before, true),
                                        End{a.x, piece(before).last + (a.cut - original.first)}) <= tol;
                if (ok && option.end)
                    ok = trialDeviation(after, End{b.x, piece(after).first + (b.cut - original.last)},
                                        provisionalEnd(after, false)) <= tol;
                if (!ok) {
                    piece(k) = original;
                    continue;
                }
                if (option.start)
                    junction(js) = Junction{junction(js).vertex, JunctionKind::Tangent, a.x, a.cut - original.first};
                if (option.end)
                    junction(je) = Junction{junction(je).vertex, JunctionKind::Tangent, b.x, b.cut - original.last};
                piece(k).snapRadius = radius;
                return;
            }
        }
        piece(k) = original;
        piece(k).snapRadius = 0.0;
    }

    void placeCorners()
    {
        const double reach = params_.cornerReachTolerances * params_.tolerance;
        for (int j = 0; j < int(junctions_.size()); ++j) {
            Junction& jn = junction(j);
            const QPointF p = vertex(jn.vertex);
            if (jn.kind == JunctionKind::End) {
                jn.x = projectOnto(p, piece(j == 0 ? 0 : count() - 1));
                continue;
            }
            if (jn.kind == JunctionKind::Tangent)
                continue;
            const std::optional<QPointF> x = crossingNear(carrierOf(piece(previous(j))), carrierOf(piece(j)), p);
            if (x && norm(*x - p) <= reach) {
                jn.kind = JunctionKind::Corner;
                jn.x = *x;
                jn.cut = cutNear(j, *x);
            } else {
                pin(j);
            }
        }
    }

    // The junction moves onto its chain vertex; both pieces at it are then
    // refitted through their ends.
    void pin(int j)
    {
        Junction& jn = junction(j);
        jn.kind = JunctionKind::Pinned;
        jn.x = vertex(jn.vertex);
        jn.cut = 0.0;
        for (int k = 0; k < count(); ++k)
            if (startJunction(k) == j || endJunction(k) == j)
                endpointFitted_[std::size_t(k)] = true;
    }

    // The best line or arc from a to b over the chain part.
    std::optional<FitEntity> endpointEntity(int k, const QPointF& a, const QPointF& b, const std::vector<QPointF>& part)
    {
        const double tol = params_.tolerance;
        std::optional<FitEntity> line;
        if (norm(b - a) > 1e-12)
            line = lineEntity(a, b);
        if (part.size() <= 2)
            return line;
        const double lineDev = portionDeviation(part, line, kInf);
        // Arcs through both ends: the centre slides along the chord's bisector.
        const QPointF chord = b - a;
        const double len = norm(chord);
        std::optional<FitEntity> arc;
        if (len > 1e-12) {
            const QPointF mid = (a + b) / 2.0;
            const QPointF n(-chord.y() / len, chord.x() / len);
            const Piece& p = piece(k);
            double t = 0.0;
            if (isArc(p)) {
                t = dot(p.fit.circle.center - mid, n);
            } else {
                const QPointF& middle = part[part.size() / 2];
                const double h = dot(middle - mid, n);
                if (std::abs(h) > 1e-12)
                    t = (dot(middle - mid, middle - mid) - 0.25 * len * len) / (2.0 * h);
            }
            double params[1] = {t};
            const std::optional<Circle> circle = fitCircleFamily(
                part.data(), int(part.size()),
                [&](const double* q) {
                    const QPointF c = mid + n * q[0];
                    return std::optional<Circle>(Circle{c, norm(a - c)});
                },
                params, 1);
            if (circle && circle->radius > tol && circle->radius <= params_.maxArcRadius) {
                const double turn = sweepAbout(part.data(), int(part.size()), circle->center);
                arc = arcBetween(a, b, *circle, turn >= 0.0);
            }
        }
        const double arcDev = portionDeviation(part, arc, kInf);
        const bool lineOk = lineDev <= tol, arcOk = arcDev <= tol;
        if (lineOk && (!arcOk || arcSagitta(*arc) <= params_.lineSagittaFraction * tol))
            return line;
        if (arcOk)
            return arc;
        return lineDev <= arcDev ? line : arc;
    }

    // Both-way deviation of piece k's entity from the chain; infinity when
    // over tolerance or when the entity could not be made.
    double prove(int k, std::optional<FitEntity>* out)
    {
        const double tol = params_.tolerance;
        const QPointF& a = junction(startJunction(k)).x;
        const QPointF& b = junction(endJunction(k)).x;
        const double from = startCut(k), to = endCut(k);
        const std::vector<QPointF> part = portion(from, to);
        *out = endpointFitted_[std::size_t(k)] ? endpointEntity(k, a, b, part) : carrierEntity(k, a, b);
        const double toEntity = portionDeviation(part, *out, tol);
        if (!(toEntity <= tol))
            return kInf;
        // The entity may reach past its cuts to a junction point off the
        // chain: cover it with the chain around as well.
        const double moved = std::max(norm(a - chainPoint(from)), norm(b - chainPoint(to)));
        const std::vector<QPointF> near =
            runNeighbourhood(chain_, int(std::floor(from)), int(std::ceil(to)), 2.0 * tol + moved);
        return entityToPolyline(**out, near.data(), int(near.size()), toEntity, tol);
    }

    int worstVertex(int k, const FitEntity& e)
    {
        const Piece& p = piece(k);
        int best = p.first + 1;
        double worst = -1.0;
        for (int i = p.first + 1; i < p.last; ++i) {
            const double d = distanceToEntity(vertex(i), e);
            if (d > worst) {
                worst = d;
                best = i;
            }
        }
        return best;
    }

    void split(int k, int at)
    {
        Piece tail = piece(k);
        tail.first = at;
        piece(k).last = at;
        pieces_.insert(pieces_.begin() + k + 1, tail);
        junctions_.insert(junctions_.begin() + k + 1, Junction{at, JunctionKind::Pinned, vertex(at), 0.0});
        endpointFitted_[std::size_t(k)] = true;
        endpointFitted_.insert(endpointFitted_.begin() + k + 1, true);
    }

    std::vector<FitEntity> prove()
    {
        std::vector<FitEntity> entities;
        for (;;) {
            entities.assign(std::size_t(count()), FitEntity{});
            std::vector<int> failing;
            for (int k = 0; k < count(); ++k) {
                std::optional<FitEntity> e;
                const double deviation = prove(k, &e);
                entities[std::size_t(k)] = e ? *e : piece(k).fit.entity;
                if (deviation <= params_.tolerance)
                    entities[std::size_t(k)].maxDeviation = deviation;
                else
                    failing.push_back(k);
            }
            if (failing.empty())
                return entities;
            // Pin first; split what was pinned already (from the back, so the
            // indices ahead stay valid).
            std::vector<int> splits;
            bool changed = false;
            for (int k : failing) {
                const int js = startJunction(k), je = endJunction(k);
                if (junction(js).kind != JunctionKind::Pinned || junction(je).kind != JunctionKind::Pinned) {
                    pin(js);
                    pin(je);
                    changed = true;
                } else if (segments(k) >= 2) {
                    splits.push_back(k);
                }
            }
            for (auto it = splits.rbegin(); it != splits.rend(); ++it)
                split(*it, worstVertex(*it, entities[std::size_t(*it)]));
            if (!changed && splits.empty()) {
                // Only single chain segments between their own vertices are
                // left: each is its own entity, off by rounding at most.
                for (int k : failing) {
                    entities[std::size_t(k)] = lineEntity(junction(startJunction(k)).x, junction(endJunction(k)).x);
                    entities[std::size_t(k)].maxDeviation = 0.0;
                }
                return entities;
            }
        }
    }

    const FitChain& chain_;
    const SectionFitParams& params_;
    std::vector<Piece> pieces_;
    std::vector<Junction> junctions_;
    std::vector<bool> endpointFitted_;
    bool closed_;
};

} // namespace

std::vector<FitEntity> joinPieces(const FitChain& chain, std::vector<Piece> pieces, const SectionFitParams& params)
{
    if (pieces.empty())
        return {};
    return Joiner(chain, std::move(pieces), params).run();
}

} // namespace sectionfit
