#pragma once

#include "model/mesh/meshmodel.h"
#include "model/align/rotation.h"

#include <QVector3D>

#include <cstddef>
#include <string>
#include <vector>

// The pieces behind "Auto Orient" (MeshModel::autoOrientFlatFace) and
// "Rect Snap" (MeshModel::rectangleSnap), kept apart so they can be tested on
// plain arrays.

struct FlatFacePlane {
    QVector3D normal;            // unit, in the sense of the winning seed triangle
    QVector3D centroid;          // of the (refined) patch points
    std::vector<Vec3f> points;   // vertices of the inlier triangles
    float tolerance = 0.0f;      // distance tolerance used, mm
};

// The dominant planar region: the seed triangle whose plane gathers the most
// triangle area within 8.5 degrees and a size-scaled distance, refitted.
// False with a one-sentence message when there is none.
bool detectFlatFace(const Vec3f* vertices, std::size_t vertexCount, const Triangle* faces, std::size_t faceCount,
                    FlatFacePlane* plane, std::string* error);

struct Point2f {
    float x = 0.0f;
    float y = 0.0f;
};

// Minimum-area bounding rectangle: its long side direction and that turned
// by +90 degrees, both unit. False for fewer than 2 points.
bool minimumAreaRectangle(const std::vector<Point2f>& points, Point2f* longAxis, Point2f* crossAxis);

// [lo, hi] after dropping the k smallest and the k largest values (k capped so
// that the range never turns inside out). Values are reordered.
void trimmedRange(std::vector<float>& values, std::size_t k, float* lo, float* hi);

namespace orientdetail {

// applyRotation, except that vertices with non-finite coordinates neither
// move nor take part in the centre of the turn.
void turnAboutFiniteCentroid(MeshModel& model, const Rotation3& rotation);

// Minimum 0 along the axis, the other two centred on 0 (finite bounds).
void seatOnAxis(MeshModel& model, Axis axis);

} // namespace orientdetail
