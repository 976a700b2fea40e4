#pragma once

#include <cstddef>

// The text/binary decision VTK's STL reader makes: binary when at least 5 %
// of the first 256 bytes (or of all, when fewer) are not printable ASCII,
// tab, CR or LF.
inline bool stlLooksBinary(const unsigned char* bytes, std::size_t n)
{
    std::size_t text = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = bytes[i];
        if ((c >= 0x20 && c <= 0x7f) || c == '\n' || c == '\r' || c == '\t')
            ++text;
    }
    return double(n - text) / double(n) >= 0.05;
}
