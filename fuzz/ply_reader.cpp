// The native PLY reader on any bytes: what it takes must be a consistent mesh.
#include "fuzz/fuzzinput.h"
#include "io/nativereaders.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
    std::string why;
    if (readPlyNative(fuzz::writeInput(data, size, ".ply"), vertices, faces, why))
        for (const Triangle& t : faces)
            if (!t.inRange(vertices.size()))
                std::abort();
    return 0;
}
