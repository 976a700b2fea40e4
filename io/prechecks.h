#pragma once

#include <string>

// Pre-flight checks for the VTK readers. VTK 9.1's OBJ and PLY readers write
// or read out of bounds on some damaged files (indices past the end, element
// counts larger than the data), so such files never reach them. Each check
// returns true when the file may be handed to the reader, otherwise false
// with a message naming the damage. They read the file once, streaming.

// Binary STL whose header declares more triangles than the file holds.
bool precheckStl(const std::string& path, std::string* error);

// Faces whose texture-coordinate or normal indices (or, in files that use
// those, vertex indices) point past the defined lists.
bool precheckObj(const std::string& path, std::string* error);

// Header the reader cannot parse, data shorter than the declared element
// counts, face lists with more corners than the reader supports or with
// vertex indices outside the vertex list.
bool precheckPly(const std::string& path, std::string* error);
