// The child-process hand-off decoders on any bytes: the STEP reader's and
// the reconstruction program's mesh, and the points sent to the latter. What
// they accept must be consistent.
#include "io/pointshandoff.h"
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
    std::vector<Vec3f> points;
    if (decodePointsHandoff(data, size, points)) {
        if (12 + 12 * points.size() != size)
            std::abort();
    } else if (!points.empty()) {
        std::abort();
    }
    return 0;
}
