#pragma once

#include "model/common/progress.h"
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

// The axis a drawing looks along; the values are the "View" combo's indices.
enum class DrawingView : std::int32_t {
    Top = 0,   // along -Z: (x, y)
    Front = 1, // along +Y: (x, z)
    Right = 2, // along -X: (y, z)
};

// A combo index as a view; anything out of range is Top.
inline DrawingView drawingViewFromIndex(int index)
{
    return index == 1 ? DrawingView::Front : (index == 2 ? DrawingView::Right : DrawingView::Top);
}

struct DrawingOptions {
    DrawingView view = DrawingView::Top;
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
DrawingOptions drawingOptionsFromPanel(DrawingView view, int minSizeSlider, int detailSlider, double zThreshold,
                                       bool includeBoundary, bool includeSharp, bool includeHidden);

// "Top", "Front", "Right" (status text) and "top", "front", "right" (file names).
const char* drawingViewName(DrawingView view);
const char* drawingViewFileName(DrawingView view);

// (u, v, depth) of a point for a view; depth grows towards the viewer.
struct DrawingProjection {
    DrawingView view = DrawingView::Top;
    float u(const Vec3f& p) const { return view == DrawingView::Right ? p.y : p.x; }
    float v(const Vec3f& p) const { return view == DrawingView::Top ? p.y : p.z; }
    float depth(const Vec3f& p) const
    {
        return view == DrawingView::Front ? -p.y : (view == DrawingView::Right ? p.x : p.z);
    }
};
DrawingProjection drawingProjection(DrawingView view);

// Largest depth per cell of the projected triangles.
class DrawingDepthGrid {
public:
    // Stops rasterising once stage is cancelled; the grid is then partial.
    DrawingDepthGrid(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                     const DrawingProjection& projection, const ProgressStage& stage = ProgressStage(nullptr, 0, 100));

    int columns() const { return columns_; }
    int rows() const { return rows_; }
    // Empty cells hold the lowest float.
    float cell(int column, int row) const { return cells_[static_cast<std::size_t>(row) * columns_ + column]; }
    // At least half the samples along the edge lie no deeper than tolerance
    // below the grid. With reach > 0 a sample may look at the cells up to
    // reach away: a silhouette sits where the depth falls off steeply, and
    // its own surface in the next cell must not hide it.
    bool isEdgeVisible(const Vec3f& a, const Vec3f& b, float tolerance, int reach = 0) const;

private:
    float gridU(float u) const { return (u - minU_) / rangeU_ * static_cast<float>(columns_ - 1); }
    float gridV(float v) const { return (v - minV_) / rangeV_ * static_cast<float>(rows_ - 1); }

    DrawingProjection projection_;
    float minU_ = 0.0f, minV_ = 0.0f, rangeU_ = 0.001f, rangeV_ = 0.001f;
    int columns_ = 0, rows_ = 0;
    std::vector<float> cells_;
};

// Steps after the VTK smoothing and decimation: depth grid, classification,
// clean-up (drawingcleanup.h). Triangles with repeated or out-of-range
// indices and non-finite vertices are skipped. Empty when cancelled.
std::vector<DrawingEdge2D> extractDrawingEdges(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                                               const DrawingOptions& options,
                                               const ProgressStage& stage = ProgressStage(nullptr, 0, 100));
