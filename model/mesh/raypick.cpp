#include "model/mesh/raypick.h"


#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::size_t kLeafSize = 4;

Vec3f unitNormal(const Vec3f& a, const Vec3f& b, const Vec3f& c)
{
    const Vec3f n = cross(b - a, c - a);
    const float len = std::sqrt(dot(n, n));
    return len > 0.0f ? n * (1.0f / len) : Vec3f(0.0f, 0.0f, 1.0f);
}

bool better(float t, std::int64_t index, float bestT, std::int64_t bestIndex)
{
    return bestIndex < 0 || t < bestT || (t == bestT && index < bestIndex);
}

void fillHit(const SharedArray<Vec3f>& vertices, const Triangle& tri, std::int64_t index, float t,
             const Vec3f& origin, const Vec3f& dir, RayHit* hit)
{
    hit->triangle = index;
    hit->t = t;
    hit->point = origin + dir * t;
    hit->normal = unitNormal(vertices[tri[0]], vertices[tri[1]], vertices[tri[2]]);
}

// Slab test; entry distance in tNear. Infinite inverse components are fine.
bool hitBox(const float lo[3], const float hi[3], const Vec3f& origin, const float inv[3], float tMax, float* tNear)
{
    float t0 = 0.0f, t1 = tMax;
    for (int a = 0; a < 3; ++a) {
        float n = (lo[a] - origin[a]) * inv[a];
        float f = (hi[a] - origin[a]) * inv[a];
        if (n > f)
            std::swap(n, f);
        // NaN from 0 * inf (origin on a slab plane, ray parallel) keeps the box.
        if (n == n)
            t0 = std::max(t0, n);
        if (f == f)
            t1 = std::min(t1, f);
        if (t0 > t1)
            return false;
    }
    *tNear = t0;
    return true;
}

} // namespace

bool rayTriangle(const Vec3f& origin, const Vec3f& dir, const Vec3f& a, const Vec3f& b, const Vec3f& c, float* t)
{
    const Vec3f e1 = b - a;
    const Vec3f e2 = c - a;
    const Vec3f p = cross(dir, e2);
    const float det = dot(e1, p);
    if (std::fabs(det) < 1e-9f)
        return false;
    const float invDet = 1.0f / det;
    const Vec3f s = origin - a;
    const float u = dot(s, p) * invDet;
    if (u < 0.0f || u > 1.0f)
        return false;
    const Vec3f q = cross(s, e1);
    const float v = dot(dir, q) * invDet;
    if (v < 0.0f || u + v > 1.0f)
        return false;
    const float dist = dot(e2, q) * invDet;
    if (!(dist > 1e-6f))
        return false;
    *t = dist;
    return true;
}

bool pickLinear(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces, const Vec3f& origin,
                const Vec3f& dir, RayHit* hit)
{
    const std::size_t vertexCount = vertices.size();
    float bestT = std::numeric_limits<float>::max();
    std::int64_t best = -1;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const Triangle& tri = faces[i];
        if (!tri.inRange(vertexCount))
            continue;
        float t;
        if (rayTriangle(origin, dir, vertices[tri[0]], vertices[tri[1]], vertices[tri[2]], &t) && t < bestT) {
            bestT = t;
            best = std::int64_t(i);
        }
    }
    if (best < 0)
        return false;
    fillHit(vertices, faces[std::size_t(best)], best, bestT, origin, dir, hit);
    return true;
}

void RayPickIndex::clear()
{
    vertices_.clear();
    faces_.clear();
    nodes_.clear();
    nodes_.shrink_to_fit();
    order_.clear();
    order_.shrink_to_fit();
}

void RayPickIndex::build(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces)
{
    clear();
    vertices_ = vertices;
    faces_ = faces;
    const std::size_t vertexCount = vertices.size();

    std::vector<Vec3f> centroids;
    centroids.reserve(faces.size());
    centroids.resize(faces.size());
    order_.reserve(faces.size());
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const Triangle& tri = faces[i];
        if (!tri.inRange(vertexCount))
            continue;
        const Vec3f& a = vertices[tri[0]];
        const Vec3f& b = vertices[tri[1]];
        const Vec3f& c = vertices[tri[2]];
        centroids[i] = (a + b + c) * (1.0f / 3.0f);
        order_.push_back(std::uint32_t(i));
    }
    if (order_.empty())
        return;
    // Leaves hold at least two triangles (unless the input is tiny).
    nodes_.reserve(2 * (order_.size() / 2 + 1));

    struct Task {
        std::uint32_t node, begin, end;
    };
    std::vector<Task> stack;
    nodes_.push_back({});
    stack.push_back({0, 0, std::uint32_t(order_.size())});
    while (!stack.empty()) {
        const Task task = stack.back();
        stack.pop_back();

        float lo[3] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                       std::numeric_limits<float>::max()};
        float hi[3] = {-lo[0], -lo[1], -lo[2]};
        float clo[3] = {lo[0], lo[1], lo[2]};
        float chi[3] = {hi[0], hi[1], hi[2]};
        for (std::uint32_t k = task.begin; k < task.end; ++k) {
            const std::uint32_t f = order_[k];
            for (int corner = 0; corner < 3; ++corner) {
                const Vec3f& p = vertices[faces[f][corner]];
                for (int a = 0; a < 3; ++a) {
                    lo[a] = std::min(lo[a], p[a]);
                    hi[a] = std::max(hi[a], p[a]);
                }
            }
            for (int a = 0; a < 3; ++a) {
                clo[a] = std::min(clo[a], centroids[f][a]);
                chi[a] = std::max(chi[a], centroids[f][a]);
            }
        }
        Node& node = nodes_[task.node];
        std::copy(lo, lo + 3, node.lo);
        std::copy(hi, hi + 3, node.hi);

        const std::uint32_t count = task.end - task.begin;
        int axis = 0;
        for (int a = 1; a < 3; ++a)
            if (chi[a] - clo[a] > chi[axis] - clo[axis])
                axis = a;
        if (count <= kLeafSize || !(chi[axis] > clo[axis])) {
            node.first = task.begin;
            node.count = count;
            continue;
        }
        const std::uint32_t mid = task.begin + count / 2;
        std::nth_element(order_.begin() + task.begin, order_.begin() + mid, order_.begin() + task.end,
                         [&](std::uint32_t x, std::uint32_t y) { return centroids[x][axis] < centroids[y][axis]; });
        // Siblings sit next to each other; the parent records the first.
        const std::uint32_t left = std::uint32_t(nodes_.size());
        const std::uint32_t right = left + 1;
        nodes_.push_back({});
        nodes_.push_back({});
        nodes_[task.node].first = left;
        nodes_[task.node].count = 0;
        stack.push_back({right, mid, task.end});
        stack.push_back({left, task.begin, mid});
    }
}

bool RayPickIndex::pick(const Vec3f& origin, const Vec3f& dir, RayHit* hit) const
{
    if (nodes_.empty())
        return false;
    const float inv[3] = {1.0f / dir.x, 1.0f / dir.y, 1.0f / dir.z};
    float bestT = std::numeric_limits<float>::max();
    std::int64_t best = -1;

    std::uint32_t stack[128];
    int top = 0;
    float tNear;
    if (!hitBox(nodes_[0].lo, nodes_[0].hi, origin, inv, bestT, &tNear))
        return false;
    stack[top++] = 0;
    while (top > 0) {
        const Node& node = nodes_[stack[--top]];
        if (!hitBox(node.lo, node.hi, origin, inv, bestT, &tNear))
            continue;
        if (node.count > 0) {
            for (std::uint32_t k = node.first; k < node.first + node.count; ++k) {
                const std::uint32_t f = order_[k];
                const Triangle& tri = faces_[f];
                float t;
                if (rayTriangle(origin, dir, vertices_[tri[0]], vertices_[tri[1]], vertices_[tri[2]], &t) &&
                    better(t, f, bestT, best)) {
                    bestT = t;
                    best = f;
                }
            }
            continue;
        }
        // Visit the nearer child first so the far one is usually culled.
        const std::uint32_t a = node.first;
        const std::uint32_t b = node.first + 1;
        float ta = 0.0f, tb = 0.0f;
        const bool hitA = hitBox(nodes_[a].lo, nodes_[a].hi, origin, inv, bestT, &ta);
        const bool hitB = hitBox(nodes_[b].lo, nodes_[b].hi, origin, inv, bestT, &tb);
        if (top + 2 > 128)
            break; // cannot happen with median splits below 2^64 triangles
        if (hitA && hitB) {
            stack[top++] = ta <= tb ? b : a;
            stack[top++] = ta <= tb ? a : b;
        } else if (hitA) {
            stack[top++] = a;
        } else if (hitB) {
            stack[top++] = b;
        }
    }
    if (best < 0)
        return false;
    fillHit(vertices_, faces_[std::size_t(best)], best, bestT, origin, dir, hit);
    return true;
}

void RayPickIndex::collectNear(const Vec3f& centre, float radius, std::vector<std::uint32_t>* out) const
{
    if (nodes_.empty())
        return;
    std::vector<std::uint32_t> stack{0};
    while (!stack.empty()) {
        const Node& node = nodes_[stack.back()];
        stack.pop_back();
        bool overlaps = true;
        for (int a = 0; a < 3 && overlaps; ++a)
            overlaps = node.lo[a] <= centre[a] + radius && node.hi[a] >= centre[a] - radius;
        if (!overlaps)
            continue;
        if (node.count > 0) {
            out->insert(out->end(), order_.begin() + node.first, order_.begin() + node.first + node.count);
            continue;
        }
        stack.push_back(node.first);
        stack.push_back(node.first + 1);
    }
}

std::int64_t nearestVertex(const SharedArray<Vec3f>& vertices, const Vec3f& point)
{
    std::int64_t best = -1;
    float bestD = std::numeric_limits<float>::max();
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const Vec3f d = vertices[i] - point;
        const float dd = dot(d, d);
        if (dd < bestD) {
            bestD = dd;
            best = std::int64_t(i);
        }
    }
    return best;
}
