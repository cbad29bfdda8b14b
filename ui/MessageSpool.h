// The file that holds the text of every message found by a scan, so that the program's memory holds only
// what its list shows: a million messages of 10 KiB each are 10 GB of text, more than a 32-bit program can map.
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// Raised when the spool file cannot be made, written or read; the text names the file and the cause.
class TSpoolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TMessageSpool {
public:
    static constexpr uint64_t kNoLimit = UINT64_MAX;

    // Makes a new, empty spool file in `folder` (the user's temporary folder when empty), at most `sizeLimit`
    // bytes long. The file is the program's alone and is deleted when the spool is destroyed, and by the
    // system if the program ends without that. Raises TSpoolError.
    explicit TMessageSpool(const std::string& folder = {}, uint64_t sizeLimit = kNoLimit);
    ~TMessageSpool();
    TMessageSpool(const TMessageSpool&) = delete;
    TMessageSpool& operator=(const TMessageSpool&) = delete;

    // Adds `text` at the end and returns its offset. Raises TSpoolError when the file cannot take it (the disk
    // is full, the limit is reached); what was stored before stays readable.
    uint64_t Append(std::string_view text);
    // Writes out what Append still buffers. Raises TSpoolError.
    void Flush();
    // Bytes that are in the file for certain: a message whose text ends at or before this was stored.
    uint64_t StoredBytes() const { return Stored; }
    // `size` bytes from `offset`. Raises TSpoolError when they cannot be read.
    std::string Read(uint64_t offset, size_t size);
    // Reads into `buffer`, which must hold `size` bytes.
    void ReadInto(uint64_t offset, size_t size, char* buffer);

    const std::string& Path() const { return Path_; }

    // The user's temporary folder.
    static std::string TemporaryFolder();
    // Deletes the spool files in `folder` (the temporary folder when empty) that a program which ended without
    // cleaning up left behind; a spool file that a running program holds open cannot be deleted and stays.
    static void RemoveLeftovers(const std::string& folder = {});

private:
    [[noreturn]] void Fail(const std::string& what, DWORD error) const;
    void WriteOut(std::string_view bytes);

    static constexpr size_t kBufferBytes = 1 << 20; // writes of a megabyte: few system calls, little memory

    std::string Path_;
    HANDLE File = INVALID_HANDLE_VALUE;
    uint64_t Limit;
    uint64_t Stored = 0; // bytes in the file
    std::string Buffer;  // appended, not yet written
};
