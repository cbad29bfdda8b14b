// The main window: layout, scan and fill, sort, preview, filter, check all/none, errors, help and exit.
#include "MainWindowTestSupport.h"

#include "volume/MemoryVolumeSource.h"
#include "volume/VolumeError.h"

#include <commctrl.h>

#include <algorithm>

#include <string>
#include <vector>

using TCaptions = std::vector<std::string>;

namespace {

RECT RectInParent(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string ToolButtonCaption(HWND bar) {
    TBBUTTON button = {};
    SendMessageA(bar, TB_GETBUTTON, 0, reinterpret_cast<LPARAM>(&button));
    char text[64] = {};
    SendMessageA(bar, TB_GETBUTTONTEXTA, button.idCommand, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string MenuText(HMENU menu, UINT id) {
    char text[64] = {};
    GetMenuStringA(menu, id, text, sizeof(text), MF_BYCOMMAND);
    return text;
}

std::vector<TPlantedMessage> NumberedMessages(int count) {
    std::vector<TPlantedMessage> messages;
    for (int i = 0; i < count; ++i)
        messages.push_back({" Sat, 06 Mar 2004", " sender" + std::to_string(i) + "@example.com", " to@example.org",
                            " message " + std::to_string(i), "Body " + std::to_string(i) + ".\r\n"});
    return messages;
}

TCaptions AllCaptions(int count) {
    TCaptions captions;
    for (int i = 0; i < count; ++i)
        captions.push_back(std::to_string(i));
    return captions;
}

} // namespace

// ---- Layout ----

TEST_F(MainWindowTest, WindowHasItsTitleSizeResizableFrameAndOwner) {
    EXPECT_EQ(WindowText(Handle()), "Ostrevan v1.0");
    RECT client;
    GetClientRect(Handle(), &client);
    EXPECT_EQ(client.right, TfrmMain::kClientWidth);
    EXPECT_EQ(client.bottom, TfrmMain::kClientHeight);
    LONG style = GetWindowLongA(Handle(), GWL_STYLE);
    EXPECT_EQ(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX)
        << "resizable and maximisable; the hidden application window minimises the program";
    EXPECT_EQ(GetWindow(Handle(), GW_OWNER), TestApplication().Handle()) << "the hidden application window owns it";
    EXPECT_EQ(WindowText(TestApplication().Handle()), "Ostrevan 1.0");

    RECT window, work;
    GetWindowRect(Handle(), &window);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((window.left + window.right) / 2, (work.left + work.right) / 2, 1);
    EXPECT_NEAR((window.top + window.bottom) / 2, (work.top + work.bottom) / 2, 1);

    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(Window().txtFilter(), WM_GETFONT, 0, 0)), sizeof(font), &font);
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(font.lfHeight, -11);
}

TEST_F(MainWindowTest, ControlsStandWhereTheLayoutPutsThemWithTheirCaptions) {
    struct TPlace {
        const char* Name;
        HWND Control;
        RECT Expected; // left, top, right, bottom
        std::string Caption;
    };
    HWND driveGroup = GetDlgItem(Handle(), kIdDriveGroup);
    HWND filterGroup = GetDlgItem(Handle(), kIdFilterGroup);
    const TPlace places[] = {
        {"sbScan", Window().ToolButton(kIdScan), {8, 8, 108, 97}, "Scan"},
        {"sbSelectAll", Window().ToolButton(kIdSelectAll), {112, 8, 212, 97}, "Quick Select All"},
        {"sbDeselectAll", Window().ToolButton(kIdDeselectAll), {216, 8, 316, 97}, "Quick Deselect All"},
        {"sbSaveEmail", Window().ToolButton(kIdSaveEmail), {320, 8, 420, 97}, "Export Selected"},
        {"GroupBox1", driveGroup, {424, 8, 601, 97}, "Select Drive To Scan"},
        {"Filter", filterGroup, {608, 8, 785, 97}, "Filter Emails"},
        {"txtFilter", Window().txtFilter(), {616, 40, 777, 61}, ""},
        {"btnApplyFilter", Window().btnApplyFilter(), {672, 72, 722, 89}, "Apply"},
        {"btnClearFilter", Window().btnClearFilter(), {728, 72, 778, 89}, "Clear"},
        {"lvFoundEmails", Window().lvFoundEmails(), {8, 104, 785, 377}, ""},
        {"txtmsgbody", Window().txtmsgbody(), {8, 384, 785, 545}, ""},
    };
    for (const TPlace& place : places) {
        SCOPED_TRACE(place.Name);
        ASSERT_NE(place.Control, nullptr);
        RECT rect = RectInParent(place.Control);
        EXPECT_EQ(rect.left, place.Expected.left);
        EXPECT_EQ(rect.top, place.Expected.top);
        EXPECT_EQ(rect.right, place.Expected.right);
        EXPECT_EQ(rect.bottom, place.Expected.bottom);
        bool toolButton = std::string(place.Name).rfind("sb", 0) == 0;
        EXPECT_EQ(toolButton ? ToolButtonCaption(place.Control) : WindowText(place.Control), place.Caption);
    }
    RECT drives = RectInParent(Window().cbDrives()); // its window includes the dropped-down list
    EXPECT_EQ(drives.left, 432);
    EXPECT_EQ(drives.top, 40);
    EXPECT_EQ(drives.right - drives.left, 161);
    EXPECT_EQ(WindowText(GetDlgItem(Handle(), kIdKeywordLabel)), "Keyword");
}

TEST_F(MainWindowTest, ListHasCheckBoxesGridFullRowSingleSelectionAndTheFiveColumns) {
    HWND list = Window().lvFoundEmails();
    DWORD extended = static_cast<DWORD>(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended & (LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
              static_cast<DWORD>(LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
    LONG style = GetWindowLongA(list, GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(style & LVS_SINGLESEL);
    EXPECT_FALSE(style & LVS_EDITLABELS);

    // Date as wide as a usual date and a margin; Subject takes the rest of the list beside its scroll bar.
    const int date = static_cast<int>(
        SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(" Wed, 30 Dec 2026 23:59:59 +0000")));
    RECT client;
    GetClientRect(list, &client);
    const int subject = client.right - GetSystemMetrics(SM_CXVSCROLL) - (65 + date + 16 + 140 + 140);
    const std::pair<const char*, int> columns[] = {
        {"Item Num", 65}, {"Date", date + 16}, {"From", 140}, {"To", 140}, {"Subject", std::max(250, subject)}};
    EXPECT_GT(date, 150) << "the specified width cut usual dates off";
    for (int i = 0; i < 5; ++i) {
        char text[32] = {};
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = text;
        column.cchTextMax = sizeof(text);
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(text, columns[i].first);
        EXPECT_EQ(column.cx, columns[i].second);
    }

    LONG previewStyle = GetWindowLongA(Window().txtmsgbody(), GWL_STYLE);
    EXPECT_TRUE(previewStyle & ES_MULTILINE);
    EXPECT_FALSE(previewStyle & (ES_AUTOHSCROLL | WS_HSCROLL | WS_VSCROLL | ES_READONLY))
        << "editable, word wrap, no scroll bars";
}

TEST_F(MainWindowTest, DriveBoxListsTheReadyDrivesAndSelectsTheFirst) {
    HWND box = Window().cbDrives();
    EXPECT_EQ(GetWindowLongA(box, GWL_STYLE) & 3, CBS_DROPDOWNLIST);
    const TDriveArray& drives = Window().DriveRoots();
    ASSERT_FALSE(drives.empty()) << "Wine lists at least C:\\";
    ASSERT_EQ(SendMessageA(box, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(drives.size()));
    for (size_t i = 0; i < drives.size(); ++i) {
        char text[MAX_PATH] = {};
        COMBOBOXEXITEMA item = {};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE;
        item.iItem = static_cast<INT_PTR>(i);
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        SendMessageA(box, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(text, drives[i]);
        EXPECT_EQ(item.iImage, 0) << "picture 0: a disk drive";
    }
    EXPECT_EQ(SendMessageA(box, CB_GETCURSEL, 0, 0), 0);
}

TEST_F(MainWindowTest, KeyboardOrderRunsFromTheListThroughTheFilterToPreviewAndDriveBox) {
    std::vector<HWND> order;
    for (HWND child = GetWindow(Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetWindowLongA(child, GWL_STYLE) & WS_TABSTOP)
            order.push_back(child);
    std::vector<HWND> expected = {Window().lvFoundEmails(),  Window().txtFilter(),  Window().btnApplyFilter(),
                                  Window().btnClearFilter(), Window().txtmsgbody(), Window().cbDrives()};
    EXPECT_EQ(order, expected) << "tool buttons take no focus";
    for (int id : {kIdScan, kIdSelectAll, kIdDeselectAll, kIdSaveEmail})
        EXPECT_FALSE(GetWindowLongA(Window().ToolButton(id), GWL_STYLE) & WS_TABSTOP);
}

TEST_F(MainWindowTest, MenuBarOffersOpenImageExitAndHelpWithF1) {
    HMENU menu = GetMenu(Handle());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 2);
    EXPECT_EQ(MenuText(menu, kMenuOpenImage), "&Open Disk Image...");
    EXPECT_EQ(MenuText(menu, kMenuExit), "E&xit");
    EXPECT_EQ(MenuText(menu, kMenuHelp), "Ostrevan Help\tF1");
}

// ---- Scan and fill ----

TEST_F(MainWindowTest, ScanFillsTheListInTheOrderFoundWithIndexCaptionsAndFourSubItems) {
    TDialogWatcher watcher;
    SetFocus(Window().txtFilter());
    ScanImage(FiveMessages());
    EXPECT_TRUE(IsWindowEnabled(Handle())) << "enabled again after the scan";
    EXPECT_EQ(GetFocus(), Window().txtFilter()) << "the keyboard focus is back where it was";
    EXPECT_EQ(FindWindowA("TfrmWait", nullptr), nullptr) << "progress window closed";
    ASSERT_EQ(Captions(), AllCaptions(5));
    for (int row = 0; row < 5; ++row) {
        SCOPED_TRACE(row);
        const TPlantedMessage& planted = FiveMessages()[row];
        EXPECT_EQ(List().Text(row, 1), planted.Date);
        EXPECT_EQ(List().Text(row, 2), planted.From);
        EXPECT_EQ(List().Text(row, 3), planted.To);
        EXPECT_EQ(List().Text(row, 4), planted.Subject);
        EXPECT_FALSE(List().Checked(row)) << "new rows start unchecked";
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        SendMessageA(Window().lvFoundEmails(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(item.iImage, 1) << "picture 1: an open envelope with a tick";
    }
    ASSERT_EQ(Window().FoundEmails().size(), 5u);
    EXPECT_EQ(Window().FoundEmails()[3].FullText, FiveMessages()[3].Text());
    EXPECT_TRUE(watcher.Seen().empty()) << "a clean scan shows no box";
}

TEST_F(MainWindowTest, ScanReplacesTheResultsAndLeavesThePreviewAlone) {
    ScanImage(FiveMessages());
    ClickRow(1);
    std::string preview = Preview();
    ASSERT_EQ(preview, WithoutLineFeeds("\r\n" + FiveMessages()[1].Body));

    Window().AddDiskImage(OpenImage({FiveMessages()[4]}, "other.img"));
    Command(kIdScan);
    EXPECT_EQ(Captions(), (TCaptions{"0"}));
    EXPECT_EQ(List().Text(0, 4), FiveMessages()[4].Subject);
    EXPECT_EQ(Preview(), preview) << "a new scan does not touch the preview";

    OpenImage({}, "empty.img");
    Command(kIdScan);
    EXPECT_EQ(List().Count(), 0);
    EXPECT_TRUE(Window().FoundEmails().empty());
    EXPECT_EQ(Preview(), preview);
    EXPECT_TRUE(IsWindowEnabled(Handle()));
}

TEST_F(MainWindowTest, OpeningTheSameImageTwiceSelectsTheItemItAlreadyHas) {
    size_t drivesBefore = Window().DriveRoots().size();
    std::string path = OpenImage(FiveMessages());
    SendMessageA(Window().cbDrives(), CB_SETCURSEL, 0, 0);
    Window().AddDiskImage(path);
    ASSERT_EQ(Window().DriveRoots().size(), drivesBefore + 1);
    EXPECT_EQ(Window().DriveRoots().back(), path);
    EXPECT_EQ(SendMessageA(Window().cbDrives(), CB_GETCURSEL, 0, 0), static_cast<LRESULT>(drivesBefore));
    EXPECT_EQ(SendMessageA(Window().cbDrives(), CB_GETCOUNT, 0, 0), static_cast<LRESULT>(drivesBefore + 1));
}

TEST_F(MainWindowTest, OpenDiskImageFromTheMenuAddsTheChosenFileAndCancelAddsNothing) {
    std::string path = Scratch.File("menu.img");
    WriteWholeFile(path, ImageWithMessages(FiveMessages()));
    size_t drivesBefore = Window().DriveRoots().size();
    {
        TDialogWatcher cancel(IDCANCEL);
        Command(kMenuOpenImage);
        ASSERT_EQ(cancel.Seen().size(), 1u);
        EXPECT_EQ(cancel.Seen()[0].Title, "Open Disk Image");
    }
    EXPECT_EQ(Window().DriveRoots().size(), drivesBefore);
    {
        // The file name box of the open dialog (cmb13, or edt1 in the old style).
        TDialogWatcher open(IDOK, [&](HWND dialog) {
            HWND name = GetDlgItem(dialog, 0x47c) ? GetDlgItem(dialog, 0x47c) : GetDlgItem(dialog, 0x480);
            SetWindowTextA(name, path.c_str());
        });
        Command(kMenuOpenImage);
    }
    ASSERT_EQ(Window().DriveRoots().size(), drivesBefore + 1);
    EXPECT_EQ(_stricmp(Window().DriveRoots().back().c_str(), path.c_str()), 0) << Window().DriveRoots().back();
    Command(kIdScan);
    EXPECT_EQ(Captions(), AllCaptions(5));
}

TEST_F(MainWindowTest, ScanWithNoDriveSelectedDoesNothing) {
    int scans = 0;
    Window().SetScannerFactory(
        [&](const std::string&, IMessagePump&, IProgressFactory&) -> std::unique_ptr<TScanHardDisk> {
            ++scans;
            throw TVolumeError("must not be called");
        });
    SendMessageA(Window().cbDrives(), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    TDialogWatcher watcher;
    Command(kIdScan);
    EXPECT_EQ(scans, 0);
    EXPECT_TRUE(watcher.Seen().empty());
}

// ---- Sort and preview ----

struct TSortCase {
    const char* Name;
    std::vector<int> Clicks;
    TCaptions Expected;
};

void PrintTo(const TSortCase& sortCase, std::ostream* out) {
    *out << sortCase.Name;
}

class MainWindowSortTest : public MainWindowTest, public ::testing::WithParamInterface<TSortCase> {};

// Subjects by text, case ignored: alpha(1) Bravo(3) charlie(0) delta(4) Echo(2).
// Dates by text (weekday first): Fri(2) Mon(1) Thu(4) Tue(3) Wed(0); by time they would run 1 3 0 4 2.
TEST_P(MainWindowSortTest, ColumnClicksFromAFreshProgramSortAsTheSortStateSays) {
    ScanImage(FiveMessages());
    for (int column : GetParam().Clicks)
        ClickColumn(column);
    EXPECT_EQ(Captions(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Sequences, MainWindowSortTest,
                         ::testing::Values(TSortCase{"ItemNumFirstClickAscending", {0}, {"0", "1", "2", "3", "4"}},
                                           TSortCase{"ItemNumSecondClickDescending", {0, 0}, {"4", "3", "2", "1", "0"}},
                                           TSortCase{"SubjectFirstClickDescending", {4}, {"2", "4", "0", "3", "1"}},
                                           TSortCase{
                                               "DateAfterSubjectKeepsDescending", {4, 1}, {"0", "3", "4", "1", "2"}},
                                           TSortCase{"DateAgainAscending", {4, 1, 1}, {"2", "1", "4", "3", "0"}},
                                           TSortCase{"FromCaseIgnored", {2, 2}, {"1", "3", "0", "4", "2"}},
                                           TSortCase{"ToDescending", {3}, {"2", "4", "0", "3", "1"}}),
                         [](const ::testing::TestParamInfo<TSortCase>& info) { return std::string(info.param.Name); });

TEST_F(MainWindowTest, ItemNumSortsByNumberNotByText) {
    ScanImage(NumberedMessages(12));
    ClickColumn(0);
    ClickColumn(0);
    TCaptions expected = AllCaptions(12);
    std::reverse(expected.begin(), expected.end()); // by text, "9" would come before "11" and "10"
    EXPECT_EQ(Captions(), expected);
}

TEST_F(MainWindowTest, AfterASortAClickPreviewsTheRowsOwnMessage) {
    ScanImage(FiveMessages());
    ClickColumn(4); // Subject descending: Echo (message 2) on top
    ClickRow(0);
    EXPECT_EQ(Preview(), WithoutLineFeeds("\r\n" + FiveMessages()[2].Body));
    ClickRow(4); // alpha (message 1) at the bottom
    EXPECT_EQ(Preview(), WithoutLineFeeds("\r\n" + FiveMessages()[1].Body));
}

TEST_F(MainWindowTest, PreviewShowsALongBodyWhole) {
    std::string body;
    for (int line = 0; body.size() < 100000; ++line)
        body += "Line " + std::to_string(line) + " of a long message body.\r\n";
    TPlantedMessage message = {" Sun, 07 Mar 2004", " a@example.com", " b@example.org", " long", body};
    std::string text = message.Text();
    std::vector<uint8_t> bytes(512 * 2 + text.size() + 512 * 4, 0);
    std::copy(text.begin(), text.end(), bytes.begin() + 512 * 2);
    std::string path = Scratch.File("long.img");
    WriteWholeFile(path, bytes);
    Window().AddDiskImage(path);
    Command(kIdScan);
    ASSERT_EQ(List().Count(), 1);
    ClickRow(0);
    EXPECT_EQ(Preview(), WithoutLineFeeds("\r\n" + body)) << "a body of 100 KB is shown whole";
}

TEST_F(MainWindowTest, ClickWithNoRowSelectedLeavesThePreview) {
    ScanImage(FiveMessages());
    SetWindowTextA(Window().txtmsgbody(), "typed by the user");
    NMITEMACTIVATE click = {};
    click.hdr = {Window().lvFoundEmails(), kIdFoundEmails, static_cast<UINT>(NM_CLICK)};
    click.iItem = -1;
    SendMessageA(Handle(), WM_NOTIFY, kIdFoundEmails, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(Preview(), "typed by the user");
}

// ---- Filter ----

TEST_F(MainWindowTest, FilterControlsStartInTheOffState) {
    EXPECT_FALSE(Window().IsFilterOn());
    EXPECT_TRUE(IsWindowEnabled(Window().btnApplyFilter()));
    EXPECT_FALSE(IsWindowEnabled(Window().btnClearFilter()));
    EXPECT_TRUE(IsWindowEnabled(Window().txtFilter()));
}

TEST_F(MainWindowTest, ApplyListsOnlyBodiesHoldingTheKeywordAndClearListsAllAgain) {
    std::vector<std::string> scannedRoots;
    Window().SetScannerFactory([&](const std::string& root, IMessagePump& pump, IProgressFactory& progress) {
        scannedRoots.push_back(root);
        return std::make_unique<TScanHardDisk>(root, pump, progress);
    });
    std::string image = OpenImage(FiveMessages());
    Command(kIdScan);
    SendMessageA(Window().cbDrives(), CB_SETCURSEL, 0, 0); // another drive selected since: not the one rescanned

    SetKeyword("INVOICE"); // capitals match "invoice" and "InVoIcE"
    Command(kIdApplyFilter);
    EXPECT_EQ(Captions(), (TCaptions{"1", "3"})) << "captions keep their array indices";
    EXPECT_TRUE(Window().IsFilterOn());
    EXPECT_FALSE(IsWindowEnabled(Window().btnApplyFilter()));
    EXPECT_TRUE(IsWindowEnabled(Window().btnClearFilter()));
    EXPECT_FALSE(IsWindowEnabled(Window().txtFilter()));
    ClickRow(1);
    EXPECT_EQ(Preview(), WithoutLineFeeds("\r\n" + FiveMessages()[3].Body));

    Command(kIdClearFilter);
    EXPECT_EQ(Captions(), AllCaptions(5));
    EXPECT_FALSE(Window().IsFilterOn());
    EXPECT_TRUE(IsWindowEnabled(Window().btnApplyFilter()));
    EXPECT_FALSE(IsWindowEnabled(Window().btnClearFilter()));
    EXPECT_TRUE(IsWindowEnabled(Window().txtFilter()));
    EXPECT_EQ(WindowText(Window().txtFilter()), "INVOICE") << "the keyword stays";
    EXPECT_EQ(scannedRoots, (std::vector<std::string>{image, image, image})) << "Apply and Clear rescan the image";
}

TEST_F(MainWindowTest, ApplyWithAnEmptyKeywordDoesNothing) {
    int scans = 0;
    Window().SetScannerFactory([&](const std::string& root, IMessagePump& pump, IProgressFactory& progress) {
        ++scans;
        return std::make_unique<TScanHardDisk>(root, pump, progress);
    });
    ScanImage(FiveMessages());
    SetKeyword("");
    Command(kIdApplyFilter);
    EXPECT_EQ(scans, 1);
    EXPECT_FALSE(Window().IsFilterOn());
    EXPECT_TRUE(IsWindowEnabled(Window().btnApplyFilter()));
    EXPECT_FALSE(IsWindowEnabled(Window().btnClearFilter()));
    EXPECT_EQ(Captions(), AllCaptions(5));
}

TEST_F(MainWindowTest, ApplyBeforeAnyScanScansTheSelectedDriveAndAKeywordMatchingNothingEmptiesTheList) {
    std::string image = OpenImage(FiveMessages());
    SetKeyword("no such word");
    Command(kIdApplyFilter);
    EXPECT_TRUE(Window().IsFilterOn());
    EXPECT_EQ(Window().FoundEmails().size(), 5u) << "the selected image was scanned";
    EXPECT_EQ(List().Count(), 0);
}

// ---- Check all / none ----

TEST_F(MainWindowTest, SelectAndDeselectAllOnAnEmptyListDoNothing) {
    Command(kIdSelectAll);
    Command(kIdDeselectAll);
    EXPECT_EQ(List().Count(), 0);
}

TEST_F(MainWindowTest, SelectAllChecksEveryRowShownAndDeselectAllClearsThemKeepingSelectionAndPreview) {
    ScanImage(FiveMessages());
    ClickRow(2);
    std::string preview = Preview();
    List().SetChecked(3, true);
    Command(kIdSelectAll);
    EXPECT_EQ(Checks(), std::vector<bool>(5, true));
    Command(kIdDeselectAll);
    EXPECT_EQ(Checks(), std::vector<bool>(5, false));
    EXPECT_EQ(List().Selected(), 2);
    EXPECT_EQ(Preview(), preview);

    SetKeyword("invoice");
    Command(kIdApplyFilter);
    Command(kIdSelectAll);
    EXPECT_EQ(Checks(), std::vector<bool>(2, true)) << "only the rows shown";
    Command(kIdClearFilter);
    EXPECT_EQ(Checks(), std::vector<bool>(5, false)) << "the refill makes fresh, unchecked rows";
}

// ---- Errors and warnings ----

TEST_F(MainWindowTest, AScannerThatCannotBeMadeIsReportedAndChangesNothing) {
    ScanImage(FiveMessages());
    ClickRow(0);
    std::string preview = Preview();
    Window().SetScannerFactory(
        [](const std::string& root, IMessagePump&, IProgressFactory&) -> std::unique_ptr<TScanHardDisk> {
            throw TVolumeError("Cannot read \"" + root + "\": the device is not ready");
        });
    TDialogWatcher watcher;
    Command(kIdScan);
    std::vector<TSeenDialog> seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Title, "Ostrevan 1.0");
    EXPECT_NE(seen[0].Text.find("the device is not ready"), std::string::npos) << seen[0].Text;
    EXPECT_TRUE(IsWindowEnabled(Handle()));
    EXPECT_EQ(Window().FoundEmails().size(), 5u);
    EXPECT_EQ(Captions(), AllCaptions(5));
    EXPECT_EQ(Preview(), preview);
}

TEST_F(MainWindowTest, AMissingImageIsReportedWithItsPath) {
    std::string path = Scratch.File("gone.img");
    Window().AddDiskImage(path);
    TDialogWatcher watcher;
    Command(kIdScan);
    std::vector<TSeenDialog> seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].Text.find("gone.img"), std::string::npos) << seen[0].Text;
    EXPECT_TRUE(IsWindowEnabled(Handle()));
    EXPECT_EQ(List().Count(), 0);
}

TEST_F(MainWindowTest, AFailedRescanLeavesTheFilterInTheStateThatMatchesTheList) {
    ScanImage(FiveMessages());
    Window().SetScannerFactory(
        [](const std::string&, IMessagePump&, IProgressFactory&) -> std::unique_ptr<TScanHardDisk> {
            throw TVolumeError("Cannot read the drive");
        });
    SetKeyword("invoice");
    {
        TDialogWatcher watcher;
        Command(kIdApplyFilter);
        EXPECT_EQ(watcher.Seen().size(), 1u);
    }
    EXPECT_FALSE(Window().IsFilterOn()) << "the list still shows every message";
    EXPECT_TRUE(IsWindowEnabled(Window().btnApplyFilter()));
    EXPECT_FALSE(IsWindowEnabled(Window().btnClearFilter()));
    EXPECT_TRUE(IsWindowEnabled(Window().txtFilter()));
    EXPECT_EQ(Captions(), AllCaptions(5));
}

TEST_F(MainWindowTest, UnreadableSectorsAreCountedInAWarningAfterTheList) {
    std::vector<uint8_t> bytes = ImageWithMessages(FiveMessages());
    Window().SetScannerFactory([&](const std::string&, IMessagePump& pump, IProgressFactory& progress) {
        auto source = std::make_unique<TMemoryVolumeSource>(bytes, 512, "failing.img");
        source->FailSector(40);
        source->FailSector(41);
        source->FailSector(50);
        return std::make_unique<TScanHardDisk>(std::move(source), pump, progress, 4096);
    });
    TDialogWatcher watcher;
    Command(kIdScan);
    std::vector<TSeenDialog> seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Title, "Warning");
    EXPECT_NE(seen[0].Text.find("3 sectors of "), std::string::npos) << seen[0].Text;
    EXPECT_NE(seen[0].Text.find("skipped"), std::string::npos) << seen[0].Text;
    EXPECT_EQ(Captions(), AllCaptions(5)) << "what could be read is listed";
}

// ---- Help and exit ----

TEST_F(MainWindowTest, F1WithoutTheHelpPageSaysWhichFileAndWhy) {
    std::string help = Scratch.File("help.html");
    Window().SetHelpFile(help);
    TDialogWatcher watcher;
    PostMessageA(Window().lvFoundEmails(), WM_KEYDOWN, VK_F1, 0);
    PumpMessages(); // through the application's accelerator table
    std::vector<TSeenDialog> seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Title, "Error");
    EXPECT_NE(seen[0].Text.find(help), std::string::npos) << seen[0].Text;
}

// A close request during a scan (the window's own, or the taskbar button's) cancels the scan; the messages found
// up to there are listed, and then the window closes. F1 waits for the scan's end.
TEST_F(MainWindowTest, CloseRequestsDuringAScanCancelItListWhatWasFoundAndThenClose) {
    std::string help = Scratch.File("help.html");
    Window().SetHelpFile(help);
    bool disabledDuringScan = false;
    bool closedDuringScan = false;
    Window().SetScannerFactory([&](const std::string& root, IMessagePump& pump, IProgressFactory& progress) {
        disabledDuringScan = !IsWindowEnabled(Handle());
        SendMessageA(Handle(), WM_CLOSE, 0, 0);
        SendMessageA(TestApplication().Handle(), WM_CLOSE, 0, 0); // the taskbar button's Close
        PostMessageA(Window().lvFoundEmails(), WM_KEYDOWN, VK_F1, 0);
        PumpMessages(); // what the scan's pump does
        closedDuringScan = !IsWindow(Handle());
        return std::make_unique<TScanHardDisk>(root, pump, progress);
    });
    TDialogWatcher watcher;
    ScanImage(FiveMessages());
    EXPECT_TRUE(disabledDuringScan);
    EXPECT_FALSE(closedDuringScan) << "the scan ends first";
    EXPECT_TRUE(Window().LastScanEnd().Cancelled);
    EXPECT_EQ(Captions(), std::vector<std::string>{"0"}) << "the walk stopped after the run of its first find";
    EXPECT_TRUE(watcher.Seen().empty()) << "no help error box: F1 waited";

    HWND window = Handle();
    PumpMessages();
    EXPECT_FALSE(IsWindow(window)) << "then the window closes";
}

TEST_F(MainWindowTest, ExitClosesTheWindow) {
    HWND window = Handle();
    Command(kMenuExit);
    EXPECT_FALSE(IsWindow(window));
}
