// Export of checked messages and the folder picker behind it.
#include "MainWindowTestSupport.h"

#include "ui/BrowseForFolderU.h"
#include "ui/ExportFolder.h"

#include <string>
#include <vector>

using Files = std::vector<std::string>;

namespace {

class ExportTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        Window().SetFolderPicker(
            [this](HWND owner, const std::string& title, const std::string& initial, bool allowNew) {
                PickerOwner = owner;
                PickerTitle = title;
                PickerInitial = initial;
                PickerAllowNew = allowNew;
                return Answer;
            });
        Answer = Out.Path();
    }

    // Runs the export and returns the boxes it showed.
    std::vector<TSeenDialog> Export() {
        TDialogWatcher watcher;
        Command(kIdSaveEmail);
        return watcher.Seen();
    }

    TScratchFolder Out;
    std::string Answer;
    HWND PickerOwner = nullptr;
    std::string PickerTitle, PickerInitial;
    bool PickerAllowNew = false;
};

const char kSuccess[] = "Emails Succesfully Exported To Folder";
const char kNothingTicked[] =
    "No message is ticked. Tick the messages to export (Quick Select All ticks every row), then press Export Selected.";

// The success box: the original text, then how many files were written and where.
std::string SuccessText(const std::string& written) {
    return std::string(kSuccess) + "\r\n\r\n" + written;
}
const char kNotWritable[] = "Cannot Write To Output Folder ,Please Select A Writeable Folder";

} // namespace

TEST_F(ExportTest, SortedRowsAreNamedByTheirPositionAndHoldTheirOwnMessageByteForByte) {
    ScanImage({FiveMessages()[0], FiveMessages()[1], FiveMessages()[2]});
    ClickColumn(0);
    ClickColumn(0); // Item Num descending: 2, 1, 0
    List().SetChecked(0, true);
    List().SetChecked(2, true);

    std::vector<TSeenDialog> seen = Export();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Title, "Information");
    EXPECT_EQ(seen[0].Text, SuccessText("2 files were written to " + Out.Path() + "."));
    EXPECT_EQ(Out.Files(), (Files{"RecoveredEmail0.eml", "RecoveredEmail2.eml"}));
    EXPECT_EQ(ReadWholeFile(Out.File("RecoveredEmail0.eml")), FiveMessages()[2].Text());
    EXPECT_EQ(ReadWholeFile(Out.File("RecoveredEmail2.eml")), FiveMessages()[0].Text()) << "ends in CR LF, as found";

    EXPECT_EQ(PickerOwner, TestApplication().Handle()) << "the dialog belongs to the hidden application window";
    EXPECT_EQ(PickerTitle, "Select Where To Save Recovered Emails");
    EXPECT_EQ(PickerInitial, "");
    EXPECT_TRUE(PickerAllowNew);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"2", "1", "0"})) << "the list is left as it was";
    EXPECT_EQ(Checks(), (std::vector<bool>{true, false, true}));
}

TEST_F(ExportTest, WithTheFilterOnOnlyCheckedRowsShownAreWritten) {
    ScanImage(FiveMessages());
    Command(kIdSelectAll);
    SetKeyword("invoice");
    Command(kIdApplyFilter); // rows 1 and 3, still ticked
    List().SetChecked(0, false);
    std::vector<TSeenDialog> seen = Export();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Text, SuccessText("1 file was written to " + Out.Path() + "."));
    EXPECT_EQ(Out.Files(), Files{"RecoveredEmail1.eml"});
    EXPECT_EQ(ReadWholeFile(Out.File("RecoveredEmail1.eml")), FiveMessages()[3].Text());
}

TEST_F(ExportTest, CancelWritesNothingAndShowsNothing) {
    ScanImage(FiveMessages());
    Command(kIdSelectAll);
    Answer = "";
    EXPECT_TRUE(Export().empty());
    EXPECT_TRUE(Out.Files().empty());
}

// Nothing ticked (or nothing listed): a box says so, and neither a folder is asked for nor anything written. The
// original export showed its success text here although it wrote nothing.
TEST_F(ExportTest, NoTickedRowSaysSoWithoutAskingForAFolderOrWritingAnything) {
    for (bool scanned : {false, true}) {
        SCOPED_TRACE(scanned ? "five rows, none ticked" : "an empty list");
        if (scanned)
            ScanImage(FiveMessages());
        PickerTitle = "not asked";
        std::vector<TSeenDialog> seen = Export();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].Title, "Information");
        EXPECT_EQ(seen[0].Text, kNothingTicked);
        EXPECT_EQ(PickerTitle, "not asked");
        EXPECT_TRUE(Out.Files().empty());
    }
}

// A taken name is never overwritten: the message goes under the next free name, and the box says how many did.
TEST_F(ExportTest, ATakenNameGetsTheNextFreeNameAndNothingIsOverwrittenOrDeleted) {
    ScanImage(FiveMessages());
    WriteWholeFile(Out.File("check.DAT"), std::string("the user's own check.DAT"));
    WriteWholeFile(Out.File("RecoveredEmail1.eml"), std::string("an earlier export"));
    WriteWholeFile(Out.File("RecoveredEmail3.eml"), std::string("an earlier export of 3"));
    WriteWholeFile(Out.File("RecoveredEmail3 (2).eml"), std::string("a second earlier export of 3"));
    Command(kIdSelectAll);

    std::vector<TSeenDialog> seen = Export();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Title, "Information");
    EXPECT_EQ(seen[0].Text,
              SuccessText("5 files were written to " + Out.Path() +
                          ".\r\n2 of them were given the next free name (such as RecoveredEmail1 (2).eml), since a "
                          "file of the name was there already; no file was overwritten."));

    EXPECT_EQ(ReadWholeFile(Out.File("check.DAT")), "the user's own check.DAT");
    EXPECT_EQ(ReadWholeFile(Out.File("RecoveredEmail1.eml")), "an earlier export");
    EXPECT_EQ(ReadWholeFile(Out.File("RecoveredEmail3.eml")), "an earlier export of 3");
    EXPECT_EQ(ReadWholeFile(Out.File("RecoveredEmail3 (2).eml")), "a second earlier export of 3");
    EXPECT_EQ(ReadWholeFile(Out.File("RecoveredEmail1 (2).eml")), FiveMessages()[1].Text());
    EXPECT_EQ(ReadWholeFile(Out.File("RecoveredEmail3 (3).eml")), FiveMessages()[3].Text());
    EXPECT_EQ(ReadWholeFile(Out.File("RecoveredEmail4.eml")), FiveMessages()[4].Text());
    EXPECT_EQ(Out.Files(), (Files{"RecoveredEmail0.eml", "RecoveredEmail1 (2).eml", "RecoveredEmail1.eml",
                                  "RecoveredEmail2.eml", "RecoveredEmail3 (2).eml", "RecoveredEmail3 (3).eml",
                                  "RecoveredEmail3.eml", "RecoveredEmail4.eml", "check.DAT"}))
        << "no probe file left behind";
}

TEST_F(ExportTest, TheFolderDialogOpensAtTheFolderUsedLast) {
    ScanImage(FiveMessages());
    List().SetChecked(0, true);
    TScratchFolder second;
    struct TStep {
        std::string Answer;
        std::string Initial;
    };
    const TStep steps[] = {{Out.Path(), ""}, {"", Out.Path()}, {second.Path(), Out.Path()}, {"", second.Path()}};
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.Answer);
        Answer = step.Answer;
        Export();
        EXPECT_EQ(PickerInitial, step.Initial);
    }
}

TEST_F(ExportTest, AFolderWhereTheProbeCannotBeMadeShowsTheErrorAndWritesNothing) {
    ScanImage(FiveMessages());
    Command(kIdSelectAll);
    WriteWholeFile(Out.File("plain-file"), std::string("x"));
    const std::string unusable[] = {Out.File("no-such-folder"), Out.File("plain-file")};
    for (const std::string& folder : unusable) {
        SCOPED_TRACE(folder);
        Answer = folder;
        std::vector<TSeenDialog> seen = Export();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].Title, "Error");
        EXPECT_EQ(seen[0].Text, kNotWritable);
        EXPECT_EQ(Out.Files(), Files{"plain-file"});
    }
}

TEST_F(ExportTest, TheSameMessageExportedBeforeAndAfterASortLandsUnderTwoNames) {
    ScanImage({FiveMessages()[0], FiveMessages()[1], FiveMessages()[2]});
    List().SetChecked(0, true); // message 0, top row
    TScratchFolder second;
    EXPECT_EQ(Export().size(), 1u);
    ClickColumn(0);
    ClickColumn(0); // message 0 now at the bottom
    Answer = second.Path();
    EXPECT_EQ(Export().size(), 1u);
    EXPECT_EQ(Out.Files(), Files{"RecoveredEmail0.eml"});
    EXPECT_EQ(second.Files(), Files{"RecoveredEmail2.eml"});
    EXPECT_EQ(ReadWholeFile(second.File("RecoveredEmail2.eml")), FiveMessages()[0].Text());
}

// ---- ExportMessages, whatever keeps the messages ----

// A text that cannot be had (a spool that cannot be read) and a file that cannot be made are reported, the first
// with its path and reason; the others are written all the same.
TEST(ExportMessagesTest, FailuresAreCountedAndTheFirstNamedWhileTheOthersAreWritten) {
    TestApplication();
    TScratchFolder out;
    const std::vector<std::string> texts = {"zero\r\n", "one\r\n", "two\r\n"};
    TFullTextSource source = [&](size_t index, std::string& text, std::string& error) {
        if (index == 1) {
            error = "The spool could not be read.";
            return false;
        }
        text = texts[index];
        return true;
    };
    TExportOutcome outcome = ExportMessages(out.Path(), {{5, 0}, {6, 1}, {7, 2}}, source);
    EXPECT_EQ(outcome.Written, 2u);
    EXPECT_EQ(outcome.NotWritten, 1u);
    EXPECT_EQ(outcome.FirstFailure, out.File("RecoveredEmail6.eml"));
    EXPECT_EQ(outcome.FirstError, "The spool could not be read.");
    EXPECT_EQ(out.Files(), (Files{"RecoveredEmail5.eml", "RecoveredEmail7.eml"}));
    EXPECT_EQ(ReadWholeFile(out.File("RecoveredEmail7.eml")), "two\r\n");

    outcome = ExportMessages(out.File("missing"), {{0, 0}, {1, 2}}, source);
    EXPECT_EQ(outcome.Written, 0u);
    EXPECT_EQ(outcome.NotWritten, 2u);
    EXPECT_EQ(outcome.FirstFailure, out.File("missing") + "\\RecoveredEmail0.eml");
    EXPECT_FALSE(outcome.FirstError.empty());
}

TEST(ExportMessagesTest, NamesCountOnFromTheSecondCopy) {
    const struct {
        uint64_t Number;
        unsigned Copy;
        const char* Name;
    } cases[] = {{0, 1, "RecoveredEmail0.eml"},
                 {7, 2, "RecoveredEmail7 (2).eml"},
                 {123456789012ull, 1000, "RecoveredEmail123456789012 (1000).eml"}};
    for (const auto& c : cases)
        EXPECT_EQ(ExportFileName(c.Number, c.Copy), c.Name);
}

// ---- BrowseForFolder ----

TEST(BrowseForFolderTest, ParameterBlockFollowsTheNewFolderChoiceAndTheInitialFolder) {
    struct TCase {
        bool AllowNewFolder;
        const char* Initial;
        UINT Flags;
        bool Callback;
    };
    const TCase cases[] = {{true, "", 0x0041, false},
                           {false, "", 0x0241, false},
                           {true, "C:\\windows", 0x0041, true},
                           {false, "C:\\windows", 0x0241, true}};
    HWND owner = TestApplication().Handle();
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Initial) + (c.AllowNewFolder ? " new folder" : " no new folder"));
        char buffer[MAX_PATH + 1];
        std::string title = "Pick one";
        BROWSEINFOA info = MakeBrowseInfo(owner, title, c.Initial, c.AllowNewFolder, buffer);
        EXPECT_EQ(info.hwndOwner, owner);
        EXPECT_EQ(info.pidlRoot, nullptr);
        EXPECT_EQ(info.pszDisplayName, buffer);
        EXPECT_STREQ(info.lpszTitle, "Pick one");
        EXPECT_EQ(info.ulFlags, c.Flags);
        EXPECT_EQ(info.lpfn != nullptr, c.Callback);
        EXPECT_EQ(info.lParam, 0);
    }
}

namespace {
// Records the folder-selection requests a dialog would receive.
struct TRecordedSelection {
    UINT Message = 0;
    WPARAM ByPath = 0;
    std::string Path;
};
TRecordedSelection Recorded;

LRESULT CALLBACK RecordingWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 102) { // BFFM_SETSELECTIONA
        Recorded = {msg, wParam, reinterpret_cast<const char*>(lParam)};
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
} // namespace

TEST(BrowseForFolderTest, CallbackSelectsTheInitialFolderOnceTheDialogIsReady) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "OstrevanRecordingWindow";
    RegisterClassA(&wc);
    HWND dialog = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(dialog, nullptr);
    char buffer[MAX_PATH + 1];
    MakeBrowseInfo(nullptr, "t", "C:\\users", true, buffer);

    Recorded = {};
    EXPECT_EQ(BrowseForFolderCallback(dialog, 2 /* BFFM_SELCHANGED */, 0, 0), 0);
    EXPECT_EQ(Recorded.Message, 0u) << "other notifications are ignored";
    EXPECT_EQ(BrowseForFolderCallback(dialog, 1 /* BFFM_INITIALIZED */, 0, 0), 0);
    EXPECT_EQ(Recorded.Message, 0x0466u);
    EXPECT_EQ(Recorded.ByPath, 1u);
    EXPECT_EQ(Recorded.Path, "C:\\users");
    DestroyWindow(dialog);
}

TEST(BrowseForFolderTest, CancellingTheRealDialogGivesAnEmptyPath) {
    TestApplication();
    TDialogWatcher watcher(IDCANCEL);
    std::string chosen = BrowseForFolder(TestApplication().Handle(), "Select Where To Save Recovered Emails", "", true);
    EXPECT_EQ(chosen, "");
    std::vector<TSeenDialog> seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].Text.find("Select Where To Save Recovered Emails"), std::string::npos) << seen[0].Text;
}

TEST(BrowseForFolderTest, AcceptingTheRealDialogGivesTheInitialFolderItSelected) {
    TestApplication();
    char windows[MAX_PATH + 1] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    TDialogWatcher watcher(IDOK);
    std::string chosen = BrowseForFolder(TestApplication().Handle(), "Pick", windows, false);
    EXPECT_EQ(_stricmp(chosen.c_str(), windows), 0) << chosen << " / " << windows;
}
