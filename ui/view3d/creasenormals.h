#pragma once

#include "model/mesh/meshtypes.h"

#include <cstddef>

// Render normals split at creases: a face corner takes the area-weighted
// normals of the faces about its vertex that lie within creaseDegrees of its
// own face, so a sharp edge shades flat on both sides while a smooth scan
// still shades smooth. Only what is drawn changes, never the mesh.
inline constexpr float kRenderCreaseDegrees = 40.0f; // between the 30 deg Edge Angle and a chamfer's 45

// Writes one unit normal per corner of every in-range face, in face order,
// to out[0..2], out[stride..stride+2], ... (faces with an index out of range
// are skipped, as the vertex array skips them).
void writeCreaseNormals(const Vec3f* vertices, std::size_t vertexCount, const Triangle* faces, std::size_t faceCount,
                        float creaseDegrees, float* out, std::size_t stride);
