#include "engine/PrintableRun.h"

#include <array>
#include <algorithm>
#include <cstring>

namespace {

constexpr std::array<bool, 256> MakePrintableTable() {
    std::array<bool, 256> table{};
    for (int byte = 0x20; byte <= 0x7E; ++byte)
        table[byte] = true;
    table[0x09] = table[0x0A] = table[0x0B] = table[0x0D] = true;
    return table;
}
constexpr std::array<bool, 256> kPrintable = MakePrintableTable();

constexpr std::array<bool, 256> MakeTextTable() {
    std::array<bool, 256> table = MakePrintableTable();
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        table[byte] = true;
    table[0x1B] = true;
    return table;
}
constexpr std::array<bool, 256> kText = MakeTextTable();

// Sixteen bytes at once through GCC's portable vector extension: SSE2 on x86-64, NEON on arm64. Compared as
// signed bytes, "below 0x20" also takes 0x80..0xFF; tab, line feed, vertical tab and carriage return are let
// through, DEL is not.
using TByteVector = int8_t __attribute__((vector_size(16)));

TByteVector StopLanes16(const uint8_t* bytes) {
    TByteVector lanes;
    std::memcpy(&lanes, bytes, sizeof lanes);
    const TByteVector control = lanes < 0x20;
    const TByteVector allowed = ((lanes >= 0x09) & (lanes <= 0x0B)) | (lanes == 0x0D);
    return (control & ~allowed) | (lanes == 0x7F);
}

bool AnyLane(TByteVector lanes) {
    uint64_t halves[2];
    std::memcpy(halves, &lanes, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

bool HasStopByte16(const uint8_t* bytes) {
    return AnyLane(StopLanes16(bytes));
}

// Four blocks tested at once: the lanes are merged before the one test that leaves the vector unit, which costs
// more than the compares.
bool HasStopByte64(const uint8_t* bytes) {
    return AnyLane(StopLanes16(bytes) | StopLanes16(bytes + 16) | StopLanes16(bytes + 32) | StopLanes16(bytes + 48));
}

// The same for deep runs: compared as unsigned bytes, so 0x80..0xFF belong to the text; ESC does too.
using TUByteVector = uint8_t __attribute__((vector_size(16)));

TByteVector TextStops16(const uint8_t* bytes) {
    TUByteVector lanes;
    std::memcpy(&lanes, bytes, sizeof lanes);
    const TByteVector control = lanes < 0x20;
    const TByteVector allowed = ((lanes >= 0x09) & (lanes <= 0x0B)) | (lanes == 0x0D) | (lanes == 0x1B);
    return (control & ~allowed) | (lanes == 0x7F);
}

bool HasTextStop16(const uint8_t* bytes) {
    return AnyLane(TextStops16(bytes));
}

bool HasTextStop64(const uint8_t* bytes) {
    return AnyLane(TextStops16(bytes) | TextStops16(bytes + 16) | TextStops16(bytes + 32) | TextStops16(bytes + 48));
}

bool AllTextStops16(const uint8_t* bytes) {
    const TByteVector stops = TextStops16(bytes);
    uint64_t halves[2];
    std::memcpy(halves, &stops, sizeof halves);
    return (halves[0] & halves[1]) == ~uint64_t{0};
}

// Eight bytes at once in plain integer arithmetic, for targets without a vector unit (the 32-bit Windows
// release build must run without SSE2; there the vector extension falls back to one byte at a time).
constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHigh = 0x8080808080808080ULL;
constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;

// 0x80 in every byte of `x` that is zero, and nothing elsewhere: exact per byte (no borrow crosses bytes).
uint64_t ZeroBytes(uint64_t x) {
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}
uint64_t BytesEqual(uint64_t word, uint8_t value) {
    return ZeroBytes(word ^ (value * kOnes));
}

bool HasStopByte8(const uint8_t* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    // Bytes whose bits 5 and 6 are clear: the control bytes 0x00..0x1F (and 0x80..0x9F, stopped anyway).
    const uint64_t control = ZeroBytes(word & (0x60 * kOnes));
    const uint64_t allowed =
        BytesEqual(word, 0x09) | BytesEqual(word, 0x0A) | BytesEqual(word, 0x0B) | BytesEqual(word, 0x0D);
    return ((word & kHigh) | (control & ~allowed) | BytesEqual(word, 0x7F)) != 0;
}

uint64_t TextStops8(const uint8_t* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    // Bytes whose three top bits are clear: the control bytes 0x00..0x1F only.
    const uint64_t control = ZeroBytes(word & (0xE0 * kOnes));
    const uint64_t allowed = BytesEqual(word, 0x09) | BytesEqual(word, 0x0A) | BytesEqual(word, 0x0B) |
                             BytesEqual(word, 0x0D) | BytesEqual(word, 0x1B);
    return (control & ~allowed) | BytesEqual(word, 0x7F);
}

bool HasTextStop8(const uint8_t* bytes) {
    return TextStops8(bytes) != 0;
}

bool AllTextStops8(const uint8_t* bytes) {
    return TextStops8(bytes) == kHigh;
}

// Whole blocks while none holds a stop byte (first `kWideStep` bytes at a time, then `kStep`), then the table
// finds the byte that stopped the run.
template <ptrdiff_t kStep, bool (*HasStopByte)(const uint8_t*), const std::array<bool, 256>& kAllowed = kPrintable,
          ptrdiff_t kWideStep = kStep, bool (*HasStopByteWide)(const uint8_t*) = HasStopByte>
size_t PrefixBy(std::span<const uint8_t> bytes) {
    const uint8_t* first = bytes.data();
    const uint8_t* last = first + bytes.size();
    const uint8_t* p = first;
    while (last - p >= kWideStep && !HasStopByteWide(p))
        p += kWideStep;
    while (last - p >= kStep && !HasStopByte(p))
        p += kStep;
    while (p != last && kAllowed[*p])
        ++p;
    return p - first;
}

} // namespace

bool IsPrintableRunByte(uint8_t byte) {
    return kPrintable[byte];
}

size_t PrintablePrefixBy16(std::span<const uint8_t> bytes) {
    return PrefixBy<16, HasStopByte16, kPrintable, 64, HasStopByte64>(bytes);
}

size_t PrintablePrefixBy8(std::span<const uint8_t> bytes) {
    return PrefixBy<8, HasStopByte8>(bytes);
}

// Every 64-bit target has a vector unit; the 32-bit ones this program is built for may not.
size_t PrintablePrefix(std::span<const uint8_t> bytes) {
    return sizeof(void*) >= 8 ? PrintablePrefixBy16(bytes) : PrintablePrefixBy8(bytes);
}

bool IsTextRunByte(uint8_t byte) {
    return kText[byte];
}

size_t TextPrefixBy16(std::span<const uint8_t> bytes) {
    return PrefixBy<16, HasTextStop16, kText, 64, HasTextStop64>(bytes);
}

size_t TextPrefixBy8(std::span<const uint8_t> bytes) {
    return PrefixBy<8, HasTextStop8, kText>(bytes);
}

size_t TextPrefix(std::span<const uint8_t> bytes) {
    return sizeof(void*) >= 8 ? TextPrefixBy16(bytes) : TextPrefixBy8(bytes);
}

size_t TextStopPrefix(std::span<const uint8_t> bytes) {
    const uint8_t* first = bytes.data();
    const uint8_t* last = first + bytes.size();
    const uint8_t* p = first;
    if (sizeof(void*) >= 8)
        while (last - p >= 16 && AllTextStops16(p))
            p += 16;
    else
        while (last - p >= 8 && AllTextStops8(p))
            p += 8;
    while (p != last && !kText[*p])
        ++p;
    return p - first;
}

// A run of `minLength` bytes covers at least minLength / 16 - 1 whole aligned blocks of sixteen, none of which holds
// a stop byte; where no such stretch of clean blocks exists, no such run does. Only every `needed`-th block is looked
// at first (a stretch of `needed` clean blocks holds one of them), and the stretch is measured around a clean one.
bool MayHoldLongTextRun(std::span<const uint8_t> bytes, size_t limit, size_t minLength) {
    const size_t needed = minLength / 16 > 1 ? minLength / 16 - 1 : 1;
    const size_t end = std::min(bytes.size(), limit + minLength);
    if (end < 16 * (needed + 1))
        return true;
    const uint8_t* first = bytes.data();
    const size_t blocks = end / 16;
    auto clean = [&](size_t block) {
        const uint8_t* at = first + 16 * block;
        return sizeof(void*) >= 8 ? !HasTextStop16(at) : !HasTextStop8(at) && !HasTextStop8(at + 8);
    };
    for (size_t sample = needed - 1; sample < blocks; sample += needed) {
        if (!clean(sample))
            continue;
        size_t from = sample;
        while (from > 0 && sample - from + 1 < needed && clean(from - 1))
            --from;
        size_t to = sample + 1;
        while (to < blocks && to - from < needed && clean(to))
            ++to;
        if (to - from >= needed)
            return true;
    }
    // A short run that reaches the end of what is there may go on beyond it.
    return end == bytes.size() && end % 16 != 0;
}
