// A Windows drive root ("C:\"): geometry and reads through RawDiskAccess (the NT way or the 9x way).
#pragma once

#include "volume/VolumeSource.h"

#include <cstdint>
#include <string>

class TDriveVolumeSource : public IVolumeSource {
public:
    // Raises TVolumeError naming the drive and the cause when its sector size cannot be told or its volume
    // device cannot be opened.
    explicit TDriveVolumeSource(const std::string& root);

    const std::string& Name() const override { return root_; }
    uint32_t SectorSize() const override { return sectorSize_; }
    uint64_t LengthBytes() const override { return lengthBytes_; }
    bool ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) override;

private:
    std::string root_;
    uint8_t driveNumber_ = 0;
    uint32_t sectorSize_ = 0;
    uint64_t lengthBytes_ = 0;
};
