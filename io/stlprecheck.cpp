// A binary STL whose header count exceeds the records in the file is a
// truncated download or copy. VTK would silently load the complete records;
// we refuse, so a damaged scan is never mistaken for the whole part.

#include "io/bufferedfile.h"
#include "io/prechecks.h"
#include "io/stlformat.h"

#include <cstdint>

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
    if (!stlLooksBinary(head, n) || size < 84)
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
