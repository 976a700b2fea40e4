#pragma once

#include "model/mesh/meshmodel.h"

#include <cstdint>
#include <string>
#include <vector>

// A deterministic stand-in for a real scan: a 120 x 80 x 40 mm block whose
// faces bulge gently (freeform), whose cube edges stay sharp creases, with
// small scan noise on every vertex and a few round holes. Optionally turned
// into an arbitrary pose, as a scanner would leave it.
struct SyntheticScanOptions {
    std::size_t targetTriangles = 100000; // reached within a few percent
    std::uint32_t seed = 7;
    float noise = 0.01f;     // mm, uniform in [-noise, noise] per coordinate
    int holes = 3;           // round holes: the first four 4 mm in radius, more from 1.5 to 10 mm
    bool tilted = true;      // arbitrary pose instead of the axis-aligned one
};

struct SyntheticScan {
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
};

SyntheticScan makeSyntheticScan(const SyntheticScanOptions& options = {});

// Centre of the scan's axis-aligned bounding box.
Vec3f boundingBoxCentre(const SyntheticScan& scan);

// The scan as a model's working arrays (no caches built, not aligned).
MeshModel makeSyntheticModel(std::size_t triangles);

// Little-endian binary STL; false when the file cannot be written.
bool writeBinaryStl(const std::string& path, const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces);
