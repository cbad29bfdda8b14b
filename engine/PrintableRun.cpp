#include "engine/PrintableRun.h"

#include <array>
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

// Sixteen bytes at once through GCC's portable vector extension: SSE2 on x86-64, NEON on arm64. Compared as
// signed bytes, "below 0x20" also takes 0x80..0xFF; tab, line feed, vertical tab and carriage return are let
// through, DEL is not.
using TByteVector = int8_t __attribute__((vector_size(16)));

bool HasStopByte16(const uint8_t* bytes) {
    TByteVector lanes;
    std::memcpy(&lanes, bytes, sizeof lanes);
    const TByteVector control = lanes < 0x20;
    const TByteVector allowed = ((lanes >= 0x09) & (lanes <= 0x0B)) | (lanes == 0x0D);
    const TByteVector stops = (control & ~allowed) | (lanes == 0x7F);
    uint64_t halves[2];
    std::memcpy(halves, &stops, sizeof halves);
    return (halves[0] | halves[1]) != 0;
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

// Whole blocks while none holds a stop byte, then the table finds the byte that stopped the run.
template <ptrdiff_t kStep, bool (*HasStopByte)(const uint8_t*)> size_t PrefixBy(std::span<const uint8_t> bytes) {
    const uint8_t* first = bytes.data();
    const uint8_t* last = first + bytes.size();
    const uint8_t* p = first;
    while (last - p >= kStep && !HasStopByte(p))
        p += kStep;
    while (p != last && kPrintable[*p])
        ++p;
    return p - first;
}

} // namespace

bool IsPrintableRunByte(uint8_t byte) {
    return kPrintable[byte];
}

size_t PrintablePrefixBy16(std::span<const uint8_t> bytes) {
    return PrefixBy<16, HasStopByte16>(bytes);
}

size_t PrintablePrefixBy8(std::span<const uint8_t> bytes) {
    return PrefixBy<8, HasStopByte8>(bytes);
}

// Every 64-bit target has a vector unit; the 32-bit ones this program is built for may not.
size_t PrintablePrefix(std::span<const uint8_t> bytes) {
    return sizeof(void*) >= 8 ? PrintablePrefixBy16(bytes) : PrintablePrefixBy8(bytes);
}
