#pragma once

#include "fuzz/fuzzinput.h"
#include "io/nativereaders.h"

#include <cstdlib>

namespace fuzz {

// A native reader on any bytes: what it takes must be a consistent mesh.
template <typename Reader>
int checkNativeReader(Reader read, const std::uint8_t* data, std::size_t size, const char* extension)
{
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
    std::string why;
    if (read(writeInput(data, size, extension), vertices, faces, why))
        for (const Triangle& t : faces)
            if (!t.inRange(vertices.size()))
                std::abort();
    return 0;
}

} // namespace fuzz
