// Walks one volume on several threads at once, range by range, and hands on the messages found exactly as
// TScanHardDisk::Scan would find them: the same messages, in the same order.
#pragma once

#include "engine/Email.h"
#include "engine/MessagePump.h"
#include "engine/ProgressWindow.h"
#include "engine/ScanHardDisk.h"
#include "volume/VolumeSource.h"

#include <cstdint>
#include <functional>
#include <memory>

// What becomes of the messages found in one range of sectors. Add runs on the thread that walks the range,
// Deliver on the thread that called TParallelScan::Scan, range after range in the order of the volume.
class IRangeOutput {
public:
    virtual ~IRangeOutput() = default;
    // Each message found in the range, in the order found. Its fields are views into the walking thread's
    // window, valid until Add returns: what the output keeps, it copies.
    virtual void Add(const TEmailView& email, const TFoundLocation& location) = 0;
    // Hands on, in the order added, the messages whose run began at or after byte `firstRunOffset`; the ones
    // before it came from runs that the single walk never examines (it was inside an earlier run there).
    virtual void Deliver(uint64_t firstRunOffset) = 0;
};

class TParallelScan {
public:
    // Ranges are handed to the threads in turn, a few ahead of the output, so memory stays flat at any volume
    // size. 16 MiB keeps the work of a range (a few milliseconds) well above the cost of starting it.
    static constexpr uint64_t kRangeBytes = 16 << 20;
    // The most messages a range keeps while it waits for delivery. A range with more (a run of millions of tiny
    // messages) is walked again by the delivering thread, which hands each message on as it is found: memory stays
    // flat whatever a range holds. Mail-dense volumes hold a few hundred messages per range.
    static constexpr uint64_t kMaxMessagesKeptPerRange = 16384;

    struct TSettings {
        unsigned Threads = 0;      // threads that walk; 0: one per core
        uint64_t RangeSectors = 0; // sectors per range; 0: kRangeBytes' worth
        uint32_t HalfWindowBytes = TScanHardDisk::kHalfWindowBytes;
        TScanMode Mode = TScanMode::Standard;
        uint64_t MaxKeptPerRange = kMaxMessagesKeptPerRange; // tests set it low to walk ranges again often
    };
    // Opens the volume once more: every thread reads through a source of its own.
    using TSourceOpener = std::function<std::unique_ptr<IVolumeSource>()>;
    // Makes the scanner for one thread over `source` (a scan mode, a window size); the default makes
    // TScanHardDisk(source, pump, progress, HalfWindowBytes, Mode).
    using TScannerMaker = std::function<std::unique_ptr<TScanHardDisk>(std::unique_ptr<IVolumeSource> source,
                                                                       IMessagePump& pump, IProgressFactory& progress)>;
    using TOutputMaker = std::function<std::unique_ptr<IRangeOutput>()>;

    // Opens the volume once, to learn its size; raises TVolumeError as the scanner does.
    TParallelScan(TSourceOpener open, TSettings settings, TScannerMaker makeScanner = {});
    ~TParallelScan();
    TParallelScan(const TParallelScan&) = delete;
    TParallelScan& operator=(const TParallelScan&) = delete;

    // Walks the whole volume; called once. `makeOutput` is called once per range on the thread that walks it
    // (several at once) and once per re-walk on this one. Progress moves as ranges are delivered. An error on
    // any thread stops every thread and is raised here.
    void Scan(const TOutputMaker& makeOutput, IProgressFactory& progress);

    uint64_t SectorCount() const { return SectorCount_; }
    uint32_t GetSectorSize() const { return SectorSize; }
    // Distinct sectors that could not be read, as the single walk counts them.
    uint64_t UnreadableSectors() const;

private:
    struct TShared;
    class TStitcher;

    std::unique_ptr<TScanHardDisk> MakeScanner(IMessagePump& pump, IProgressFactory& progress);

    TSourceOpener Open;
    TScannerMaker MakeScanner_;
    TSettings Settings;
    uint64_t SectorCount_ = 0;
    uint32_t SectorSize = 0;
    std::unique_ptr<TShared> Shared;
};
