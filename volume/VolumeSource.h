// What the sector window reads through: a drive root, an image file or device node, or memory (tests).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class IVolumeSource {
public:
    virtual ~IVolumeSource() = default;
    // The drive or path, for messages.
    virtual const std::string& Name() const = 0;
    // Bytes per sector, never 0 (a source that cannot tell refuses to open).
    virtual uint32_t SectorSize() const = 0;
    // The volume's length in bytes, from the device where the platform can tell it.
    virtual uint64_t LengthBytes() const = 0;
    // Reads `count` whole sectors from `firstSector` straight into `buffer`; true when all arrived. The buffer
    // is aligned to the sector size (at most a page) and so are the offset and the length, as devices require.
    virtual bool ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) = 0;

    // The volume's bytes as memory, where the source can map them (image files and block devices on Linux);
    // null where it cannot. A mapped page that cannot be read is served as zeros, never as a crash, and the
    // sectors lost that way are handed over by TakeUnreadableSectors.
    virtual const uint8_t* MappedBytes() { return nullptr; }
    // Appends the sectors that failed to read through the map since the last call (a sector may come again if
    // it was read again).
    virtual void TakeUnreadableSectors(std::vector<uint64_t>&) {}
    // The window now covers [offset, offset + length) of the map: a mapped source lets go of the pages the walk
    // has left behind.
    virtual void ReadingAt(uint64_t /*offset*/, uint64_t /*length*/) {}
};

// Opens a drive root ("C:\" or "C:", Windows only), an image file or a device node. `imageSectorSize` is the
// sector size taken for an image file (devices report their own). Raises TVolumeError naming the source and
// the cause.
std::unique_ptr<IVolumeSource> OpenVolumeSource(const std::string& rootOrPath, uint32_t imageSectorSize = 512);
