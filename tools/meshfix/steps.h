#pragma once

#include "model/repair/fairing/surfacemesh.h"

#include <functional>
#include <string>
#include <vector>

// The repair steps on the halfedge mesh. Each works on its own copy of the
// mesh (the pipeline keeps the previous one), reports one line of what it
// did, and returns ok false when its result must not be used.
namespace repairprogram {

using fairing::SurfaceMesh;

struct StepContext {
    // True once the step's time budget is spent; long loops poll it.
    std::function<bool()> stop;
    // Fraction of the step done, 0..1.
    std::function<void(double)> progress;
};

struct StepResult {
    bool ok = true;
    std::string report; // what was done, or why the result was refused
};

// Settings of the steps, with the program's defaults.
struct StepSettings {
    // Components whose area is below this fraction of the largest one's are
    // scan noise. A small separate part (a 5 mm pin beside a 120 mm block,
    // about 0.4 %) stays; specks and stray shells (well under 0.05 %) go.
    double tinyComponentAreaFraction = 0.001;
    // A step whose result keeps less than this fraction of the surface area
    // is refused: repair never loses the part.
    double minKeptAreaFraction = 0.5;
    fairing::FairFillOptions fill;
};

// The soup as a halfedge mesh: directly when it already is an oriented
// manifold, otherwise after orienting it, which splits vertices and edges
// where more than one fan meets. splitVertices receives how many vertices
// that added.
bool buildMesh(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces, SurfaceMesh& mesh,
               std::size_t& splitVertices);
// Compact arrays of the mesh's faces and the vertices they use.
void meshToArrays(const SurfaceMesh& mesh, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces);
double surfaceArea(const SurfaceMesh& mesh);

StepResult stitchBorders(SurfaceMesh& mesh, const StepContext& context);
StepResult removeDegenerateFaces(SurfaceMesh& mesh, const StepContext& context);
StepResult splitNonManifoldVertices(SurfaceMesh& mesh, const StepContext& context);
StepResult dropSmallComponents(SurfaceMesh& mesh, const StepContext& context, const StepSettings& settings);
StepResult removeSelfIntersections(SurfaceMesh& mesh, const StepContext& context);
StepResult fillHoles(SurfaceMesh& mesh, const StepContext& context, const StepSettings& settings);
StepResult orientOutward(SurfaceMesh& mesh, const StepContext& context);

} // namespace repairprogram
