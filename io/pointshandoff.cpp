#include "io/pointshandoff.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr char kMagic[8] = {'H', 'V', 'P', 'N', 'T', 'S', '0', '1'};
constexpr std::size_t kHeaderSize = 12;

static_assert(sizeof(Vec3f) == 12, "hand-off copies the array as it is");

bool refuse(std::string* why, const char* reason)
{
    if (why)
        *why = reason;
    return false;
}

} // namespace

bool writePointsHandoff(const std::string& path, const std::vector<Vec3f>& points)
{
    if (points.size() > UINT32_MAX)
        return false;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file)
        return false;
    const std::uint32_t count = std::uint32_t(points.size());
    return std::fwrite(kMagic, 1, sizeof kMagic, file.get()) == sizeof kMagic
           && std::fwrite(&count, sizeof count, 1, file.get()) == 1
           && std::fwrite(points.data(), sizeof(Vec3f), points.size(), file.get()) == points.size()
           && std::fflush(file.get()) == 0;
}

bool decodePointsHandoff(const unsigned char* data, std::size_t size, std::vector<Vec3f>& points, std::string* why)
{
    points.clear();
    if (!data || size < kHeaderSize)
        return refuse(why, "shorter than its header");
    if (std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return refuse(why, "no hand-off header");
    std::uint32_t count;
    std::memcpy(&count, data + sizeof kMagic, sizeof count);
    if (count == 0)
        return refuse(why, "no points");
    const std::uint64_t expected = kHeaderSize + 12ull * count;
    if (std::uint64_t(size) != expected)
        return refuse(why, std::uint64_t(size) < expected ? "shorter than its count" : "longer than its count");
    points.resize(count);
    std::memcpy(points.data(), data + kHeaderSize, 12ull * count);
    return true;
}
