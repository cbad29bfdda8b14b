// What the scan tests share: a volume in memory that can fail sectors, a progress factory that records what the
// scan did with it (the pump is the engine tests' counting pump), a message builder, and the scan written out step
// by step as a reference.
#pragma once

#include "engine/Email.h"
#include "engine/EmailParser.h"
#include "engine/MessagePump.h"
#include "engine/ProgressWindow.h"
#include "engine/ScanHardDisk.h"
#include "tests/engine/CountingPump.h"
#include "volume/MemoryVolumeSource.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace scantest {

using Bytes = std::vector<uint8_t>;

// A volume of `sectors` sectors of 512 bytes, every byte `fill`.
inline Bytes Blank(uint64_t sectors, uint8_t fill = 0) {
    return Bytes(sectors * 512, fill);
}

// The in-memory volume with the harsher fault model: sectors listed as unreadable fail every read that touches
// them, and the read then leaves garbage in their place, as a failing device may.
class TTestVolume final : public TMemoryVolumeSource {
public:
    TTestVolume(Bytes bytes, uint32_t sectorSize, std::set<uint64_t> unreadable = {})
        : TMemoryVolumeSource(std::move(bytes), sectorSize, "memory volume", std::move(unreadable),
                              TFaultModel::Garbage) {}
    // Shares the bytes with other sources over the same volume (one per thread of a threaded walk).
    TTestVolume(std::shared_ptr<const Bytes> bytes, uint32_t sectorSize, std::set<uint64_t> unreadable = {})
        : TMemoryVolumeSource(std::move(bytes), sectorSize, "memory volume", std::move(unreadable),
                              TFaultModel::Garbage) {}
};

// Records the one progress window of a scan: its maximum, every position set, and whether it was destroyed.
class TRecordingProgress final : public IProgressFactory {
public:
    int created = 0;
    int destroyed = 0;
    uint64_t maximum = 0;
    std::vector<uint64_t> positions;

    std::unique_ptr<IProgressWindow> Create(uint64_t max) override {
        ++created;
        maximum = max;
        return std::make_unique<Window>(*this);
    }

private:
    struct Window final : IProgressWindow {
        explicit Window(TRecordingProgress& owner) : owner_(owner) {}
        ~Window() override { ++owner_.destroyed; }
        void SetProgress(uint64_t position) override { owner_.positions.push_back(position); }
        TRecordingProgress& owner_;
    };
};

// A message with CR LF line ends; `extraHeaders` go between Received and Subject lines, `body` lines are joined
// with CR LF and each ended by it.
inline std::string MakeMessage(const std::string& from, const std::string& to, const std::string& subject,
                               const std::string& body, const std::string& date = "Tue, 1 Dec 2026 10:00:00 +0000") {
    return "From: " + from + "\r\nTo: " + to + "\r\nSubject: " + subject + "\r\nDate: " + date +
           "\r\nMIME-Version: 1.0\r\n\r\n" + body + "\r\n";
}

inline void Put(Bytes& image, uint64_t offset, const std::string& text) {
    if (offset + text.size() > image.size())
        throw std::logic_error("fixture does not fit in the image");
    std::memcpy(image.data() + offset, text.data(), text.size());
}

// What a scan gives and what it did, for comparing the scan with the reference.
struct TScanOutcome {
    TEmailArray found;
    std::vector<TFoundLocation> locations;
    uint64_t pumpPoints = 0;
    std::vector<uint64_t> progressPositions;
    uint64_t progressMaximum = 0;
};

inline bool SameLocations(const std::vector<TFoundLocation>& a, const std::vector<TFoundLocation>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t k = 0; k < a.size(); ++k)
        if (a[k].Offset != b[k].Offset || a[k].RunOffset != b[k].RunOffset)
            return false;
    return true;
}

inline bool SameEmail(const TEmail& a, const TEmail& b) {
    return a.From == b.From && a.To == b.To && a.Subject == b.Subject && a.Date == b.Date && a.FullText == b.FullText &&
           a.Body == b.Body;
}

inline TScanOutcome RunScan(const Bytes& image, uint32_t sectorSize, uint32_t halfWindowBytes,
                            std::set<uint64_t> unreadable = {}, TScanMode mode = TScanMode::Standard) {
    TCountingPump pump;
    TRecordingProgress progress;
    TScanHardDisk scanner(std::make_unique<TTestVolume>(image, sectorSize, std::move(unreadable)), pump, progress,
                          halfWindowBytes, mode);
    TScanOutcome outcome;
    outcome.found = scanner.Scan();
    outcome.locations = scanner.Locations();
    outcome.pumpPoints = pump.Points();
    outcome.progressPositions = progress.positions;
    outcome.progressMaximum = progress.maximum;
    return outcome;
}

// The drive scan exactly as its steps read: a fresh two-sector sample at every examined sector, one byte at a
// time along a run, every pump point passed one by one. Bytes past the volume's last whole sector and bytes of
// unreadable sectors read as zeros.
class TReferenceScan {
public:
    TReferenceScan(const Bytes& image, uint32_t sectorSize, std::set<uint64_t> unreadable = {})
        : image_(image), sectorSize_(sectorSize), sectorCount_(image.size() / sectorSize),
          unreadable_(std::move(unreadable)) {}

    TScanOutcome Scan() {
        pump_.ProcessMessages();
        outcome_.progressMaximum = sectorCount_;
        uint64_t i = 1;
        uint32_t counter = 0;
        while (i < sectorCount_) {
            if (counter == 2000) {
                outcome_.progressPositions.push_back(i);
                counter = 0;
                pump_.ProcessMessages();
            }
            const uint32_t consumed = ExamineAt(i * sectorSize_);
            const uint64_t skip = consumed / sectorSize_ + (consumed % sectorSize_ > 0 ? 1 : 0);
            i += skip > 0 ? skip : 1;
            ++counter;
        }
        outcome_.pumpPoints = pump_.Points();
        return outcome_;
    }

private:
    uint8_t ByteAt(uint64_t position) const {
        const uint64_t sector = position / sectorSize_;
        if (sector >= sectorCount_ || unreadable_.count(sector))
            return 0;
        return image_[position];
    }

    std::string ReadBytes(uint64_t offset, uint64_t count) const {
        std::string bytes;
        for (uint64_t k = 0; k < count; ++k)
            bytes.push_back(static_cast<char>(ByteAt(offset + k)));
        return bytes;
    }

    static bool Printable(uint8_t b) {
        return b == 0x09 || b == 0x0A || b == 0x0B || b == 0x0D || (b >= 0x20 && b <= 0x7E);
    }

    uint32_t TextRunLength(uint64_t offset) {
        uint64_t position = offset;
        while (position - offset < 0x1400000) {
            if (!Printable(ByteAt(position)))
                break;
            pump_.ProcessMessages();
            ++position;
        }
        return static_cast<uint32_t>(position - offset);
    }

    uint32_t ExamineAt(uint64_t offset) {
        if (!parser_.IsMessageStart(ReadBytes(offset, 2 * sectorSize_), sectorSize_))
            return 0;
        const uint32_t length = TextRunLength(offset);
        const std::string run = ReadBytes(offset, length);
        std::vector<uint64_t> starts;
        TEmailArray messages = parser_.SplitMessages(run, pump_, &starts);
        for (size_t k = 0; k < messages.size(); ++k) {
            pump_.ProcessMessages();
            outcome_.found.push_back(messages[k]);
            outcome_.locations.push_back({offset + starts.at(k), offset});
        }
        return length;
    }

    const Bytes& image_;
    uint32_t sectorSize_;
    uint64_t sectorCount_;
    std::set<uint64_t> unreadable_;
    TEmailParser parser_;
    TCountingPump pump_;
    TScanOutcome outcome_;
};

} // namespace scantest
