// The volume is cut into ranges of sectors. Each thread walks the ranges it takes from the start of the range, as
// if nothing came before it, and keeps its messages and the jumps it made. The calling thread takes the ranges
// back in order and stitches them: the single walk enters a range where the walk of the range before it went on
// past its end. Where that is a sector which the range's own walk examined too, both walks go the same way from
// there, and the range's messages from that sector on are the single walk's. Otherwise the range's first sectors
// lay inside a run that began earlier, the range's walk started on a path the single walk never takes, and the
// calling thread walks on from the entry itself until it reaches a sector that the range's walk examined (in
// practice at once: both walks end in the same run's end) or the range's end.
#include "engine/ParallelScan.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

// The sectors that could not be read, from the reads of every thread. A sector read by two threads (a window
// reaching into the next range) counts once, as the single walk counts it.
class TUnreadableLedger {
public:
    void Add(uint64_t sector) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!stretches_.empty() && stretches_.back().first <= sector && sector < stretches_.back().second)
            return; // told again
        if (!stretches_.empty() && stretches_.back().second == sector)
            ++stretches_.back().second;
        else
            stretches_.emplace_back(sector, sector + 1);
    }

    uint64_t Count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::pair<uint64_t, uint64_t>> sorted = stretches_;
        std::sort(sorted.begin(), sorted.end());
        uint64_t count = 0;
        uint64_t covered = 0; // every sector below this is counted
        for (const auto& [first, end] : sorted) {
            const uint64_t from = std::max(first, covered);
            if (end > from)
                count += end - from;
            covered = std::max(covered, end);
        }
        return count;
    }

private:
    mutable std::mutex mutex_;
    // Stretches [first, end) in the order met; bad sectors come in runs, so a dying disk costs few entries.
    std::vector<std::pair<uint64_t, uint64_t>> stretches_;
};

// A thread's source, noting in the ledger every sector that could not be read: through the map, or in a read of
// that sector on its own (the sector window reads a failed stretch again in pieces down to single sectors and
// serves a single sector that still fails as zeros). Everything else goes straight to the source.
class TLedgerSource final : public IVolumeSource {
public:
    TLedgerSource(std::unique_ptr<IVolumeSource> inner, TUnreadableLedger& ledger)
        : inner_(std::move(inner)), ledger_(ledger) {}

    const std::string& Name() const override { return inner_->Name(); }
    uint32_t SectorSize() const override { return inner_->SectorSize(); }
    uint64_t LengthBytes() const override { return inner_->LengthBytes(); }
    bool ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) override {
        const bool complete = inner_->ReadSectors(firstSector, count, buffer);
        if (!complete && count == 1)
            ledger_.Add(firstSector);
        return complete;
    }
    const uint8_t* MappedBytes() override { return inner_->MappedBytes(); }
    void TakeUnreadableSectors(std::vector<uint64_t>& sectors) override {
        const size_t known = sectors.size();
        inner_->TakeUnreadableSectors(sectors);
        for (size_t k = known; k < sectors.size(); ++k)
            ledger_.Add(sectors[k]);
    }
    void ReadingAt(uint64_t offset, uint64_t length) override { inner_->ReadingAt(offset, length); }

private:
    std::unique_ptr<IVolumeSource> inner_;
    TUnreadableLedger& ledger_;
};

// One range as its thread walked it.
struct TRangeResult {
    uint64_t First = 0;
    uint64_t End = 0;
    TRangeWalk Walk;
    std::unique_ptr<IRangeOutput> Output;
    // The range held more messages than a thread may keep waiting for delivery (a run of millions of tiny
    // messages): its thread let them go, and the delivering thread walks the range again, streaming.
    bool Overflowed = false;

    // The range's walk examined `sector` (First <= sector < End): no jump passed over it.
    bool Examined(uint64_t sector) const {
        auto after = std::lower_bound(Walk.Skips.begin(), Walk.Skips.end(), sector,
                                      [](const TSectorSkip& skip, uint64_t s) { return skip.From < s; });
        return after == Walk.Skips.begin() || std::prev(after)->To <= sector;
    }
};

} // namespace

struct TParallelScan::TShared {
    std::mutex Mutex;
    std::condition_variable Changed;
    uint64_t RangeCount = 0;
    uint64_t NextRange = 0; // the next range a thread takes
    uint64_t Delivered = 0; // ranges handed on by the calling thread
    // Range r waits in slot r % size until delivered; a thread takes range r only when its slot is free.
    std::vector<std::unique_ptr<TRangeResult>> Slots;
    bool Stop = false;
    std::exception_ptr Error;
    TUnreadableLedger Ledger;
};

TParallelScan::TParallelScan(TSourceOpener open, TSettings settings, TScannerMaker makeScanner)
    : Open(std::move(open)), MakeScanner_(std::move(makeScanner)), Settings(settings),
      Shared(std::make_unique<TShared>()) {
    if (!MakeScanner_) {
        const uint32_t halfWindowBytes = Settings.HalfWindowBytes;
        const TScanMode mode = Settings.Mode;
        MakeScanner_ = [halfWindowBytes, mode](std::unique_ptr<IVolumeSource> source, IMessagePump& pump,
                                               IProgressFactory& progress) {
            return std::make_unique<TScanHardDisk>(std::move(source), pump, progress, halfWindowBytes, mode);
        };
    }
    // The scanner checks the volume as the single walk would (and raises the same errors); its size is the walk's.
    TNullMessagePump pump;
    TNoProgress none;
    const std::unique_ptr<TScanHardDisk> probe = MakeScanner_(Open(), pump, none);
    SectorCount_ = probe->SectorCount();
    SectorSize = probe->GetSectorSize();
    if (Settings.Threads == 0)
        Settings.Threads = std::max(1u, std::thread::hardware_concurrency());
    if (Settings.RangeSectors == 0)
        Settings.RangeSectors = std::max<uint64_t>(1, kRangeBytes / SectorSize);
}

TParallelScan::~TParallelScan() = default;

uint64_t TParallelScan::UnreadableSectors() const {
    return Shared->Ledger.Count();
}

std::unique_ptr<TScanHardDisk> TParallelScan::MakeScanner(IMessagePump& pump, IProgressFactory& progress) {
    return MakeScanner_(std::make_unique<TLedgerSource>(Open(), Shared->Ledger), pump, progress);
}

// Takes the ranges back in order and hands on what the single walk would have found.
class TParallelScan::TStitcher {
public:
    TStitcher(TParallelScan& scan, const TOutputMaker& makeOutput) : scan_(scan), makeOutput_(makeOutput) {}

    // Hands on the range's messages that the single walk finds; `entry` is the sector at which the single walk
    // comes into the range or past it. Returns where the single walk goes on after the range.
    uint64_t Deliver(TRangeResult& range, uint64_t entry) {
        if (entry >= range.End)
            return entry; // a run that began in an earlier range covers this one whole
        if (range.Overflowed)
            return WalkStreaming(range, entry);
        if (entry == range.First || range.Examined(entry)) {
            range.Output->Deliver(entry * scan_.SectorSize);
            return range.Walk.Exit;
        }
        const uint64_t met = WalkUntilMet(range, entry);
        if (met >= range.End)
            return met;
        range.Output->Deliver(met * scan_.SectorSize);
        return range.Walk.Exit;
    }

    // Hands the failures of the last window read through a map to the ledger.
    void Finish() {
        if (walker_)
            walker_->UnreadableSectors();
    }

private:
    // Walks the range from `entry` as the single walk does, handing on each message as it is found, so that memory
    // stays flat however many messages the range holds. Returns where the walk goes on after the range.
    uint64_t WalkStreaming(const TRangeResult& range, uint64_t entry) {
        if (!walker_)
            walker_ = scan_.MakeScanner(pump_, none_);
        // An output delivers once, so each message gets one of its own.
        walker_->SetMessageConsumer([this](const TEmailView& email, const TFoundLocation& location) {
            std::unique_ptr<IRangeOutput> output = makeOutput_();
            output->Add(email, location);
            output->Deliver(0);
        });
        return walker_->WalkRange(entry, range.End).Exit;
    }

    // Walks on from `entry` one examination at a time, handing on what it finds, until a sector that the range's
    // walk examined or the range's end.
    uint64_t WalkUntilMet(const TRangeResult& range, uint64_t entry) {
        if (!walker_)
            walker_ = scan_.MakeScanner(pump_, none_);
        std::unique_ptr<IRangeOutput> output = makeOutput_();
        walker_->SetMessageConsumer(
            [&output](const TEmailView& email, const TFoundLocation& location) { output->Add(email, location); });
        uint64_t sector = entry;
        while (sector < range.End && !range.Examined(sector))
            sector = walker_->WalkRange(sector, sector + 1).Exit;
        output->Deliver(0);
        return sector;
    }

    TParallelScan& scan_;
    const TOutputMaker& makeOutput_;
    TNullMessagePump pump_;
    TNoProgress none_;
    std::unique_ptr<TScanHardDisk> walker_;
};

void TParallelScan::Scan(const TOutputMaker& makeOutput, IProgressFactory& progress) {
    TShared& shared = *Shared;
    const uint64_t sectors = SectorCount_ > 1 ? SectorCount_ - 1 : 0; // sector 0 is never examined
    shared.RangeCount = (sectors + Settings.RangeSectors - 1) / Settings.RangeSectors;
    const unsigned threads = static_cast<unsigned>(std::min<uint64_t>(Settings.Threads, shared.RangeCount));
    shared.Slots.resize(std::max(1u, 2 * threads));
    auto rangeFirst = [this](uint64_t range) { return 1 + range * Settings.RangeSectors; };

    auto walkRanges = [&] {
        try {
            TNullMessagePump pump;
            TNoProgress none;
            std::unique_ptr<TScanHardDisk> scanner = MakeScanner(pump, none);
            // The next range to walk, once its slot is free; false when there is none left or the scan stops.
            auto takeRange = [&shared](uint64_t& index) {
                std::unique_lock<std::mutex> lock(shared.Mutex);
                shared.Changed.wait(lock, [&] {
                    return shared.Stop || shared.NextRange >= shared.RangeCount ||
                           shared.NextRange < shared.Delivered + shared.Slots.size();
                });
                if (shared.Stop || shared.NextRange >= shared.RangeCount)
                    return false;
                index = shared.NextRange++;
                return true;
            };
            uint64_t index = 0;
            while (takeRange(index)) {
                auto range = std::make_unique<TRangeResult>();
                range->First = rangeFirst(index);
                range->End = std::min(SectorCount_, range->First + Settings.RangeSectors);
                range->Output = makeOutput();
                TRangeResult& result = *range;
                uint64_t kept = 0;
                const uint64_t keepAtMost = Settings.MaxKeptPerRange;
                scanner->SetMessageConsumer(
                    [&result, &kept, keepAtMost](const TEmailView& email, const TFoundLocation& location) {
                        if (++kept > keepAtMost) {
                            if (!result.Overflowed)
                                result.Output = nullptr; // let go of what was kept: the range is walked again
                            result.Overflowed = true;
                            return;
                        }
                        result.Output->Add(email, location);
                    });
                range->Walk = scanner->WalkRange(range->First, range->End);
                {
                    std::lock_guard<std::mutex> lock(shared.Mutex);
                    shared.Slots[index % shared.Slots.size()] = std::move(range);
                }
                shared.Changed.notify_all();
            }
            scanner->UnreadableSectors(); // hands the failures of the last window read through a map to the ledger
        } catch (...) {
            {
                std::lock_guard<std::mutex> lock(shared.Mutex);
                if (!shared.Error)
                    shared.Error = std::current_exception();
                shared.Stop = true;
            }
            shared.Changed.notify_all();
        }
    };

    // However this function ends, the threads are told to stop and are joined before their state goes.
    struct TJoiner {
        TShared& shared;
        std::vector<std::thread> threads;
        void Stop() {
            {
                std::lock_guard<std::mutex> lock(shared.Mutex);
                shared.Stop = true;
            }
            shared.Changed.notify_all();
            for (std::thread& thread : threads)
                thread.join();
            threads.clear();
        }
        ~TJoiner() { Stop(); }
    } joiner{shared, {}};
    std::unique_ptr<IProgressWindow> progressWindow = progress.Create(SectorCount_);
    for (unsigned t = 0; t < threads; ++t)
        joiner.threads.emplace_back(walkRanges);

    TStitcher stitcher(*this, makeOutput);
    uint64_t entry = 1;
    for (uint64_t index = 0; index < shared.RangeCount; ++index) {
        std::unique_ptr<TRangeResult> range;
        {
            std::unique_lock<std::mutex> lock(shared.Mutex);
            auto& slot = shared.Slots[index % shared.Slots.size()];
            shared.Changed.wait(lock, [&] { return slot || shared.Error; });
            if (shared.Error)
                std::rethrow_exception(shared.Error);
            range = std::move(slot);
        }
        entry = stitcher.Deliver(*range, entry);
        progressWindow->SetProgress(range->End);
        range.reset();
        {
            std::lock_guard<std::mutex> lock(shared.Mutex);
            shared.Delivered = index + 1;
        }
        shared.Changed.notify_all();
    }
    stitcher.Finish();
    // A thread that failed after the last range it could take still fails the scan: its volume went wrong.
    joiner.Stop();
    if (shared.Error)
        std::rethrow_exception(shared.Error);
}
