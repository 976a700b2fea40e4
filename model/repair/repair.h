#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshmodel.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// The Repair Mesh pipeline: weld, triangulate, close holes (the repair
// program first, VTK's hole filler as fallback), consistent outward winding,
// optional windowed-sinc smoothing.

// One choice of the repair dialog's "Smoothing:" box.
struct SmoothingPreset {
    const char* text;    // as the dialog shows it
    const char* name;    // as the command line takes it
    std::int32_t iterations;
    float passBand;
};

inline constexpr SmoothingPreset kSmoothingPresets[] = {
    {"Light (preserves detail)", "light", 2, 0.08f},
    {"Medium (balanced)", "medium", 5, 0.05f},
    {"Strong (maximum smoothing)", "strong", 10, 0.03f},
};
inline constexpr int kDefaultSmoothingPreset = 1;

struct RepairOptions {
    float mergeTolerance = 0.01f; // mm, absolute
    std::int32_t smoothIterations = kSmoothingPresets[kDefaultSmoothingPreset].iterations;
    float smoothPassBand = kSmoothingPresets[kDefaultSmoothingPreset].passBand;
    bool fixNormals = true;
    bool fillHoles = true;
    bool smoothNoise = true;
    std::set<std::uint32_t> keepOpenHoles;
    // Folder holding the repair program; empty means next to the application.
    std::string programDir;

    void applyPreset(int index);
};

struct MeshStats {
    std::uint32_t boundaryEdges = 0;
    std::uint32_t nonManifoldEdges = 0;
    std::uint32_t degenerateTriangles = 0;
    std::uint32_t vertexCount = 0;
    std::uint32_t faceCount = 0;
};

MeshStats computeMeshStats(const MeshModel& model);

// Replaces the model's arrays only on success (then repaired is set and the
// caches are rebuilt). error may hold a note about the repair program even on
// success. notes receives the repair program's report, one line per step.
// A cancel (the repair program is killed at once) returns false with
// "Repair canceled." and the model untouched.
bool repairMesh(MeshModel& model, const RepairOptions& options, std::string& error, Progress* progress = nullptr,
                std::vector<std::string>* notes = nullptr);
