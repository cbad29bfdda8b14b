#include "engine/ScanHardDisk.h"

#include "engine/DeepParser.h"
#include "engine/FastStrings.h"
#include "engine/PrintableRun.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace {

std::string_view AsText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Deep scan: a run that begins inside a sector, after a byte that no run may hold, is looked at only from this
// length on (a stored message is longer; random data seldom has runs this long, so the walk passes it quickly).
// Runs that begin at a sector start are looked at whatever their length.
constexpr uint32_t kMinEmbeddedRun = 128;

// Offset within `bytes` of the first run of at least kMinEmbeddedRun text bytes that begins before `limit` (at
// `from` itself when `from` starts a run, else after a stop byte); `limit` when there is none. `bytes` reaches
// kMinEmbeddedRun bytes past `limit` where the volume does.
size_t NextLongRun(std::span<const uint8_t> bytes, size_t from, size_t limit) {
    if (!MayHoldLongTextRun(bytes.subspan(from), limit - from, kMinEmbeddedRun))
        return limit;
    size_t p = from;
    while (p < limit) {
        const size_t run = TextPrefix(bytes.subspan(p, std::min<size_t>(kMinEmbeddedRun, bytes.size() - p)));
        if (run >= kMinEmbeddedRun || (run > 0 && p + run == bytes.size()))
            return p;
        p += run;
        p += TextStopPrefix(bytes.subspan(p, std::min(bytes.size(), limit) - std::min(p, limit)));
    }
    return limit;
}

// True when the sector whose bytes (and kMinEmbeddedRun more) are `bytes` certainly holds no place where the deep
// walk would look for mail: its first bytes cannot begin a header block and no long run begins in it.
bool DeepRejects(std::span<const uint8_t> bytes, size_t sectorSize) {
    return !TDeepParser().MayBeginMessage(AsText(bytes)) && NextLongRun(bytes, 0, sectorSize) >= sectorSize;
}

// The first two bytes of sector after sector straight from the window, one view for many sectors instead of a
// sample per sector, so that the walk over sectors that cannot begin a message costs a lookup each. It never
// makes the window reload: where it cannot see without that, it leaves the sector to ExamineAt.
class TSectorPeek {
public:
    TSectorPeek(TDiskBuffer& buffer, TScanMode mode)
        : buffer_(buffer), mode_(mode),
          needed_(mode == TScanMode::Standard ? 2 : buffer.SectorSize() + kMinEmbeddedRun) {}

    // True when the sector starting at `offset` certainly begins no message: the start test of each mode.
    bool Rejects(uint64_t offset) {
        if (offset < first_ || offset + needed_ > end_)
            Refill(offset);
        if (offset < first_ || offset + needed_ > end_)
            return false;
        const uint8_t* bytes = data_ + (offset - first_);
        // Each sector's first bytes lie in a cache line of their own, one line in eight or more: ask for the
        // line some sectors ahead now, so that the walk does not wait for memory at every sector.
        if (offset + kPeekAheadBytes < end_)
            __builtin_prefetch(bytes + kPeekAheadBytes);
        // A sample begins a message only when its first line is a recognised header line, so its first two bytes
        // must begin a recognised name: one look-up rejects nearly every sector of text, zeros or noise.
        return mode_ == TScanMode::Standard ? !namePairs_.MayBeginName(reinterpret_cast<const char*>(bytes))
                                            : DeepRejects({bytes, needed_}, buffer_.SectorSize());
    }
    // Called after anything that may have moved the window.
    void Forget() { first_ = end_ = 0; }

private:
    void Refill(uint64_t offset);

    static constexpr uint64_t kPeekAheadBytes = 8192;

    TDiskBuffer& buffer_;
    const TNamePairs& namePairs_ = TEmailParser::RecognisedNamePairs();
    TScanMode mode_;
    uint32_t needed_; // bytes from a sector's start that the test looks at
    const uint8_t* data_ = nullptr;
    uint64_t first_ = 0;
    uint64_t end_ = 0;
};

// Runs are measured in stretches of this size: long enough that the per-stretch cost vanishes, short enough
// that the desktop window's pump gets a pass (at most once per stretch) several times per megabyte.
constexpr uint32_t kRunStretchBytes = 64 * 1024;

// The longest request the window serves without a copy (ViewBytes takes up to the window argument).
uint32_t ViewLimit(const TDiskBuffer& buffer) {
    return buffer.WindowSectors() / 2 * buffer.SectorSize();
}

// `count` bytes from `offset`: a view into the window, a view into the volume's map, or a copy in `copied` when
// the window is smaller than the request and the volume is not mapped.
// The copy reuses `copied`'s memory, so a walk over many long runs clears and maps it only once.
std::span<const uint8_t> Bytes(TDiskBuffer& buffer, uint64_t offset, uint32_t count, std::vector<uint8_t>& copied) {
    const uint32_t limit = ViewLimit(buffer);
    if (count <= limit)
        return buffer.ViewBytes(offset, count);
    if (const std::span<const uint8_t> mapped = buffer.MappedBytes(offset, count); !mapped.empty())
        return mapped;
    copied.resize(count);
    for (uint32_t done = 0; done < count;) {
        const uint32_t piece = std::min(count - done, limit);
        const std::span<const uint8_t> view = buffer.ViewBytes(offset + done, piece);
        std::memcpy(copied.data() + done, view.data(), piece);
        done += piece;
    }
    return {copied.data(), count};
}

// When the run measured so far is about to leave the window, reload the window at the run's first sector rather
// than in the middle of the run: the run is then read as a whole without a second reload. `end` is where the
// next stretch ends; the window reloads when a request reaches its last byte (the request's end sector counts).
void KeepRunInWindow(TDiskBuffer& buffer, uint64_t runOffset, uint64_t end) {
    const uint64_t sectorSize = buffer.SectorSize();
    const uint64_t windowEnd = (buffer.WindowFirst() + buffer.WindowCount()) * sectorSize;
    const bool windowCanGrow = buffer.WindowFirst() + buffer.WindowCount() < buffer.SectorCount();
    const uint64_t spanned = end - runOffset;
    if (end >= windowEnd && windowCanGrow && spanned <= ViewLimit(buffer))
        buffer.ViewBytes(runOffset, static_cast<uint32_t>(spanned));
}

void TSectorPeek::Refill(uint64_t offset) {
    Forget();
    const uint64_t sectorSize = buffer_.SectorSize();
    const uint64_t windowFirst = buffer_.WindowFirst() * sectorSize;
    // A view reloads the window when its end reaches the window's end; stop one byte short of that.
    const uint64_t windowEnd = (buffer_.WindowFirst() + buffer_.WindowCount()) * sectorSize;
    if (offset < windowFirst || offset + needed_ >= windowEnd)
        return;
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(ViewLimit(buffer_), windowEnd - 1 - offset));
    data_ = buffer_.ViewBytes(offset, count).data();
    first_ = offset;
    end_ = offset + count;
}

} // namespace

TScanHardDisk::TScanHardDisk(const std::string& root, IMessagePump& pump, IProgressFactory& progress,
                             uint32_t imageSectorSize, uint32_t halfWindowBytes, TScanMode mode)
    : SectorSize(0), DiskBuffer(std::make_unique<TDiskBuffer>(root, halfWindowBytes, imageSectorSize)), Pump(pump),
      Progress(progress), Mode_(mode) {
    SectorSize = DiskBuffer->SectorSize();
}

TScanHardDisk::TScanHardDisk(std::unique_ptr<IVolumeSource> source, IMessagePump& pump, IProgressFactory& progress,
                             uint32_t halfWindowBytes, TScanMode mode)
    : SectorSize(0), DiskBuffer(std::make_unique<TDiskBuffer>(std::move(source), halfWindowBytes)), Pump(pump),
      Progress(progress), Mode_(mode) {
    SectorSize = DiskBuffer->SectorSize();
}

TEmailArray TScanHardDisk::Scan() {
    Pump.ProcessMessages();
    const uint64_t bound = DiskBuffer->SectorCount();
    // Owned here, so the window is closed and freed however the walk ends, an exception included.
    std::unique_ptr<IProgressWindow> progressWindow = Progress.Create(bound);
    Shown = progressWindow.get();
    SectorReached_ = std::min(Walk(1, bound, progressWindow.get(), nullptr), bound); // all before it was walked
    Shown = nullptr;
    progressWindow.reset();
    return std::move(Found);
}

TRangeWalk TScanHardDisk::WalkRange(uint64_t firstSector, uint64_t endSector) {
    TRangeWalk walk;
    walk.Exit = Walk(firstSector, endSector, nullptr, &walk.Skips);
    return walk;
}

uint64_t TScanHardDisk::Walk(uint64_t first, uint64_t end, IProgressWindow* progressWindow,
                             std::vector<TSectorSkip>* skips) {
    TSectorPeek peek(*DiskBuffer, Mode_);
    uint64_t i = first;
    uint32_t counter = 0;
    while (i < end) {
        if (counter == kProgressCadence) {
            if (progressWindow)
                progressWindow->SetProgress(i);
            counter = 0;
            Pump.ProcessMessages();
            if (CancelRequested())
                break;
        }
        const uint64_t offset = i * static_cast<uint64_t>(SectorSize);
        uint32_t consumed = 0;
        if (!peek.Rejects(offset)) {
            consumed = ExamineAt(offset);
            peek.Forget();
            if (Cancelled_) // a run left half measured: the walk stops at its first sector
                break;
            if (consumed > 0 && progressWindow)
                progressWindow->SetMessagesFound(MessagesFound);
        }
        const uint64_t skip = consumed / SectorSize + (consumed % SectorSize > 0 ? 1 : 0);
        if (skips && skip > 1)
            skips->push_back({i, i + skip});
        i += skip > 0 ? skip : 1;
        ++counter;
        if (consumed > 0 && CancelRequested())
            break;
    }
    return i;
}

// Latches the user's request to stop; checked only at points where the walk can stop with whole messages.
bool TScanHardDisk::CancelRequested() {
    if (!Cancelled_ && Shown && Shown->CancelRequested())
        Cancelled_ = true;
    return Cancelled_;
}

uint32_t TScanHardDisk::ExamineAt(uint64_t offset) {
    return Mode_ == TScanMode::Standard ? ExamineStandard(offset) : ExamineDeep(offset);
}

// The sector begins a message when its two-sector sample passes the parser's start test; the printable run from
// there is cut into messages at recognised header lines.
uint32_t TScanHardDisk::ExamineStandard(uint64_t offset) {
    const uint32_t sampleBytes = 2 * SectorSize;
    std::vector<uint8_t> copied;
    std::span<const uint8_t> sample = Bytes(*DiskBuffer, offset, sampleBytes, copied);
    if (!Parser.IsMessageStart(AsText(sample), SectorSize))
        return 0;

    const uint32_t length = TextRunLength(offset);
    if (Cancelled_) // not measured to its end: cutting it would cut its last message short
        return 0;
    // The run is handed to the parser as a view over the window: nothing touches the window until the
    // messages have been cut out of it.
    std::span<const uint8_t> run = Bytes(*DiskBuffer, offset, length, RunCopy);
    Parser.SplitMessages(AsText(run), Pump, [&](const TEmailView& email, uint64_t start) {
        Pump.ProcessMessages();
        Deliver(email, {offset + start, offset});
    });
    return length;
}

// Every run that begins in the sector (at its start, or a long one after a stop byte) is searched for messages,
// which may begin anywhere in it; so is every run that begins in the sector where such a run ends. Returns the
// bytes up to the end of the last sector so examined (or to a cut at the cap, which the walk then resumes from).
uint32_t TScanHardDisk::ExamineDeep(uint64_t offset) {
    std::vector<uint8_t> copied;
    // The walk's peek may not have been able to look (near a window's edge): the same test here, so the result
    // and the pump points do not depend on the window.
    if (DeepRejects(Bytes(*DiskBuffer, offset, SectorSize + kMinEmbeddedRun, copied), SectorSize))
        return 0;
    uint64_t examinedTo = offset + SectorSize;
    uint64_t position = offset;
    bool sectorStart = true;
    while (position < examinedTo) {
        uint64_t runStart = position;
        if (!sectorStart) {
            const uint32_t count = static_cast<uint32_t>(examinedTo - position) + kMinEmbeddedRun;
            const size_t found = NextLongRun(Bytes(*DiskBuffer, position, count, copied), 0, examinedTo - position);
            if (position + found >= examinedTo)
                break;
            runStart = position + found;
        }
        sectorStart = false;
        const uint32_t length = TextRunLength(runStart);
        if (Cancelled_) // not measured to its end: cutting it would cut its last message short
            return 0;
        if (length > 0) {
            const std::span<const uint8_t> run = Bytes(*DiskBuffer, runStart, length, RunCopy);
            DeepParser.SplitMessages(AsText(run), runStart, SectorSize, Pump,
                                     [&](const TEmailView& email, uint64_t start) {
                                         Pump.ProcessMessages();
                                         Deliver(email, {runStart + start, runStart});
                                     });
        }
        const uint64_t runEnd = runStart + length;
        if (length == kRunCap)
            return static_cast<uint32_t>(runEnd - offset);
        position = runEnd;
        const uint64_t runEndSector = (runEnd + SectorSize - 1) / SectorSize * SectorSize;
        examinedTo = std::max(examinedTo, runEndSector);
    }
    return static_cast<uint32_t>(examinedTo - offset);
}

void TScanHardDisk::Deliver(const TEmailView& email, const TFoundLocation& location) {
    ++MessagesFound;
    if (Consumer) {
        Consumer(email, location);
    } else {
        Found.push_back(TEmail(email));
        Locations_.push_back(location);
    }
}

uint32_t TScanHardDisk::TextRunLength(uint64_t offset) {
    const uint32_t viewLimit = ViewLimit(*DiskBuffer);
    uint32_t length = 0;
    std::vector<uint8_t> copied;
    while (length < kRunCap) {
        const uint64_t position = offset + length;
        const uint32_t stretch = std::min({kRunStretchBytes, kRunCap - length, std::max(viewLimit, 1u)});
        KeepRunInWindow(*DiskBuffer, offset, position + stretch);
        const size_t accepted = RunPrefix(Mode_, Bytes(*DiskBuffer, position, stretch, copied));
        length += static_cast<uint32_t>(accepted);
        Pump.ProcessMessages(accepted);
        if (accepted < stretch || CancelRequested())
            break;
    }
    return length;
}
