#pragma once

#include "model/mesh/meshtypes.h"

#include <cstdint>
#include <vector>

// The point merging of VTK's STL reader and of its clean filter at tolerance
// 0: points merge only when their coordinates compare equal (so -0.0 merges
// with 0.0), and groups are numbered in the order they are first seen. The
// native readers use it to give the VTK pipeline's arrays exactly.
class ExactWeld {
public:
    explicit ExactWeld(std::size_t expectedPoints = 0);

    // Group of p, a new one (numbered points().size()) when no equal point
    // was inserted before. Coordinates must be finite.
    std::uint32_t insert(const Vec3f& p);
    // Groups of n points at once; faster than one by one on large inputs.
    void insertMany(const Vec3f* points, std::size_t n, std::uint32_t* groups);

    // First-seen coordinates of every group.
    const std::vector<Vec3f>& points() const { return points_; }
    std::vector<Vec3f>& points() { return points_; }

private:
    static std::uint64_t hashOf(const Vec3f& p);
    void grow();

    std::vector<std::uint32_t> slots_; // group number, kEmpty when free
    std::size_t mask_ = 0;
    std::vector<Vec3f> points_;
};

// The last two steps of the VTK pipeline on triangles given as point numbers:
// groups (null: the point numbers are the groups) decide which points are
// equal, a triangle with two corners in one group is dropped, and the
// remaining points are renumbered in the order the triangles first use them,
// each taking the coordinates of that first use. keepPointsOfDropped keeps
// the points a dropped triangle uses first, as the clean filter does; the
// STL reader drops such triangles before the filter sees them.
void compactTriangles(const std::vector<Vec3f>& points, const std::uint32_t* groups, std::size_t groupCount,
                      const std::vector<Triangle>& triangles, bool keepPointsOfDropped, std::vector<Vec3f>& vertices,
                      std::vector<Triangle>& faces);
