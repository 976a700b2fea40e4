// ASC text: one point per line. Kept apart from the reconstruction so that
// the parser can be fuzzed without VTK.

#include "io/bufferedfile.h"
#include "io/pointcloud.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

bool fail(std::string* error, const char* message)
{
    if (error)
        *error = message;
    return false;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Next number of the line, stream-extraction style: leading blanks skipped,
// an optional '+' accepted, locale-independent.
bool readDouble(const char*& p, const char* end, double& value)
{
    while (p != end && isBlank(*p))
        ++p;
    if (p != end && *p == '+' && end - p > 1 && p[1] != '-' && p[1] != '+')
        ++p;
    const auto result = std::from_chars(p, end, value);
    if (result.ec != std::errc())
        return false;
    p = result.ptr;
    return true;
}

} // namespace

bool readAscPoints(const std::string& path, std::vector<Vec3f>& points, std::string* error, Progress* progress)
{
    points.clear();
    BufferedFile file(path);
    if (!file.isOpen())
        return fail(error, "Failed to open ASC file.");
    points.reserve(100000);
    std::string line;
    std::string_view raw;
    for (std::size_t lineNumber = 1; file.nextLine(raw); ++lineNumber) {
        if (lineNumber % kProgressPollInterval == 0 && isCanceled(progress))
            return fail(error, "Load canceled.");
        std::size_t first = 0;
        while (first < raw.size() && isBlank(raw[first]))
            ++first;
        if (first == raw.size() || raw[first] == '#')
            continue;
        line.assign(raw.substr(first));
        std::replace(line.begin(), line.end(), ',', ' ');
        const char* p = line.data();
        const char* end = p + line.size();
        double x, y, z;
        if (!readDouble(p, end, x) || !readDouble(p, end, y) || !readDouble(p, end, z))
            continue;
        const Vec3f point{float(x), float(y), float(z)};
        // "nan", "inf" or a value beyond float range is no usable sample.
        if (!std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z))
            continue;
        points.push_back(point);
    }
    if (points.size() < 3)
        return fail(error, "ASC file needs at least 3 points.");
    return true;
}

