// A binary STL whose header count exceeds the records in the file is a
// truncated download or copy. VTK would silently load the complete records;
// we refuse, so a damaged scan is never mistaken for the whole part.

#include "io/bufferedfile.h"
#include "io/prechecks.h"

#include <cstdint>

namespace {

// The same text/binary decision the VTK reader makes: binary when at least
// 5 % of the first 256 bytes are not printable ASCII, tab, CR or LF.
bool looksBinary(const unsigned char* bytes, std::size_t n)
{
    std::size_t text = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = bytes[i];
        if ((c >= 0x20 && c <= 0x7f) || c == '\n' || c == '\r' || c == '\t')
            ++text;
    }
    return double(n - text) / double(n) >= 0.05;
}

} // namespace

bool precheckStl(const std::string& path, std::string* error)
{
    BufferedFile file(path);
    if (!file.isOpen())
        return true; // the reader reports it
    const std::uint64_t size = file.remaining();
    unsigned char head[256];
    const std::size_t n = std::size_t(std::min<std::uint64_t>(size, sizeof head));
    if (n == 0 || !file.read(head, n))
        return true;
    if (!looksBinary(head, n) || size < 84)
        return true;
    const std::uint32_t declared = std::uint32_t(head[80]) | std::uint32_t(head[81]) << 8
        | std::uint32_t(head[82]) << 16 | std::uint32_t(head[83]) << 24;
    const std::uint64_t held = (size - 84) / 50;
    if (declared <= held)
        return true;
    if (error)
        *error = "Truncated binary STL: the header declares " + std::to_string(declared)
            + " triangles but the file holds " + std::to_string(held) + ".";
    return false;
}
