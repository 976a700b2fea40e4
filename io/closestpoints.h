#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

// Closest-point queries over a fixed set of points, with VTK's squared
// distance to the bit, telling whether the closest distance is shared by two
// points. Every node keeps the tight box of its points: a split-plane bound
// (as nanoflann's) lets a sample deep inside a part visit every leaf of the
// faces around it, thousands of points per sample.
class ClosestPoints {
public:
    struct Hit {
        std::uint32_t index = 0;
        double squared = std::numeric_limits<double>::max();
        bool tie = false;
    };

    explicit ClosestPoints(const std::vector<std::array<double, 3>>& points) : points_(points)
    {
        if (points.empty())
            return;
        order_.resize(points.size());
        std::iota(order_.begin(), order_.end(), 0u);
        nodes_.reserve(4 * points.size() / kLeafSize + 1);
        nodes_.resize(1);
        build(0, 0, std::uint32_t(points.size()));
        local_.resize(points.size());
        for (std::size_t i = 0; i < order_.size(); ++i)
            local_[i] = points[order_[i]];
    }

    static double squaredDistance(const double* q, const std::array<double, 3>& p)
    {
        const double d0 = q[0] - p[0], d1 = q[1] - p[1], d2 = q[2] - p[2];
        return d0 * d0 + d1 * d1 + d2 * d2;
    }

    // The closest point to q; guess (a point index, e.g. the previous sample's
    // answer) only bounds the search and does not change the result.
    Hit closest(const double* q, std::uint32_t guess) const
    {
        Hit hit;
        if (nodes_.empty())
            return hit;
        hit.index = guess;
        hit.squared = squaredDistance(q, points_[guess]);
        // Nodes waiting, each with its bound, nearer child on top.
        std::uint32_t stack[64];
        double bound[64];
        int top = 0;
        stack[top] = 0;
        bound[top++] = 0.0;
        while (top > 0) {
            --top;
            if (bound[top] > hit.squared)
                continue;
            const Node& node = nodes_[stack[top]];
            if (node.left == 0) {
                for (std::uint32_t i = node.begin; i < node.end; ++i) {
                    const double d = squaredDistance(q, local_[i]);
                    if (d < hit.squared) {
                        hit = {order_[i], d, false};
                    } else if (d == hit.squared && order_[i] != hit.index) {
                        hit.tie = true;
                    }
                }
                continue;
            }
            const std::uint32_t a = node.left, b = node.left + 1;
            const double boundA = lowerBound(nodes_[a], q), boundB = lowerBound(nodes_[b], q);
            const bool aNearer = boundA <= boundB;
            const std::uint32_t near = aNearer ? a : b, far = aNearer ? b : a;
            const double nearBound = aNearer ? boundA : boundB, farBound = aNearer ? boundB : boundA;
            if (farBound <= hit.squared) {
                stack[top] = far;
                bound[top++] = farBound;
            }
            if (nearBound <= hit.squared) {
                stack[top] = near;
                bound[top++] = nearBound;
            }
        }
        return hit;
    }

private:
    static constexpr std::uint32_t kLeafSize = 8;

    struct Node {
        double lo[3], hi[3];
        std::uint32_t begin, end;
        std::uint32_t left = 0; // children at left, left + 1; 0 for a leaf
    };

    // Rounding is monotone, so this never exceeds the squared distance
    // computed to any point inside the box.
    static double lowerBound(const Node& node, const double* q)
    {
        double sum = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double below = node.lo[k] - q[k], above = q[k] - node.hi[k];
            const double gap = below > 0.0 ? below : above > 0.0 ? above : 0.0;
            sum += gap * gap;
        }
        return sum;
    }

    // Children of a node sit side by side, so a node names only the first.
    void build(std::uint32_t slot, std::uint32_t begin, std::uint32_t end)
    {
        Node node;
        node.begin = begin;
        node.end = end;
        for (int k = 0; k < 3; ++k) {
            node.lo[k] = std::numeric_limits<double>::max();
            node.hi[k] = std::numeric_limits<double>::lowest();
        }
        for (std::uint32_t i = begin; i < end; ++i)
            for (int k = 0; k < 3; ++k) {
                node.lo[k] = std::min(node.lo[k], points_[order_[i]][std::size_t(k)]);
                node.hi[k] = std::max(node.hi[k], points_[order_[i]][std::size_t(k)]);
            }
        if (end - begin <= kLeafSize) {
            nodes_[slot] = node;
            return;
        }
        int axis = 0;
        for (int k = 1; k < 3; ++k)
            if (node.hi[k] - node.lo[k] > node.hi[axis] - node.lo[axis])
                axis = k;
        const std::uint32_t middle = begin + (end - begin) / 2;
        std::nth_element(order_.begin() + begin, order_.begin() + middle, order_.begin() + end,
                         [&](std::uint32_t a, std::uint32_t b) {
                             return points_[a][std::size_t(axis)] < points_[b][std::size_t(axis)];
                         });
        node.left = std::uint32_t(nodes_.size());
        nodes_.resize(nodes_.size() + 2);
        nodes_[slot] = node;
        build(node.left, begin, middle);
        build(node.left + 1, middle, end);
    }

    const std::vector<std::array<double, 3>>& points_;
    std::vector<std::uint32_t> order_;
    std::vector<std::array<double, 3>> local_;
    std::vector<Node> nodes_;
};
