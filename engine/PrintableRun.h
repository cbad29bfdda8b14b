// The printable bytes that a run of message text may hold, and the measure of such a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Tab, line feed, vertical tab, carriage return and 0x20..0x7E; every other byte ends a run.
bool IsPrintableRunByte(uint8_t byte);

// The number of printable bytes at the start of `bytes`, measured in the way that is fastest on this target.
size_t PrintablePrefix(std::span<const uint8_t> bytes);

// The two ways, sixteen and eight bytes at a time; exposed so that tests check both on every target.
size_t PrintablePrefixBy16(std::span<const uint8_t> bytes);
size_t PrintablePrefixBy8(std::span<const uint8_t> bytes);
