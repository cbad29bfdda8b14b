// Device reads cut into requests a driver takes: whole sectors, aligned, at most kMaxDeviceRequestBytes each,
// against a device that refuses anything else.
#include "tests/volume/FakeDevice.h"
#include "volume/DeviceFile.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

namespace {

uint8_t DeviceByte(uint64_t offset) {
    return static_cast<uint8_t>((offset * 13) ^ (offset >> 9) ^ (offset >> 17) ^ 0xA5);
}

std::shared_ptr<TFakeDeviceState> MakeDevice(uint64_t length, uint32_t sectorSize) {
    static std::vector<uint8_t> pattern;
    for (uint64_t i = pattern.size(); i < length; ++i)
        pattern.push_back(DeviceByte(i));
    auto state = std::make_shared<TFakeDeviceState>();
    state->bytes.assign(pattern.begin(), pattern.begin() + static_cast<ptrdiff_t>(length));
    state->sectorSize = sectorSize;
    state->fileSystemEnd = length;
    return state;
}

TEST(DeviceFile, LongReadsAreCutIntoRequestsTheDeviceTakes) {
    struct TCase {
        uint32_t sectorSize;
        uint64_t firstSector;
        uint32_t count;
    };
    const uint64_t length = 48 << 20;
    const TCase cases[] = {
        {512, 1, 81920 - 8}, // most of a 40 MiB window of 512-byte sectors
        {512, 7, 8192},      // exactly one request
        {512, 0, 8193},      // one sector more
        {4096, 3, 3000},     // 4096-byte sectors
        {512, 46000, 1},     // a single sector
        {2048, 0, 24576},    // the whole device
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE("sector size " + std::to_string(c.sectorSize) + ", sectors " + std::to_string(c.firstSector) +
                     " + " + std::to_string(c.count));
        auto state = MakeDevice(length, c.sectorSize);
        TFakeDevice device(state);
        const size_t bytes = static_cast<size_t>(c.count) * c.sectorSize;
        auto* buffer = static_cast<uint8_t*>(::operator new (bytes, std::align_val_t{4096}));
        ASSERT_TRUE(ReadDeviceSectors(device, c.sectorSize, c.firstSector, c.count, buffer));
        EXPECT_EQ(state->refused, 0);
        EXPECT_LE(state->longestRead, kMaxDeviceRequestBytes);
        bool same = true;
        for (size_t i = 0; i < bytes && same; ++i)
            same = buffer[i] == DeviceByte(c.firstSector * c.sectorSize + i);
        EXPECT_TRUE(same);
        ::operator delete (buffer, std::align_val_t{4096});
    }
}

TEST(DeviceFile, AReadPastTheEndOrARefusedRequestFails) {
    auto state = MakeDevice(64 * 512, 512);
    TFakeDevice device(state);
    alignas(4096) static uint8_t buffer[4 * 512];
    EXPECT_FALSE(ReadDeviceSectors(device, 512, 62, 4, buffer)) << "past the end";
    EXPECT_TRUE(ReadDeviceSectors(device, 512, 60, 4, buffer));
    EXPECT_FALSE(ReadDeviceSectors(device, 512, 0, 1, buffer + 1)) << "an unaligned buffer is refused";
    EXPECT_FALSE(ReadDeviceSectors(device, 512, ~0ull / 256, 1, buffer)) << "an offset beyond 2^63";
}

} // namespace
