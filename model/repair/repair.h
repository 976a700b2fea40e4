#pragma once

#include "model/mesh/meshmodel.h"

#include <atomic>
#include <cstdint>
#include <set>
#include <string>

// The Repair Mesh pipeline: weld, triangulate, close holes (MeshFix first,
// VTK's hole filler as fallback), consistent outward winding, optional
// windowed-sinc smoothing.
struct RepairOptions {
    float mergeTolerance = 0.01f; // mm, absolute
    std::int32_t smoothIterations = 5;
    float smoothPassBand = 0.05f;
    bool fixNormals = true;
    bool fillHoles = true;
    bool smoothNoise = true;
    std::set<std::uint32_t> keepOpenHoles;
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
// caches are rebuilt). error may hold a MeshFix note even on success.
bool repairMesh(MeshModel& model, const RepairOptions& options, std::string& error, std::atomic<int>& progress);
