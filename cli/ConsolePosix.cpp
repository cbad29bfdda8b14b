#include "cli/Console.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// The scan keeps every message it finds in memory until it ends: some 300 MiB of strings on a 2 GiB disk full
// of mail, and first-touch page faults dominated such a scan. Backing the heap with transparent huge pages
// (glibc.malloc.hugetlb=1) measured 2.4 s -> 1.1 s there. glibc reads tunables only at start-up, hence the one
// re-execution; a caller who sets GLIBC_TUNABLES keeps his own, and a failed exec just goes on as before.
void PrepareProcess(char** argv) {
    if (std::getenv("GLIBC_TUNABLES") != nullptr)
        return;
    setenv("GLIBC_TUNABLES", "glibc.malloc.hugetlb=1", 1);
    execv("/proc/self/exe", argv);
    unsetenv("GLIBC_TUNABLES");
}

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void SetBinaryStdout() {}

TCreateResult CreateNewFile(const std::string& path, std::string_view data, std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            return TCreateResult::Exists;
        error = std::strerror(errno);
        return TCreateResult::Failed;
    }
    size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? std::strerror(errno) : "nothing written";
            close(fd);
            unlink(path.c_str());
            return TCreateResult::Failed;
        }
        written += static_cast<size_t>(n);
    }
    if (close(fd) != 0) {
        error = std::strerror(errno);
        unlink(path.c_str());
        return TCreateResult::Failed;
    }
    return TCreateResult::Created;
}
