#pragma once

#include "model/mesh/meshtypes.h"

#include <cstddef>
#include <string>
#include <vector>

// A point cloud as it crosses to the reconstruction program, in the host's
// byte order (both ends run on the same machine):
//   8 bytes "HVPNTS01", u32 point count, 3 x f32 per point; nothing after.
// The mesh comes back in the STEP reader's hand-off (io/step/stephandoff.h).

bool writePointsHandoff(const std::string& path, const std::vector<Vec3f>& points);

// Accepts only a complete hand-off: the magic, at least one point, the exact
// size for its count.
// Anything else is false with the reason in why and no points.
bool decodePointsHandoff(const unsigned char* data, std::size_t size, std::vector<Vec3f>& points,
                         std::string* why = nullptr);
