// The drive scan end to end over volumes built in memory: what it finds, where the walk goes, and the progress
// and pump points it passes, checked against the scan written out step by step (ScanFixtures.h).
#include "tests/scan/ScanFixtures.h"

#include "volume/VolumeError.h"

#include <gtest/gtest.h>

#include <random>

using namespace scantest;

namespace {

constexpr uint32_t kSector = 512;

void ExpectSameAsReference(const Bytes& image, uint32_t sectorSize, uint32_t halfWindowBytes,
                           const std::set<uint64_t>& unreadable = {}) {
    const TScanOutcome expected = TReferenceScan(image, sectorSize, unreadable).Scan();
    const TScanOutcome actual = RunScan(image, sectorSize, halfWindowBytes, unreadable);
    ASSERT_EQ(actual.found.size(), expected.found.size());
    for (size_t k = 0; k < expected.found.size(); ++k)
        EXPECT_TRUE(SameEmail(actual.found[k], expected.found[k])) << "message " << k;
    EXPECT_TRUE(SameLocations(actual.locations, expected.locations));
    EXPECT_EQ(actual.pumpPoints, expected.pumpPoints);
    EXPECT_EQ(actual.progressPositions, expected.progressPositions);
    EXPECT_EQ(actual.progressMaximum, expected.progressMaximum);
}

} // namespace

TEST(ScanHardDisk, FindsMessagesThatStartAtSectorStartsWithTheirFieldsAndText) {
    Bytes image = Blank(64);
    const std::string first = MakeMessage("Ann <ann@example.org>", "bob@example.org", "Budget", "Numbers attached.");
    const std::string second = MakeMessage("carol@example.org", "dave@example.org", "Lunch", "Noon?\r\n\r\nC.",
                                           "Wed, 2 Dec 2026 12:00:00 +0100");
    // Two back-to-back messages in one run, and a third on its own further on.
    Put(image, 3 * kSector, first + second);
    const std::string third = MakeMessage("eve@example.org", "frank@example.org", "Re: Budget", "Fine.");
    Put(image, 40 * kSector, third);

    TCountingPump pump;
    TNoProgress progress;
    TScanHardDisk scanner(std::make_unique<TTestVolume>(image, kSector), pump, progress);
    const TEmailArray found = scanner.Scan();

    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].From, " Ann <ann@example.org>");
    EXPECT_EQ(found[0].To, " bob@example.org");
    EXPECT_EQ(found[0].Subject, " Budget");
    EXPECT_EQ(found[0].Date, " Tue, 1 Dec 2026 10:00:00 +0000");
    EXPECT_EQ(found[0].FullText, first);
    EXPECT_EQ(found[0].Body, "\r\nNumbers attached.\r\n");
    EXPECT_EQ(found[1].Date, " Wed, 2 Dec 2026 12:00:00 +0100");
    EXPECT_EQ(found[1].FullText, second);
    EXPECT_EQ(found[2].FullText, third);

    const auto& at = scanner.Locations();
    ASSERT_EQ(at.size(), 3u);
    EXPECT_EQ(at[0].Offset, 3 * kSector);
    EXPECT_EQ(at[0].RunOffset, 3 * kSector);
    EXPECT_EQ(at[1].Offset, 3 * kSector + first.size());
    EXPECT_EQ(at[1].RunOffset, 3 * kSector);
    EXPECT_EQ(at[2].Offset, 40 * kSector);
}

TEST(ScanHardDisk, OnlySectorStartsAreTested) {
    const std::string message = MakeMessage("a@example.org", "b@example.org", "Hi", "Text");
    struct Case {
        const char* what;
        uint64_t offset;
        size_t expected;
    };
    const Case cases[] = {
        {"at a sector start", 5 * kSector, 1},
        {"one byte into its sector", 5 * kSector + 1, 0},
        {"in the middle of its sector", 5 * kSector + 200, 0},
        {"in sector 0, never examined", 0, 0},
    };
    for (const Case& c : cases) {
        Bytes image = Blank(16);
        Put(image, c.offset, message);
        EXPECT_EQ(RunScan(image, kSector, TScanHardDisk::kHalfWindowBytes).found.size(), c.expected) << c.what;
    }
}

// A message may begin with any of the ten recognised header lines, in any case.
TEST(ScanHardDisk, FindsMessagesWhateverRecognisedHeaderTheyBeginWith) {
    const char* names[] = {"Return-Path", "REPLY-TO", "envelope-to", "Delivery-Date", "received",
                           "Message-ID",  "from",     "TO",          "sUBJECT",       "Date"};
    Bytes image = Blank(32);
    for (int k = 0; k < 10; ++k)
        Put(image, (2 + 2 * k) * kSector,
            std::string(names[k]) + ": first\r\n" + MakeMessage("a@example.org", "b@example.org", "S", "x"));
    const TScanOutcome outcome = RunScan(image, kSector, TScanHardDisk::kHalfWindowBytes);
    ASSERT_EQ(outcome.found.size(), 10u);
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(outcome.locations[k].Offset, (2 + 2 * k) * kSector) << names[k];
}

TEST(ScanHardDisk, ARunThatBeganEarlierCarriesAShiftedMessage) {
    Bytes image = Blank(16);
    const std::string lead = MakeMessage("a@example.org", "b@example.org", "Lead", "Text");
    const std::string shifted = MakeMessage("c@example.org", "d@example.org", "Shifted", "More");
    Put(image, 2 * kSector, lead + std::string(kSector - lead.size() + 7, 'x') + "\r\n" + shifted);
    const TScanOutcome outcome = RunScan(image, kSector, TScanHardDisk::kHalfWindowBytes);
    ASSERT_EQ(outcome.found.size(), 2u);
    EXPECT_EQ(outcome.found[1].FullText, shifted);
    EXPECT_EQ(outcome.locations[1].RunOffset, 2 * kSector);
    EXPECT_EQ(outcome.locations[1].Offset, 3 * kSector + 9);
}

TEST(ScanHardDisk, ARunEndsAtTheFirstByteThatIsNotPrintable) {
    const std::string message = MakeMessage("a@example.org", "b@example.org", "Cut", "kept");
    const std::string after = "lost\r\nTo: x@example.org\r\n";
    for (uint8_t stop : {0x00, 0x08, 0x0C, 0x0E, 0x1F, 0x7F, 0x80, 0xFF}) {
        Bytes image = Blank(8);
        Put(image, kSector, message);
        image[kSector + message.size()] = stop;
        Put(image, kSector + message.size() + 1, after);
        TCountingPump pump;
        TNoProgress progress;
        TScanHardDisk scanner(std::make_unique<TTestVolume>(image, kSector), pump, progress);
        EXPECT_EQ(scanner.TextRunLength(kSector), message.size()) << int(stop);
        const TEmailArray found = scanner.Scan();
        ASSERT_EQ(found.size(), 1u) << int(stop);
        EXPECT_EQ(found[0].FullText, message) << int(stop);
    }
    // The printable control bytes do not end a run.
    Bytes image = Blank(8);
    const std::string withControls = message + "\t\v\rtail\r\n";
    Put(image, kSector, withControls);
    TCountingPump pump;
    TNoProgress progress;
    TScanHardDisk scanner(std::make_unique<TTestVolume>(image, kSector), pump, progress);
    EXPECT_EQ(scanner.TextRunLength(kSector), withControls.size());
}

// Every byte value at every position within an eight-byte word, so that the run's measuring, however it
// batches bytes, stops exactly at the first byte that a run may not hold.
TEST(ScanHardDisk, TextRunLengthStopsAtEveryNonPrintableByteValueWhereverItStands) {
    const auto printable = [](int b) {
        return b == 0x09 || b == 0x0A || b == 0x0B || b == 0x0D || (b >= 0x20 && b <= 0x7E);
    };
    constexpr int kPositions = 18;
    Bytes image = Blank(1 + 256 * kPositions);
    for (int value = 0; value < 256; ++value)
        for (int position = 0; position < kPositions; ++position) {
            const uint64_t at = (1 + value * kPositions + position) * uint64_t(kSector);
            std::fill_n(image.begin() + at, 100, 'A');
            image[at + position] = static_cast<uint8_t>(value);
        }
    TCountingPump pump;
    TNoProgress progress;
    TScanHardDisk scanner(std::make_unique<TTestVolume>(image, kSector), pump, progress, 64 * 1024);
    for (int value = 0; value < 256; ++value)
        for (int position = 0; position < kPositions; ++position) {
            const uint64_t at = (1 + value * kPositions + position) * uint64_t(kSector);
            ASSERT_EQ(scanner.TextRunLength(at), printable(value) ? 100u : uint32_t(position))
                << "byte " << value << " at " << position;
        }
}

// The walk goes on at the first sector at or after the run's end. Seen from outside through the progress bar:
// the 2001st examination reports the sector it is about to examine.
TEST(ScanHardDisk, TheWalkResumesAtTheFirstSectorAfterTheRun) {
    const std::string head = MakeMessage("a@example.org", "b@example.org", "Run", "");
    struct Case {
        uint32_t runBytes;
        uint64_t firstProgress; // examination 1 is at sector 1, the run; then one sector per examination
    };
    const Case cases[] = {
        {kSector - 1, 2001}, {kSector, 2001}, {kSector + 1, 2002}, {2 * kSector, 2002}, {2 * kSector + 1, 2003}};
    for (const Case& c : cases) {
        Bytes image = Blank(2100);
        Put(image, kSector, head + std::string(c.runBytes - head.size(), 'z'));
        TCountingPump pump;
        TRecordingProgress progress;
        TScanHardDisk scanner(std::make_unique<TTestVolume>(image, kSector), pump, progress);
        EXPECT_EQ(scanner.ExamineAt(kSector), c.runBytes);
        scanner.Scan();
        ASSERT_FALSE(progress.positions.empty()) << c.runBytes;
        EXPECT_EQ(progress.positions.front(), c.firstProgress) << c.runBytes;
    }
}

TEST(ScanHardDisk, APrintableStretchIsCutAtTheCapAndTheWalkTestsTheSectorWhereTheCutFalls) {
    const uint64_t cap = TScanHardDisk::kRunCap;
    const uint64_t cutSector = 1 + cap / kSector;
    Bytes image = Blank(cutSector + 8);
    const std::string first = MakeMessage("a@example.org", "b@example.org", "Long", "");
    Put(image, kSector, first);
    const std::string line = std::string(62, 'L') + "\r\n";
    for (uint64_t at = kSector + first.size(); at < cutSector * kSector; ++at)
        image[at] = static_cast<uint8_t>(line[(at - kSector - first.size()) % line.size()]);
    const std::string second = MakeMessage("c@example.org", "d@example.org", "After the cut", "end");
    Put(image, cutSector * kSector, second);

    const TScanOutcome expected = TReferenceScan(image, kSector).Scan();
    const TScanOutcome actual = RunScan(image, kSector, TScanHardDisk::kHalfWindowBytes);
    ASSERT_EQ(actual.found.size(), 2u);
    EXPECT_TRUE(SameEmail(actual.found[0], expected.found.at(0)));
    EXPECT_GT(actual.found[0].FullText.size(), cap - line.size());
    EXPECT_EQ(actual.found[1].FullText, second);
    EXPECT_EQ(actual.locations[1].RunOffset, cutSector * kSector);
    EXPECT_EQ(actual.pumpPoints, expected.pumpPoints);
    EXPECT_TRUE(SameLocations(actual.locations, expected.locations));
}

TEST(ScanHardDisk, AOneSectorVolumeOpensAndClosesTheProgressAndFindsNothing) {
    Bytes image = Blank(1);
    Put(image, 0, MakeMessage("a@example.org", "b@example.org", "Sector zero", "x"));
    TCountingPump pump;
    TRecordingProgress progress;
    TScanHardDisk scanner(std::make_unique<TTestVolume>(image, kSector), pump, progress);
    EXPECT_TRUE(scanner.Scan().empty());
    EXPECT_EQ(progress.created, 1);
    EXPECT_EQ(progress.destroyed, 1);
    EXPECT_EQ(progress.maximum, 1u);
    EXPECT_TRUE(progress.positions.empty());
    EXPECT_EQ(pump.Points(), 1u);
}

TEST(ScanHardDisk, TheProgressWindowIsClosedWhenTheWalkFails) {
    Bytes image = Blank(64);
    Put(image, 4 * kSector, MakeMessage("a@example.org", "b@example.org", "Boom", "x"));
    TCountingPump pump;
    pump.throwAfterPasses = 5; // fails inside the run
    TRecordingProgress progress;
    TScanHardDisk scanner(std::make_unique<TTestVolume>(image, kSector), pump, progress);
    EXPECT_THROW(scanner.Scan(), std::runtime_error);
    EXPECT_EQ(progress.created, 1);
    EXPECT_EQ(progress.destroyed, 1);
}

TEST(ScanHardDisk, AMessageInTheLastSectorEndsWithTheVolume) {
    Bytes image = Blank(10);
    // The run goes on to the volume's last byte: the bytes past the end read as zeros and end it there.
    const std::string message = MakeMessage("a@example.org", "b@example.org", "Last", "the end");
    const std::string tail = std::string(kSector - message.size(), 'e');
    Put(image, 9 * kSector, message + tail);
    const TScanOutcome actual = RunScan(image, kSector, TScanHardDisk::kHalfWindowBytes);
    ASSERT_EQ(actual.found.size(), 1u);
    EXPECT_EQ(actual.found[0].FullText, message);
    ExpectSameAsReference(image, kSector, TScanHardDisk::kHalfWindowBytes);
}

TEST(ScanHardDisk, AnUnreadableSectorIsCountedAndReadsAsZeros) {
    Bytes image = Blank(64);
    const std::string message = MakeMessage("a@example.org", "b@example.org", "Broken", std::string(700, 'b'));
    Put(image, 10 * kSector, message);
    const std::set<uint64_t> unreadable = {11};
    TCountingPump pump;
    TNoProgress progress;
    TScanHardDisk scanner(std::make_unique<TTestVolume>(image, kSector, unreadable), pump, progress);
    const TEmailArray found = scanner.Scan();
    ASSERT_EQ(found.size(), 1u);
    // The run stops where the unreadable sector begins, inside the body's one long line.
    EXPECT_EQ(found[0].FullText, message.substr(0, message.find("\r\n\r\n") + 4));
    EXPECT_EQ(scanner.UnreadableSectors(), 1u);
    ExpectSameAsReference(image, kSector, TScanHardDisk::kHalfWindowBytes, unreadable);
}

TEST(ScanHardDisk, ResultsDoNotDependOnTheWindowSize) {
    Bytes image = Blank(400);
    // A message across the edge of a 64 KiB window (sectors 1..256) and one across many 1 KiB windows.
    Put(image, 250 * kSector, MakeMessage("edge@example.org", "b@example.org", "Edge", std::string(5000, 'w')));
    Put(image, 20 * kSector, MakeMessage("long@example.org", "b@example.org", "Long", std::string(3000, 'l')));
    Put(image, 300 * kSector,
        MakeMessage("x@example.org", "y@example.org", "One", "a") +
            MakeMessage("z@example.org", "y@example.org", "Two", "b"));
    const TScanOutcome reference = RunScan(image, kSector, TScanHardDisk::kHalfWindowBytes);
    ASSERT_EQ(reference.found.size(), 4u);
    for (uint32_t halfWindowBytes : {1024u, 4096u, 64u * 1024}) {
        SCOPED_TRACE(halfWindowBytes);
        const TScanOutcome outcome = RunScan(image, kSector, halfWindowBytes);
        ASSERT_EQ(outcome.found.size(), reference.found.size());
        for (size_t k = 0; k < outcome.found.size(); ++k)
            EXPECT_TRUE(SameEmail(outcome.found[k], reference.found[k])) << k;
        EXPECT_TRUE(SameLocations(outcome.locations, reference.locations));
        EXPECT_EQ(outcome.pumpPoints, reference.pumpPoints);
    }
}

TEST(ScanHardDisk, AConsumerReceivesWhatTheScanWouldKeepInTheSameOrder) {
    Bytes image = Blank(3000);
    std::mt19937 random(7);
    for (int k = 0; k < 60; ++k) {
        const uint64_t offset = (1 + random() % 2990) * kSector + (k % 3 == 0 ? 100 : 0);
        Put(image, offset,
            MakeMessage(std::to_string(k).append("@example.org"), "t@example.org", "S", "body") +
                MakeMessage("second@example.org", "t@example.org", "Two", "x"));
    }
    const TScanOutcome kept = RunScan(image, kSector, 64 * 1024);
    ASSERT_GT(kept.found.size(), 40u);

    TCountingPump pump;
    TRecordingProgress progress;
    TScanHardDisk scanner(std::make_unique<TTestVolume>(image, kSector), pump, progress, 64 * 1024);
    TEmailArray streamed;
    std::vector<TFoundLocation> locations;
    scanner.SetMessageConsumer([&](TEmail&& email, const TFoundLocation& at) {
        streamed.push_back(std::move(email));
        locations.push_back(at);
    });
    EXPECT_TRUE(scanner.Scan().empty());
    EXPECT_TRUE(scanner.Locations().empty());
    ASSERT_EQ(streamed.size(), kept.found.size());
    for (size_t k = 0; k < streamed.size(); ++k)
        EXPECT_TRUE(SameEmail(streamed[k], kept.found[k])) << k;
    EXPECT_TRUE(SameLocations(locations, kept.locations));
    EXPECT_EQ(pump.Points(), kept.pumpPoints);
    EXPECT_EQ(progress.positions, kept.progressPositions);
}

TEST(ScanHardDisk, TheMissingImageFileRaisesAVolumeErrorNamingIt) {
    TCountingPump pump;
    TNoProgress progress;
    try {
        TScanHardDisk scanner("no-such-image-file.img", pump, progress);
        FAIL() << "no error raised";
    } catch (const TVolumeError& error) {
        EXPECT_NE(std::string(error.what()).find("no-such-image-file.img"), std::string::npos) << error.what();
    }
}

// Images built from pieces that exercise the rules together: messages at sector starts and inside sectors,
// quoted replies, runs cut by every kind of stop byte, random noise, unreadable sectors; the scan must give
// exactly what the step-by-step walk gives, pump and progress points included, for several window and sector
// sizes.
TEST(ScanHardDisk, AgreesWithTheStepByStepWalkOnGeneratedImages) {
    const std::string reply = "From: r@example.org\r\nTo: s@example.org\r\nSubject: Re: plan\r\n\r\nYes.\r\n"
                              "----- Original Message -----\r\nFrom: s@example.org\r\nTo: r@example.org\r\n"
                              "Subject: plan\r\n\r\nShall we?\r\n";
    struct Case {
        uint32_t seed;
        uint32_t sectorSize;
        uint32_t halfWindowBytes;
        uint64_t sectors;
    };
    const Case cases[] = {{1, 512, TScanHardDisk::kHalfWindowBytes, 6000},
                          {2, 512, 4096, 3000},
                          {3, 512, 1024, 2500},
                          {4, 4096, 16384, 900},
                          {5, 2048, TScanHardDisk::kHalfWindowBytes, 700},
                          {6, 512, 64 * 1024, 4100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seed);
        std::mt19937 random(c.seed);
        Bytes image(c.sectors * c.sectorSize);
        for (auto& b : image)
            b = static_cast<uint8_t>(random() % 3 == 0 ? random() : 0);
        std::set<uint64_t> unreadable;
        for (int k = 0; k < 120; ++k) {
            const uint64_t sector = random() % (c.sectors - 4);
            const uint64_t offset = sector * c.sectorSize + (random() % 4 == 0 ? random() % c.sectorSize : 0);
            std::string piece;
            switch (random() % 5) {
            case 0:
                piece = reply;
                break;
            case 1:
                piece = MakeMessage(std::to_string(k).append("@example.org"), "t@example.org",
                                    std::to_string(k).append(" subject"), std::string(random() % 3000, 'p'));
                break;
            case 2:
                piece = MakeMessage("a@example.org", "b@example.org", "x", "y") +
                        MakeMessage("c@example.org", "d@example.org", "z", "w");
                break;
            case 3:
                piece = std::string(random() % 2000, 'T') + "\r\n";
                break;
            default:
                unreadable.insert(sector);
                continue;
            }
            piece.push_back(static_cast<char>("\x00\x0C\x7F\x80"[random() % 4]));
            if (offset + piece.size() <= image.size())
                Put(image, offset, piece);
        }
        ExpectSameAsReference(image, c.sectorSize, c.halfWindowBytes, unreadable);
    }
}

// The messages of one run reach the consumer while the run is still being cut: between two of them the splitter
// passes the pump for the lines of the next (collected first and handed on after, they would come one pump point
// apart), so a run of millions of tiny messages is never held whole and memory stays flat.
TEST(ScanHardDisk, AConsumerReceivesEachMessageOfARunAsItIsCut) {
    std::string run = "From: a\r\nTo: b\r\nSubject: c\r\n\r\n";
    for (int k = 0; k < 2000; ++k)
        run += "Message-ID: <" + std::to_string(k) + ">\r\nTo: a\r\n\r\n";
    Bytes image = Blank(2 + run.size() / kSector + 2);
    Put(image, kSector, run);
    for (TScanMode mode : {TScanMode::Standard, TScanMode::Deep}) {
        TCountingPump pump;
        TNoProgress progress;
        TScanHardDisk scanner(std::make_unique<TTestVolume>(image, kSector), pump, progress,
                              TScanHardDisk::kHalfWindowBytes, mode);
        std::vector<uint64_t> points;
        scanner.SetMessageConsumer([&](TEmail&&, const TFoundLocation&) { points.push_back(pump.Points()); });
        scanner.Scan();
        ASSERT_EQ(points.size(), 2001u) << int(mode);
        for (size_t k = 1; k < points.size(); ++k)
            ASSERT_GE(points[k] - points[k - 1], 3u) << int(mode) << " message " << k;
    }
}
