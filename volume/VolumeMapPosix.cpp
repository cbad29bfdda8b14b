// The volume map on Linux: mmap, a SIGBUS handler that turns an unreadable page into zeros and a record of the
// sectors lost, the kernel's sequential read-ahead, and pages behind the walk given back so that memory stays
// flat.
#include "volume/VolumeMap.h"

#include "volume/PosixFile.h"
#include "volume/ReadAhead.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

// Maps alive at once (each sector window of a multi-threaded walk has one); a source past this reads instead.
constexpr size_t kMaxMaps = 256;
// Failed sectors recorded between two collections. The window collects at every load, and the desktop program's
// 40 MiB window holds at most 81,920 sectors; the record costs no memory until a failure is written into it.
constexpr size_t kFailureCapacity = 1 << 17;
// Pages behind the walk are given back in whole steps of this size, on boundaries of it: what has been read stays
// in the page cache, but no longer counts in this process's memory. The kernel maps a file held in 2 MiB folios
// with one entry per 2 MiB (much cheaper to fill than 512 page entries); a release that cuts such a stretch in
// the middle splits it, so releases start and end on boundaries of the step (a multiple of 2 MiB) in the address.
// Resident memory behind the walk stays under one step per map (a multi-threaded walk has one map per thread).
// Measured on a warm 1 GiB image without mail: 2 MiB steps cost a quarter more time in the default scan than 32
// MiB steps (each release interrupts the other walking threads to flush their address translations), 4 MiB
// steps a tenth, 8 MiB steps about nothing but 8 MiB more per walking thread.
constexpr uint64_t kReleaseStep = 4 << 20;
// Mapping a volume is for 64-bit processes; a 32-bit one has no address space to spare and reads instead.
constexpr bool kCanMap = sizeof(void*) >= 8;

} // namespace

// A live map as the handler sees it. Records live in a fixed table and are never freed, so the handler of one
// thread can look at every record while another thread opens or closes its map.
struct TVolumeMap::TRecord {
    std::atomic<bool> inUse{false};
    std::atomic<uint8_t*> base{nullptr}; // set last when a map opens, cleared first when it closes
    uint64_t mappedBytes = 0;            // whole pages
    uint64_t sectorBytes = 0;            // the volume's whole sectors: only their bytes are ever served
    uint32_t sectorSize = 0;
    int fd = -1;
    uint64_t* failures = nullptr; // kFailureCapacity entries, written by the handler
    std::atomic<size_t> failureCount{0};
    std::atomic<bool> repaired{false}; // a page of this map was ever replaced by a private one
    uint64_t releasedEnd = 0;
};

namespace {

TVolumeMap::TRecord Maps[kMaxMaps];
struct sigaction PreviousBusAction;
size_t PageSize = 4096;

void RecordFailure(TVolumeMap::TRecord& map, uint64_t sector) {
    const size_t slot = map.failureCount.fetch_add(1, std::memory_order_relaxed);
    if (slot < kFailureCapacity)
        map.failures[slot] = sector;
}

// Puts a private page over the failed one and fills it sector by sector from the file; what cannot be read
// stays zero and is recorded. Only system calls that are safe in a signal handler.
bool Repair(TVolumeMap::TRecord& map, uintptr_t address) {
    const uintptr_t page = address & ~(static_cast<uintptr_t>(PageSize) - 1);
    void* fresh = mmap(reinterpret_cast<void*>(page), PageSize, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (fresh == MAP_FAILED)
        return false;
    const uint64_t pageOffset = page - reinterpret_cast<uintptr_t>(map.base.load(std::memory_order_relaxed));
    const uint64_t pageEnd = std::min<uint64_t>(pageOffset + PageSize, map.sectorBytes);
    for (uint64_t at = pageOffset; at < pageEnd;) {
        const uint64_t sector = at / map.sectorSize;
        const uint64_t pieceEnd = std::min<uint64_t>((sector + 1) * map.sectorSize, pageEnd);
        uint8_t* to = static_cast<uint8_t*>(fresh) + (at - pageOffset);
        if (!PreadFully(map.fd, at, to, static_cast<size_t>(pieceEnd - at))) {
            std::memset(to, 0, pieceEnd - at);
            RecordFailure(map, sector);
        }
        at = pieceEnd;
    }
    mprotect(fresh, PageSize, PROT_READ);
    map.repaired.store(true, std::memory_order_relaxed);
    return true;
}

void OnBusError(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (TVolumeMap::TRecord& map : Maps) {
        const auto begin = reinterpret_cast<uintptr_t>(map.base.load(std::memory_order_acquire));
        if (begin != 0 && address >= begin && address - begin < map.mappedBytes && Repair(map, address)) {
            errno = savedErrno;
            return; // the access is made again and now reads the repaired page
        }
    }
    // Not a mapped volume's page: whatever handled SIGBUS before handles it.
    if ((PreviousBusAction.sa_flags & SA_SIGINFO) && PreviousBusAction.sa_sigaction) {
        PreviousBusAction.sa_sigaction(signal, info, context);
    } else if (PreviousBusAction.sa_handler != SIG_IGN && PreviousBusAction.sa_handler != SIG_DFL) {
        PreviousBusAction.sa_handler(signal);
    } else {
        sigaction(SIGBUS, &PreviousBusAction, nullptr); // the access is made again and ends as it would have
    }
    errno = savedErrno;
}

void InstallHandlerOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        PageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &PreviousBusAction);
    });
}

TVolumeMap::TRecord* ClaimRecord() {
    for (TVolumeMap::TRecord& map : Maps) {
        bool free = false;
        if (map.inUse.compare_exchange_strong(free, true, std::memory_order_acq_rel))
            return &map;
    }
    return nullptr;
}

// The offset of the last release boundary at or before `offset` in a map placed at `base`.
uint64_t ReleaseFloor(const uint8_t* base, uint64_t offset) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(base) + offset;
    const uintptr_t floor = address / kReleaseStep * kReleaseStep;
    return floor <= reinterpret_cast<uintptr_t>(base) ? 0 : floor - reinterpret_cast<uintptr_t>(base);
}

} // namespace

TVolumeMap::TVolumeMap(int fd, uint64_t lengthBytes, uint32_t sectorSize) {
    if (!kCanMap || lengthBytes == 0 || sectorSize == 0)
        return;
    InstallHandlerOnce();
    TRecord* record = ClaimRecord();
    if (!record)
        return;
    const uint64_t mappedBytes = (lengthBytes + PageSize - 1) / PageSize * PageSize;
    void* base = mmap(nullptr, mappedBytes, PROT_READ, MAP_SHARED, fd, 0);
    void* failures = base == MAP_FAILED ? MAP_FAILED
                                        : mmap(nullptr, kFailureCapacity * sizeof(uint64_t), PROT_READ | PROT_WRITE,
                                               MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (failures == MAP_FAILED) {
        if (base != MAP_FAILED)
            munmap(base, mappedBytes);
        record->inUse.store(false, std::memory_order_release);
        return;
    }
    record->fd = fd;
    record->sectorSize = sectorSize;
    record->sectorBytes = lengthBytes / sectorSize * sectorSize;
    record->mappedBytes = mappedBytes;
    record->failures = static_cast<uint64_t*>(failures);
    record->failureCount.store(0, std::memory_order_relaxed);
    record->repaired.store(false, std::memory_order_relaxed);
    record->releasedEnd = 0;
    // Ahead: the file's reader (one for every map of it) keeps large reads in flight in file order, some way
    // ahead of the furthest walk, and the kernel's read-ahead, doubled for a sequential map, fills what it missed.
    // Measured on cold 1 GiB images walked by two threads: 1.13 to 1.20 times dd's time, against 1.19 to 1.44
    // with the kernel's read-ahead alone, which restarts at every range a thread takes. Tried before:
    // madvise(MADV_WILLNEED) on the next 64 MiB at each window (slower: the walk waited while the request was
    // queued). Tried too: a reader that faults its stretches in (MADV_POPULATE_READ, which fills the cache in
    // 2 MiB folios where posix_fadvise fills it in pages) with walks that wait for it: 0.7 to 0.9 times dd's
    // time in most rounds, but up to ten times in some, where pages it had read were no longer cached when the
    // walk came to them and the walk read them on its own; with this map's read-ahead left on, faster on an image
    // without mail (0.8 to 0.9) but slower on a mail-dense one (1.3).
    readAhead_ = TReadAhead::ForFile(fd, lengthBytes);
    madvise(base, mappedBytes, MADV_SEQUENTIAL);
    record->base.store(static_cast<uint8_t*>(base), std::memory_order_release);
    record_ = record;
}

TVolumeMap::~TVolumeMap() {
    readAhead_.reset();
    if (!record_)
        return;
    uint8_t* base = record_->base.exchange(nullptr, std::memory_order_acq_rel);
    munmap(base, record_->mappedBytes);
    munmap(record_->failures, kFailureCapacity * sizeof(uint64_t));
    record_->inUse.store(false, std::memory_order_release);
}

const uint8_t* TVolumeMap::Bytes() const {
    return record_ ? record_->base.load(std::memory_order_relaxed) : nullptr;
}

void TVolumeMap::TakeUnreadableSectors(std::vector<uint64_t>& sectors) {
    if (!record_)
        return;
    const size_t count = record_->failureCount.exchange(0, std::memory_order_relaxed);
    sectors.insert(sectors.end(), record_->failures, record_->failures + std::min(count, kFailureCapacity));
}

void TVolumeMap::ReadingAt(uint64_t offset, uint64_t length) {
    if (!record_)
        return;
    if (readAhead_)
        readAhead_->WalkAt(offset, offset + length);
    TRecord& map = *record_;
    // Behind: drop the pages the walk has left from this process (they stay in the page cache). A repaired page
    // holds its bytes only in this process, so once any page was repaired the stretch is mapped afresh instead,
    // and a later view of it faults the page in (and repairs it) again.
    uint8_t* base = map.base.load(std::memory_order_relaxed);
    const uint64_t behind = ReleaseFloor(base, offset);
    if (behind > map.releasedEnd) {
        uint8_t* from = base + map.releasedEnd;
        const uint64_t length = behind - map.releasedEnd;
        if (map.repaired.load(std::memory_order_relaxed))
            mmap(from, length, PROT_READ, MAP_SHARED | MAP_FIXED, map.fd, static_cast<off_t>(map.releasedEnd));
        else
            madvise(from, length, MADV_DONTNEED);
        map.releasedEnd = behind;
    }
    if (offset < map.releasedEnd)
        map.releasedEnd = ReleaseFloor(base, offset); // the walk went back: release from there next time
}
