// The part of the device reads that does not depend on the platform: cutting a read into capped requests.
#include "volume/DeviceFile.h"

#include <algorithm>
#include <limits>

bool ReadDeviceSectors(IDeviceFile& file, uint32_t sectorSize, uint64_t firstSector, uint32_t count, uint8_t* buffer) {
    if (sectorSize == 0 || firstSector > std::numeric_limits<int64_t>::max() / sectorSize)
        return false;
    const uint32_t sectorsPerRequest = std::max<uint32_t>(1, kMaxDeviceRequestBytes / sectorSize);
    for (uint32_t done = 0; done < count;) {
        const uint32_t sectors = std::min(count - done, sectorsPerRequest);
        uint32_t error = 0;
        if (!file.ReadAt((firstSector + done) * sectorSize, sectors * sectorSize,
                         buffer + static_cast<size_t>(done) * sectorSize, error))
            return false;
        done += sectors;
    }
    return true;
}
