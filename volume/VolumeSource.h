// What the sector window reads through: a drive root, an image file or device node, or memory (tests).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class IVolumeSource {
public:
    virtual ~IVolumeSource() = default;
    // The drive or path, for messages.
    virtual const std::string& Name() const = 0;
    // Bytes per sector, never 0 (a source that cannot tell refuses to open).
    virtual uint32_t SectorSize() const = 0;
    // The volume's length in bytes, from the device where the platform can tell it.
    virtual uint64_t LengthBytes() const = 0;
    // Reads `count` whole sectors from `firstSector` straight into `buffer`; true when all arrived.
    virtual bool ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) = 0;
};

// Opens a drive root ("C:\", Windows only), an image file or a device node. `imageSectorSize` is the sector
// size taken for an image file (devices report their own). Raises TVolumeError naming the source and the cause.
std::unique_ptr<IVolumeSource> OpenVolumeSource(const std::string& rootOrPath, uint32_t imageSectorSize = 512);
