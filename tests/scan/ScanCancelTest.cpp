// Stopping a walk on the user's request: where it stops, what it keeps, and what it tells the progress window.
#include "tests/scan/ScanFixtures.h"

#include <gtest/gtest.h>

using namespace scantest;

namespace {

constexpr uint32_t kSector = 512;

// A progress window that asks to cancel once a condition holds: after so many progress updates, once so many
// messages are found, or when the pump (a stand-in for the user's click) sets `clicked`.
class TCancellingProgress final : public IProgressFactory {
public:
    uint64_t cancelAfterUpdates = UINT64_MAX;
    uint64_t cancelAfterFound = UINT64_MAX;
    bool clicked = false;
    std::vector<uint64_t> positions;
    std::vector<uint64_t> foundCounts;

    std::unique_ptr<IProgressWindow> Create(uint64_t) override { return std::make_unique<Window>(*this); }

private:
    struct Window final : IProgressWindow {
        explicit Window(TCancellingProgress& owner) : owner_(owner) {}
        void SetProgress(uint64_t position) override { owner_.positions.push_back(position); }
        void SetMessagesFound(uint64_t count) override { owner_.foundCounts.push_back(count); }
        bool CancelRequested() const override {
            return owner_.clicked || owner_.positions.size() >= owner_.cancelAfterUpdates ||
                   (!owner_.foundCounts.empty() && owner_.foundCounts.back() >= owner_.cancelAfterFound);
        }
        TCancellingProgress& owner_;
    };
};

// Sets `clicked` once the scan has passed `clickAfterPoints` pump points, as a click handled by the pump would.
class TClickingPump final : public IMessagePump {
public:
    TClickingPump(bool& clicked, uint64_t clickAfterPoints)
        : IMessagePump(1), clicked_(clicked), after_(clickAfterPoints) {}

protected:
    void Pass() override {
        if (Points() >= after_)
            clicked_ = true;
    }

private:
    bool& clicked_;
    uint64_t after_;
};

// A large sparse volume: one short message every 1000 sectors.
Bytes SparseImageWithMessages(uint64_t sectors, uint64_t every) {
    Bytes image(sectors * kSector, 0);
    for (uint64_t sector = 10, k = 0; sector + 4 < sectors; sector += every, ++k)
        Put(image, sector * kSector,
            MakeMessage("a@example.org", "b@example.org", "Number " + std::to_string(k), "Body."));
    return image;
}

struct TCancelledScan {
    TEmailArray found;
    std::vector<TFoundLocation> locations;
    bool cancelled = false;
    uint64_t reached = 0;
    uint64_t sectorCount = 0;
};

TCancelledScan Scan(const Bytes& image, TCancellingProgress& progress, IMessagePump& pump) {
    TScanHardDisk scanner(std::make_unique<TTestVolume>(image, kSector), pump, progress);
    TCancelledScan outcome;
    outcome.found = scanner.Scan();
    outcome.locations = scanner.Locations();
    outcome.cancelled = scanner.Cancelled();
    outcome.reached = scanner.SectorReached();
    outcome.sectorCount = scanner.SectorCount();
    return outcome;
}

} // namespace

// Whenever the request comes, the walk keeps exactly the messages of the full walk whose runs lie before the
// sector it reached, and reports that sector.
TEST(ScanCancel, TheWalkStopsAtTheNextCheckAndKeepsEveryMessageFoundBefore) {
    const Bytes image = SparseImageWithMessages(40000, 1000);
    TCountingPump pump;
    TCancellingProgress never;
    const TCancelledScan whole = Scan(image, never, pump);
    ASSERT_EQ(whole.found.size(), 40u);
    EXPECT_FALSE(whole.cancelled);
    EXPECT_EQ(whole.reached, whole.sectorCount);
    EXPECT_EQ(never.foundCounts.back(), 40u) << "the window is told every find";

    struct TCase {
        const char* name;
        uint64_t afterUpdates;
        uint64_t afterFound;
        uint64_t expectedReached;
    };
    const TCase cases[] = {
        {"at the first progress point", 1, UINT64_MAX, 2001},
        {"at the fifth progress point", 5, UINT64_MAX, 1 + 5 * 2000},
        {"right after the run that made the seventh find", UINT64_MAX, 7, 6 * 1000 + 10 + 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TCancellingProgress progress;
        progress.cancelAfterUpdates = c.afterUpdates;
        progress.cancelAfterFound = c.afterFound;
        const TCancelledScan part = Scan(image, progress, pump);
        EXPECT_TRUE(part.cancelled);
        EXPECT_EQ(part.reached, c.expectedReached);
        size_t kept = 0;
        while (kept < whole.found.size() && whole.locations[kept].RunOffset < part.reached * kSector)
            ++kept;
        ASSERT_EQ(part.found.size(), kept);
        for (size_t k = 0; k < kept; ++k)
            EXPECT_TRUE(SameEmail(part.found[k], whole.found[k])) << "message " << k;
    }
}

// A click that arrives while a long run is being measured stops the walk within the run; the run is not cut into
// messages, since its last one would be cut short.
TEST(ScanCancel, ARequestDuringALongRunStopsInsideItAndKeepsNoPartOfIt) {
    Bytes image(24 * 1024 * 1024 / kSector * kSector, 0);
    const std::string early = MakeMessage("a@example.org", "b@example.org", "Early", "Kept.");
    Put(image, 2 * kSector, early);
    const uint64_t runSector = 100;
    std::string longRun = MakeMessage("c@example.org", "d@example.org", "Long", "x");
    longRun.resize(16 * 1024 * 1024, 'x');
    Put(image, runSector * kSector, longRun);

    TCancellingProgress progress;
    TClickingPump pump(progress.clicked, 1024 * 1024); // about a megabyte into the long run
    const TCancelledScan part = Scan(image, progress, pump);
    EXPECT_TRUE(part.cancelled);
    EXPECT_EQ(part.reached, runSector);
    ASSERT_EQ(part.found.size(), 1u);
    EXPECT_EQ(part.found[0].FullText, early);
}
