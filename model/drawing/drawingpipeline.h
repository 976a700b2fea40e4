#pragma once

#include "model/common/progress.h"
#include "model/drawing/drawingedges.h"
#include "model/mesh/sharedarray.h"

#include <cstddef>
#include <vector>

// The mesh preparation before the edges are extracted, stage by stage (the
// model operation MeshModel::computeDrawingEdges runs them in this order).

// The depth grid resolves at most 1400 x 1400 cells, which a mesh of about
// half as many triangles already fills; more triangles add nothing the
// drawing can show.
constexpr std::size_t kDrawingTriangleBudget = 1400u * 1400u / 2u;

// Collapses no edge that moves the surface by more than this fraction of the
// mesh's extent: a quarter of the drawing's visibility tolerance.
constexpr float kDrawingDecimationError = 0.0005f;

// Triangle count the decimation aims at: the reduction asked for, and at
// most kDrawingTriangleBudget.
std::size_t drawingDecimationTarget(std::size_t triangles, float reduction);

// Quadric edge collapse towards drawingDecimationTarget, keeping open
// borders in place and stopping where the error would pass
// kDrawingDecimationError; the result without unused vertices goes to
// outVertices and outFaces. Large meshes go in spatial chunks cut along the
// view direction, so cancel takes effect between chunks. Triangles with
// out-of-range indices are skipped. False when cancelled.
bool decimateForDrawing(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces, float reduction,
                        DrawingView view, const ProgressStage& stage, std::vector<Vec3f>& outVertices,
                        std::vector<Triangle>& outFaces);

// Laplacian smoothing that keeps creases and borders
// (smoothKeepingCreases with the options' iterations, relaxation and feature
// angle) into outVertices and outFaces. False when cancelled.
bool smoothForDrawing(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces,
                      const DrawingOptions& options, const ProgressStage& stage, std::vector<Vec3f>& outVertices,
                      std::vector<Triangle>& outFaces);
