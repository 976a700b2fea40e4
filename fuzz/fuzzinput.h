#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace fuzz {

// The parsers behind the prechecks read files: each input goes to one
// scratch file per process, rewritten for every run.
inline const std::string& writeInput(const std::uint8_t* data, std::size_t size, const char* extension)
{
    static const std::string path = std::string(P_tmpdir) + "/halvoran-fuzz-" + std::to_string(getpid()) + extension;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    return path;
}

} // namespace fuzz
