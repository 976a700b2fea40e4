#pragma once

#include "io/fileaccess.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Sequential reading of a large file through one reused 1 MiB buffer, by line
// or by bytes. The pre-flight checks and the point-cloud parser walk files of
// hundreds of megabytes; iostreams and per-line allocations cost more than
// the disk here.
class BufferedFile {
public:
    explicit BufferedFile(const std::string& utf8Path) : file_(openFileUtf8(utf8Path, "rb")), buffer_(kChunk) {}

    bool isOpen() const { return file_ != nullptr; }

    // Next line without its '\n' (a '\r' before it stays). False at the end
    // of the file; a last line without '\n' is still returned. The view is
    // valid until the next call.
    bool nextLine(std::string_view& line)
    {
        carry_.clear();
        for (;;) {
            if (pos_ == end_ && !refill()) {
                if (carry_.empty())
                    return false;
                line = carry_;
                return true;
            }
            const char* begin = buffer_.data() + pos_;
            const void* nl = std::memchr(begin, '\n', end_ - pos_);
            if (nl) {
                const std::size_t len = static_cast<const char*>(nl) - begin;
                pos_ += len + 1;
                if (carry_.empty()) {
                    line = std::string_view(begin, len);
                } else {
                    carry_.append(begin, len);
                    line = carry_;
                }
                return true;
            }
            carry_.append(begin, end_ - pos_);
            pos_ = end_;
        }
    }

    // Exactly n bytes into dst; false when the file ends first.
    bool read(void* dst, std::size_t n)
    {
        auto* out = static_cast<char*>(dst);
        while (n > 0) {
            if (pos_ == end_ && !refill())
                return false;
            const std::size_t take = std::min(n, end_ - pos_);
            std::memcpy(out, buffer_.data() + pos_, take);
            pos_ += take;
            out += take;
            n -= take;
        }
        return true;
    }

    // Skips n bytes; false when the file ends first.
    bool skip(std::uint64_t n)
    {
        const std::size_t inBuffer = end_ - pos_;
        if (n <= inBuffer) {
            pos_ += std::size_t(n);
            return true;
        }
        n -= inBuffer;
        pos_ = end_ = 0;
        const std::uint64_t here = tell();
        if (n > remainingAfter(here))
            return false;
        return seek(here + n);
    }

    // Bytes left from the current position to the end of the file.
    std::uint64_t remaining()
    {
        const std::uint64_t here = tell();
        return remainingAfter(here) + (end_ - pos_);
    }

private:
    static constexpr std::size_t kChunk = std::size_t(1) << 20;

    bool refill()
    {
        if (!file_)
            return false;
        pos_ = 0;
        end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_.get());
        return end_ > 0;
    }

    // Position of the underlying stream (after the buffered bytes).
    std::uint64_t tell()
    {
#ifdef _WIN32
        return std::uint64_t(_ftelli64(file_.get()));
#else
        return std::uint64_t(ftello(file_.get()));
#endif
    }

    bool seek(std::uint64_t offset)
    {
#ifdef _WIN32
        return _fseeki64(file_.get(), std::int64_t(offset), SEEK_SET) == 0;
#else
        return fseeko(file_.get(), off_t(offset), SEEK_SET) == 0;
#endif
    }

    std::uint64_t remainingAfter(std::uint64_t here)
    {
        if (!file_)
            return 0;
        if (size_ == kUnknown) {
#ifdef _WIN32
            _fseeki64(file_.get(), 0, SEEK_END);
#else
            fseeko(file_.get(), 0, SEEK_END);
#endif
            size_ = tell();
            seek(here);
        }
        return size_ > here ? size_ - here : 0;
    }

    static constexpr std::uint64_t kUnknown = ~std::uint64_t(0);

    std::unique_ptr<std::FILE, FileCloser> file_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    std::string carry_;
    std::uint64_t size_ = kUnknown;
};
