// One reader per image file or device for every map of it (a multi-threaded walk has a map per thread): it asks
// the kernel for the volume's bytes in file order, in large requests, a stretch ahead of the walk that is furthest
// on. The device then sees one sequential stream, however many threads walk, and the walks find their pages in
// the page cache or already on their way. What it reads goes to the page cache only and counts in no process's
// memory.
#pragma once

#include <cstdint>
#include <memory>

class TReadAhead {
public:
    // Requests of this size keep the device busy (two of the largest a virtio disk takes) ...
    static constexpr uint64_t kRequestBytes = 8 << 20;
    // ... and so many bytes ahead of the furthest walk are asked for, several requests in flight at once.
    static constexpr uint64_t kLeadBytes = 256 << 20;

    // The reader of the file open as `fd` (the same for every descriptor of that file), started when there was
    // none; null where the file cannot be told apart. `lengthBytes`: how much of it is read at most.
    static std::shared_ptr<TReadAhead> ForFile(int fd, uint64_t lengthBytes);
    ~TReadAhead();
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    // A walk reads [offset, end) now: the reader moves its target.
    void WalkAt(uint64_t offset, uint64_t end);
    // How far the reader has asked for (for tests).
    uint64_t RequestedEnd() const;

    struct TState;

private:
    explicit TReadAhead(std::unique_ptr<TState> state);
    std::unique_ptr<TState> state_;
};
