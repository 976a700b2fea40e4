#pragma once

#include "model/mesh/meshmodel.h"
#include "model/mesh/meshtypes.h"

#include <cstdint>
#include <vector>

// Orthographic line drawing of the mesh seen along a world axis: creases,
// open borders and depth steps, tested against a depth buffer of the mesh
// itself, cleaned of clutter, joined and simplified.

using DrawingEdge2D = MeshModel::DrawingEdge2D;

enum DrawingEdgeType : std::int32_t {
    kDrawingSilhouette = 0,
    kDrawingContour = 1,
    kDrawingFeature = 2,
    kDrawingBoundary = 3,
    kDrawingHidden = 4,
};

struct DrawingOptions {
    std::int32_t view = 0; // 0 Top (XY), 1 Front (XZ), 2 Right (YZ); anything else Top
    std::int32_t smoothIterations = 3;
    float smoothRelaxation = 0.06f;
    float decimation = 0.225f;      // target reduction
    float featureAngle = 35.0f;     // degrees
    float zThreshold = 0.5f;        // mm
    float minChainLength = 0.0485f; // fraction of the diagonal
    float minChainArea = 0.00307f;  // fraction of the squared diagonal
    bool includeBoundary = true;
    bool includeSharp = true;
    bool includeContour = true;
    // Candidates that fail the visibility test are kept as hidden edges
    // instead of dropped.
    bool includeHidden = false;
    float simplifyTolerance = 0.0035f; // fraction of the diagonal
};

// The panel's sliders (0 .. 100) and controls turned into options.
DrawingOptions drawingOptionsFromPanel(int view, int minSizeSlider, int detailSlider, double zThreshold,
                                       bool includeBoundary, bool includeSharp, bool includeHidden);

// "Top", "Front", "Right" (status text) and "top", "front", "right" (file names).
const char* drawingViewName(int view);
const char* drawingViewFileName(int view);

// (u, v, depth) of a point for a view; depth grows towards the viewer.
struct DrawingProjection {
    int view = 0;
    float u(const Vec3f& p) const { return view == 1 ? p.x : (view == 2 ? p.y : p.x); }
    float v(const Vec3f& p) const { return view == 1 ? p.z : (view == 2 ? p.z : p.y); }
    float depth(const Vec3f& p) const { return view == 1 ? -p.y : (view == 2 ? p.x : p.z); }
};
DrawingProjection drawingProjection(int view);

// Largest depth per cell of the projected triangles.
class DrawingDepthGrid {
public:
    DrawingDepthGrid(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                     const DrawingProjection& projection);

    int columns() const { return columns_; }
    int rows() const { return rows_; }
    // Empty cells hold the lowest float.
    float cell(int column, int row) const { return cells_[static_cast<std::size_t>(row) * columns_ + column]; }
    bool isEdgeVisible(const Vec3f& a, const Vec3f& b, float tolerance) const;

private:
    float gridU(float u) const { return (u - minU_) / rangeU_ * static_cast<float>(columns_ - 1); }
    float gridV(float v) const { return (v - minV_) / rangeV_ * static_cast<float>(rows_ - 1); }

    DrawingProjection projection_;
    float minU_ = 0.0f, minV_ = 0.0f, rangeU_ = 0.001f, rangeV_ = 0.001f;
    int columns_ = 0, rows_ = 0;
    std::vector<float> cells_;
};

// Steps after the VTK smoothing and decimation: depth grid, classification,
// clutter filter, dedupe, chaining. Triangles with repeated or out-of-range
// indices and non-finite vertices are skipped.
std::vector<DrawingEdge2D> extractDrawingEdges(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                                               const DrawingOptions& options);

// Collapses edges whose ends quantise to the same cells (tolerance wide);
// the higher class wins (feature and boundary over contour over hidden),
// then the longer edge. Order of first appearance is kept.
std::vector<DrawingEdge2D> dedupeDrawingEdges(const std::vector<DrawingEdge2D>& edges, float tolerance);

// Per class, joins ends closer than joinTolerance into polylines, simplifies
// them (Douglas-Peucker, epsilon) and emits the pieces again.
std::vector<DrawingEdge2D> chainAndSimplifyDrawingEdges(const std::vector<DrawingEdge2D>& edges, float joinTolerance,
                                                        float epsilon);
