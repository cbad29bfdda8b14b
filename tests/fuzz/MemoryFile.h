// Bytes as a file that only lives in memory (memfd), named by a path that opens it, so that the fuzz targets can
// run the image-file source (which maps the file) over an input without touching the disk.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

class TMemoryFile {
public:
    explicit TMemoryFile(std::string_view bytes) : fd_(memfd_create("ostrevan-fuzz", MFD_CLOEXEC)) {
        if (fd_ < 0)
            throw std::runtime_error("memfd_create failed");
        for (size_t written = 0; written < bytes.size();) {
            const ssize_t n = write(fd_, bytes.data() + written, bytes.size() - written);
            if (n <= 0)
                throw std::runtime_error("writing the memory file failed");
            written += static_cast<size_t>(n);
        }
    }
    ~TMemoryFile() { close(fd_); }
    TMemoryFile(const TMemoryFile&) = delete;
    TMemoryFile& operator=(const TMemoryFile&) = delete;

    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};
