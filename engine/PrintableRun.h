// The printable bytes that a run of message text may hold, and the measure of such a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/ScanMode.h"

// Tab, line feed, vertical tab, carriage return and 0x20..0x7E; every other byte ends a run.
bool IsPrintableRunByte(uint8_t byte);

// The number of printable bytes at the start of `bytes`, measured in the way that is fastest on this target.
size_t PrintablePrefix(std::span<const uint8_t> bytes);

// The two ways, sixteen and eight bytes at a time; exposed so that tests check both on every target.
size_t PrintablePrefixBy16(std::span<const uint8_t> bytes);
size_t PrintablePrefixBy8(std::span<const uint8_t> bytes);

// Deep scan: every byte but NUL and the other control bytes (tab, line feed, vertical tab, carriage return, ESC for
// ISO-2022 text, 0x20..0x7E and 0x80..0xFF for 8-bit charsets); form feed, DEL and the rest end a run.
bool IsTextRunByte(uint8_t byte);
size_t TextPrefix(std::span<const uint8_t> bytes);
size_t TextPrefixBy16(std::span<const uint8_t> bytes);
size_t TextPrefixBy8(std::span<const uint8_t> bytes);
// The number of bytes at the start of `bytes` that no deep run may hold (NUL stretches are skipped quickly).
size_t TextStopPrefix(std::span<const uint8_t> bytes);

// False when no run of `minLength` text bytes or more can begin in the first `limit` bytes of `bytes` (which
// reach `minLength` bytes further where they can): a quick test, sixteen bytes at a time, that lets the deep walk
// pass random data without measuring its many short runs one by one. True means "maybe".
bool MayHoldLongTextRun(std::span<const uint8_t> bytes, size_t limit, size_t minLength);

// Where a run ends, by the rules of each mode.
inline size_t RunPrefix(TScanMode mode, std::span<const uint8_t> bytes) {
    return mode == TScanMode::Standard ? PrintablePrefix(bytes) : TextPrefix(bytes);
}
