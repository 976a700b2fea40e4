#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// Per-node lists of edge indices in one flat array, for the section graphs.
// Lists keep insertion order; removal closes the gap. Each node gets room for
// its expected degree up front; a list that outgrows it moves to the end of the
// array with twice the room, so adding never fails.
class EdgeAdjacency {
public:
    // capacity[n]: room reserved for node n.
    explicit EdgeAdjacency(const std::vector<int>& capacity)
        : offset_(capacity.size()), count_(capacity.size(), 0), room_(capacity)
    {
        std::size_t total = 0;
        for (std::size_t n = 0; n < capacity.size(); ++n) {
            offset_[n] = total;
            total += std::size_t(std::max(capacity[n], 1));
            room_[n] = std::max(capacity[n], 1);
        }
        slots_.resize(total);
    }

    int degree(int node) const { return count_[std::size_t(node)]; }
    int at(int node, int i) const { return slots_[offset_[std::size_t(node)] + std::size_t(i)]; }
    const int* begin(int node) const { return slots_.data() + offset_[std::size_t(node)]; }
    const int* end(int node) const { return begin(node) + count_[std::size_t(node)]; }

    void add(int node, int edge)
    {
        const std::size_t n = std::size_t(node);
        if (count_[n] == room_[n]) {
            const std::size_t moved = slots_.size();
            slots_.resize(moved + std::size_t(room_[n]) * 2);
            std::copy_n(slots_.begin() + std::ptrdiff_t(offset_[n]), count_[n], slots_.begin() + std::ptrdiff_t(moved));
            offset_[n] = moved;
            room_[n] *= 2;
        }
        slots_[offset_[n] + std::size_t(count_[n]++)] = edge;
    }

    void remove(int node, int edge)
    {
        const std::size_t n = std::size_t(node);
        int* first = slots_.data() + offset_[n];
        int* last = first + count_[n];
        int* hit = std::find(first, last, edge);
        if (hit == last)
            return;
        std::copy(hit + 1, last, hit);
        --count_[n];
    }

private:
    std::vector<std::size_t> offset_;
    std::vector<int> count_;
    std::vector<int> room_;
    std::vector<int> slots_;
};
