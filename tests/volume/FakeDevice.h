// A device in memory behind IDeviceFile that refuses what a real Windows volume handle refuses: a read whose
// offset, length or buffer is not sector-aligned, a request longer than a driver takes, and a read that reaches
// past the file system's end until FSCTL_ALLOW_EXTENDED_DASD_IO has been issued. It records what was asked.
#pragma once

#include "volume/DeviceFile.h"

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

struct TFakeDeviceState {
    std::vector<uint8_t> bytes;
    uint32_t sectorSize = 512;
    uint64_t fileSystemEnd = 0; // bytes; reads past it need the control call
    uint32_t largestRequest = kMaxDeviceRequestBytes;
    int opens = 0;
    int closes = 0;
    bool extendedIoAllowed = false; // on the open handle
    int refused = 0;                // reads refused for alignment or size
    uint32_t longestRead = 0;
};

class TFakeDevice : public IDeviceFile {
public:
    static constexpr uint32_t kInvalidParameter = 87;    // ERROR_INVALID_PARAMETER
    static constexpr uint32_t kNoSystemResources = 1450; // ERROR_NO_SYSTEM_RESOURCES
    static constexpr uint32_t kSectorNotFound = 27;      // ERROR_SECTOR_NOT_FOUND

    explicit TFakeDevice(std::shared_ptr<TFakeDeviceState> state) : state_(std::move(state)) {
        ++state_->opens;
        state_->extendedIoAllowed = false;
    }
    ~TFakeDevice() override { ++state_->closes; }

    bool ReadAt(uint64_t offset, uint32_t length, uint8_t* buffer, uint32_t& error) override {
        TFakeDeviceState& s = *state_;
        const uint32_t size = s.sectorSize;
        if (offset % size || length % size || reinterpret_cast<uintptr_t>(buffer) % size) {
            ++s.refused;
            error = kInvalidParameter;
            return false;
        }
        if (length > s.largestRequest) {
            ++s.refused;
            error = kNoSystemResources;
            return false;
        }
        s.longestRead = std::max(s.longestRead, length);
        if (!s.extendedIoAllowed && offset + length > s.fileSystemEnd) {
            error = kSectorNotFound;
            return false;
        }
        error = 0;
        if (offset + length > s.bytes.size())
            return false; // the end of the volume before the last byte
        std::memcpy(buffer, s.bytes.data() + offset, length);
        return true;
    }
    bool Length(uint64_t& lengthBytes) override {
        lengthBytes = state_->bytes.size();
        return true;
    }
    uint32_t SectorSize() override { return state_->sectorSize; }
    bool AllowExtendedIo() override {
        state_->extendedIoAllowed = true;
        return true;
    }

private:
    std::shared_ptr<TFakeDeviceState> state_;
};
