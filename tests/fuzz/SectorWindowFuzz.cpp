// The sector window over an in-memory volume with failing sectors, at every window size the constructor takes:
// every request yields the volume's own bytes, zeros where a sector failed and past the last whole sector. Without
// failing sectors, a second window over the same bytes as an image file (which the source maps) serves the same.
// Input: sector size choice (1 byte), half the window (2), volume length (2, up to 64 sectors), failing sectors
// 0 to 15 (2 bytes, one bit each), "every n-th sector fails" (1; its top bit: failed reads leave garbage), then
// requests of 8 bytes each: kind (1), offset (4), count (3).
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/MemoryFile.h"
#include "volume/DiskBuffer.h"
#include "volume/MemoryVolumeSource.h"
#include "volume/VolumeError.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <set>
#include <vector>

namespace {

constexpr uint32_t kSectorSizes[] = {1, 2, 3, 8, 16, 64, 512, 4096};

// Never zero, and different at neighbouring offsets, so a byte served from the wrong place or zeroed shows.
uint8_t VolumeByte(uint64_t offset) {
    return static_cast<uint8_t>(offset % 251 + 1);
}

struct TVolumeModel {
    uint32_t sectorSize;
    uint64_t sectorCount;
    std::vector<bool> failing; // one per sector

    bool Fails(uint64_t sector) const { return sector < sectorCount && failing[sector]; }
    uint8_t ByteAt(uint64_t offset) const {
        const uint64_t sector = offset / sectorSize;
        return sector < sectorCount && !failing[sector] ? VolumeByte(offset) : 0;
    }
};

// The bytes served for [offset, offset + count) equal the model's; failing sectors whose bytes were served are
// added to `seenFailing`.
void CheckServed(const TVolumeModel& model, uint64_t offset, const uint8_t* bytes, uint64_t count,
                 std::set<uint64_t>& seenFailing) {
    for (uint64_t k = 0; k < count; ++k) {
        const uint64_t at = offset + k;
        if (at < offset) // wrapped past 2^64: no such byte
            break;
        FUZZ_CHECK(bytes[k] == model.ByteAt(at));
        const uint64_t sector = at / model.sectorSize;
        if (model.Fails(sector))
            seenFailing.insert(sector);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput input(data, size);
    TVolumeModel model;
    model.sectorSize = kSectorSizes[input.Byte() % std::size(kSectorSizes)];
    const uint32_t halfWindowBytes = input.Word();
    // At most 64 sectors (and 64 KiB): room for every relation of window and volume, and fast runs.
    const uint64_t length = input.Word() % (std::min<uint64_t>(64 * model.sectorSize, 65535) + 1);
    const uint16_t failingMask = input.Word();
    const uint8_t failing = input.Byte();
    const uint8_t failingEvery = failing & 0x7F;
    // A failed read leaves the buffer as it was, or (top bit) garbage in the failing sectors' place.
    const auto faultModel =
        failing & 0x80 ? TMemoryVolumeSource::TFaultModel::Garbage : TMemoryVolumeSource::TFaultModel::KeepBuffer;
    model.sectorCount = length / model.sectorSize;

    std::vector<uint8_t> bytes(length);
    for (uint64_t k = 0; k < length; ++k)
        bytes[k] = VolumeByte(k);
    auto source =
        std::make_unique<TMemoryVolumeSource>(bytes, model.sectorSize, "memory", std::set<uint64_t>{}, faultModel);
    model.failing.resize(model.sectorCount);
    uint64_t failingCount = 0;
    for (uint64_t sector = 0; sector < model.sectorCount; ++sector)
        if ((sector < 16 && (failingMask >> sector & 1)) || (failingEvery > 0 && sector % failingEvery == 0)) {
            model.failing[sector] = true;
            source->FailSector(sector);
            ++failingCount;
        }

    std::unique_ptr<TDiskBuffer> window;
    try {
        window = std::make_unique<TDiskBuffer>(std::move(source), halfWindowBytes);
    } catch (const TVolumeError&) {
        FUZZ_CHECK(model.sectorCount == 0); // only a volume without a whole sector is refused
        return 0;
    }
    FUZZ_CHECK(model.sectorCount > 0);
    std::vector<std::unique_ptr<TDiskBuffer>> windows;
    windows.push_back(std::move(window));
    std::unique_ptr<TMemoryFile> file;
    if (failingCount == 0) {
        file = std::make_unique<TMemoryFile>(std::string_view(reinterpret_cast<const char*>(bytes.data()), length));
        windows.push_back(
            std::make_unique<TDiskBuffer>(OpenVolumeSource(file->Path(), model.sectorSize), halfWindowBytes));
    }
    for (const auto& w : windows) {
        FUZZ_CHECK(w->SectorCount() == model.sectorCount && w->SectorSize() == model.sectorSize);
        // A view may be as long as half the window, or two sectors (one sample) where that is more.
        FUZZ_CHECK(w->ViewLimit() == std::max(halfWindowBytes, 2 * model.sectorSize));
    }

    std::set<uint64_t> seenFailing;
    while (input.Left() > 0) {
        const uint8_t kind = input.Byte();
        uint64_t offset = input.DWord() % (length + 4 * model.sectorSize + 1);
        if (kind & 0x80) // near the end of the 64-bit range, where offset + count may overflow
            offset = std::numeric_limits<uint64_t>::max() - offset;
        const uint32_t countField = input.Word() | static_cast<uint32_t>(input.Byte()) << 16;
        for (const auto& w : windows) {
            if (kind & 1) {
                const uint32_t count = countField % (w->ViewLimit() + 1);
                const std::span<const uint8_t> view = w->ViewBytes(offset, count);
                FUZZ_CHECK(view.size() == count);
                CheckServed(model, offset, view.data(), count, seenFailing);
            } else {
                const uint32_t count = countField % (3 * length + 1);
                const TBuffData copy = w->ReadBytes(offset, count);
                FUZZ_CHECK(copy.size() == count);
                CheckServed(model, offset, copy.data(), count, seenFailing);
            }
        }
        // Every failing sector whose bytes were served was counted; nothing else was.
        FUZZ_CHECK(windows[0]->UnreadableSectors() >= seenFailing.size());
        FUZZ_CHECK(windows[0]->UnreadableSectors() <= failingCount);
    }
    return 0;
}
