// The main window with many messages and its spool file: the owner-data list lists, sorts, filters, previews
// and exports 200,000 messages as the window does five; the spool file comes and goes with the scans and the
// window; a spool that cannot be written ends the scan with a clear message and keeps what was stored.
#include "MainWindowTestSupport.h"

#include "ui/MessageSpool.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kMany = 200000;
constexpr uint32_t kSubjectStep = 7919; // a prime: i -> i * 7919 mod kMany is a permutation
constexpr uint32_t kSenders = 97;
constexpr uint32_t kMoments = 960; // minutes of one day
constexpr uint32_t kUnreadableEvery = 10007;
constexpr uint32_t kNeedleEvery = 1000;

std::string Padded(uint32_t value, int width) {
    std::string text = std::to_string(value);
    return std::string(width - std::min<int>(width, static_cast<int>(text.size())), '0') + text;
}

uint32_t SubjectNumber(uint32_t i) {
    return static_cast<uint32_t>(static_cast<uint64_t>(i) * kSubjectStep % kMany);
}

// Message i's moment is minute i % 960 of 10 March 2004 (UTC), written in one of five zones, so that local
// times run across midnight into the 9th and the 11th.
std::string DateOf(uint32_t i) {
    if (i % kUnreadableEvery == 0)
        return " sometime";
    const int zones[] = {0, 330, -480, 840, -720}; // minutes east of UTC
    const int zone = zones[i % 5];
    const int local = static_cast<int>(i % kMoments) + 8 * 60 + zone + 24 * 60; // minutes from 9 March 00:00
    const int day = 9 + local / (24 * 60);
    const int minute = local % (24 * 60);
    const int zoneHours = std::abs(zone) / 60, zoneMinutes = std::abs(zone) % 60;
    return " " + std::to_string(day) + " Mar 2004 " + Padded(minute / 60, 2) + ":" + Padded(minute % 60, 2) + ":00 " +
           (zone < 0 ? "-" : "+") + Padded(zoneHours, 2) + Padded(zoneMinutes, 2);
}

TPlantedMessage ManyMessage(uint32_t i) {
    return {DateOf(i), " sender" + Padded(i % kSenders, 2) + "@example.com", " to@example.org",
            " s" + Padded(SubjectNumber(i), 6),
            "Body of message " + std::to_string(i) + ".\r\n" + (i % kNeedleEvery == 0 ? "A needle here.\r\n" : "")};
}

std::vector<uint32_t> Ordered(std::vector<uint32_t> indices, auto less) {
    std::stable_sort(indices.begin(), indices.end(), less);
    return indices;
}

std::vector<uint32_t> FirstIndices(uint32_t count) {
    std::vector<uint32_t> indices(count);
    std::iota(indices.begin(), indices.end(), 0u);
    return indices;
}

class ManyMessagesTest : public MainWindowTest {
protected:
    static void SetUpTestSuite() {
        Planted = new std::vector<TPlantedMessage>();
        for (uint32_t i = 0; i < kMany; ++i)
            Planted->push_back(ManyMessage(i));
    }
    static void TearDownTestSuite() {
        delete Planted;
        Planted = nullptr;
    }

    // The captions the list control shows at a few rows spread over the list, against the rows expected.
    void ExpectShownRows(const std::vector<uint32_t>& expected) {
        ASSERT_EQ(List().Count(), static_cast<int>(expected.size()));
        for (size_t row : {size_t(0), size_t(1), expected.size() / 3, expected.size() / 2, expected.size() - 1}) {
            SCOPED_TRACE(row);
            EXPECT_EQ(List().Text(static_cast<int>(row)), std::to_string(expected[row]));
            const TPlantedMessage& message = (*Planted)[expected[row]];
            EXPECT_EQ(List().Text(static_cast<int>(row), 1), message.Date);
            EXPECT_EQ(List().Text(static_cast<int>(row), 4), message.Subject);
        }
    }

    static std::vector<TPlantedMessage>* Planted;
};
std::vector<TPlantedMessage>* ManyMessagesTest::Planted = nullptr;

} // namespace

TEST_F(ManyMessagesTest, TheVirtualListListsSortsFiltersPreviewsAndExportsTwoHundredThousandMessages) {
    std::string image = Scratch.File("many.img");
    WriteWholeFile(image, DenseImageWithMessages(*Planted));
    Window().AddDiskImage(image);
    Command(kIdScan);

    ASSERT_EQ(Window().FoundEmails().Size(), kMany);
    EXPECT_EQ(Window().Rows(), FirstIndices(kMany)) << "Item Nums in the order found";
    ExpectShownRows(FirstIndices(kMany));
    for (uint32_t i : {0u, 1u, 65432u, kMany - 1})
        EXPECT_EQ(Window().FoundEmails().FullText(i), (*Planted)[i].Text()) << i;

    // Subject: the permutation's inverse. Then From: by sender, and within one sender by subject (stable).
    ClickColumn(4);
    std::vector<uint32_t> bySubject =
        Ordered(FirstIndices(kMany), [](uint32_t a, uint32_t b) { return SubjectNumber(a) < SubjectNumber(b); });
    EXPECT_EQ(Window().Rows(), bySubject);
    ExpectShownRows(bySubject);
    ClickColumn(2);
    std::vector<uint32_t> bySender =
        Ordered(bySubject, [](uint32_t a, uint32_t b) { return a % kSenders < b % kSenders; });
    EXPECT_EQ(Window().Rows(), bySender);
    ClickColumn(2);
    std::vector<uint32_t> bySenderDescending =
        Ordered(bySender, [](uint32_t a, uint32_t b) { return a % kSenders > b % kSenders; });
    EXPECT_EQ(Window().Rows(), bySenderDescending);

    // Date: by moment whatever the zone, equal moments in the order they stood, unreadable dates last.
    ClickColumn(0);
    ClickColumn(1);
    auto moment = [](uint32_t i) { return i % kUnreadableEvery == 0 ? kMoments : i % kMoments; };
    std::vector<uint32_t> byDate =
        Ordered(FirstIndices(kMany), [&](uint32_t a, uint32_t b) { return moment(a) < moment(b); });
    EXPECT_EQ(Window().Rows(), byDate);
    ExpectShownRows(byDate);

    // The filter reads the bodies from the spool; the rows come in the order found.
    SetKeyword("NEEDLE");
    Command(kIdApplyFilter);
    std::vector<uint32_t> needles;
    for (uint32_t i = 0; i < kMany; i += kNeedleEvery)
        needles.push_back(i);
    EXPECT_EQ(Window().Rows(), needles);
    ExpectShownRows(needles);

    ClickRow(7);
    EXPECT_EQ(Preview(), WithoutLineFeeds("\r\n" + (*Planted)[7 * kNeedleEvery].Body));
    List().SetChecked(7, true);
    List().SetChecked(199, true);
    TScratchFolder out;
    Window().SetFolderPicker([&](HWND, const std::string&, const std::string&, bool) { return out.Path(); });
    {
        TDialogWatcher watcher;
        Command(kIdSaveEmail);
    }
    EXPECT_EQ(out.Files(), (std::vector<std::string>{"RecoveredEmail199.eml", "RecoveredEmail7.eml"}));
    EXPECT_EQ(ReadWholeFile(out.File("RecoveredEmail7.eml")), (*Planted)[7 * kNeedleEvery].Text());
    EXPECT_EQ(ReadWholeFile(out.File("RecoveredEmail199.eml")), (*Planted)[199 * kNeedleEvery].Text());

    Command(kIdClearFilter);
    EXPECT_EQ(Window().Rows(), FirstIndices(kMany));
    EXPECT_TRUE(List().Checked(7 * kNeedleEvery)) << "the tick stays with its message";
}

// ---- The spool file ----

namespace {
bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
} // namespace

TEST_F(MainWindowTest, TheSpoolFileHoldsTheTextsAndGoesWithTheNextScanAndWithTheWindow) {
    ScanImage(FiveMessages());
    const std::string first = Window().FoundEmails().SpoolPath();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.rfind(SpoolFolder.Path(), 0), 0u) << first;
    EXPECT_TRUE(FileExists(first));
    EXPECT_EQ(SpoolFolder.Files().size(), 1u);

    Command(kIdScan);
    const std::string second = Window().FoundEmails().SpoolPath();
    EXPECT_NE(second, first);
    EXPECT_FALSE(FileExists(first)) << "removed when the next scan starts";
    EXPECT_TRUE(FileExists(second));
    EXPECT_EQ(SpoolFolder.Files().size(), 1u);
    EXPECT_EQ(Window().FoundEmails().FullText(4), FiveMessages()[4].Text());

    Main.reset();
    EXPECT_FALSE(FileExists(second)) << "removed when the window closes";
    EXPECT_TRUE(SpoolFolder.Files().empty());
}

TEST_F(MainWindowTest, ASpoolThatReachesItsLimitEndsTheScanWithAClearMessageAndKeepsWhatItStored) {
    uint64_t threeMessages = 0;
    for (int i = 0; i < 3; ++i)
        threeMessages += FiveMessages()[i].Text().size();
    Window().SetSpool(SpoolFolder.Path(), threeMessages + 10);
    TDialogWatcher watcher;
    ScanImage(FiveMessages());
    std::vector<TSeenDialog> seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Title, "Error");
    EXPECT_NE(seen[0].Text.find("stopped early"), std::string::npos) << seen[0].Text;
    EXPECT_NE(seen[0].Text.find("size limit"), std::string::npos) << seen[0].Text;
    EXPECT_NE(seen[0].Text.find("3 messages found until then are listed"), std::string::npos) << seen[0].Text;
    EXPECT_EQ(Captions(), (std::vector<std::string>{"0", "1", "2"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Window().FoundEmails().FullText(i), FiveMessages()[i].Text());
    EXPECT_NE(WindowText(Window().sbStatus()).find("stopped early"), std::string::npos);
    EXPECT_TRUE(IsWindowEnabled(Handle()));
}

TEST_F(MainWindowTest, ASpoolFolderThatCannotBeWrittenRefusesTheScanAndKeepsTheList) {
    ScanImage(FiveMessages());
    WriteWholeFile(Scratch.File("a-file"), std::string("x"));
    for (const std::string& folder : {Scratch.File("no-such-folder"), Scratch.File("a-file")}) {
        SCOPED_TRACE(folder);
        Window().SetSpool(folder);
        TDialogWatcher watcher;
        Command(kIdScan);
        std::vector<TSeenDialog> seen = watcher.Seen();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_NE(seen[0].Text.find("No spool file"), std::string::npos) << seen[0].Text;
        EXPECT_NE(seen[0].Text.find(folder), std::string::npos) << seen[0].Text;
        EXPECT_EQ(Captions(), (std::vector<std::string>{"0", "1", "2", "3", "4"}));
        EXPECT_EQ(Window().FoundEmails().FullText(2), FiveMessages()[2].Text());
        EXPECT_TRUE(IsWindowEnabled(Handle()));
    }
}

TEST(MessageSpoolTest, LeftoversOfAnEndedProgramAreRemovedButASpoolInUseAndOtherFilesStay) {
    TScratchFolder folder;
    WriteWholeFile(folder.File("Ostrevan-spool-4242-1.tmp"), std::string("left by a crash"));
    WriteWholeFile(folder.File("unrelated.tmp"), std::string("someone else's"));
    TMessageSpool live(folder.Path());
    live.Append("in use");
    TMessageSpool::RemoveLeftovers(folder.Path());
    std::vector<std::string> files = folder.Files();
    EXPECT_EQ(std::count(files.begin(), files.end(), "Ostrevan-spool-4242-1.tmp"), 0);
    EXPECT_EQ(std::count(files.begin(), files.end(), "unrelated.tmp"), 1);
    EXPECT_EQ(files.size(), 2u) << "the live spool and the unrelated file";
    EXPECT_EQ(live.Read(0, 6), "in use");
}

TEST(MessageSpoolTest, TextsComeBackByteForByteFromTheBufferAndFromTheFile) {
    TScratchFolder folder;
    TMessageSpool spool(folder.Path());
    std::string big(3 << 20, 'x'); // larger than the write buffer: written at once
    for (size_t i = 0; i < big.size(); i += 4093)
        big[i] = static_cast<char>(i % 251);
    const std::string small = std::string("a\0b\r\n", 5);
    const uint64_t first = spool.Append(small);
    const uint64_t second = spool.Append(big);
    const uint64_t third = spool.Append(small);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(second, small.size());
    EXPECT_EQ(third, small.size() + big.size());
    EXPECT_EQ(spool.Read(third, small.size()), small) << "read while still in the buffer";
    EXPECT_EQ(spool.Read(second, big.size()), big);
    EXPECT_EQ(spool.Read(first, small.size()), small);
    EXPECT_EQ(spool.StoredBytes(), small.size() * 2 + big.size());
}
