#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshtypes.h"
#include "model/mesh/sharedarray.h"

#include <QVector3D>

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct Rotation3;
class SliceCutter;
struct DrawingOptions;

// The one in-memory triangle mesh: the working arrays, the arrays as loaded
// (for reset), a reduced copy for rendering, the triangle list slicing walks,
// and a few result caches that every geometry change drops.
//
// Arrays share storage between copies of the model until one side writes, so
// copying a model (load hand-back, worker tasks) is cheap. Copying a model
// copies every member, caches and revision included.
class MeshModel {
public:
    // One 3D segment of a section cut, a wire line or a hole loop.
    struct SliceSegment3D {
        Vec3f p0;
        Vec3f p1;
    };

    // One classified projected edge of a 2D drawing (drawingedges.h lists the
    // type values).
    struct DrawingEdge2D {
        float x1 = 0.0f;
        float y1 = 0.0f;
        float x2 = 0.0f;
        float y2 = 0.0f;
        std::int32_t type = 0;
    };


    // --- data, in this order -------------------------------------------------
    SharedArray<Vec3f> vertices;          // working positions; alignment moves them in place
    SharedArray<Triangle> faces;          // working triangles
    SharedArray<Vec3f> loadedVertices;    // as loaded, for alignment reset
    SharedArray<Triangle> loadedFaces;    // as loaded
    SharedArray<Vec3f> displayVertices;   // render mesh
    SharedArray<Triangle> displayFaces;   // render mesh, at most 400,000 triangles
    SharedArray<Triangle> sliceFaces;     // what slicing walks; falls back to faces when empty
    std::string sourcePath;               // UTF-8
    bool axisSliceCacheValid = false;
    std::int32_t axisSliceCacheAxis = -1;
    float axisSliceCachePosition = 0.0f;
    float axisSliceCacheThickness = 0.0f;
    std::vector<SliceSegment3D> axisSliceCacheSegments;
    bool featureEdgeCacheValid = false;
    float featureEdgeCacheAngle = -1.0f;
    std::vector<SliceSegment3D> featureEdgeCache;
    std::uint64_t geometryRevision = 0;   // new value on every cache update and alignment
    bool repaired = false;

    // --- shared queries --------------------------------------------------------
    bool hasMesh() const { return !vertices.empty() && !faces.empty(); }
    Vec3f boundsMin() const;
    Vec3f boundsMax() const;
    Vec3f extents() const;
    Vec3f centroid() const;

    // Drops both result caches.
    void clearDerivedState();
    // A revision no other geometry state of any model has had.
    void bumpGeometryRevision();
    // clearDerivedState, render mesh rebuild (200,000-triangle target),
    // sliceFaces = faces, geometryRevision + 1.
    void updateCaches();

    // Render mesh reduction: plain copy up to targetFaces triangles, grid vertex
    // clustering above, never more than kDisplayFaceCap triangles.
    static constexpr std::size_t kDisplayFaceTarget = 200000;
    static constexpr std::size_t kDisplayFaceCap = 400000;
    void buildDisplayMesh(const SharedArray<Triangle>& sourceFaces, std::size_t targetFaces,
                          SharedArray<Vec3f>& outVertices, SharedArray<Triangle>& outFaces) const;

    // --- bounding-box alignment ----------------------------------------------------
    // Cancel (checked once the pose is found) returns false with
    // "Alignment canceled." and leaves the model unchanged. Without
    // rebuildCaches the caller runs updateCaches itself (the render mesh is
    // stale until then), for example beside other work on a copy.
    bool autoAlignOnImport(std::string* message = nullptr, Progress* progress = nullptr, bool rebuildCaches = true);
    bool computeObbAlignment(Rotation3* rotation, std::string* message = nullptr) const;
    void computePrincipalAxes(Rotation3* rotation, QVector3D* centroidOut = nullptr, QVector3D* majorAxis = nullptr,
                              QVector3D* minorAxis = nullptr) const;
    void applyRotation(const Rotation3& rotation);

    // --- interactive alignment (alignmentcommands.cpp) ---------------------------------
    // Each returns false with a one-sentence message and leaves the model
    // unchanged when it cannot run; on success the caches are up to date.
    // Face normal onto +target axis, the (snapped) reference onto the in-plane
    // axis, twisted, then seated: minimum 0 on the target axis, others centred.
    bool alignToPickedFace(const QVector3D& normal, const QVector3D& inPlaneRef, Axis targetAxis, float twistDegrees,
                           std::string* error = nullptr);
    // Least-spread direction onto the target axis, greatest spread in-plane, twisted.
    bool alignPrincipalAxes(Axis targetAxis, float twistDegrees, std::string* error = nullptr);
    // Turn about a world axis through the centroid, then seated on Z.
    bool flipAboutAxis(Axis axis, float angleDegrees, std::string* error = nullptr);
    // Exchanges X and Y (winding reversed, so no mirror shows), seated on Z.
    bool swapXYAxes(std::string* error = nullptr);
    // Back to the loaded arrays, then autoAlignOnImport; fallbackMessage as there.
    bool resetAlignment(std::string* fallbackMessage = nullptr, std::string* error = nullptr);
    // Small turns about world X, then Y, then Z through the centroid.
    void applyFineTune(float xDegrees, float yDegrees, float zDegrees);

    // --- flat-face and rectangle alignment (flatfaceorient.cpp, rectanglesnap.cpp) ----
    // Largest flat face onto z = 0 at the bottom, one side of its rectangle
    // (edge 0 Right, 1 Left, 2 Top, 3 Bottom) facing +X or +Y (lockAxis X or Y).
    bool autoOrientFlatFace(int edge, Axis lockAxis, float trimPercent, std::string* error = nullptr);
    // Plane normal onto the target axis, the trimmed outline squared up with
    // the in-plane axis, then the side twist (0 Right, 1 Left, 2 Top, 3 Bottom).
    bool rectangleSnap(const QVector3D& normal, Axis targetAxis, int side, float trimPercent,
                       std::string* error = nullptr);

    // --- slicing ---------------------------------------------------------------------
    // Plane perpendicular to a world axis at position. Band
    // thickness 0 cuts exactly; a positive band walks the triangles near the
    // plane. Uses and replaces the one-entry axis-slice cache.
    // An exact cut finds the triangles it touches through cutter when it was
    // built for this geometry (section/slicecutter.h), else by walking them all.
    std::vector<SliceSegment3D> sliceAxis(Axis axis, float position, float bandThickness,
                                          const SliceCutter* cutter = nullptr);
    // Any plane; the normal need not be unit length. No cache.
    std::vector<SliceSegment3D> slicePlane(const QVector3D& normal, const QVector3D& origin,
                                           float bandThickness) const;

    // --- wireframe (featureedges.cpp) -------------------------------------------------
    // Open borders and edges whose two triangle normals differ by more than
    // the angle (degrees, clamped to 0..180); uses the feature-edge cache.
    std::vector<SliceSegment3D> featureEdges(float angleDegrees);

    // --- holes (holes.cpp) ---------------------------------------------------------------
    // Open boundary loops, each as its vertex indices in walking order.
    std::vector<std::vector<std::uint32_t>> findBoundaryLoops() const;
    // Closes every listed loop not in keepOpen with a faired patch (the loop
    // triangulated flat where fairing cannot close it). On failure or cancel
    // ("Hole filling canceled.") the model is unchanged.
    bool fillSelectedHoles(const std::vector<std::vector<std::uint32_t>>& holes, const std::set<std::uint32_t>& keepOpen,
                           std::string* error = nullptr, Progress* progress = nullptr);

    // --- 2D drawing (drawingedges.cpp) ---------------------------------------------------
    // Empty when there is no mesh, the filters fail, or progress is
    // cancelled; never throws.
    std::vector<DrawingEdge2D> computeDrawingEdges(const DrawingOptions& options, Progress* progress = nullptr) const;

    // The triangle list slicing reads.
    const SharedArray<Triangle>& slicingFaces() const { return sliceFaces.empty() ? faces : sliceFaces; }
};
