#include "model/drawing/drawingsmoothing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

enum VertexKind : char { kSimple = 0, kFixed = 1, kCrease = 2, kBorder = 3 };

double normalize(double l[3])
{
    const double len = std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
    if (len != 0.0)
        for (int k = 0; k < 3; ++k)
            l[k] /= len;
    return len;
}

// Unit normal of a triangle in double: the sum of the cross products at its
// three corners, as VTK's polygon normal takes it.
void unitNormal(const std::vector<Vec3f>& v, const Triangle& t, double n[3])
{
    n[0] = n[1] = n[2] = 0.0;
    for (int i = 0; i < 3; ++i) {
        const Vec3f &p0 = v[t[i]], &p1 = v[t[(i + 1) % 3]], &p2 = v[t[(i + 2) % 3]];
        const double ax = double(p2.x) - p1.x, ay = double(p2.y) - p1.y, az = double(p2.z) - p1.z;
        const double bx = double(p0.x) - p1.x, by = double(p0.y) - p1.y, bz = double(p0.z) - p1.z;
        n[0] += ay * bz - az * by;
        n[1] += az * bx - ax * bz;
        n[2] += ax * by - ay * bx;
    }
    normalize(n);
}

} // namespace

bool smoothKeepingCreases(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                          const CreaseSmoothing& settings, const ProgressStage& stage, std::vector<Vec3f>& outVertices,
                          std::vector<Triangle>& outFaces)
{
    const std::size_t n = vertices.size();
    outFaces.clear();
    outFaces.reserve(faces.size());
    for (const Triangle& t : faces)
        if (t.inRange(n))
            outFaces.push_back(t);
    if (n == 0 || outFaces.empty())
        return false;
    outVertices = vertices;
    if (settings.iterations <= 0 || settings.relaxation == 0.0)
        return !stage.canceled();
    const std::vector<Triangle>& cells = outFaces;

    // Faces around each vertex, ascending (a face using a vertex twice is
    // listed twice).
    std::vector<std::uint32_t> linkStart(n + 1, 0);
    for (const Triangle& t : cells)
        for (int k = 0; k < 3; ++k)
            ++linkStart[t[k] + 1];
    for (std::size_t i = 0; i < n; ++i)
        linkStart[i + 1] += linkStart[i];
    std::vector<std::uint32_t> links(linkStart[n]);
    {
        std::vector<std::uint32_t> fill(linkStart.begin(), linkStart.end() - 1);
        for (std::uint32_t c = 0; c < cells.size(); ++c)
            for (int k = 0; k < 3; ++k)
                links[fill[cells[c][k]]++] = c;
    }
    if (stage.canceled())
        return false;

    // Neighbour lists: a vertex gains at most one entry per face edge through
    // it, so twice its face count is room enough.
    std::vector<char> kind(n, kSimple);
    std::vector<char> touched(n, 0);
    std::vector<std::uint32_t> count(n, 0);
    std::vector<std::uint32_t> neighbours(2 * std::size_t(linkStart[n]));
    const auto listOf = [&](std::uint32_t p) { return &neighbours[2 * std::size_t(linkStart[p])]; };
    const double cosFeature = std::cos(std::clamp(settings.featureAngle, 0.0, 180.0) * 0.017453292519943295);
    const double cosEdge = std::cos(std::clamp(settings.edgeAngle, 0.0, 180.0) * 0.017453292519943295);
    // How an edge (p1, p2) of face c joins the vertices: the first face to
    // meet a shared edge decides it; a lone edge is a border, a crease or a
    // non-manifold edge makes both ends crease vertices.
    const auto add = [&](std::uint32_t p, std::uint32_t q, char edge) {
        if (edge != kSimple && kind[p] == kSimple) {
            count[p] = 0;
            listOf(p)[count[p]++] = q;
            kind[p] = edge;
        } else if ((edge != kSimple && (kind[p] == kBorder || kind[p] == kCrease)) || (edge == kSimple && kind[p] == kSimple)) {
            listOf(p)[count[p]++] = q;
            if (kind[p] != kSimple && edge == kBorder)
                kind[p] = kBorder;
        }
    };
    for (std::uint32_t c = 0; c < cells.size(); ++c) {
        if (c % kProgressPollInterval == 0 && !stage.step(c, 3 * cells.size()))
            return false;
        for (int i = 0; i < 3; ++i) {
            const std::uint32_t p1 = cells[c][i], p2 = cells[c][(i + 1) % 3];
            touched[p1] = touched[p2] = 1;
            // Other faces holding both ends.
            std::size_t others = 0;
            std::uint32_t first = 0;
            bool earlier = false;
            for (std::uint32_t a = linkStart[p1]; a < linkStart[p1 + 1]; ++a) {
                const std::uint32_t other = links[a];
                if (other == c || !std::binary_search(&links[linkStart[p2]], &links[linkStart[p2 + 1]], other))
                    continue;
                if (others++ == 0)
                    first = other;
                earlier = earlier || other < c;
            }
            char edge = kSimple;
            if (others == 0) {
                edge = kBorder;
            } else if (others >= 2) {
                if (!earlier)
                    edge = kCrease;
            } else if (first > c) {
                double n0[3], n1[3];
                unitNormal(vertices, cells[c], n0);
                unitNormal(vertices, cells[first], n1);
                if (n0[0] * n1[0] + n0[1] * n1[1] + n0[2] * n1[2] <= cosFeature)
                    edge = kCrease;
            } else {
                continue; // met already from the earlier face
            }
            add(p1, p2, edge);
            add(p2, p1, edge);
        }
    }

    // Borders stay; a crease vertex slides only between exactly two crease
    // neighbours that turn by less than the edge angle.
    for (std::size_t i = 0; i < n; ++i) {
        if (kind[i] == kBorder) {
            kind[i] = kFixed;
        } else if (kind[i] == kCrease) {
            if (count[i] != 2) {
                kind[i] = kFixed;
                continue;
            }
            const Vec3f &x1 = vertices[listOf(std::uint32_t(i))[0]], &x2 = vertices[i],
                        &x3 = vertices[listOf(std::uint32_t(i))[1]];
            double l1[3] = {double(x2.x) - x1.x, double(x2.y) - x1.y, double(x2.z) - x1.z};
            double l2[3] = {double(x3.x) - x2.x, double(x3.y) - x2.y, double(x3.z) - x2.z};
            normalize(l1);
            normalize(l2);
            if (l1[0] * l2[0] + l1[1] * l2[1] + l1[2] * l2[2] < cosEdge)
                kind[i] = kFixed;
        }
    }

    // Passes in place, in double, until no vertex moves.
    std::vector<double> p(3 * n);
    for (std::size_t i = 0; i < n; ++i) {
        p[3 * i] = vertices[i].x;
        p[3 * i + 1] = vertices[i].y;
        p[3 * i + 2] = vertices[i].z;
    }
    const double factor = settings.relaxation;
    double moved = 1.0;
    for (int pass = 0; pass < settings.iterations && moved > 0.0; ++pass) {
        moved = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            if (i % kProgressPollInterval == 0
                && !stage.step(cells.size() + (std::size_t(pass) * n + i) * 2 * cells.size() / (settings.iterations * n),
                               3 * cells.size()))
                return false;
            const std::uint32_t m = count[i];
            if (kind[i] == kFixed || !touched[i] || m == 0)
                continue;
            const std::uint32_t* list = listOf(std::uint32_t(i));
            double sum[3] = {0.0, 0.0, 0.0};
            for (std::uint32_t j = 0; j < m; ++j)
                for (int k = 0; k < 3; ++k)
                    sum[k] += p[3 * std::size_t(list[j]) + k];
            for (int k = 0; k < 3; ++k)
                p[3 * i + k] += factor * (sum[k] / double(m) - p[3 * i + k]);
            moved = std::max(moved, std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]));
        }
    }
    for (std::size_t i = 0; i < n; ++i)
        outVertices[i] = Vec3f(float(p[3 * i]), float(p[3 * i + 1]), float(p[3 * i + 2]));
    stage.finish();
    return true;
}
