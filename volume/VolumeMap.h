// An image file or block device mapped into memory (Linux), so that the sector window serves views into the
// page cache instead of copying every byte into a buffer of its own.
//
// A page that cannot be read (a media error, or a file cut short while mapped) would raise SIGBUS where the walk
// touches it. A process-wide handler catches that for every live map: it puts a private page in the failed
// page's place, reads what it can of that page's sectors into it one by one, leaves the rest zero and records
// those sectors, so the walk goes on over zeros and the failure is counted.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class TReadAhead;

class TVolumeMap {
public:
    // Maps the first `lengthBytes` of `fd` for reading. Bytes() is null where that cannot be done (a 32-bit
    // process, an address space too small, too many maps at once); the caller then reads instead.
    TVolumeMap(int fd, uint64_t lengthBytes, uint32_t sectorSize);
    ~TVolumeMap();
    TVolumeMap(const TVolumeMap&) = delete;
    TVolumeMap& operator=(const TVolumeMap&) = delete;

    const uint8_t* Bytes() const;
    // Appends the sectors that failed since the last call. Up to 131,072 are kept between two calls, more than
    // any window of 64 MiB holds, and the window calls at every load.
    void TakeUnreadableSectors(std::vector<uint64_t>& sectors);
    // The walk reads [offset, offset + length) now: the pages behind it are let go, and the file's reader (one
    // for every map of the file) keeps its requests ahead of the furthest walk.
    void ReadingAt(uint64_t offset, uint64_t length);

    struct TRecord;

private:
    TRecord* record_ = nullptr;
    std::shared_ptr<TReadAhead> readAhead_;
};
