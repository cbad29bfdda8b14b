// Walks one volume sector by sector and returns every mail message found on it.
#pragma once

#include "engine/Email.h"
#include "engine/DeepParser.h"
#include "engine/EmailParser.h"
#include "engine/MessagePump.h"
#include "engine/ProgressWindow.h"
#include "engine/ScanMode.h"
#include "volume/DiskBuffer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Where a message was found: the byte where its first line starts, and where its printable run began.
struct TFoundLocation {
    uint64_t Offset = 0;
    uint64_t RunOffset = 0;
};

// A run that made the walk jump: it examined sector From and went on at To (To > From + 1), skipping the
// sectors between them.
struct TSectorSkip {
    uint64_t From = 0;
    uint64_t To = 0;
};

// What a walk over a range of sectors did: where it went on past the range's end, and every jump it made.
struct TRangeWalk {
    uint64_t Exit = 0;
    std::vector<TSectorSkip> Skips;
};

class TScanHardDisk {
public:
    static constexpr uint32_t kHalfWindowBytes = 0x1400000; // 20 MiB: a window holds 40 MiB
    static constexpr uint32_t kRunCap = 0x1400000;          // the most bytes one printable run may cover
    static constexpr uint32_t kProgressCadence = 2000;      // examinations between two progress updates

    // `root` is a drive root ("C:\"), an image file or a device node. Raises TVolumeError when it cannot be used.
    // `mode` chooses the rules the walk finds mail by; the standard ones unless asked.
    TScanHardDisk(const std::string& root, IMessagePump& pump, IProgressFactory& progress,
                  uint32_t imageSectorSize = 512, uint32_t halfWindowBytes = kHalfWindowBytes,
                  TScanMode mode = TScanMode::Standard);
    TScanHardDisk(std::unique_ptr<IVolumeSource> source, IMessagePump& pump, IProgressFactory& progress,
                  uint32_t halfWindowBytes = kHalfWindowBytes, TScanMode mode = TScanMode::Standard);

    // Every message on the volume, in the order found. Called once. When the progress window asks to cancel, the
    // walk stops at its next check and returns the messages found up to there (Cancelled() then says so).
    TEmailArray Scan();
    // The walk of Scan over the sectors from `firstSector` (examined whatever came before it) up to `endSector`,
    // without a progress window; a run that begins before `endSector` is read whole, wherever it ends. Messages
    // go where Scan's would. Called as often as wanted, so that the sectors of one volume can be walked in ranges.
    TRangeWalk WalkRange(uint64_t firstSector, uint64_t endSector);
    // Bytes consumed at `offset` (a multiple of the sector size); 0 when no message starts there.
    uint32_t ExamineAt(uint64_t offset);
    // Bytes of a run from `offset` on (printable ones, or in the deep scan any but control bytes), at most kRunCap.
    uint32_t TextRunLength(uint64_t offset);

    // Hands each message to `consumer` as it is found instead of keeping it, so that memory stays flat however
    // many messages the volume holds (ostrevan-scan streams its output this way). The message's fields are views
    // into the sector window, valid until the consumer returns; a consumer that takes a TEmail gets a copy. Scan
    // then returns an empty array and Locations() stays empty; the pump and progress points are the same. Set
    // before Scan.
    using TMessageConsumer = std::function<void(const TEmailView& email, const TFoundLocation& location)>;
    void SetMessageConsumer(TMessageConsumer consumer) { Consumer = std::move(consumer); }

    // One entry per message of the result, in the same order.
    const std::vector<TFoundLocation>& Locations() const { return Locations_; }
    uint64_t UnreadableSectors() const { return DiskBuffer->UnreadableSectors(); }
    uint64_t SectorCount() const { return DiskBuffer->SectorCount(); }
    uint32_t GetSectorSize() const { return SectorSize; }
    bool Cancelled() const { return Cancelled_; }
    // The sector the walk was about to examine when it stopped: SectorCount() after a whole walk.
    uint64_t SectorReached() const { return SectorReached_; }
    TScanMode Mode() const { return Mode_; }

private:
    // ExamineAt by the rules of each mode.
    uint32_t ExamineStandard(uint64_t offset);
    uint32_t ExamineDeep(uint64_t offset);
    // Keeps the message, or hands it to the consumer.
    void Deliver(const TEmailView& email, const TFoundLocation& location);
    // The sector loop: from `first` while below `end`; returns the sector at which the walk would go on.
    uint64_t Walk(uint64_t first, uint64_t end, IProgressWindow* progressWindow, std::vector<TSectorSkip>* skips);

    uint32_t SectorSize;
    TEmailArray Found;
    std::unique_ptr<TDiskBuffer> DiskBuffer;
    TEmailParser Parser;
    TDeepParser DeepParser;
    std::vector<TFoundLocation> Locations_;
    IMessagePump& Pump;
    IProgressFactory& Progress;
    TMessageConsumer Consumer;
    IProgressWindow* Shown = nullptr; // during Scan
    uint64_t MessagesFound = 0;
    bool Cancelled_ = false;
    uint64_t SectorReached_ = 0;
    bool CancelRequested();
    TScanMode Mode_;
    std::vector<uint8_t> RunCopy; // a run longer than the window serves in one view, copied (memory kept for reuse)
};
