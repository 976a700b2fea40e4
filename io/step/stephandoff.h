#pragma once

#include "model/mesh/meshtypes.h"

#include <cstddef>
#include <string>
#include <vector>

// The reader program's result as it crosses the process boundary, in the
// host's byte order (both ends run on the same machine):
//   8 bytes "HVSTEP01", u32 vertex count, u32 triangle count,
//   3 x f32 per vertex, 3 x u32 per triangle; nothing after.

bool writeStepHandoff(const std::string& path, const std::vector<Vec3f>& vertices,
                      const std::vector<Triangle>& faces);

// Accepts only a complete, consistent hand-off: the magic, at least one
// vertex and one triangle, the exact size, every index in range. Anything
// else (a reader killed mid-write, garbage) is false with the reason in why.
// Coordinates are taken as they are, non-finite ones included.
bool decodeStepHandoff(const unsigned char* data, std::size_t size, std::vector<Vec3f>& vertices,
                       std::vector<Triangle>& faces, std::string* why = nullptr);

// decodeStepHandoff on the whole file at path; a missing or unreadable file is
// false with "no output" in why.
bool readStepHandoffFile(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                         std::string* why = nullptr);
