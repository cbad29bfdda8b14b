// The reader shared by every map of one file: one per file, it asks for the file in order from where the first
// walk began to a fixed lead past the furthest walk, and never past the file's end.
#include "volume/ReadAhead.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace {

constexpr uint64_t MiB = 1 << 20;

// A sparse file: its holes read as zeros and cost no disk.
class TSparseFile {
public:
    explicit TSparseFile(uint64_t length) {
        std::string pattern = (std::filesystem::temp_directory_path() / "ostrevan-readahead-XXXXXX").string();
        fd_ = mkstemp(pattern.data());
        path_ = pattern;
        EXPECT_EQ(ftruncate(fd_, static_cast<off_t>(length)), 0);
    }
    ~TSparseFile() {
        close(fd_);
        unlink(path_.c_str());
    }
    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

// Waits (up to a generous bound, for a loaded machine) until the reader has asked for `expected`, and returns
// how far it got; it must then stay there.
uint64_t RequestedEndOnceSettled(const TReadAhead& reader, uint64_t expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (reader.RequestedEnd() < expected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // room to go too far, were it to
    return reader.RequestedEnd();
}

TEST(ReadAhead, OneReaderPerFileWhicheverDescriptorOpensIt) {
    TSparseFile file(64 * MiB);
    TSparseFile other(64 * MiB);
    const int again = open(file.Path().c_str(), O_RDONLY);
    ASSERT_GE(again, 0);
    const auto reader = TReadAhead::ForFile(file.Fd(), 64 * MiB);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(TReadAhead::ForFile(again, 64 * MiB), reader);
    EXPECT_NE(TReadAhead::ForFile(other.Fd(), 64 * MiB), reader);
    close(again);
}

TEST(ReadAhead, AsksFromTheFirstWalkToALeadPastTheFurthestAndNeverPastTheEnd) {
    const uint64_t length = 2 * TReadAhead::kLeadBytes + 100 * MiB;
    TSparseFile file(length);
    const auto reader = TReadAhead::ForFile(file.Fd(), length);
    ASSERT_NE(reader, nullptr);
    // The first walk begins inside a request: the reader begins at that request's start.
    const uint64_t first = 10 * TReadAhead::kRequestBytes + 5;
    reader->WalkAt(first, first + 4 * MiB);
    EXPECT_EQ(RequestedEndOnceSettled(*reader, first + 4 * MiB + TReadAhead::kLeadBytes),
              first + 4 * MiB + TReadAhead::kLeadBytes);
    // A walk behind the others moves nothing; the furthest walk moves the target.
    reader->WalkAt(0, 4 * MiB);
    const uint64_t furthest = TReadAhead::kLeadBytes + 40 * MiB;
    reader->WalkAt(furthest, furthest + 4 * MiB);
    EXPECT_EQ(RequestedEndOnceSettled(*reader, furthest + 4 * MiB + TReadAhead::kLeadBytes),
              furthest + 4 * MiB + TReadAhead::kLeadBytes);
    // Near the end: up to the end, not past it.
    reader->WalkAt(length - 8 * MiB, length);
    EXPECT_EQ(RequestedEndOnceSettled(*reader, length), length);
}

} // namespace
