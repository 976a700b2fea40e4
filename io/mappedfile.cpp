#include "io/mappedfile.h"

#include "io/fileaccess.h"

#include <memory>

#ifdef __unix__
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

MappedFile::MappedFile(const std::string& utf8Path)
{
#ifdef __unix__
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        size_ = std::size_t(st.st_size);
        open_ = true;
        if (size_ > 0) {
            void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
            if (p != MAP_FAILED) {
                ::madvise(p, size_, MADV_SEQUENTIAL);
                data_ = static_cast<const char*>(p);
                mapped_ = true;
            } else {
                open_ = false;
            }
        }
    }
    ::close(fd);
#else
    std::unique_ptr<std::FILE, FileCloser> file(openFileUtf8(utf8Path, "rb"));
    if (!file)
        return;
    char chunk[1 << 16];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;)
        copy_.insert(copy_.end(), chunk, chunk + n);
    data_ = copy_.data();
    size_ = copy_.size();
    open_ = true;
#endif
}

MappedFile::~MappedFile()
{
#ifdef __unix__
    if (mapped_)
        ::munmap(const_cast<char*>(data_), size_);
#endif
}
