// The windows on today's displays: every place and font scaled from 96 DPI, and a main window that can grow.
#include "MainWindowTestSupport.h"

#include "ui/UiFont.h"
#include "ui/waitfrm.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

constexpr UINT kDpiChanged = 0x02E0; // WM_DPICHANGED

RECT RectIn(HWND parent, HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int FontHeight(HWND control) {
    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
    return font.lfHeight;
}

int ColumnWidth(HWND list, int column) {
    return static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0));
}

// The main window's controls and their places at 96 DPI in the smallest client area (left, top, right, bottom).
struct TPlace {
    int Id;
    RECT At96;
};
const TPlace kMainPlaces[] = {
    {kIdScan, {8, 8, 108, 97}},
    {kIdSelectAll, {112, 8, 212, 97}},
    {kIdDeselectAll, {216, 8, 316, 97}},
    {kIdSaveEmail, {320, 8, 420, 97}},
    {kIdDriveGroup, {424, 8, 601, 97}},
    {kIdFilterGroup, {608, 8, 785, 97}},
    {kIdKeywordLabel, {616, 24, 676, 37}},
    {kIdFilterText, {616, 40, 777, 61}},
    {kIdApplyFilter, {672, 72, 722, 89}},
    {kIdClearFilter, {728, 72, 778, 89}},
    {kIdFoundEmails, {8, 104, 785, 377}},
    {kIdMessageBody, {8, 384, 785, 545}},
    {kIdStatus, {0, 546, 792, 566}},
};

int Scaled(int value, UINT dpi) {
    return MulDiv(value, static_cast<int>(dpi), 96);
}

BOOL CALLBACK CollectChild(HWND child, LPARAM children) {
    reinterpret_cast<std::vector<HWND>*>(children)->push_back(child);
    return TRUE;
}

std::vector<HWND> ChildrenOf(HWND window) {
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

class LayoutTest : public MainWindowTest {
protected:
    // What Windows does when the window moves to a monitor of `dpi`: the message, with a frame that holds the
    // scaled client area.
    void MoveToMonitorOf(UINT dpi) {
        RECT window, client;
        GetWindowRect(Handle(), &window);
        GetClientRect(Handle(), &client);
        RECT suggested = {window.left, window.top, window.right + Scaled(TfrmMain::kClientWidth, dpi) - client.right,
                          window.bottom + Scaled(TfrmMain::kClientHeight, dpi) - client.bottom};
        SendMessageA(Handle(), kDpiChanged, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    }
};

} // namespace

TEST_F(LayoutTest, At144DpiEveryControlPictureColumnAndFontIsScaled) {
    for (UINT dpi : {144u, 96u}) { // there and back: nothing is left at the other scale
        SCOPED_TRACE(dpi);
        MoveToMonitorOf(dpi);
        EXPECT_EQ(Window().CurrentDpi(), dpi);
        RECT client;
        GetClientRect(Handle(), &client);
        EXPECT_EQ(client.right, Scaled(TfrmMain::kClientWidth, dpi));
        EXPECT_EQ(client.bottom, Scaled(TfrmMain::kClientHeight, dpi));
        for (const TPlace& place : kMainPlaces) {
            SCOPED_TRACE(place.Id);
            RECT rect = RectIn(Handle(), GetDlgItem(Handle(), place.Id));
            EXPECT_EQ(rect.left, Scaled(place.At96.left, dpi));
            EXPECT_EQ(rect.top, Scaled(place.At96.top, dpi));
            EXPECT_NEAR(rect.right, Scaled(place.At96.right, dpi), 1); // width and height scale on their own
            EXPECT_NEAR(rect.bottom, Scaled(place.At96.bottom, dpi), 1);
        }
        RECT drives = RectIn(Handle(), Window().cbDrives());
        EXPECT_EQ(drives.left, Scaled(432, dpi));
        EXPECT_EQ(drives.right - drives.left, Scaled(161, dpi));

        for (HWND child : ChildrenOf(Handle())) {
            char name[64] = {};
            GetClassNameA(child, name, sizeof(name));
            SCOPED_TRACE(name);
            if (SendMessageA(child, WM_GETFONT, 0, 0)) {
                EXPECT_EQ(FontHeight(child), -Scaled(11, dpi));
            }
        }
        EXPECT_EQ(FontHeight(Window().txtFilter()), -Scaled(11, dpi)) << "every control has the font";
        EXPECT_EQ(FontHeight(Window().lvFoundEmails()), -Scaled(11, dpi));

        HWND scan = Window().ToolButton(kIdScan);
        LRESULT size = SendMessageA(scan, TB_GETBUTTONSIZE, 0, 0);
        EXPECT_EQ(LOWORD(size), Scaled(100, dpi));
        EXPECT_EQ(HIWORD(size), Scaled(89, dpi));
        int cx = 0, cy = 0;
        ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageA(scan, TB_GETIMAGELIST, 0, 0)), &cx, &cy);
        EXPECT_EQ(cx, Scaled(48, dpi));
        HWND list = Window().lvFoundEmails();
        ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0)), &cx,
                              &cy);
        EXPECT_EQ(cx, Scaled(16, dpi));

        EXPECT_EQ(ColumnWidth(list, 0), Scaled(65, dpi));
        EXPECT_EQ(ColumnWidth(list, 2), Scaled(130, dpi));
        EXPECT_EQ(ColumnWidth(list, 3), Scaled(130, dpi));
        EXPECT_GE(ColumnWidth(list, 4), Scaled(200, dpi));
    }
}

TEST_F(LayoutTest, TheProgressWindowScalesItsPlacesAndFontToo) {
    TfrmWait wait(1000, nullptr, {"D:\\disk.img", 512, nullptr, 144});
    RECT client;
    GetClientRect(wait.Handle(), &client);
    EXPECT_EQ(client.right, Scaled(504, 144));
    EXPECT_EQ(client.bottom, Scaled(146, 144));
    RECT cancel = RectIn(wait.Handle(), wait.btnCancel());
    EXPECT_EQ(cancel.left, Scaled(406, 144));
    EXPECT_EQ(cancel.top, Scaled(108, 144));
    EXPECT_EQ(cancel.right - cancel.left, Scaled(75, 144));
    RECT bar = RectIn(wait.Handle(), wait.pbwait());
    EXPECT_EQ(bar.right - bar.left, Scaled(465, 144));
    for (int id : {kIdWaitLabel, kIdWaitAmount, kIdWaitTime, IDCANCEL})
        EXPECT_EQ(FontHeight(GetDlgItem(wait.Handle(), id)), -Scaled(11, 144)) << id;
}

// The original size is the least; whatever the window has beyond it goes to the list and the preview, in
// proportion to their heights, and the Subject column takes the extra width.
TEST_F(LayoutTest, AGrownWindowGivesTheExtraSpaceToTheListAndThePreview) {
    MINMAXINFO limits = {};
    SendMessageA(Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    RECT window;
    GetWindowRect(Handle(), &window);
    EXPECT_EQ(limits.ptMinTrackSize.x, window.right - window.left) << "the first size is the least";
    EXPECT_EQ(limits.ptMinTrackSize.y, window.bottom - window.top);

    HWND list = Window().lvFoundEmails();
    const int subjectBefore = ColumnWidth(list, 4);
    SetWindowPos(Handle(), nullptr, 0, 0, window.right - window.left + 150, window.bottom - window.top + 101,
                 SWP_NOZORDER | SWP_NOMOVE);
    const int listExtra = MulDiv(101, 273, 273 + 161);
    EXPECT_EQ(listExtra, 64);
    struct TExpected {
        int Id;
        RECT Rect;
    };
    const TExpected expected[] = {
        {kIdFoundEmails, {8, 104, 785 + 150, 377 + listExtra}},
        {kIdMessageBody, {8, 384 + listExtra, 785 + 150, 545 + 101}},
        {kIdStatus, {0, 546 + 101, 792 + 150, 566 + 101}},
        {kIdFilterGroup, {608, 8, 785, 97}},
        {kIdScan, {8, 8, 108, 97}},
    };
    for (const TExpected& e : expected) {
        SCOPED_TRACE(e.Id);
        RECT rect = RectIn(Handle(), GetDlgItem(Handle(), e.Id));
        EXPECT_EQ(rect.left, e.Rect.left);
        EXPECT_EQ(rect.top, e.Rect.top);
        EXPECT_EQ(rect.right, e.Rect.right);
        EXPECT_EQ(rect.bottom, e.Rect.bottom);
    }
    // Subject fills the list beside its scroll bar once there is room for more than its least width.
    int columns = 0;
    for (int column = 0; column < 5; ++column)
        columns += ColumnWidth(list, column);
    RECT listClient;
    GetClientRect(list, &listClient);
    EXPECT_GT(ColumnWidth(list, 4), subjectBefore);
    EXPECT_EQ(columns, listClient.right - GetSystemMetrics(SM_CXVSCROLL));

    ShowWindow(Handle(), SW_MAXIMIZE);
    EXPECT_TRUE(IsZoomed(Handle()));
    RECT maximised = RectIn(Handle(), list);
    RECT client;
    GetClientRect(Handle(), &client);
    EXPECT_EQ(maximised.right, client.right - 7) << "the list reaches across the maximised window";
    ShowWindow(Handle(), SW_RESTORE);
}

namespace {
std::string EmbeddedManifest() {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (!found)
        return {};
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    return std::string(bytes, SizeofResource(nullptr, found));
}

// The common controls library the program's windows come from: version 6 (visual styles) is the side-by-side
// assembly "Microsoft.Windows.Common-Controls", version 5 the one in the system folder.
bool UsesCommonControls6() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(GetModuleHandleA("comctl32.dll"), path, MAX_PATH);
    std::string lower(path);
    for (char& c : lower)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return lower.find("common-controls_6595b64144ccf1df_6.") != std::string::npos;
}
} // namespace

// The program's manifest asks for common controls 6, DPI awareness, Windows 7 to 11 and no elevation; the same
// windows also run without it (this test runs in both test programs), with the classic controls.
TEST_F(LayoutTest, TheManifestBringsCommonControls6AndTheWindowsRunWithoutItToo) {
    const std::string manifest = EmbeddedManifest();
    if (manifest.empty()) {
        EXPECT_FALSE(UsesCommonControls6()) << "no manifest: the classic controls";
        return;
    }
    EXPECT_TRUE(UsesCommonControls6());
    const char* parts[] = {
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
        ">true</dpiAware>",
        ">PerMonitorV2, system</dpiAwareness>",
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // Windows 10 and 11
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // 8.1
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // 8
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // 7
    };
    for (const char* part : parts)
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
}
