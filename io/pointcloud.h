#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshtypes.h"

#include <cstddef>
#include <string>
#include <vector>

// ASC point clouds: parse, estimate the point spacing, reconstruct a surface.

// nanoflann dataset adaptor over a point array (no precomputed bounding box).
struct NfPointCloud {
    const std::vector<Vec3f>& points;

    std::size_t kdtree_get_point_count() const { return points.size(); }
    float kdtree_get_pt(std::size_t index, std::size_t dim) const { return points[index][int(dim)]; }
    template <class BBox>
    bool kdtree_get_bbox(BBox&) const
    {
        return false;
    }
};

// One point per line: the first three numbers (blanks, tabs or commas between
// them); blank lines, '#' comments and lines without three numbers are
// skipped. Fails with fewer than 3 points, and with "Load canceled." once
// progress is cancelled.
bool readAscPoints(const std::string& path, std::vector<Vec3f>& points, std::string* error,
                   Progress* progress = nullptr);

// Median nearest-neighbour distance over at most 4096 evenly strided sample
// points; 0 for fewer than 4 points.
float medianPointSpacing(const std::vector<Vec3f>& points);

// Implicit-surface reconstruction and contouring into a triangle mesh, in
// this process (the reconstruction field of io/reconstructionfield.h, then
// VTK's contour). Fails with "Load canceled." once progress is cancelled.
// The load runs it in the reconstruction program (io/cloudimport.h), which
// bounds its time and memory.
bool reconstructSurface(const std::vector<Vec3f>& points, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                        std::string* error, Progress* progress = nullptr);

// The reconstruction's parameters, exposed for checking them without running
// the (slow) filter: the stride that thins clouds above 1,200,000 points, and
// the sample spacing for the kept points: 1.75 x their median spacing, or
// without one a three-hundredth of the bounds diagonal (at least 0.0001),
// made coarser only where the sampled volume would exceed 2^27 voxels.
std::size_t reconstructionStride(std::size_t pointCount);
double reconstructionSampleSpacing(const std::vector<Vec3f>& keptPoints);
