#include "volume/NewFile.h"

#include "volume/SystemError.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

TCreateResult CreateNewFile(const std::string& path, std::string_view data, std::string& error, size_t chunkBytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            return TCreateResult::Exists;
        error = SystemErrorText(errno);
        return TCreateResult::Failed;
    }
    size_t written = 0;
    while (written < data.size()) {
        const size_t chunk = std::min(data.size() - written, std::max<size_t>(chunkBytes, 1));
        const ssize_t n = write(fd, data.data() + written, chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? SystemErrorText(errno) : "nothing written";
            close(fd);
            unlink(path.c_str());
            return TCreateResult::Failed;
        }
        written += static_cast<size_t>(n);
    }
    if (close(fd) != 0) {
        error = SystemErrorText(errno);
        unlink(path.c_str());
        return TCreateResult::Failed;
    }
    return TCreateResult::Created;
}
