// The STEP reader's hand-off decoder on any bytes: what it accepts must be a
// consistent mesh.
#include "io/step/stephandoff.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
    if (decodeStepHandoff(data, size, vertices, faces)) {
        if (vertices.empty() || faces.empty())
            std::abort();
        for (const Triangle& t : faces)
            if (!t.inRange(vertices.size()))
                std::abort();
    } else if (!vertices.empty() || !faces.empty()) {
        std::abort();
    }
    return 0;
}
