#include "io/step/stephandoff.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

constexpr char kMagic[8] = {'H', 'V', 'S', 'T', 'E', 'P', '0', '1'};
constexpr std::size_t kHeaderSize = 16;

static_assert(sizeof(Vec3f) == 12 && sizeof(Triangle) == 12, "hand-off copies the arrays as they are");

bool refuse(std::string* why, const char* reason)
{
    if (why)
        *why = reason;
    return false;
}

} // namespace

bool writeStepHandoff(const std::string& path, const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces)
{
    if (vertices.size() > UINT32_MAX || faces.size() > UINT32_MAX)
        return false;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file)
        return false;
    const std::uint32_t counts[2] = {std::uint32_t(vertices.size()), std::uint32_t(faces.size())};
    return std::fwrite(kMagic, 1, sizeof kMagic, file.get()) == sizeof kMagic
           && std::fwrite(counts, sizeof counts, 1, file.get()) == 1
           && std::fwrite(vertices.data(), sizeof(Vec3f), vertices.size(), file.get()) == vertices.size()
           && std::fwrite(faces.data(), sizeof(Triangle), faces.size(), file.get()) == faces.size()
           && std::fflush(file.get()) == 0;
}

bool decodeStepHandoff(const unsigned char* data, std::size_t size, std::vector<Vec3f>& vertices,
                       std::vector<Triangle>& faces, std::string* why)
{
    vertices.clear();
    faces.clear();
    if (!data || size < kHeaderSize)
        return refuse(why, "shorter than its header");
    if (std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return refuse(why, "no hand-off header");
    std::uint32_t counts[2];
    std::memcpy(counts, data + sizeof kMagic, sizeof counts);
    if (counts[0] == 0 || counts[1] == 0)
        return refuse(why, "no vertices or no triangles");
    const std::uint64_t expected = kHeaderSize + 12ull * counts[0] + 12ull * counts[1];
    if (std::uint64_t(size) < expected)
        return refuse(why, "shorter than its counts");
    if (std::uint64_t(size) > expected)
        return refuse(why, "longer than its counts");

    const unsigned char* in = data + kHeaderSize;
    std::vector<Triangle> outFaces(counts[1]);
    std::memcpy(outFaces.data(), in + 12ull * counts[0], 12ull * counts[1]);
    for (const Triangle& t : outFaces)
        if (!t.inRange(counts[0]))
            return refuse(why, "a triangle index out of range");
    std::vector<Vec3f> outVertices(counts[0]);
    std::memcpy(outVertices.data(), in, 12ull * counts[0]);
    vertices = std::move(outVertices);
    faces = std::move(outFaces);
    return true;
}

bool readStepHandoffFile(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                         std::string* why)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (why)
            *why = "no output";
        return false;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return decodeStepHandoff(bytes.data(), bytes.size(), vertices, faces, why);
}
