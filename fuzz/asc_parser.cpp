// The ASC point parser on any bytes.
#include "fuzz/fuzzinput.h"
#include "io/pointcloud.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<Vec3f> points;
    std::string error;
    if (readAscPoints(fuzz::writeInput(data, size, ".asc"), points, &error))
        for (const Vec3f& p : points)
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                std::abort(); // the parser promises finite points
    return 0;
}
