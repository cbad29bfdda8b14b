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

// An in-memory volume that counts the reads made of it, wherever the scanner that owns it goes.
class TCountingSource final : public TMemoryVolumeSource {
public:
    TCountingSource(std::vector<uint8_t> bytes, uint64_t& reads)
        : TMemoryVolumeSource(std::move(bytes), 512, "counted.img"), Reads(reads) {}
    bool ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) override {
        ++Reads;
        return TMemoryVolumeSource::ReadSectors(firstSector, count, buffer);
    }

private:
    uint64_t& Reads;
};

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
        {"sbStatus", Window().sbStatus(), {0, 546, 792, 566}, ""}, // the status line, under the preview
    };
    for (const TPlace& place : places) {
        SCOPED_TRACE(place.Name);
        ASSERT_NE(place.Control, nullptr);
        RECT rect = RectInParent(place.Control);
        EXPECT_EQ(rect.left, place.Expected.left);
        EXPECT_EQ(rect.top, place.Expected.top);
        EXPECT_EQ(rect.right, place.Expected.right);
        EXPECT_EQ(rect.bottom, place.Expected.bottom);
        bool toolButton = std::string(place.Name).rfind("sb", 0) == 0 && place.Control != Window().sbStatus();
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
    EXPECT_TRUE(style & LVS_OWNERDATA) << "a virtual list: rows cost the control nothing";
    EXPECT_FALSE(style & LVS_EDITLABELS);

    // Date as wide as a usual date and a margin; Subject takes the rest of the list beside its scroll bar.
    const int date = static_cast<int>(
        SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(" Wed, 30 Dec 2026 23:59:59 +0000")));
    RECT client;
    GetClientRect(list, &client);
    const int subject = client.right - GetSystemMetrics(SM_CXVSCROLL) - (65 + date + 16 + 130 + 130);
    const std::pair<const char*, int> columns[] = {
        {"Item Num", 65}, {"Date", date + 16}, {"From", 130}, {"To", 130}, {"Subject", std::max(200, subject)}};
    EXPECT_GT(date, 150) << "the original width cut usual dates off";
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
    EXPECT_TRUE(previewStyle & ES_READONLY);
    EXPECT_TRUE(previewStyle & WS_VSCROLL);
    EXPECT_FALSE(previewStyle & (ES_AUTOHSCROLL | WS_HSCROLL)) << "word wrap";
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

TEST_F(MainWindowTest, MenusCarryEveryCommandWithMnemonicsAndShortcutKeys) {
    HMENU menu = GetMenu(Handle());
    ASSERT_NE(menu, nullptr);
    const char* const bar[] = {"&File", "&Edit", "&Scan", "&Help"};
    ASSERT_EQ(GetMenuItemCount(menu), 4);
    for (int i = 0; i < 4; ++i) {
        char text[32] = {};
        GetMenuStringA(menu, i, text, sizeof(text), MF_BYPOSITION);
        EXPECT_STREQ(text, bar[i]);
    }
    const std::pair<UINT, const char*> items[] = {
        {kMenuOpenImage, "&Open Disk Image...\tCtrl+O"},
        {kIdSaveEmail, "&Export Selected...\tCtrl+S"},
        {kMenuExit, "E&xit"},
        {kIdSelectAll, "Quick &Select All\tCtrl+A"},
        {kIdDeselectAll, "Quick &Deselect All"},
        {kIdScan, "&Scan\tF5"},
        {kMenuDeepScan, "&Deep Scan"},
        {kMenuCancel, "&Cancel"},
        {kMenuHelp, "Ostrevan &Help\tF1"},
        {kMenuAbout, "&About Ostrevan"},
    };
    for (const auto& [id, text] : items)
        EXPECT_EQ(MenuText(menu, id), text);
    EXPECT_FALSE(GetMenuState(menu, kMenuDeepScan, MF_BYCOMMAND) & MF_CHECKED) << "off at start";
    EXPECT_FALSE(Window().IsDeepScan());
    Command(kMenuDeepScan);
    EXPECT_TRUE(GetMenuState(menu, kMenuDeepScan, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(Window().IsDeepScan());
    Command(kMenuDeepScan);
    EXPECT_FALSE(Window().IsDeepScan());
}

TEST_F(MainWindowTest, TheNextScanUsesTheRulesDeepScanChoseWhenItStarted) {
    std::string image = OpenImage(FiveMessages());
    Command(kIdScan);
    EXPECT_EQ(Window().LastScanMode(), TScanMode::Standard);
    EXPECT_EQ(WindowText(Window().sbStatus()).find("deep scan"), std::string::npos);
    Command(kMenuDeepScan);
    Command(kIdScan);
    EXPECT_EQ(Window().LastScanMode(), TScanMode::Deep);
    EXPECT_NE(WindowText(Window().sbStatus()).find("(deep scan, "), std::string::npos);
    Command(kMenuDeepScan);
    Command(kIdScan);
    EXPECT_EQ(Window().LastScanMode(), TScanMode::Standard);
}

// The keys go through the message loop's accelerator table, as a user's key presses do.
TEST_F(MainWindowTest, ShortcutKeysRunTheirCommands) {
    OpenImage(FiveMessages());
    auto press = [&](UINT key, bool control) {
        if (control)
            PostMessageA(Window().lvFoundEmails(), WM_KEYDOWN, VK_CONTROL, 0);
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
        PostMessageA(Window().lvFoundEmails(), WM_KEYDOWN, key, 0);
        PumpMessages();
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
    };
    press(VK_F5, false);
    EXPECT_EQ(Captions(), AllCaptions(5)) << "F5 scans";
    EXPECT_EQ(List().Selected(), -1);
    press('A', true);
    EXPECT_EQ(Checks(), std::vector<bool>(5, true)) << "Ctrl+A ticks every row";
    std::string pickerTitle;
    Window().SetFolderPicker([&](HWND, const std::string& title, const std::string&, bool) {
        pickerTitle = title;
        return std::string();
    });
    press('S', true);
    EXPECT_EQ(pickerTitle, "Select Where To Save Recovered Emails") << "Ctrl+S exports";
    {
        TDialogWatcher watcher(IDCANCEL);
        press('O', true);
        ASSERT_EQ(watcher.Seen().size(), 1u);
        EXPECT_EQ(watcher.Seen()[0].Title, "Open Disk Image") << "Ctrl+O opens an image";
    }
}

TEST_F(MainWindowTest, AboutNamesTheProgramAndItsVersion) {
    TDialogWatcher watcher;
    Command(kMenuAbout);
    std::vector<TSeenDialog> seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Title, "About Ostrevan");
    EXPECT_NE(seen[0].Text.find("Ostrevan 1.0"), std::string::npos) << seen[0].Text;
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
    ASSERT_EQ(Window().FoundEmails().Size(), 5u);
    EXPECT_EQ(Window().FoundEmails().FullText(3), FiveMessages()[3].Text());
    EXPECT_EQ(Window().FoundEmails().Body(3), "\r\n" + FiveMessages()[3].Body);
    EXPECT_TRUE(watcher.Seen().empty()) << "a clean scan shows no box";
}

TEST_F(MainWindowTest, ScanReplacesTheResultsAndClearsThePreview) {
    ScanImage(FiveMessages());
    ClickRow(1);
    ASSERT_EQ(Preview(), WithoutLineFeeds("\r\n" + FiveMessages()[1].Body));

    Window().AddDiskImage(OpenImage({FiveMessages()[4]}, "other.img"));
    Command(kIdScan);
    EXPECT_EQ(Captions(), (TCaptions{"0"}));
    EXPECT_EQ(List().Text(0, 4), FiveMessages()[4].Subject);
    EXPECT_EQ(Preview(), "") << "the old body goes with the old list";
    EXPECT_EQ(List().Selected(), -1);

    ClickRow(0);
    OpenImage({}, "empty.img");
    Command(kIdScan);
    EXPECT_EQ(List().Count(), 0);
    EXPECT_TRUE(Window().FoundEmails().Empty());
    EXPECT_EQ(Preview(), "");
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

// Subjects by text, case ignored: alpha(1) Bravo(3) charlie(0) delta(4) Echo(2); senders and recipients run
// the same way. Dates by time run 1 3 0 4 2 too; by text (weekday first) they would run 2 1 4 3 0.
TEST_P(MainWindowSortTest, EachColumnsFirstClickSortsAscendingAndTheNextReverses) {
    ScanImage(FiveMessages());
    for (int column : GetParam().Clicks)
        ClickColumn(column);
    EXPECT_EQ(Captions(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, MainWindowSortTest,
    ::testing::Values(TSortCase{"ItemNumFirstClickAscending", {0}, {"0", "1", "2", "3", "4"}},
                      TSortCase{"ItemNumSecondClickDescending", {0, 0}, {"4", "3", "2", "1", "0"}},
                      TSortCase{"SubjectFirstClickAscendingCaseIgnored", {4}, {"1", "3", "0", "4", "2"}},
                      TSortCase{"SubjectSecondClickDescending", {4, 4}, {"2", "4", "0", "3", "1"}},
                      TSortCase{"DateByTimeNotByText", {1}, {"1", "3", "0", "4", "2"}},
                      TSortCase{"DateAfterADescendingColumnStartsAscending", {4, 4, 1}, {"1", "3", "0", "4", "2"}},
                      TSortCase{"DateAgainDescending", {4, 1, 1}, {"2", "4", "0", "3", "1"}},
                      TSortCase{"BackToAColumnStartsAscendingAgain", {2, 2, 3, 2}, {"1", "3", "0", "4", "2"}},
                      TSortCase{"FromCaseIgnored", {2}, {"1", "3", "0", "4", "2"}},
                      TSortCase{"ToDescending", {3, 3}, {"2", "4", "0", "3", "1"}}),
    [](const ::testing::TestParamInfo<TSortCase>& info) { return std::string(info.param.Name); });

// Moments across zones: ties keep their order in both directions; dates that cannot be read come after the
// others, among themselves by text.
TEST_F(MainWindowTest, DateSortsByTheMomentAcrossTimeZonesAndUnreadableDatesLast) {
    auto message = [](const char* date) {
        return TPlantedMessage{date, " a@example.com", " b@example.org", " s", "Body.\r\n"};
    };
    ScanImage({message(" Mon, 01 Mar 2004 10:00:00 +0000"),   // 0: 10:00 UTC
               message(" Yesterday"),                         // 1: cannot be read
               message(" Mon, 01 Mar 2004 11:30:00 +0200"),   // 2: 09:30 UTC
               message(" Mon, 1 Mar 2004 05:00:00 -0500"),    // 3: 10:00 UTC, as 0
               message(" Sun, 29 Feb 2004 23:00:00 -1200"),   // 4: 11:00 UTC on the 1st
               message(" garbage"),                           // 5: cannot be read; by text before "Yesterday"
               message(" Mon, 01 Mar 2004 10:00:00 +0000")}); // 6: as 0
    ClickColumn(1);
    EXPECT_EQ(Captions(), (TCaptions{"2", "0", "3", "6", "4", "5", "1"}));
    EXPECT_EQ(Window().SortColumn(), 1);
    EXPECT_TRUE(Window().SortAscending());
    ClickColumn(1);
    EXPECT_EQ(Captions(), (TCaptions{"1", "5", "4", "0", "3", "6", "2"}));
    EXPECT_FALSE(Window().SortAscending());
}

TEST_F(MainWindowTest, TheSortedColumnsHeadingCarriesTheArrowOfItsDirection) {
    ScanImage(FiveMessages());
    auto arrows = [&] {
        HWND header = reinterpret_cast<HWND>(SendMessageA(Window().lvFoundEmails(), LVM_GETHEADER, 0, 0));
        std::string shown;
        for (int column = 0; column < 5; ++column) {
            HDITEMA item = {};
            item.mask = HDI_FORMAT;
            SendMessageA(header, HDM_GETITEMA, column, reinterpret_cast<LPARAM>(&item));
            shown += item.fmt & 0x0400 ? '^' : (item.fmt & 0x0200 ? 'v' : '-'); // HDF_SORTUP, HDF_SORTDOWN
        }
        return shown;
    };
    EXPECT_EQ(arrows(), "-----") << "in the order found";
    ClickColumn(2);
    EXPECT_EQ(arrows(), "--^--");
    ClickColumn(2);
    EXPECT_EQ(arrows(), "--v--");
    ClickColumn(4);
    EXPECT_EQ(arrows(), "----^");
    SetKeyword("invoice");
    Command(kIdApplyFilter);
    EXPECT_EQ(arrows(), "-----") << "the filter lists the rows in the order found";
}

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
    ClickColumn(4); // Subject ascending: alpha (message 1) on top
    ClickRow(0);
    EXPECT_EQ(Preview(), WithoutLineFeeds("\r\n" + FiveMessages()[1].Body));
    ClickRow(4); // Echo (message 2) at the bottom
    EXPECT_EQ(Preview(), WithoutLineFeeds("\r\n" + FiveMessages()[2].Body));
}

TEST_F(MainWindowTest, ASortKeepsTheSelectedMessageSelectedAndPreviewed) {
    ScanImage(FiveMessages());
    ClickRow(0); // charlie, message 0
    ClickColumn(4);
    EXPECT_EQ(List().Selected(), 2) << "charlie is third by subject";
    EXPECT_EQ(Preview(), WithoutLineFeeds("\r\n" + FiveMessages()[0].Body));
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

// Keys reach the list through the message loop, as a user's key presses do.
TEST_F(MainWindowTest, ThePreviewFollowsTheSelectionWhateverMovesIt) {
    ScanImage(FiveMessages());
    auto press = [&](UINT key) {
        PostMessageA(Window().lvFoundEmails(), WM_KEYDOWN, key, 0);
        PumpMessages();
    };
    ClickRow(0);
    SetFocus(Window().lvFoundEmails());
    const struct {
        UINT Key;
        int Row;
    } moves[] = {{VK_DOWN, 1}, {VK_DOWN, 2}, {VK_END, 4}, {VK_UP, 3}, {VK_HOME, 0}};
    for (const auto& move : moves) {
        SCOPED_TRACE(move.Key);
        press(move.Key);
        ASSERT_EQ(List().Selected(), move.Row);
        EXPECT_EQ(Preview(), WithoutLineFeeds("\r\n" + FiveMessages()[move.Row].Body));
    }
    List().Select(3); // set by a program, no click
    EXPECT_EQ(Preview(), WithoutLineFeeds("\r\n" + FiveMessages()[3].Body));
}

TEST_F(MainWindowTest, ThePreviewIsReadOnlyAndTabMovesOnFromIt) {
    ScanImage(FiveMessages());
    ClickRow(1);
    const std::string body = Preview();
    SetFocus(Window().txtmsgbody());
    PostMessageA(Window().txtmsgbody(), WM_CHAR, 'x', 0);
    PostMessageA(Window().txtmsgbody(), WM_KEYDOWN, VK_TAB, 0);
    PumpMessages();
    EXPECT_EQ(Preview(), body) << "neither the letter nor a tab went into the body";
    HWND focus = GetFocus();
    EXPECT_TRUE(focus == Window().cbDrives() || IsChild(Window().cbDrives(), focus)) << "on to the drive box";
}

TEST_F(MainWindowTest, TheStatusLineTellsWhatTheScanFoundAndWhatTheFilterLists) {
    EXPECT_EQ(WindowText(Window().sbStatus()), "");
    std::string image = OpenImage(FiveMessages());
    Command(kIdScan);
    const std::string status = WindowText(Window().sbStatus());
    const std::string start = "5 messages found on " + image + " (64 sectors scanned, 0 unreadable, ";
    EXPECT_EQ(status.substr(0, start.size()), start) << status;
    EXPECT_EQ(status.substr(status.size() - 9), " seconds)") << status;

    SetKeyword("invoice");
    Command(kIdApplyFilter);
    EXPECT_EQ(WindowText(Window().sbStatus()), "2 of 5 messages listed: those whose body holds \"invoice\"");
    Command(kIdClearFilter);
    EXPECT_EQ(WindowText(Window().sbStatus()), status);

    std::string one = OpenImage({FiveMessages()[0]}, "one.img");
    Command(kIdScan);
    EXPECT_EQ(WindowText(Window().sbStatus()).rfind("1 message found on " + one + " (", 0), 0u);
    std::string none = OpenImage({}, "none.img");
    Command(kIdScan);
    EXPECT_EQ(WindowText(Window().sbStatus()), "No messages were found on " + none);
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
    EXPECT_EQ(scannedRoots, (std::vector<std::string>{image})) << "Apply and Clear filter what was found";
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

TEST_F(MainWindowTest, ApplyBeforeAnyScanScansNothingAndTheNextScanListsThroughTheFilter) {
    int scans = 0;
    Window().SetScannerFactory([&](const std::string& root, IMessagePump& pump, IProgressFactory& progress) {
        ++scans;
        return std::make_unique<TScanHardDisk>(root, pump, progress);
    });
    OpenImage(FiveMessages());
    SetKeyword("invoice");
    Command(kIdApplyFilter);
    EXPECT_TRUE(Window().IsFilterOn());
    EXPECT_EQ(scans, 0) << "only Scan reads the volume";
    EXPECT_EQ(List().Count(), 0);
    Command(kIdScan);
    EXPECT_EQ(Captions(), (TCaptions{"1", "3"}));
}

TEST_F(MainWindowTest, AKeywordMatchingNothingEmptiesTheListAndThePreview) {
    ScanImage(FiveMessages());
    ClickRow(1);
    ASSERT_NE(Preview(), "");
    SetKeyword("no such word");
    Command(kIdApplyFilter);
    EXPECT_EQ(List().Count(), 0);
    EXPECT_EQ(Preview(), "") << "the preview goes with its row";
}

// Apply and Clear work on what the scan found: a volume whose reads are counted is not read again, and the
// rows are those a fresh scan with the filter on would list.
TEST_F(MainWindowTest, ApplyAndClearReadNothingFromTheVolumeAndListWhatAFilteredScanWould) {
    std::vector<uint8_t> bytes = ImageWithMessages(FiveMessages());
    uint64_t reads = 0;
    Window().SetScannerFactory([&](const std::string&, IMessagePump& pump, IProgressFactory& progress) {
        auto source = std::make_unique<TCountingSource>(bytes, reads);
        return std::make_unique<TScanHardDisk>(std::move(source), pump, progress);
    });
    OpenImage({}, "stand-in.img"); // a selected item for Scan; the factory reads the counted bytes instead
    Command(kIdScan);
    ASSERT_GT(reads, 0u);
    const uint64_t readsAfterScan = reads;

    SetKeyword("invoice");
    Command(kIdApplyFilter);
    TCaptions filtered = Captions();
    Command(kIdClearFilter);
    TCaptions all = Captions();
    EXPECT_EQ(reads, readsAfterScan) << "neither Apply nor Clear read the volume";

    Command(kIdScan); // the filter is off: every message
    EXPECT_EQ(all, Captions());
    SetKeyword("invoice");
    Command(kIdApplyFilter);
    Command(kIdScan); // a scan with the filter on lists through it
    EXPECT_EQ(filtered, Captions());
    EXPECT_EQ(filtered, (TCaptions{"1", "3"}));
}

TEST_F(MainWindowTest, EnterInTheKeywordBoxApplies) {
    ScanImage(FiveMessages());
    SetKeyword("invoice");
    SetFocus(Window().txtFilter());
    PostMessageA(Window().txtFilter(), WM_KEYDOWN, VK_RETURN, 0);
    PumpMessages(); // through the message loop's keyboard handling, as a key press goes
    EXPECT_TRUE(Window().IsFilterOn());
    EXPECT_EQ(Captions(), (TCaptions{"1", "3"}));
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
    EXPECT_EQ(Checks(), (std::vector<bool>{false, true, false, true, false})) << "ticks stay on the rows that stay";
}

TEST_F(MainWindowTest, TicksStayOnRowsTheFilterKeepsAndLeaveRowsItHides) {
    ScanImage(FiveMessages());
    List().SetChecked(0, true); // charlie: no invoice in its body
    List().SetChecked(3, true); // Bravo: an invoice
    SetKeyword("invoice");
    Command(kIdApplyFilter);
    EXPECT_EQ(Checks(), (std::vector<bool>{false, true}));
    Command(kIdClearFilter);
    EXPECT_EQ(Checks(), (std::vector<bool>{false, false, false, true, false}))
        << "a hidden row comes back unticked: no tick is kept where the user cannot see it";
    ClickColumn(0);
    ClickColumn(0);
    EXPECT_EQ(Checks(), (std::vector<bool>{false, true, false, false, false})) << "ticks go with their rows";
}

TEST_F(MainWindowTest, AClickOnACheckBoxAndTheSpaceBarTickTheRow) {
    ScanImage(FiveMessages());
    HWND list = Window().lvFoundEmails();
    RECT icon = {};
    icon.left = LVIR_ICON;
    SendMessageA(list, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&icon));
    LVHITTESTINFO hit = {};
    hit.pt = {icon.left - 8, (icon.top + icon.bottom) / 2}; // the check box stands left of the picture
    SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    ASSERT_EQ(hit.iItem, 2);
    ASSERT_TRUE(hit.flags & LVHT_ONITEMSTATEICON);
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(hit.pt.x, hit.pt.y));
    SendMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(hit.pt.x, hit.pt.y));
    EXPECT_EQ(Checks(), (std::vector<bool>{false, false, true, false, false}));
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(hit.pt.x, hit.pt.y));
    SendMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(hit.pt.x, hit.pt.y));
    EXPECT_EQ(Checks(), std::vector<bool>(5, false));

    RECT from = {};
    from.top = 2; // the From cell of row 1: a click there selects the row and leaves its tick alone
    from.left = LVIR_BOUNDS;
    SendMessageA(list, LVM_GETSUBITEMRECT, 1, reinterpret_cast<LPARAM>(&from));
    POINT inFrom = {(from.left + from.right) / 2, (from.top + from.bottom) / 2};
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(inFrom.x, inFrom.y));
    SendMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(inFrom.x, inFrom.y));
    PumpMessages();
    EXPECT_EQ(Checks(), std::vector<bool>(5, false));
    EXPECT_EQ(List().Selected(), 1);
    EXPECT_EQ(Preview(), WithoutLineFeeds("\r\n" + FiveMessages()[1].Body));

    ClickRow(4);
    SetFocus(list);
    PostMessageA(list, WM_KEYDOWN, VK_SPACE, 0);
    PostMessageA(list, WM_CHAR, ' ', 0);
    PumpMessages();
    EXPECT_EQ(Checks(), (std::vector<bool>{false, false, false, false, true}));
    EXPECT_EQ(List().Selected(), 4) << "the space bar leaves the selection alone";
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
    EXPECT_EQ(Window().FoundEmails().Size(), 5u);
    EXPECT_EQ(Captions(), AllCaptions(5));
    EXPECT_EQ(Preview(), preview);
}

TEST_F(MainWindowTest, AnImageThatCannotBeOpenedIsNotAddedAndTheBoxNamesIt) {
    size_t drivesBefore = Window().DriveRoots().size();
    WriteWholeFile(Scratch.File("empty.img"), std::string());
    const std::string refused[] = {Scratch.File("gone.img"), Scratch.File("empty.img")};
    for (const std::string& path : refused) {
        SCOPED_TRACE(path);
        TDialogWatcher watcher;
        EXPECT_FALSE(Window().AddDiskImage(path));
        std::vector<TSeenDialog> seen = watcher.Seen();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_NE(seen[0].Text.find(path), std::string::npos) << seen[0].Text;
        EXPECT_EQ(Window().DriveRoots().size(), drivesBefore);
        EXPECT_EQ(SendMessageA(Window().cbDrives(), CB_GETCOUNT, 0, 0), static_cast<LRESULT>(drivesBefore));
    }
}

TEST_F(MainWindowTest, AnImageThatCannotBeOpenedAtScanTimeLeavesTheDriveBoxAndTheListAsItWas) {
    ScanImage(FiveMessages());
    size_t drivesBefore = Window().DriveRoots().size();
    std::string path = OpenImage(FiveMessages(), "moved-away.img");
    ASSERT_EQ(Window().DriveRoots().size(), drivesBefore + 1);
    DeleteFileA(path.c_str());
    TDialogWatcher watcher;
    Command(kIdScan);
    std::vector<TSeenDialog> seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].Text.find("moved-away.img"), std::string::npos) << seen[0].Text;
    EXPECT_EQ(Window().DriveRoots().size(), drivesBefore);
    EXPECT_EQ(SendMessageA(Window().cbDrives(), CB_GETCOUNT, 0, 0), static_cast<LRESULT>(drivesBefore));
    EXPECT_EQ(std::count(Window().DriveRoots().begin(), Window().DriveRoots().end(), path), 0);
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
