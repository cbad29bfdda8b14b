// A volume held in memory, for tests: its bytes, a sector size, sectors that fail to read, and a log of reads.
// It refuses what a real device refuses: a buffer that is not aligned as the window must align it throws, so the
// tests on Linux and under Wine catch a read that a Windows volume handle would fail.
#pragma once

#include "volume/VolumeSource.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

class TMemoryVolumeSource : public IVolumeSource {
public:
    struct TRead {
        uint64_t FirstSector;
        uint32_t Count;
    };
    // What a failed read leaves in the buffer.
    enum class TFaultModel {
        // A read that touches a failing sector fails as a whole and leaves the buffer as it was; a read that
        // reaches past the end copies what there is and fails.
        KeepBuffer,
        // The harsher one: every sector that fails (or lies past the end) is filled with garbage (0xEE), the
        // others are read, and the read fails; a window that trusted the buffer would serve that garbage.
        Garbage,
    };
    static constexpr uint8_t kGarbage = 0xEE;

    TMemoryVolumeSource(std::vector<uint8_t> bytes, uint32_t sectorSize, std::string name = "memory",
                        std::set<uint64_t> failing = {}, TFaultModel faultModel = TFaultModel::KeepBuffer)
        : TMemoryVolumeSource(std::make_shared<const std::vector<uint8_t>>(std::move(bytes)), sectorSize,
                              std::move(name), std::move(failing), faultModel) {}
    // Shares the bytes with other sources over the same volume (one per thread of a threaded walk).
    TMemoryVolumeSource(std::shared_ptr<const std::vector<uint8_t>> bytes, uint32_t sectorSize, std::string name,
                        std::set<uint64_t> failing, TFaultModel faultModel)
        : shared_(std::move(bytes)), bytes_(*shared_), sectorSize_(sectorSize), name_(std::move(name)),
          failing_(std::move(failing)), faultModel_(faultModel) {}

    const std::string& Name() const override { return name_; }
    uint32_t SectorSize() const override { return sectorSize_; }
    uint64_t LengthBytes() const override { return bytes_.size(); }

    bool ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) override {
        reads_.push_back({firstSector, count});
        if (reinterpret_cast<uintptr_t>(buffer) % RequiredAlignment(sectorSize_) != 0)
            throw std::logic_error(name_ + ": read into a buffer that is not aligned to " +
                                   std::to_string(RequiredAlignment(sectorSize_)) + " bytes");
        return faultModel_ == TFaultModel::Garbage ? ReadLeavingGarbage(firstSector, count, buffer)
                                                   : ReadKeepingBuffer(firstSector, count, buffer);
    }

    void FailSector(uint64_t sector) { failing_.insert(sector); }
    const std::vector<TRead>& Reads() const { return reads_; }
    void ClearReads() { reads_.clear(); }

    // The alignment a device asks of a read's buffer: the sector size (its largest power-of-two factor), at most
    // a page.
    static uint32_t RequiredAlignment(uint32_t sectorSize) {
        const uint32_t powerOfTwo = sectorSize & (~sectorSize + 1);
        return powerOfTwo == 0 ? 1 : (powerOfTwo < 4096 ? powerOfTwo : 4096);
    }

private:
    bool ReadKeepingBuffer(uint64_t firstSector, uint32_t count, uint8_t* buffer) const {
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

    bool ReadLeavingGarbage(uint64_t firstSector, uint32_t count, uint8_t* buffer) const {
        bool complete = true;
        for (uint64_t k = 0; k < count; ++k) {
            uint8_t* to = buffer + k * sectorSize_;
            const uint64_t from = (firstSector + k) * sectorSize_;
            if (failing_.count(firstSector + k) || from + sectorSize_ > bytes_.size()) {
                std::memset(to, kGarbage, sectorSize_);
                complete = false;
            } else {
                std::memcpy(to, bytes_.data() + from, sectorSize_);
            }
        }
        return complete;
    }

    std::shared_ptr<const std::vector<uint8_t>> shared_;
    const std::vector<uint8_t>& bytes_;
    uint32_t sectorSize_;
    std::string name_;
    std::set<uint64_t> failing_;
    TFaultModel faultModel_;
    std::vector<TRead> reads_;
};
