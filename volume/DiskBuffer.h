// Serves any byte range of one volume out of a window of whole sectors held in memory: a view into the
// volume's map where the source maps it, else a buffer the sectors are read into.
#pragma once

#include "volume/VolumeSource.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

using TBuffData = std::vector<uint8_t>;

class TDiskBuffer {
public:
    // Opens the drive root, image file or device node (OpenVolumeSource) and loads the first window, which
    // begins at sector 1. The window holds twice `halfWindowBytes` (and at least what one view of that length
    // needs, wherever it starts); a view may be up to `halfWindowBytes` long (two sectors at least). Raises
    // TVolumeError, naming the source and the cause, when the volume cannot be used.
    TDiskBuffer(const std::string& root, uint32_t halfWindowBytes, uint32_t imageSectorSize = 512);
    TDiskBuffer(std::unique_ptr<IVolumeSource> source, uint32_t halfWindowBytes);
    ~TDiskBuffer();
    TDiskBuffer(const TDiskBuffer&) = delete;
    TDiskBuffer& operator=(const TDiskBuffer&) = delete;

    uint64_t SectorCount() const;
    uint32_t SectorSize() const;
    const std::string& SourceName() const;

    // Exactly `count` bytes of the volume from `offset`, in a new array that later reloads leave alone.
    // Bytes past the volume's last sector, and bytes of sectors that could not be read, are zeros.
    TBuffData ReadBytes(uint64_t offset, uint32_t count);
    // The same bytes as ReadBytes, straight from the window without a copy; valid until the next call that
    // may reload. `count` may be up to ViewLimit().
    std::span<const uint8_t> ViewBytes(uint64_t offset, uint32_t count);

    // The longest view served in one piece: `halfWindowBytes`, or two sectors if that is more.
    uint32_t ViewLimit() const { return viewLimit_; }
    // The same bytes as ReadBytes, of any length, straight from the map where the source maps the volume and
    // they lie in its whole sectors; empty otherwise (the caller then reads them through the window). Valid
    // while this window lives. The window is not moved; the map is told, so that the pages are let go once the
    // window has passed them.
    std::span<const uint8_t> MappedBytes(uint64_t offset, uint32_t count);

    // Sectors that could not be read, even one at a time, since construction (served as zeros); each counted once.
    uint64_t UnreadableSectors() const;

    // The window's state, for tests and diagnostics.
    uint64_t WindowFirst() const;
    uint64_t WindowCount() const;
    uint32_t WindowSectors() const;
    uint64_t Loads() const;

private:
    void LoadWindow(uint64_t offset);
    void ReadIntoBuffer();
    std::span<const uint8_t> ViewAfterReloadCheck(uint64_t offset, uint32_t count);

    struct State;
    std::unique_ptr<State> state_;
    // The window as ViewBytes' inline test sees it: volume bytes [viewStart_, viewEnd_) are at viewData_ (the
    // map or the buffer). The scan asks for a sample at every sector, so the common case costs no call.
    const uint8_t* viewData_ = nullptr;
    uint64_t viewStart_ = 0;
    uint64_t viewEnd_ = 0;
    uint32_t viewLimit_ = 0;
};

inline std::span<const uint8_t> TDiskBuffer::ViewBytes(uint64_t offset, uint32_t count) {
    if (offset >= viewStart_ && offset < viewEnd_ && count < viewEnd_ - offset && count <= viewLimit_)
        return {viewData_ + (offset - viewStart_), count};
    return ViewAfterReloadCheck(offset, count);
}
