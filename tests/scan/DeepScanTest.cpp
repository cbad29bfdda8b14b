// The deep scan end to end over volumes built in memory: the mail that the sector-start rule misses is found
// where it lies, byte for byte, whatever the window size, and noise gives nothing.
#include "engine/ParallelScan.h"
#include "tests/scan/ScanFixtures.h"

#include <gtest/gtest.h>

#include <random>

using namespace scantest;

namespace {

constexpr uint32_t kSector = 512;

struct TFound {
    uint64_t offset;
    std::string text;
};

TScanOutcome DeepScan(const Bytes& image, uint32_t halfWindowBytes = TScanHardDisk::kHalfWindowBytes,
                      uint32_t sectorSize = kSector) {
    return RunScan(image, sectorSize, halfWindowBytes, {}, TScanMode::Deep);
}

std::string LfMessage(const std::string& from, const std::string& subject, const std::string& body) {
    return "Return-Path: <" + from + ">\nReceived: from mx.example.org by mail.example.net\nFrom: " + from +
           "\nTo: team@example.net\nSubject: " + subject + "\nMessage-ID: <" + subject + "@example.org>\n\n" + body;
}

std::string Noise(std::mt19937& random, size_t size) {
    std::string noise(size, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    return noise;
}

} // namespace

TEST(DeepScan, FindsTheMailThatTheSectorStartRuleMisses) {
    const std::string lf = LfMessage("a@example.org", "lf", "Line ends are LF only.\n");
    const std::string longHeader = "DKIM-Signature: v=1; b=" + std::string(3000, 'S') + "\r\n" +
                                   "From: b@example.org\r\nTo: c@example.org\r\nSubject: long\r\n\r\nbody\r\n";
    const std::string eightBit = "From: d@example.org\nTo: e@example.org\nSubject: Caf\xC3\xA9\n\n\xE9t\xE9 \x1B$B\n";
    const std::string noFinalLineEnd = LfMessage("f@example.org", "tail", "no line end at the end");
    const std::string member1 = LfMessage("g@example.org", "m1", "first\n>From here\n");
    const std::string member2 = LfMessage("h@example.org", "m2", "second\n");
    const std::string mbox = "From g@example.org Thu Dec 10 13:45:00 2026\n" + member1 +
                             "\nFrom h@example.org Thu Dec 10 13:46:00 2026\n" + member2 + "\n";
    struct {
        const char* what;
        std::string bytes; // written at `offset`, followed by a NUL
        uint64_t offset;
        std::vector<TFound> expected; // offsets relative to `offset`
    } cases[] = {
        {"LF line ends", lf, 3 * kSector, {{0, lf}}},
        {"a header block longer than two sectors", longHeader, 3 * kSector, {{0, longHeader}}},
        {"8-bit text and ESC in the run", eightBit, 3 * kSector, {{0, eightBit}}},
        {"the final line without a line end", noFinalLineEnd, 3 * kSector, {{0, noFinalLineEnd}}},
        {"inside a sector, after binary bytes", lf, 3 * kSector + 200, {{0, lf}}},
        {"mbox members, the first inside a sector",
         mbox,
         3 * kSector + 17,
         {{44, member1}, {44 + member1.size() + 1 + 44, member2}}},
    };
    for (const auto& c : cases) {
        std::mt19937 random(5);
        Bytes image = Blank(16 * 1024 / kSector + 24);
        const std::string noise = Noise(random, image.size());
        for (size_t k = 0; k < image.size(); ++k)
            image[k] = static_cast<uint8_t>(noise[k] | 0x80); // 8-bit noise that a deep run holds
        image[c.offset - 1] = 0;
        Put(image, c.offset, c.bytes + std::string(1, '\0'));
        const TScanOutcome outcome = DeepScan(image);
        ASSERT_EQ(outcome.found.size(), c.expected.size()) << c.what;
        for (size_t k = 0; k < c.expected.size(); ++k) {
            EXPECT_EQ(outcome.locations[k].Offset, c.offset + c.expected[k].offset) << c.what;
            EXPECT_EQ(outcome.found[k].FullText, c.expected[k].text) << c.what;
        }
        // The standard scan finds none of them.
        EXPECT_TRUE(RunScan(image, kSector, TScanHardDisk::kHalfWindowBytes).found.empty()) << c.what;
    }
}

// A run that begins inside one sector and ends inside a later one: the walk looks at the runs that begin after it
// in that later sector too, and goes on after it.
TEST(DeepScan, TheRunsAfterARunsEndInTheSameSectorAreSearchedToo) {
    Bytes image = Blank(40);
    const std::string first = LfMessage("a@example.org", "first", std::string(700, 'x') + "\n");
    const std::string second = LfMessage("b@example.org", "second", "y\n");
    const std::string third = LfMessage("c@example.org", "third", "z\n");
    const uint64_t firstAt = 4 * kSector + 100;
    const uint64_t secondAt = firstAt + first.size() + 3;
    Put(image, firstAt, first);
    Put(image, secondAt, second);
    Put(image, 20 * kSector, third);
    const TScanOutcome outcome = DeepScan(image);
    ASSERT_EQ(outcome.found.size(), 3u);
    EXPECT_EQ(outcome.locations[0].Offset, firstAt);
    EXPECT_EQ(outcome.locations[1].Offset, secondAt);
    EXPECT_EQ(outcome.locations[1].RunOffset, secondAt);
    EXPECT_EQ(outcome.found[1].FullText, second);
    EXPECT_EQ(outcome.locations[2].Offset, 20 * kSector);
}

TEST(DeepScan, NoiseAndPlainTextGiveNothing) {
    std::mt19937 random(11);
    Bytes image = Blank(4000);
    for (size_t k = 0; k < image.size(); k += kSector) {
        const int kind = static_cast<int>(random() % 3);
        for (size_t j = 0; j < kSector; ++j)
            image[k + j] = kind == 0   ? static_cast<uint8_t>(random())
                           : kind == 1 ? static_cast<uint8_t>("Subject to change: see the notes.\n\n"[j % 36])
                                       : 0;
    }
    EXPECT_TRUE(DeepScan(image).found.empty());
}

// Same answer for every window size, with messages across window edges, in runs longer than a window, inside
// sectors and at their starts; and for other sector sizes.
TEST(DeepScan, ResultsDoNotDependOnTheWindowSize) {
    for (uint32_t sectorSize : {512u, 4096u}) {
        SCOPED_TRACE(sectorSize);
        std::mt19937 random(sectorSize);
        Bytes image(900 * uint64_t(sectorSize));
        const std::string noise = Noise(random, image.size());
        std::copy(noise.begin(), noise.end(), image.begin());
        for (int k = 0; k < 90; ++k) {
            const uint64_t at = random() % (image.size() - 8000);
            std::string piece = LfMessage(std::to_string(k) + "@example.org", std::to_string(k) + "s",
                                          std::string(random() % 5000, 'b') + "\n");
            if (k % 3 == 0)
                piece = "\nFrom x Thu Dec 10 13:45:00 2026\n" + piece + "\n\n" + piece;
            Put(image, at, std::string(1, '\0') + piece + std::string(1, '\0'));
        }
        const TScanOutcome reference = DeepScan(image, TScanHardDisk::kHalfWindowBytes, sectorSize);
        ASSERT_GT(reference.found.size(), 40u);
        for (uint32_t halfWindowBytes : {sectorSize, 2 * sectorSize, 4 * sectorSize, 64u * 1024}) {
            SCOPED_TRACE(halfWindowBytes);
            const TScanOutcome outcome = DeepScan(image, halfWindowBytes, sectorSize);
            ASSERT_EQ(outcome.found.size(), reference.found.size());
            for (size_t k = 0; k < outcome.found.size(); ++k)
                EXPECT_TRUE(SameEmail(outcome.found[k], reference.found[k])) << k;
            EXPECT_TRUE(SameLocations(outcome.locations, reference.locations));
            EXPECT_EQ(outcome.pumpPoints, reference.pumpPoints);
        }
    }
}

namespace {

// Keeps what a range found and hands over, on delivery, what the threaded walk keeps of it.
class TKeptOutput final : public IRangeOutput {
public:
    explicit TKeptOutput(std::vector<TFound>& result) : result_(result) {}
    void Add(const TEmailView& email, const TFoundLocation& at) override {
        added_.push_back({at.Offset, std::string(email.FullText)});
        runs_.push_back(at.RunOffset);
    }
    void Deliver(uint64_t firstRunOffset) override {
        for (size_t k = 0; k < added_.size(); ++k)
            if (runs_[k] >= firstRunOffset)
                result_.push_back(std::move(added_[k]));
    }

private:
    std::vector<TFound>& result_;
    std::vector<TFound> added_;
    std::vector<uint64_t> runs_;
};

} // namespace

// The walk split over threads is generic over the rules: in the deep scan too it gives the single walk's messages,
// with runs that cross the ranges' edges (long LF messages, mbox files, runs that begin inside sectors).
TEST(DeepScan, TheThreadedWalkGivesWhatTheSingleWalkGives) {
    std::mt19937 random(23);
    auto image = std::make_shared<Bytes>(Blank(3000));
    const std::string noise = Noise(random, image->size());
    for (size_t k = 0; k < image->size(); ++k)
        (*image)[k] = random() % 3 == 0 ? static_cast<uint8_t>(noise[k]) : 0;
    for (int k = 0; k < 150; ++k) {
        std::string piece = LfMessage(std::to_string(k) + "@example.org", std::to_string(k) + "t",
                                      std::string(random() % 3000, 'b') + "\n");
        if (k % 4 == 0)
            piece = "From x Thu Dec 10 13:45:00 2026\n" + piece + "\nFrom y Thu Dec 10 13:46:00 2026\n" + piece + "\n";
        const uint64_t at = (1 + random() % 2990) * kSector + (k % 3 == 0 ? random() % kSector : 0);
        if (at + piece.size() + 2 <= image->size())
            Put(*image, at, std::string(1, '\0') + piece + std::string(1, '\0'));
    }
    const TScanOutcome single = DeepScan(*image);
    ASSERT_GT(single.found.size(), 100u);
    for (unsigned threads : {2u, 3u}) {
        for (uint64_t rangeSectors : {7u, 64u, 300u}) {
            SCOPED_TRACE(testing::Message() << threads << " threads, ranges of " << rangeSectors);
            TParallelScan scan([&] { return std::make_unique<TTestVolume>(*image, kSector); },
                               {threads, rangeSectors, 4096, TScanMode::Deep});
            std::vector<TFound> found;
            TNoProgress none;
            scan.Scan([&] { return std::make_unique<TKeptOutput>(found); }, none);
            ASSERT_EQ(found.size(), single.found.size());
            for (size_t k = 0; k < found.size(); ++k) {
                EXPECT_EQ(found[k].offset, single.locations[k].Offset) << k;
                EXPECT_EQ(found[k].text, single.found[k].FullText) << k;
            }
        }
    }
}
