#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

// UTF-8 paths for our own file access. On Linux the bytes go straight to the
// system; Windows needs the wide-character API for anything beyond ASCII.
//
// The libraries take the UTF-8 string as it is: VTK opens files through
// vtksys (UTF-8 on Windows), OpenCASCADE converts Standard_CString paths
// from UTF-8, and lib3mf has its *utf8 entry points.

inline std::filesystem::path pathFromUtf8(const std::string& path)
{
#ifdef _WIN32
    return std::filesystem::u8path(path);
#else
    return std::filesystem::path(path);
#endif
}

inline std::FILE* openFileUtf8(const std::string& path, const char* mode)
{
#ifdef _WIN32
    const std::wstring wide = pathFromUtf8(path).wstring();
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(wide.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

// Closes the file when leaving scope.
struct FileCloser {
    void operator()(std::FILE* f) const
    {
        if (f)
            std::fclose(f);
    }
};
