// A fuzzer's input read as a few leading fields and then a payload. Fields past the input's end read as zero, so
// every input is valid; the seed script (make-seeds) writes inputs in the same layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class TFuzzInput {
public:
    TFuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return static_cast<uint8_t>(Unsigned(1)); }
    uint16_t Word() { return static_cast<uint16_t>(Unsigned(2)); }
    uint32_t DWord() { return static_cast<uint32_t>(Unsigned(4)); }
    uint64_t QWord() { return Unsigned(8); }

    // Up to `count` bytes, fewer at the input's end.
    std::string_view Take(size_t count) {
        const size_t n = count < Left() ? count : Left();
        const std::string_view bytes(reinterpret_cast<const char*>(data_ + used_), n);
        used_ += n;
        return bytes;
    }
    std::string_view Rest() { return Take(Left()); }
    size_t Left() const { return size_ - used_; }

private:
    // Little-endian, as the seed script writes them.
    uint64_t Unsigned(size_t bytes) {
        uint64_t value = 0;
        for (size_t k = 0; k < bytes && used_ < size_; ++k)
            value |= static_cast<uint64_t>(data_[used_++]) << (8 * k);
        return value;
    }

    const uint8_t* data_;
    size_t size_;
    size_t used_ = 0;
};

// A broken invariant: prints what and where, then aborts so that libFuzzer saves the input.
[[noreturn]] void FuzzFailure(const char* what, const char* file, int line);
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            FuzzFailure(#condition, __FILE__, __LINE__);                                                               \
    } while (0)
