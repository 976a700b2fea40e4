#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A whole file as one read-only byte range. The native mesh readers walk
// files of gigabytes; mapping them lets the page cache serve the bytes
// without a copy. Where mapping is unavailable the file is read into memory.
class MappedFile {
public:
    explicit MappedFile(const std::string& utf8Path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool isOpen() const { return open_; }
    const char* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    bool open_ = false;
    bool mapped_ = false;
    std::vector<char> copy_;
};
