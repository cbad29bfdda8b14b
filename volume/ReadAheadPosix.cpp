// The shared reader on Linux and other POSIX systems: a thread that asks for the next stretch of the file with
// posix_fadvise(POSIX_FADV_WILLNEED), which starts the reads and returns without waiting for them, so several
// large reads are in flight at once, in file order. A stretch already in the page cache is passed over after a
// cheap probe (asking for it would cost a look-up per page and slow a warm scan by a tenth). A stretch that fails
// to read is left alone: the walk that touches it reads it again and counts what is lost.
#include "volume/ReadAhead.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

struct TReadAhead::TState {
    int fd = -1; // a descriptor of its own, so the reader outlives whichever map opened it
    uint64_t lengthBytes = 0;
    // The file mapped but never touched (it costs no memory), to ask the kernel which pages are cached; null where
    // it cannot be mapped, and then every stretch is asked for.
    uint8_t* view = nullptr;
    uint64_t viewBytes = 0;
    mutable std::mutex mutex;
    std::condition_variable changed; // the reader waits on it for work
    bool started = false;            // a walk has told where it is
    uint64_t requestedEnd = 0;       // everything from where the reader began to this was asked for
    uint64_t furthestEnd = 0;        // the furthest any walk reached
    bool stop = false;
    std::thread thread;

    // The next request, or false when the reader is far enough ahead (or told to stop).
    bool NextRequest(uint64_t& from, uint64_t& length) const {
        const uint64_t target = std::min(lengthBytes, furthestEnd + kLeadBytes);
        if (stop || !started || requestedEnd >= target)
            return false;
        from = requestedEnd;
        length = std::min(kRequestBytes, target - from);
        return true;
    }

    // The stretch looks cached: one page in every 2 MiB of it is (the kernel caches a file read in order in
    // folios of up to 2 MiB). A gap that this misses is read by the walk's own read-ahead.
    bool Cached(uint64_t from, uint64_t length) const {
        if (!view)
            return false;
        constexpr uint64_t kProbeStep = 2 << 20;
        const uint64_t pageSize = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
        for (uint64_t at = from / pageSize * pageSize; at < from + length && at < viewBytes; at += kProbeStep) {
            unsigned char resident = 0;
            if (mincore(view + at, pageSize, &resident) != 0 || !(resident & 1))
                return false;
        }
        return true;
    }

    void Fetch(uint64_t from, uint64_t length) const {
        if (!Cached(from, length))
            posix_fadvise(fd, static_cast<off_t>(from), static_cast<off_t>(length), POSIX_FADV_WILLNEED);
    }

    void Run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            uint64_t from = 0;
            uint64_t length = 0;
            changed.wait(lock, [&] { return stop || NextRequest(from, length); });
            if (stop)
                return;
            lock.unlock();
            Fetch(from, length);
            lock.lock();
            requestedEnd = std::max(requestedEnd, from + length);
        }
    }
};

namespace {

// The live readers, by file; a reader goes when the last map of its file closes.
std::mutex RegistryMutex;
std::map<std::pair<dev_t, ino_t>, std::weak_ptr<TReadAhead>> Registry;

} // namespace

std::shared_ptr<TReadAhead> TReadAhead::ForFile(int fd, uint64_t lengthBytes) {
    struct stat status {};
    if (fstat(fd, &status) != 0)
        return nullptr;
    const std::pair<dev_t, ino_t> key{status.st_dev, status.st_ino};
    std::lock_guard<std::mutex> lock(RegistryMutex);
    if (std::shared_ptr<TReadAhead> live = Registry[key].lock())
        return live;
    auto state = std::make_unique<TState>();
    // An open file of its own where the system allows (the kernel keeps read-ahead state per open file, and the
    // walk's map has its own), else a duplicate.
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    state->fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (state->fd < 0)
        state->fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (state->fd < 0)
        return nullptr;
    state->lengthBytes = lengthBytes;
    if (sizeof(void*) >= 8 && lengthBytes > 0) {
        void* view = mmap(nullptr, lengthBytes, PROT_READ, MAP_SHARED, state->fd, 0);
        if (view != MAP_FAILED) {
            state->view = static_cast<uint8_t*>(view);
            state->viewBytes = lengthBytes;
        }
    }
    std::shared_ptr<TReadAhead> reader(new TReadAhead(std::move(state)));
    Registry[key] = reader;
    return reader;
}

TReadAhead::TReadAhead(std::unique_ptr<TState> state) : state_(std::move(state)) {
    TState* s = state_.get();
    s->thread = std::thread([s] { s->Run(); });
}

TReadAhead::~TReadAhead() {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stop = true;
    }
    state_->changed.notify_all();
    state_->thread.join();
    if (state_->view)
        munmap(state_->view, state_->viewBytes);
    close(state_->fd);
}

void TReadAhead::WalkAt(uint64_t offset, uint64_t end) {
    TState& s = *state_;
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.started) {
            // The reader starts where the first walk does, on a request boundary.
            s.started = true;
            s.requestedEnd = offset / kRequestBytes * kRequestBytes;
        }
        s.furthestEnd = std::max(s.furthestEnd, end);
        // Woken for whole requests only: a warm walk tells where it is every few megabytes.
        const uint64_t target = std::min(s.lengthBytes, s.furthestEnd + kLeadBytes);
        wake = target >= s.requestedEnd + kRequestBytes || (target == s.lengthBytes && target > s.requestedEnd);
    }
    if (wake)
        s.changed.notify_one();
}

uint64_t TReadAhead::RequestedEnd() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->requestedEnd;
}
