// A volume named by path: a disk image file, or a device node such as /dev/sdb1 or \\.\PhysicalDrive1.
#pragma once

#include "volume/VolumeSource.h"

#include <cstdint>
#include <memory>
#include <string>

class TPathVolumeSource : public IVolumeSource {
public:
    // Opens `path` for reading. A device reports its own sector size; a file has sectors of `imageSectorSize`
    // bytes. Raises TVolumeError naming the path and the cause when it cannot be opened or holds no sector.
    TPathVolumeSource(const std::string& path, uint32_t imageSectorSize);
    ~TPathVolumeSource() override;
    TPathVolumeSource(const TPathVolumeSource&) = delete;
    TPathVolumeSource& operator=(const TPathVolumeSource&) = delete;

    const std::string& Name() const override { return path_; }
    uint32_t SectorSize() const override { return sectorSize_; }
    uint64_t LengthBytes() const override { return lengthBytes_; }
    bool ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) override;
    const uint8_t* MappedBytes() override;
    void TakeUnreadableSectors(std::vector<uint64_t>& sectors) override;
    void ReadingAt(uint64_t offset, uint64_t length) override;

private:
    // Raises TVolumeError when the measured volume holds no whole sector.
    void RefuseUnusableShape() const;

    struct Handle;
    std::string path_;
    uint32_t sectorSize_ = 0;
    uint64_t lengthBytes_ = 0;
    std::unique_ptr<Handle> handle_;
};
