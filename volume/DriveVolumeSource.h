// A Windows drive root ("C:\"): geometry from RawDiskAccess, reads through the volume device kept open for the
// scan (the NT way) or through the 9x way.
#pragma once

#include "volume/DeviceFile.h"
#include "volume/VolumeSource.h"

#include <cstdint>
#include <memory>
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
    std::unique_ptr<IDeviceFile> device_; // the volume device on the NT family; none on 9x
};
