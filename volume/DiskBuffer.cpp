// The sector window. Where the source maps the volume, a window is a stretch of the map and a load reads
// nothing (the pages come in as the walk touches them, read ahead by the kernel). Otherwise, and for a window
// cut short by the volume's end, one aligned buffer holds the window's sectors and, behind them, enough zeros
// that a view which starts in the window's first sector and reaches past the volume's end sees zeros; a load
// reads straight into it. A request is served by a pointer into either (ViewBytes) or one memcpy (ReadBytes).
#include "volume/DiskBuffer.h"
#include "volume/VolumeError.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <stdexcept>

namespace {

// Devices have sectors of 512 to 4096 bytes; a larger size can only come from a caller's image setting, and one
// in the gigabytes would overflow the window's arithmetic.
constexpr uint32_t kMaxSectorSize = 1 << 20;

// Sectors that could not be read, kept as merged ranges [first, end): bad sectors come in runs, and a dying disk
// may have millions of them.
class TSectorRanges {
public:
    // True when `sector` was not yet in the set.
    bool Insert(uint64_t sector) {
        auto next = ranges_.upper_bound(sector);
        if (next != ranges_.begin()) {
            auto previous = std::prev(next);
            if (previous->second > sector)
                return false;
            if (previous->second == sector) {
                previous->second = sector + 1;
                MergeWithNext(previous);
                return true;
            }
        }
        auto inserted = ranges_.emplace(sector, sector + 1).first;
        MergeWithNext(inserted);
        return true;
    }

private:
    void MergeWithNext(std::map<uint64_t, uint64_t>::iterator range) {
        auto next = std::next(range);
        if (next != ranges_.end() && next->first == range->second) {
            range->second = next->second;
            ranges_.erase(next);
        }
    }
    std::map<uint64_t, uint64_t> ranges_;
};

// The window's buffer is aligned as devices want it (Windows volume handles refuse unaligned buffers): to the
// sector size where that is a power of two, and never less than a page.
size_t BufferAlignment(uint32_t sectorSize) {
    const bool powerOfTwo = (sectorSize & (sectorSize - 1)) == 0;
    return std::max<size_t>(4096, powerOfTwo ? sectorSize : 1);
}

struct TAlignedFree {
    size_t alignment;
    void operator()(uint8_t* bytes) const { ::operator delete[](bytes, std::align_val_t(alignment)); }
};
using TAlignedBuffer = std::unique_ptr<uint8_t[], TAlignedFree>;

TAlignedBuffer AllocateAligned(size_t bytes, size_t alignment) {
    return TAlignedBuffer(static_cast<uint8_t*>(::operator new[](bytes, std::align_val_t(alignment))),
                          TAlignedFree{alignment});
}

} // namespace

struct TDiskBuffer::State {
    std::unique_ptr<IVolumeSource> Source;
    uint32_t WindowSectors = 0;
    uint32_t SectorSize = 0;
    uint64_t SectorCount = 0;
    uint64_t WindowFirst = 0;
    uint64_t WindowCount = 0;
    uint64_t WindowStartByte = 0; // WindowFirst × SectorSize
    uint64_t WindowEndByte = 0;   // (WindowFirst + WindowCount) × SectorSize
    // The volume's bytes where the source maps them: a full window is then a view into the map.
    const uint8_t* Mapped = nullptr;
    // The window's sectors, then zeros (Capacity bytes in all), where they are read rather than mapped: every
    // window of an unmapped source, and a mapped window cut short by the volume's end.
    TAlignedBuffer Buffer{nullptr, TAlignedFree{0}};
    size_t Capacity = 0;
    // The longest view served in one piece.
    uint32_t ViewLimit = 0;
    uint64_t Loads = 0;
    uint64_t Unreadable = 0;
    TSectorRanges UnreadableRanges;
    std::vector<uint64_t> MappedFailures;

    void CountUnreadable(uint64_t sector) {
        if (sector < SectorCount && UnreadableRanges.Insert(sector))
            ++Unreadable;
    }
    // Counts the sectors that the source's map failed to read since the last call.
    void CollectMappedFailures() {
        if (!Mapped)
            return;
        MappedFailures.clear();
        Source->TakeUnreadableSectors(MappedFailures);
        for (uint64_t sector : MappedFailures)
            CountUnreadable(sector);
    }
};

TDiskBuffer::TDiskBuffer(const std::string& root, uint32_t halfWindowBytes, uint32_t imageSectorSize)
    : TDiskBuffer(OpenVolumeSource(root, imageSectorSize), halfWindowBytes) {}

TDiskBuffer::TDiskBuffer(std::unique_ptr<IVolumeSource> source, uint32_t halfWindowBytes)
    : state_(std::make_unique<State>()) {
    if (!source)
        throw TVolumeError("No volume was given");
    State& s = *state_;
    s.SectorSize = source->SectorSize();
    if (s.SectorSize == 0)
        throw TVolumeError("Cannot read " + source->Name() + ": the sector size is 0");
    if (s.SectorSize > kMaxSectorSize)
        throw TVolumeError("Cannot read " + source->Name() + ": a sector size of " + std::to_string(s.SectorSize) +
                           " bytes is more than the " + std::to_string(kMaxSectorSize) + " this program reads");
    s.SectorCount = source->LengthBytes() / s.SectorSize;
    if (s.SectorCount == 0)
        throw TVolumeError("Cannot read " + source->Name() + ": it holds no whole sector of " +
                           std::to_string(s.SectorSize) + " bytes");
    s.Source = std::move(source);
    s.ViewLimit = std::max(halfWindowBytes, 2 * s.SectorSize);
    // Two half windows' worth of sectors, and never fewer than a view of ViewLimit bytes needs when it starts
    // anywhere in the window's first sector: a view is served only when it ends before the window's last byte.
    const uint64_t halvesSectors = static_cast<uint64_t>(halfWindowBytes / s.SectorSize) * 2;
    const uint64_t viewSectors = s.ViewLimit / s.SectorSize + (s.ViewLimit % s.SectorSize > 0 ? 1 : 0) + 1;
    s.WindowSectors = static_cast<uint32_t>(std::min<uint64_t>(std::max(halvesSectors, viewSectors), 0xFFFFFFFFu));
    s.Capacity = std::max<size_t>(static_cast<size_t>(s.WindowSectors) * s.SectorSize,
                                  static_cast<size_t>(s.SectorSize) + s.ViewLimit);
    // Not cleared here: every byte a request can reach is either read or zeroed by LoadWindow first, and
    // clearing 40 MiB up front costs a pass over memory that the first read makes anyway.
    s.Buffer = AllocateAligned(s.Capacity, BufferAlignment(s.SectorSize));
    s.Mapped = s.Source->MappedBytes();
    viewLimit_ = s.ViewLimit;
    LoadWindow(s.SectorSize); // the first window begins at sector 1
}

TDiskBuffer::~TDiskBuffer() = default;

uint64_t TDiskBuffer::SectorCount() const {
    return state_->SectorCount;
}
uint32_t TDiskBuffer::SectorSize() const {
    return state_->SectorSize;
}
const std::string& TDiskBuffer::SourceName() const {
    return state_->Source->Name();
}
uint64_t TDiskBuffer::UnreadableSectors() const {
    state_->CollectMappedFailures();
    return state_->Unreadable;
}
uint64_t TDiskBuffer::WindowFirst() const {
    return state_->WindowFirst;
}
uint64_t TDiskBuffer::WindowCount() const {
    return state_->WindowCount;
}
uint32_t TDiskBuffer::WindowSectors() const {
    return state_->WindowSectors;
}
uint64_t TDiskBuffer::Loads() const {
    return state_->Loads;
}

namespace {

// Reads `count` sectors into `target`. A failed read is tried again in halves down to single sectors, so that
// one bad sector costs only itself; a sector that still fails is zeroed (never left holding an earlier
// window's bytes) and reported through `onUnreadable`.
template <typename OnUnreadable>
void ReadInPieces(IVolumeSource& source, uint32_t sectorSize, uint64_t first, uint64_t count, uint8_t* target,
                  OnUnreadable&& onUnreadable) {
    if (source.ReadSectors(first, static_cast<uint32_t>(count), target))
        return;
    if (count == 1) {
        std::memset(target, 0, sectorSize);
        onUnreadable(first);
        return;
    }
    const uint64_t half = count / 2;
    ReadInPieces(source, sectorSize, first, half, target, onUnreadable);
    ReadInPieces(source, sectorSize, first + half, count - half, target + half * sectorSize, onUnreadable);
}

} // namespace

void TDiskBuffer::LoadWindow(uint64_t offset) {
    State& s = *state_;
    s.CollectMappedFailures();
    s.WindowFirst = offset / s.SectorSize;
    s.WindowCount =
        s.WindowFirst < s.SectorCount ? std::min<uint64_t>(s.WindowSectors, s.SectorCount - s.WindowFirst) : 0;
    s.WindowStartByte = s.WindowFirst * s.SectorSize;
    s.WindowEndByte = (s.WindowFirst + s.WindowCount) * s.SectorSize;
    ++s.Loads;
    if (s.Mapped && s.WindowCount == s.WindowSectors) {
        // Every view this window serves ends before its last byte, so it lies in the map's whole sectors.
        viewData_ = s.Mapped + s.WindowStartByte;
        s.Source->ReadingAt(s.WindowStartByte, s.WindowEndByte - s.WindowStartByte);
    } else {
        ReadIntoBuffer();
    }
    viewStart_ = s.WindowStartByte;
    viewEnd_ = s.WindowEndByte;
}

void TDiskBuffer::ReadIntoBuffer() {
    State& s = *state_;
    uint8_t* data = s.Buffer.get();
    if (s.WindowCount > 0)
        ReadInPieces(*s.Source, s.SectorSize, s.WindowFirst, s.WindowCount, data,
                     [&s](uint64_t sector) { s.CountUnreadable(sector); });
    // A window cut short by the volume's end: whatever a view may see behind its last sector reads as zeros.
    const size_t loadedBytes = static_cast<size_t>(s.WindowCount) * s.SectorSize;
    const size_t viewEnd = std::min(s.Capacity, static_cast<size_t>(s.SectorSize) + s.ViewLimit);
    if (loadedBytes < viewEnd)
        std::memset(data + loadedBytes, 0, viewEnd - loadedBytes);
    viewData_ = data;
}

std::span<const uint8_t> TDiskBuffer::ViewAfterReloadCheck(uint64_t offset, uint32_t count) {
    State& s = *state_;
    if (count > s.ViewLimit)
        throw std::length_error("ViewBytes: " + std::to_string(count) + " bytes is more than one window serves");
    // The reload rule, First < WindowFirst or End > WindowFirst + WindowCount - 1 with End the sector of the byte
    // just past the range, compared in bytes: the same test without a division on every sample.
    const bool pastEnd = offset > std::numeric_limits<uint64_t>::max() - count || offset + count >= s.WindowEndByte;
    if (offset < s.WindowStartByte || pastEnd)
        LoadWindow(offset);
    return {viewData_ + (offset - s.WindowStartByte), count};
}

std::span<const uint8_t> TDiskBuffer::MappedBytes(uint64_t offset, uint32_t count) {
    State& s = *state_;
    const uint64_t volumeBytes = s.SectorCount * s.SectorSize;
    if (!s.Mapped || offset > volumeBytes || count > volumeBytes - offset)
        return {};
    // The walk reads from the lower of the two again: pages there are let go at a later load, not kept for good.
    const uint64_t from = std::min(offset, s.WindowStartByte);
    s.Source->ReadingAt(from, std::max(offset + count, s.WindowEndByte) - from);
    return {s.Mapped + offset, count};
}

TBuffData TDiskBuffer::ReadBytes(uint64_t offset, uint32_t count) {
    if (count <= state_->ViewLimit) {
        const auto view = ViewBytes(offset, count);
        return TBuffData(view.begin(), view.end()); // one copy, no clearing first
    }
    // Longer than one window serves: in window-sized pieces.
    TBuffData result(count);
    for (uint32_t done = 0; done < count;) {
        const uint32_t piece = std::min(count - done, state_->ViewLimit);
        const auto view = ViewBytes(offset + done, piece);
        std::memcpy(result.data() + done, view.data(), piece);
        done += piece;
    }
    return result;
}
