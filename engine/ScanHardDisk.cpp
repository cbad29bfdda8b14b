#include "engine/ScanHardDisk.h"

#include "engine/FastStrings.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The bytes a printable run may hold: tab, line feed, vertical tab, carriage return and 0x20..0x7E.
constexpr std::array<bool, 256> MakePrintableTable() {
    std::array<bool, 256> table{};
    for (int byte = 0x20; byte <= 0x7E; ++byte)
        table[byte] = true;
    table[0x09] = table[0x0A] = table[0x0B] = table[0x0D] = true;
    return table;
}
constexpr std::array<bool, 256> kPrintable = MakePrintableTable();

// A sample begins a message only when its first line is a recognised header line, so its first two bytes,
// upper-cased as the parser does, are the first two letters of one of the ten recognised names (RETURN-PATH,
// REPLY-TO, ENVELOPE-TO, DELIVERY-DATE, RECEIVED, MESSAGE-ID, FROM, TO, SUBJECT, DATE; none is shorter than two).
// One lookup of those two bytes rejects nearly every sector of text, zeros or noise before the parser looks at it;
// the answer for the sectors it lets through is the parser's own.
class TStartFilter {
public:
    TStartFilter() {
        constexpr std::string_view kNameStarts[] = {"RE", "EN", "DE", "ME", "FR", "TO", "SU", "DA"};
        const TAnsiCaseTable& upper = AnsiUpperTable();
        for (int first = 0; first < 256; ++first)
            for (int second = 0; second < 256; ++second)
                for (std::string_view start : kNameStarts)
                    if (upper[first] == static_cast<unsigned char>(start[0]) &&
                        upper[second] == static_cast<unsigned char>(start[1]))
                        pairs_.set(first << 8 | second);
    }
    bool CouldBeginMessage(std::span<const uint8_t> sample) const {
        return sample.size() >= 2 && pairs_.test(sample[0] << 8 | sample[1]);
    }

private:
    std::bitset<65536> pairs_;
};

const TStartFilter& StartFilter() {
    static const TStartFilter filter;
    return filter;
}

// Runs are measured in stretches of this size: long enough that the per-stretch cost vanishes, short enough
// that the desktop window's pump gets a pass (at most once per stretch) several times per megabyte.
constexpr uint32_t kRunStretchBytes = 64 * 1024;

// Eight bytes at once: true when every one of them lies in 0x20..0x7E, the bytes of almost all text. Exact
// (the borrow of the "has a byte below" test never clears a true answer).
bool AllPlainPrintable(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHigh = 0x8080808080808080ULL;
    const uint64_t below20 = (word - 0x20 * kOnes) & ~word & kHigh;
    const uint64_t del = word ^ (0x7F * kOnes);
    const uint64_t is7F = (del - kOnes) & ~del & kHigh;
    return ((word & kHigh) | below20 | is7F) == 0;
}

// The length of the run of printable bytes at the start of `bytes`. This loop is the scan's inner loop over
// every byte of every run: whole words of plain text pass in one test; the table decides the rest (line ends,
// tabs, and the byte that ends the run).
size_t PrintablePrefix(std::span<const uint8_t> bytes) {
    const uint8_t* first = bytes.data();
    const uint8_t* last = first + bytes.size();
    const uint8_t* p = first;
    while (last - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (!AllPlainPrintable(word)) {
            for (int k = 0; k < 8; ++k)
                if (!kPrintable[p[k]])
                    return p + k - first;
        }
        p += 8;
    }
    while (p != last && kPrintable[*p])
        ++p;
    return p - first;
}

std::string_view AsText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The longest request the window serves without a copy (ViewBytes takes up to the window argument).
uint32_t ViewLimit(const TDiskBuffer& buffer) {
    return buffer.WindowSectors() / 2 * buffer.SectorSize();
}

// `count` bytes from `offset`: a view into the window, or a copy in `copied` when the window is smaller than
// the request (only tiny test windows are).
std::span<const uint8_t> Bytes(TDiskBuffer& buffer, uint64_t offset, uint32_t count, std::vector<uint8_t>& copied) {
    if (count <= ViewLimit(buffer))
        return buffer.ViewBytes(offset, count);
    copied = buffer.ReadBytes(offset, count);
    return copied;
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

} // namespace

TScanHardDisk::TScanHardDisk(const std::string& root, IMessagePump& pump, IProgressFactory& progress,
                             uint32_t imageSectorSize, uint32_t windowBytes)
    : SectorSize(0), DiskBuffer(std::make_unique<TDiskBuffer>(root, windowBytes, imageSectorSize)), Pump(pump),
      Progress(progress) {
    SectorSize = DiskBuffer->SectorSize();
}

TScanHardDisk::TScanHardDisk(std::unique_ptr<IVolumeSource> source, IMessagePump& pump, IProgressFactory& progress,
                             uint32_t windowBytes)
    : SectorSize(0), DiskBuffer(std::make_unique<TDiskBuffer>(std::move(source), windowBytes)), Pump(pump),
      Progress(progress) {
    SectorSize = DiskBuffer->SectorSize();
}

TEmailArray TScanHardDisk::Scan() {
    Pump.ProcessMessages();
    const uint64_t bound = DiskBuffer->SectorCount();
    // Owned here, so the window is closed and freed however the walk ends, an exception included.
    std::unique_ptr<IProgressWindow> progressWindow = Progress.Create(bound);
    uint64_t i = 1;
    uint32_t counter = 0;
    while (i < bound) {
        if (counter == kProgressCadence) {
            progressWindow->SetProgress(i);
            counter = 0;
            Pump.ProcessMessages();
        }
        const uint32_t consumed = ExamineAt(i * static_cast<uint64_t>(SectorSize));
        const uint64_t skip = consumed / SectorSize + (consumed % SectorSize > 0 ? 1 : 0);
        i += skip > 0 ? skip : 1;
        ++counter;
    }
    progressWindow.reset();
    return std::move(Found);
}

uint32_t TScanHardDisk::ExamineAt(uint64_t offset) {
    const uint32_t sampleBytes = 2 * SectorSize;
    std::vector<uint8_t> copied;
    std::span<const uint8_t> sample = Bytes(*DiskBuffer, offset, sampleBytes, copied);
    if (!StartFilter().CouldBeginMessage(sample) || !Parser.IsMessageStart(AsText(sample), SectorSize))
        return 0;

    const uint32_t length = TextRunLength(offset);
    // The run is handed to the parser as a view over the window: nothing touches the window until the
    // messages have been cut out of it.
    std::span<const uint8_t> run = Bytes(*DiskBuffer, offset, length, copied);
    std::vector<uint64_t> starts;
    TEmailArray messages = Parser.SplitMessages(AsText(run), Pump, &starts);
    for (size_t k = 0; k < messages.size(); ++k) {
        Pump.ProcessMessages();
        const TFoundLocation location{offset + (k < starts.size() ? starts[k] : 0), offset};
        if (Consumer) {
            Consumer(std::move(messages[k]), location);
        } else {
            Found.push_back(std::move(messages[k]));
            Locations_.push_back(location);
        }
    }
    return length;
}

uint32_t TScanHardDisk::TextRunLength(uint64_t offset) {
    const uint32_t viewLimit = ViewLimit(*DiskBuffer);
    uint32_t length = 0;
    std::vector<uint8_t> copied;
    while (length < kRunCap) {
        const uint64_t position = offset + length;
        const uint32_t stretch = std::min({kRunStretchBytes, kRunCap - length, std::max(viewLimit, 1u)});
        KeepRunInWindow(*DiskBuffer, offset, position + stretch);
        const size_t accepted = PrintablePrefix(Bytes(*DiskBuffer, position, stretch, copied));
        length += static_cast<uint32_t>(accepted);
        Pump.ProcessMessages(accepted);
        if (accepted < stretch)
            break;
    }
    return length;
}
