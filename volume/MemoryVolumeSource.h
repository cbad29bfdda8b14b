// A volume held in memory, for tests: its bytes, a sector size, sectors that fail to read, and a log of reads.
#pragma once

#include "volume/VolumeSource.h"

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

class TMemoryVolumeSource : public IVolumeSource {
public:
    struct TRead {
        uint64_t FirstSector;
        uint32_t Count;
    };

    TMemoryVolumeSource(std::vector<uint8_t> bytes, uint32_t sectorSize, std::string name = "memory")
        : bytes_(std::move(bytes)), sectorSize_(sectorSize), name_(std::move(name)) {}

    const std::string& Name() const override { return name_; }
    uint32_t SectorSize() const override { return sectorSize_; }
    uint64_t LengthBytes() const override { return bytes_.size(); }

    // A read that touches a failing sector fails as a whole and leaves the buffer as it was, as a device may.
    // A read that reaches past the end copies what there is and fails.
    bool ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) override {
        reads_.push_back({firstSector, count});
        for (uint64_t sector = firstSector; sector < firstSector + count; ++sector)
            if (failing_.count(sector))
                return false;
        const uint64_t begin = firstSector * sectorSize_;
        const uint64_t wanted = static_cast<uint64_t>(count) * sectorSize_;
        const uint64_t available = begin < bytes_.size() ? bytes_.size() - begin : 0;
        const uint64_t copied = wanted < available ? wanted : available;
        if (copied > 0)
            std::memcpy(buffer, bytes_.data() + begin, copied);
        return copied == wanted;
    }

    void FailSector(uint64_t sector) { failing_.insert(sector); }
    const std::vector<TRead>& Reads() const { return reads_; }
    void ClearReads() { reads_.clear(); }

private:
    std::vector<uint8_t> bytes_;
    uint32_t sectorSize_;
    std::string name_;
    std::set<uint64_t> failing_;
    std::vector<TRead> reads_;
};
