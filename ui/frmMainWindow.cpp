#include "ui/frmMainWindow.h"

#include "ui/Application.h"
#include "ui/BrowseForFolderU.h"
#include "ui/ExportFolder.h"
#include "ui/MainLayout.h"
#include "ui/ResourceIds.h"
#include "volume/SystemError.h"
#include "ui/UiFont.h"
#include "ui/WaitWindowFactory.h"
#include "volume/GetDrives.h"
#include "volume/PathVolumeSource.h"
#include "volume/VolumeError.h"

#include <commdlg.h>
#include <richedit.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <stdexcept>

namespace {

const char kMainClass[] = "TfrmMain";
const char kNothingTicked[] =
    "No message is ticked. Tick the messages to export (Quick Select All ticks every row), then press Export Selected.";
// No WS_CLIPCHILDREN: group boxes paint only their frame and rely on the window erasing their inside. The window
// can be resized and maximised; its smallest size is the layout's.
const DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX;
constexpr UINT kDpiChanged = 0x02E0; // WM_DPICHANGED (Windows 8.1 and later)

// The controls' places at 96 DPI for the smallest client area; the list and the preview take the rest.
const TControlPlace kPlaces[] = {
    {kIdScan, 8, 8, 100, 89, TGrowth::None},
    {kIdSelectAll, 112, 8, 100, 89, TGrowth::None},
    {kIdDeselectAll, 216, 8, 100, 89, TGrowth::None},
    {kIdSaveEmail, 320, 8, 100, 89, TGrowth::None},
    {kIdDriveGroup, 424, 8, 177, 89, TGrowth::None},
    {kIdDrives, 432, 40, 161, 22 + 8 * 16 + 2, TGrowth::None}, // the edit part and 8 items of 16 pixels
    {kIdFilterGroup, 608, 8, 177, 89, TGrowth::None},
    {kIdKeywordLabel, 616, 24, 60, 13, TGrowth::None},
    {kIdFilterText, 616, 40, 161, 21, TGrowth::None},
    {kIdApplyFilter, 672, 72, 50, 17, TGrowth::None},
    {kIdClearFilter, 728, 72, 50, 17, TGrowth::None},
    {kIdFoundEmails, 8, 104, 777, 273, TGrowth::WithList},
    {kIdMessageBody, 8, 384, 777, 161, TGrowth::WithPreview},
    {kIdStatus, 0, 546, 792, 20, TGrowth::AlongBottom},
};
constexpr int kToolPictureSize = 48;
constexpr int kListPictureSize = 16;
constexpr int kToolButtonWidth = 100;
constexpr int kToolButtonHeight = 89;

// Column widths at 96 DPI. Date is as wide as a usual date needs, Subject takes what the list has left.
constexpr int kItemNumWidth = 65;
constexpr int kAddressWidth = 130;
constexpr int kLeastSubjectWidth = 200;
constexpr int kColumnPadding = 16;
const char kUsualDate[] = " Wed, 30 Dec 2026 23:59:59 +0000";

// Pictures of ilIcons, in this order.
const int kListPictures[] = {kListDriveIcon, kListEnvelopeTickIcon, kListPageIcon, kListClosedEnvelopeIcon,
                             kListOpenFolderIcon};
constexpr int kDrivePicture = 0;
constexpr int kMessagePicture = 1;
constexpr int kImageFilePicture = 2;

struct TColumn {
    const char* Caption;
    int Width;
};
const TColumn kColumns[] = {{"Item Num", 65}, {"Date", 150}, {"From", 200}, {"To", 200}, {"Subject", 500}};

std::string ModuleFolder() {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

// The header values of the list's columns 1 to 4.
constexpr TFoundMessages::TField kColumnFields[] = {TFoundMessages::kDate, TFoundMessages::kFrom, TFoundMessages::kTo,
                                                    TFoundMessages::kSubject};

// "N messages" with the right number.
std::string CountOfMessages(size_t count) {
    return std::to_string(count) + (count == 1 ? " message" : " messages");
}

constexpr UINT kTickedImage = INDEXTOSTATEIMAGEMASK(2);
constexpr UINT kUntickedImage = INDEXTOSTATEIMAGEMASK(1);

// Disables a window for as long as it lives, however the scope is left, and gives the keyboard focus back
// to the control that had it (a disabled window loses the focus).
class TDisabledWindow {
public:
    explicit TDisabledWindow(HWND window) : Window(window), Focus(GetFocus()) { EnableWindow(Window, FALSE); }
    ~TDisabledWindow() {
        EnableWindow(Window, TRUE);
        // The progress window had the activation; it goes back to this window, not to another program.
        if (GetActiveWindow() != Window && IsWindowVisible(Window))
            SetActiveWindow(Window);
        if (Focus && IsWindow(Focus) && IsChild(Window, Focus))
            SetFocus(Focus);
    }

private:
    HWND Window;
    HWND Focus;
};

// Makes the running scan's cancel request reachable from the window for as long as the scan runs.
class TActiveScan {
public:
    TActiveScan(TWaitWindowFactory*& slot, TWaitWindowFactory& scan) : Slot(slot) { Slot = &scan; }
    ~TActiveScan() { Slot = nullptr; }

private:
    TWaitWindowFactory*& Slot;
};

} // namespace

TfrmMain::TfrmMain(TApplication& application)
    : Application(application), Pump(application),
      ScannerFactory([this](const std::string& root, IMessagePump& pump, IProgressFactory& progress) {
          return std::make_unique<TScanHardDisk>(root, pump, progress, 512, TScanHardDisk::kHalfWindowBytes,
                                                 StartingScanMode);
      }),
      FolderPicker(BrowseForFolder), HelpFile(ModuleFolder() + "\\help.html") {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kAppIconId));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainClass;
    RegisterClassA(&wc);

    HMENU menu = CreateMainMenu();
    Dpi = SystemDpi(); // the window opens on the primary monitor, whose DPI the system's is
    const SIZE client = TMainLayout(Dpi, {}).MinClient();
    RECT frame = {0, 0, client.cx, client.cy};
    AdjustWindowRectEx(&frame, kMainStyle, TRUE, 0);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int left = work.left + (work.right - work.left - width) / 2;
    int top = work.top + (work.bottom - work.top - height) / 2;
    CreateWindowExA(WS_EX_CONTROLPARENT, kMainClass, "Ostrevan v1.0", kMainStyle, left, top, width, height,
                    Application.Handle(), menu, instance, this);
    if (!Handle_)
        throw std::runtime_error("The main window could not be created: " + SystemErrorText(GetLastError()));
}

TfrmMain::~TfrmMain() {
    if (Handle_)
        DestroyWindow(Handle_);
}

void TfrmMain::Show() {
    ShowWindow(Handle_, SW_SHOWNORMAL);
    UpdateWindow(Handle_);
    SetFocus(lvFoundEmails_.Handle());
}

HWND TfrmMain::ToolButton(int id) const {
    for (HWND button : ToolButtons)
        if (GetDlgCtrlID(button) == id)
            return button;
    return nullptr;
}

// Every handler runs inside this boundary: an error it raises reaches the default error report instead of
// unwinding through the system's code.
LRESULT CALLBACK TfrmMain::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<TfrmMain*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->Handle_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    try {
        return self->HandleMessage(msg, wParam, lParam);
    } catch (const std::exception& error) {
        self->Application.ShowException(error);
    } catch (...) {
        self->Application.ShowException(std::runtime_error("An unknown error occurred."));
    }
    return 0;
}

LRESULT TfrmMain::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        CreateControls();
        FormCreate();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_NOTIFY:
        OnNotify(*reinterpret_cast<NMHDR*>(lParam));
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return OnControlColour(reinterpret_cast<HDC>(wParam));
    case WM_CLOSE:
        if (ActiveScan) { // the scan stops first, and closes the window once it has
            CloseAfterScan = true;
            CancelScan();
        } else {
            DestroyWindow(Handle_);
        }
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_SIZE:
        LayoutControls();
        return 0;
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case kDpiChanged:
        OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    default:
        return DefWindowProcA(Handle_, msg, wParam, lParam);
    }
}

void TfrmMain::OnCommand(int id) {
    switch (id) {
    case kIdScan:
        return sbScanClick();
    case kIdSelectAll:
        return sbSelectAllClick();
    case kIdDeselectAll:
        return sbDeselectAllClick();
    case kIdSaveEmail:
        return sbSaveEmailClick();
    case kIdApplyFilter:
        return btnApplyFilterClick();
    case kIdClearFilter:
        return btnClearFilterClick();
    case kMenuOpenImage:
        return mnuOpenImageClick();
    case kMenuCancel:
        return CancelScan();
    case kMenuDeepScan:
        return mnuDeepScanClick();
    case kMenuExit:
        return Exit1Click();
    case kMenuHelp:
        return mnuHelpClick();
    case kMenuAbout:
        return mnuAboutClick();
    case IDOK: // Enter, from the keyboard handling of the message loop
        return OnEnterKey();
    }
}

void TfrmMain::OnNotify(NMHDR& header) {
    if (header.hwndFrom != lvFoundEmails_.Handle())
        return;
    switch (header.code) {
    case LVN_GETDISPINFOA:
        return lvFoundEmailsGetDisplayInfo(reinterpret_cast<NMLVDISPINFOA&>(header));
    case LVN_ITEMCHANGED: {
        const NMLISTVIEW& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if ((change.uChanged & LVIF_STATE) && ((change.uNewState ^ change.uOldState) & LVIS_SELECTED))
            lvFoundEmailsSelectionChange(change.iItem, change.uNewState & LVIS_SELECTED);
        return;
    }
    case LVN_ODSTATECHANGED: // a range of rows at once; rare in a single-selection list
        return lvFoundEmailsSelectionChange(lvFoundEmails_.Selected(), true);
    case LVN_COLUMNCLICK:
        return lvFoundEmailsColumnClick(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
    }
}

// Labels and group boxes stand on the window's button-face background.
LRESULT TfrmMain::OnControlColour(HDC dc) {
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void TfrmMain::OnDestroy() {
    SetWindowLongPtrA(Handle_, GWLP_USERDATA, 0);
    if (ilIcons)
        ImageList_Destroy(ilIcons);
    if (ilToolPictures)
        ImageList_Destroy(ilToolPictures);
    if (Font)
        DeleteObject(Font);
    ilIcons = ilToolPictures = nullptr;
    Font = nullptr;
    Handle_ = nullptr;
    if (QuitOnDestroy)
        PostQuitMessage(0);
}

// Every command is in the menus, with a mnemonic, and the frequent ones with a shortcut key (the
// application's accelerator table holds the keys).
HMENU TfrmMain::CreateMainMenu() const {
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, kMenuOpenImage, "&Open Disk Image...\tCtrl+O");
    AppendMenuA(file, MF_STRING, kIdSaveEmail, "&Export Selected...\tCtrl+S");
    AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(file, MF_STRING, kMenuExit, "E&xit");
    HMENU edit = CreatePopupMenu();
    AppendMenuA(edit, MF_STRING, kIdSelectAll, "Quick &Select All\tCtrl+A");
    AppendMenuA(edit, MF_STRING, kIdDeselectAll, "Quick &Deselect All");
    HMENU scan = CreatePopupMenu();
    AppendMenuA(scan, MF_STRING, kIdScan, "&Scan\tF5");
    AppendMenuA(scan, MF_STRING | MF_UNCHECKED, kMenuDeepScan, "&Deep Scan");
    AppendMenuA(scan, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(scan, MF_STRING | MF_GRAYED, kMenuCancel, "&Cancel"); // stands only while a scan runs
    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, kMenuHelp, "Ostrevan &Help\tF1");
    AppendMenuA(help, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(help, MF_STRING, kMenuAbout, "&About Ostrevan");
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "&Edit");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(scan), "&Scan");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "&Help");
    return bar;
}

// Focusable controls are made first, in keyboard order (lvFoundEmails, the filter's controls, the
// preview, the drive box); group boxes, labels and tool buttons, which take no focus, come after them.
// The controls are placed, and given their font and pictures, for the window's DPI once they all exist.
void TfrmMain::CreateControls() {
    CreateFoundEmailsList();
    CreateFilterControls();
    CreatePreview();
    CreateDriveBox();
    CreateToolButtons();
    CreateStatusLine();
    ApplyDpi(WindowDpi(Handle_));
}

void TfrmMain::CreateImageLists() {
    ilIcons = MakeImageList(kListPictures, 5, ScaleForDpi(kListPictureSize, Dpi));
    const int tools[] = {kToolScanIcon, kToolSelectAllIcon, kToolDeselectAllIcon, kToolSaveIcon};
    ilToolPictures = MakeImageList(tools, 4, ScaleForDpi(kToolPictureSize, Dpi));
}

HIMAGELIST TfrmMain::MakeImageList(const int* iconIds, int count, int size) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, count, 0);
    for (int k = 0; k < count; ++k) {
        HICON icon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(iconIds[k]), IMAGE_ICON, size, size, 0));
        ImageList_AddIcon(list, icon);
        DestroyIcon(icon);
    }
    return list;
}

// Everything that depends on the DPI: the font, the pictures and the places. Run when the window is made and
// when it moves to a monitor of another DPI.
void TfrmMain::ApplyDpi(UINT dpi) {
    Dpi = dpi;
    HFONT oldFont = Font;
    HIMAGELIST oldIcons = ilIcons;
    HIMAGELIST oldToolPictures = ilToolPictures;
    Font = CreateUiFont(Dpi);
    CreateImageLists();
    ApplyFontToChildren(Handle_, Font);
    SendMessageA(cbDrives_, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(ilIcons));
    SendMessageA(cbDrives_, CB_SETITEMHEIGHT, 0, ScaleForDpi(kListPictureSize, Dpi));
    SendMessageA(lvFoundEmails_.Handle(), LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(ilIcons));
    SendMessageA(lvFoundEmails_.Handle(), LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(ilIcons));
    const int picture = ScaleForDpi(kToolPictureSize, Dpi);
    for (HWND bar : ToolButtons) {
        SendMessageA(bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(ilToolPictures));
        SendMessageA(bar, TB_SETBITMAPSIZE, 0, MAKELONG(picture, picture));
        SendMessageA(bar, TB_SETBUTTONSIZE, 0,
                     MAKELONG(ScaleForDpi(kToolButtonWidth, Dpi), ScaleForDpi(kToolButtonHeight, Dpi)));
    }
    if (oldFont)
        DeleteObject(oldFont);
    if (oldIcons)
        ImageList_Destroy(oldIcons);
    if (oldToolPictures)
        ImageList_Destroy(oldToolPictures);
    LayoutControls();
}

void TfrmMain::LayoutControls() {
    RECT client;
    GetClientRect(Handle_, &client);
    TMainLayout layout(Dpi, {client.right, client.bottom});
    for (const TControlPlace& place : kPlaces) {
        RECT at = layout.Place(place);
        MoveWindow(GetDlgItem(Handle_, place.Id), at.left, at.top, at.right - at.left, at.bottom - at.top, FALSE);
    }
    SizeColumns();
    // The window erases its own background under the controls (it has no WS_CLIPCHILDREN, for the group boxes'
    // sake): it is painted first, then every control over it, or an erase of the newly shown area would wipe
    // a control that had already painted there.
    if (IsWindowVisible(Handle_))
        RedrawWindow(Handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TfrmMain::SizeColumns() {
    HWND list = lvFoundEmails_.Handle();
    const int padding = ScaleForDpi(kColumnPadding, Dpi);
    const int widths[] = {
        ScaleForDpi(kItemNumWidth, Dpi),
        static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(kUsualDate))) + padding,
        ScaleForDpi(kAddressWidth, Dpi), ScaleForDpi(kAddressWidth, Dpi)};
    int used = 0;
    for (int column = 0; column < 4; ++column) {
        SendMessageA(list, LVM_SETCOLUMNWIDTH, column, widths[column]);
        used += widths[column];
    }
    // What the list shows beside a vertical scroll bar, which it has as soon as rows fill it.
    RECT client;
    GetClientRect(list, &client);
    const int room =
        client.right - MulDiv(GetSystemMetrics(SM_CXVSCROLL), static_cast<int>(Dpi), static_cast<int>(SystemDpi()));
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 4, std::max(ScaleForDpi(kLeastSubjectWidth, Dpi), room - used));
}

// The least size holds the layout's least client area inside the frame the window has now.
void TfrmMain::OnGetMinMaxInfo(MINMAXINFO& info) const {
    RECT window, client;
    if (!GetWindowRect(Handle_, &window) || !GetClientRect(Handle_, &client))
        return;
    const SIZE least = TMainLayout(Dpi, {}).MinClient();
    info.ptMinTrackSize = {least.cx + (window.right - window.left) - client.right,
                           least.cy + (window.bottom - window.top) - client.bottom};
}

// Per-monitor DPI awareness: the window moved to a monitor of another DPI; Windows suggests its new frame.
void TfrmMain::OnDpiChanged(UINT dpi, const RECT& suggested) {
    ApplyDpi(dpi);
    SetWindowPos(Handle_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmMain::CreateToolButtons() {
    CreateToolButton(kIdScan, 8, "Scan", 0);
    CreateToolButton(kIdSelectAll, 112, "Quick Select All", 1);
    CreateToolButton(kIdDeselectAll, 216, "Quick Deselect All", 2);
    CreateToolButton(kIdSaveEmail, 320, "Export Selected", 3);
}

// A tool button is a one-button flat toolbar: picture above caption, and it never takes the focus.
HWND TfrmMain::CreateToolButton(int id, int left, const char* caption, int picture) {
    HWND bar = CreateWindowExA(0, TOOLBARCLASSNAMEA, "",
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER,
                               left, 8, 100, 89, Handle_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleA(nullptr), nullptr);
    SendMessageA(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(ilToolPictures));
    TBBUTTON button = {};
    button.iBitmap = picture;
    button.idCommand = id;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = BTNS_BUTTON;
    button.iString = reinterpret_cast<INT_PTR>(caption);
    SendMessageA(bar, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&button));
    ToolButtons.push_back(bar);
    return bar;
}

void TfrmMain::CreateDriveBox() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    // GroupBox1 at 424,8; the drive box sits at 8,32 inside it. Height = edit part + 8 items of 16 pixels.
    cbDrives_ =
        CreateWindowExA(0, WC_COMBOBOXEXA, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 432,
                        40, 161, 22 + 8 * 16 + 2, Handle_, reinterpret_cast<HMENU>(kIdDrives), instance, nullptr);
    CreateWindowExA(0, "BUTTON", "Select Drive To Scan", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX, 424, 8,
                    177, 89, Handle_, reinterpret_cast<HMENU>(kIdDriveGroup), instance, nullptr);
}

void TfrmMain::CreateFilterControls() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    // The "Filter" group box at 608,8; its controls are placed relative to it but are the window's own
    // children, so their notifications come here.
    txtFilter_ = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 616,
                                 40, 161, 21, Handle_, reinterpret_cast<HMENU>(kIdFilterText), instance, nullptr);
    btnApplyFilter_ = CreateWindowExA(0, "BUTTON", "Apply", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 672, 72,
                                      50, 17, Handle_, reinterpret_cast<HMENU>(kIdApplyFilter), instance, nullptr);
    btnClearFilter_ = CreateWindowExA(0, "BUTTON", "Clear", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 728, 72,
                                      50, 17, Handle_, reinterpret_cast<HMENU>(kIdClearFilter), instance, nullptr);
    EnableWindow(btnClearFilter_, FALSE);
    CreateWindowExA(0, "STATIC", "Keyword", WS_CHILD | WS_VISIBLE | SS_LEFT, 616, 24, 60, 13, Handle_,
                    reinterpret_cast<HMENU>(kIdKeywordLabel), instance, nullptr);
    CreateWindowExA(0, "BUTTON", "Filter Emails", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX, 608, 8, 177,
                    89, Handle_, reinterpret_cast<HMENU>(kIdFilterGroup), instance, nullptr);
}

void TfrmMain::CreateFoundEmailsList() {
    // Owner data: the list holds no rows of its own; it asks for each cell it paints (LVN_GETDISPINFO), so a
    // million rows cost the list nothing and fill at once.
    HWND list =
        CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDATA, 8, 104, 777,
                        273, Handle_, reinterpret_cast<HMENU>(kIdFoundEmails), GetModuleHandleA(nullptr), nullptr);
    lvFoundEmails_ = TListView(list);
    // Double buffering (common controls 6; older versions ignore the bit) keeps the list from flickering.
    constexpr DWORD kDoubleBuffer = 0x00010000; // LVS_EX_DOUBLEBUFFER
    DWORD extended = LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | kDoubleBuffer;
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    // The ticks are the window's: the list asks for them with the rest of a row.
    SendMessageA(list, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);
    int index = 0;
    for (const TColumn& column : kColumns)
        lvFoundEmails_.AddColumn(index++, column.Caption, column.Width);
    SetWindowLongPtrA(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    lvFoundEmailsBaseProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FoundEmailsProc)));
}

// An owner-data list keeps no ticks: a click on a check box, the space bar and LVM_SETITEMSTATE with a
// check state (as anyone may send it) are turned into changes of the window's ticks here, before the list
// would handle them in its own way (which differs between versions of the control).
LRESULT CALLBACK TfrmMain::FoundEmailsProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrA(list, GWLP_USERDATA));
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        LVHITTESTINFO hit = {};
        hit.pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
        // A full-row hit on another cell reports all the "on item" bits at once; only the check box reports this one.
        if (hit.iItem >= 0 && (hit.flags & LVHT_ONITEM) == LVHT_ONITEMSTATEICON) {
            self->ToggleTick(hit.iItem);
            return 0;
        }
        break;
    }
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
            self->ToggleTick(
                static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)));
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == ' ')
            return 0;
        break;
    case LVM_SETITEMSTATE: {
        const LVITEMA* change = reinterpret_cast<const LVITEMA*>(lParam);
        if (!change || !(change->stateMask & LVIS_STATEIMAGEMASK))
            break;
        self->SetTicks(static_cast<int>(wParam), (change->state & LVIS_STATEIMAGEMASK) == kTickedImage);
        LVITEMA rest = *change;
        rest.stateMask &= ~LVIS_STATEIMAGEMASK;
        if (rest.stateMask == 0)
            return TRUE;
        return CallWindowProcA(self->lvFoundEmailsBaseProc, list, msg, wParam, reinterpret_cast<LPARAM>(&rest));
    }
    }
    return CallWindowProcA(self->lvFoundEmailsBaseProc, list, msg, wParam, lParam);
}

void TfrmMain::CreatePreview() {
    // Read-only, word wrap (multi-line without horizontal scrolling), a vertical scroll bar that is always
    // there (greyed while the body fits).
    txtmsgbody_ = CreateWindowExA(WS_EX_CLIENTEDGE, "RichEdit20A", "",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                      ES_DISABLENOSCROLL | ES_READONLY,
                                  8, 384, 777, 161, Handle_, reinterpret_cast<HMENU>(kIdMessageBody),
                                  GetModuleHandleA(nullptr), nullptr);
    // The default limit is 32K characters; a message body may be up to 20 MiB.
    SendMessageA(txtmsgbody_, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    SetWindowLongPtrA(txtmsgbody_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    txtmsgbodyBaseProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(txtmsgbody_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PreviewProc)));
}

// The rich edit asks for Tab and for every key in a dialog; without that, Tab moves the focus on to the next
// control, and arriving by Tab does not select the whole body.
LRESULT CALLBACK TfrmMain::PreviewProc(HWND preview, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrA(preview, GWLP_USERDATA));
    LRESULT result = CallWindowProcA(self->txtmsgbodyBaseProc, preview, msg, wParam, lParam);
    if (msg == WM_GETDLGCODE)
        result &= ~(DLGC_WANTTAB | DLGC_WANTMESSAGE | DLGC_HASSETSEL | DLGC_WANTALLKEYS);
    return result;
}

void TfrmMain::CreateStatusLine() {
    // Under the preview, across the window; placed by the layout, not by the control itself.
    sbStatus_ = CreateWindowExA(0, STATUSCLASSNAMEA, "",
                                WS_CHILD | WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0,
                                kLayoutHeight, kClientWidth, kStatusHeight, Handle_, reinterpret_cast<HMENU>(kIdStatus),
                                GetModuleHandleA(nullptr), nullptr);
}

void TfrmMain::FormCreate() {
    TGetDrives getDrives;
    Drives = getDrives.ListDrives([this](const std::string& root) { AddDriveItem(root, kDrivePicture); });
    ListedDrives = Drives.size();
    if (SendMessageA(cbDrives_, CB_GETCOUNT, 0, 0) > 0)
        SendMessageA(cbDrives_, CB_SETCURSEL, 0, 0);
    // Spool files of a run that ended without cleaning up (a crash, a power cut).
    TMessageSpool::RemoveLeftovers();
}

void TfrmMain::AddDriveItem(const std::string& caption, int picture) {
    COMBOBOXEXITEMA item = {};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    item.iItem = -1; // at the end
    item.pszText = const_cast<char*>(caption.c_str());
    item.iImage = picture;
    item.iSelectedImage = picture;
    SendMessageA(cbDrives_, CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

bool TfrmMain::AddDiskImage(const std::string& path) {
    for (size_t i = 0; i < Drives.size(); ++i) {
        if (Drives[i] == path) {
            SendMessageA(cbDrives_, CB_SETCURSEL, i, 0);
            return true;
        }
    }
    // Opened once now, so that an image the scan could not read never joins the drive box.
    try {
        TPathVolumeSource image(path, 512);
    } catch (const TVolumeError& error) {
        ShowBox(error.what(), "Error", MB_ICONERROR);
        return false;
    }
    AddDriveItem(path, kImageFilePicture);
    Drives.push_back(path);
    SendMessageA(cbDrives_, CB_SETCURSEL, Drives.size() - 1, 0);
    return true;
}

// An image that can no longer be opened leaves the drive box (drives stay: a drive may come back).
void TfrmMain::RemoveDiskImage(const std::string& path) {
    for (size_t i = ListedDrives; i < Drives.size(); ++i) {
        if (Drives[i] == path) {
            Drives.erase(Drives.begin() + static_cast<std::ptrdiff_t>(i));
            SendMessageA(cbDrives_, CBEM_DELETEITEM, i, 0);
            if (SendMessageA(cbDrives_, CB_GETCURSEL, 0, 0) < 0 && !Drives.empty())
                SendMessageA(cbDrives_, CB_SETCURSEL, 0, 0);
            return;
        }
    }
}

void TfrmMain::mnuOpenImageClick() {
    char path[MAX_PATH + 1] = {};
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = Handle_;
    dialog.lpstrFilter = "Disk images (*.img;*.dd;*.raw;*.bin;*.iso)\0*.img;*.dd;*.raw;*.bin;*.iso\0"
                         "All files (*.*)\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof(path);
    dialog.lpstrTitle = "Open Disk Image";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameA(&dialog))
        AddDiskImage(path);
}

void TfrmMain::mnuDeepScanClick() {
    DeepScan = !DeepScan;
    CheckMenuItem(GetMenu(Handle_), kMenuDeepScan, MF_BYCOMMAND | (DeepScan ? MF_CHECKED : MF_UNCHECKED));
}

void TfrmMain::mnuAboutClick() {
    ShowBox(std::string("Ostrevan ") + OSTREVAN_VERSION +
                "\r\n\r\nFinds the text of e-mail messages in the raw sectors of a disk volume, deleted ones "
                "included, and saves them as .eml files.",
            "About Ostrevan", MB_ICONINFORMATION);
}

void TfrmMain::Exit1Click() {
    DestroyWindow(Handle_);
}

// Enter in the keyword box applies the filter; on a focused push button it presses that button.
void TfrmMain::OnEnterKey() {
    HWND focus = GetFocus();
    if (focus == txtFilter_)
        btnApplyFilterClick();
    else if (focus == btnApplyFilter_ || focus == btnClearFilter_)
        SendMessageA(focus, BM_CLICK, 0, 0);
}

void TfrmMain::sbScanClick() {
    LRESULT selected = SendMessageA(cbDrives_, CB_GETCURSEL, 0, 0);
    if (selected < 0 || static_cast<size_t>(selected) >= Drives.size())
        return;
    ScanDrive(Drives[selected]);
}

// The spool is made and the volume opened before anything changes, so that a scan that cannot start leaves
// the list as it was. Once the walk starts, the last scan's messages and spool file are dropped. A spool that
// cannot take more ends the walk; the messages stored until then are listed.
void TfrmMain::ScanDrive(const std::string& root) {
    TFoundMessages found(std::make_unique<TMessageSpool>(SpoolFolder, SpoolLimit));
    TScanSummary summary;
    summary.Source = root;
    std::string spoolFailure;
    {
        TDisabledWindow disabled(Handle_);
        TWaitWindowFactory waitWindows(Handle_, root);
        TActiveScan active(ActiveScan, waitWindows);
        std::unique_ptr<TScanHardDisk> scanner;
        StartingScanMode = DeepScan ? TScanMode::Deep : TScanMode::Standard; // for the whole scan
        try {
            scanner = ScannerFactory(root, Pump, waitWindows);
        } catch (const TVolumeError&) {
            RemoveDiskImage(root);
            throw;
        }
        waitWindows.SetSectorSize(scanner->GetSectorSize());
        ShowRows({});
        Order.reset();
        Messages = TFoundMessages();
        Ticks.clear();
        Scanned = false;
        ShowStatus();

        const DWORD started = GetTickCount();
        scanner->SetMessageConsumer([&found](const TEmailView& email, const TFoundLocation&) { found.Add(email); });
        try {
            scanner->Scan();
            found.Flush();
        } catch (const TSpoolError& error) {
            found.DropUnstored();
            spoolFailure = error.what();
            summary.Stopped = true;
        }
        summary.Seconds = (GetTickCount() - started) / 1000.0;
        summary.Mode = scanner->Mode();
        summary.Cancelled = scanner->Cancelled();
        summary.SectorCount = scanner->SectorCount();
        summary.Sectors = summary.Cancelled ? scanner->SectorReached() : summary.SectorCount;
        summary.Unreadable = scanner->UnreadableSectors();
    }
    Messages = std::move(found);
    Order = std::make_unique<TListOrder>(Messages);
    Ticks.assign(Messages.Size(), 0);
    LastScan = summary;
    Scanned = true;
    ShowRows(RowsThroughFilter());
    if (CloseAfterScan) { // a close request came during the scan: now the window closes
        PostMessageA(Handle_, WM_CLOSE, 0, 0);
        return;
    }
    if (!spoolFailure.empty())
        ShowBox("The scan of " + root + " stopped early: " + spoolFailure + "\r\n\r\nThe " +
                    CountOfMessages(Messages.Size()) + " found until then are listed.",
                "Error", MB_ICONERROR);
    if (summary.Unreadable > 0)
        ReportUnreadableSectors(root, summary.Unreadable);
}

void TfrmMain::CancelScan() {
    if (ActiveScan)
        ActiveScan->RequestCancel();
}

std::string TfrmMain::Keyword() const {
    std::string keyword(GetWindowTextLengthA(txtFilter_) + 1, '\0');
    keyword.resize(GetWindowTextA(txtFilter_, keyword.data(), static_cast<int>(keyword.size())));
    return keyword;
}

std::vector<uint32_t> TfrmMain::RowsThroughFilter() const {
    if (FilterOn)
        return Messages.MessagesWithKeyword(Keyword());
    std::vector<uint32_t> rows(Messages.Size());
    std::iota(rows.begin(), rows.end(), 0u);
    return rows;
}

void TfrmMain::ShowRows(std::vector<uint32_t> rows) {
    HWND list = lvFoundEmails_.Handle();
    // Ticks of messages that leave the list go: a tick is never left where the user cannot see it.
    std::vector<uint8_t> listed(Ticks.size(), 0);
    for (uint32_t index : rows)
        listed[index] = 1;
    for (size_t index = 0; index < Ticks.size(); ++index)
        Ticks[index] &= listed[index];

    Rows_ = std::move(rows);
    SelectedRow = -1;
    LVITEMA none = {};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    CallWindowProcA(lvFoundEmailsBaseProc, list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                    reinterpret_cast<LPARAM>(&none));
    SendMessageA(list, LVM_SETITEMCOUNT, Rows_.size(), 0);
    if (!Rows_.empty())
        SendMessageA(list, LVM_ENSUREVISIBLE, 0, FALSE); // the list shows its first row
    InvalidateRect(list, nullptr, TRUE);
    ShowPreview(-1);
    SortColumn_ = -1;
    ShowSortArrows();
    ShowStatus();
}

void TfrmMain::lvFoundEmailsGetDisplayInfo(NMLVDISPINFOA& info) const {
    LVITEMA& item = info.item;
    if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= Rows_.size())
        return;
    const uint32_t index = Rows_[item.iItem];
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        std::string caption;
        std::string_view text;
        if (item.iSubItem == 0) {
            caption = std::to_string(index);
            text = caption;
        } else if (item.iSubItem >= 1 && item.iSubItem <= 4) {
            text = Messages.Field(index, kColumnFields[item.iSubItem - 1]);
        }
        const size_t length = std::min(text.size(), static_cast<size_t>(item.cchTextMax - 1));
        std::memcpy(item.pszText, text.data(), length);
        item.pszText[length] = '\0';
    }
    if (item.mask & LVIF_IMAGE)
        item.iImage = kMessagePicture;
    if (item.mask & LVIF_STATE) {
        item.state = (item.state & ~LVIS_STATEIMAGEMASK) | (Ticks[index] ? kTickedImage : kUntickedImage);
        item.stateMask |= LVIS_STATEIMAGEMASK;
    }
}

void TfrmMain::ReportUnreadableSectors(const std::string& root, uint64_t count) const {
    std::string text = std::to_string(count) + (count == 1 ? " sector" : " sectors") + " of " + root +
                       " could not be read and " + (count == 1 ? "was" : "were") +
                       " skipped. Messages stored there cannot be recovered.";
    ShowBox(text, "Warning", MB_ICONWARNING);
}

// The row's message; -1 when the row does not exist.
int TfrmMain::MessageIndexOfRow(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= Rows_.size())
        return -1;
    return static_cast<int>(Rows_[row]);
}

// Ticks `row` or takes its tick away; -1 does it to every row.
void TfrmMain::SetTicks(int row, bool ticked) {
    if (row == -1) {
        for (uint32_t index : Rows_)
            Ticks[index] = ticked;
        InvalidateRect(lvFoundEmails_.Handle(), nullptr, FALSE);
        return;
    }
    int index = MessageIndexOfRow(row);
    if (index < 0)
        return;
    Ticks[index] = ticked;
    SendMessageA(lvFoundEmails_.Handle(), LVM_REDRAWITEMS, row, row);
}

void TfrmMain::ToggleTick(int row) {
    int index = MessageIndexOfRow(row);
    if (index >= 0)
        SetTicks(row, !Ticks[index]);
}

void TfrmMain::ShowPreview(int message) {
    if (message == PreviewMessage)
        return;
    PreviewMessage = message;
    SetWindowTextA(txtmsgbody_, "");
    if (message >= 0)
        SetWindowTextA(txtmsgbody_, Messages.Body(message).c_str());
}

// The preview follows the selection, whatever moved it: a click, the arrow keys, Home and End, a sort. The
// selected row is followed from the list's notifications: asking the list for it costs a look at every row
// before it.
void TfrmMain::lvFoundEmailsSelectionChange(int row, bool selected) {
    if (selected)
        SelectedRow = row;
    else if (row == -1 || row == SelectedRow)
        SelectedRow = -1;
    ShowPreview(MessageIndexOfRow(SelectedRow));
}

// A column's first click sorts it ascending, the next reverses it. The selected message stays selected.
void TfrmMain::lvFoundEmailsColumnClick(int column) {
    if (!Order || column < 0 || column >= TListOrder::kColumnCount)
        return;
    SortAscending_ = column == SortColumn_ ? !SortAscending_ : true;
    SortColumn_ = column;
    const int selected = MessageIndexOfRow(SelectedRow);
    Order->Sort(Rows_, column, SortAscending_);
    if (selected >= 0) {
        const auto at = std::find(Rows_.begin(), Rows_.end(), static_cast<uint32_t>(selected));
        lvFoundEmails_.Select(static_cast<int>(at - Rows_.begin()));
        SendMessageA(lvFoundEmails_.Handle(), LVM_ENSUREVISIBLE, at - Rows_.begin(), FALSE);
    }
    InvalidateRect(lvFoundEmails_.Handle(), nullptr, FALSE);
    ShowSortArrows();
}

// Common controls 6 draws an arrow in the heading of the sorted column; older versions ignore the flags.
void TfrmMain::ShowSortArrows() {
    HWND header = reinterpret_cast<HWND>(SendMessageA(lvFoundEmails_.Handle(), LVM_GETHEADER, 0, 0));
    constexpr int kSortUp = 0x0400, kSortDown = 0x0200; // HDF_SORTUP, HDF_SORTDOWN
    for (int column = 0; column < TListOrder::kColumnCount; ++column) {
        HDITEMA item = {};
        item.mask = HDI_FORMAT;
        SendMessageA(header, HDM_GETITEMA, column, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(kSortUp | kSortDown);
        if (column == SortColumn_)
            item.fmt |= SortAscending_ ? kSortUp : kSortDown;
        SendMessageA(header, HDM_SETITEMA, column, reinterpret_cast<LPARAM>(&item));
    }
}

void TfrmMain::ShowStatus() {
    std::string text;
    if (Scanned) {
        const std::string& source = LastScan.Source;
        if (FilterOn) {
            text = std::to_string(Rows_.size()) + " of " + CountOfMessages(Messages.Size()) +
                   " listed: those whose body holds \"" + Keyword() + "\"";
        } else if (Messages.Empty()) {
            text = "No messages were found on " + source;
        } else {
            char seconds[32];
            std::snprintf(seconds, sizeof(seconds), "%.1f", LastScan.Seconds);
            text = CountOfMessages(Messages.Size()) + " found on " + source + " (" +
                   (LastScan.Mode == TScanMode::Deep ? "deep scan, " : "") + std::to_string(LastScan.Sectors) +
                   " sectors scanned, " + std::to_string(LastScan.Unreadable) + " unreadable, " + seconds + " seconds)";
        }
        if (LastScan.Stopped)
            text += "; the scan stopped early: the spool file could not take more";
        if (LastScan.Cancelled)
            text += "; the scan was cancelled after " + std::to_string(LastScan.Sectors) + " of " +
                    std::to_string(LastScan.SectorCount) + " sectors (" +
                    std::to_string(LastScan.SectorCount ? LastScan.Sectors * 100 / LastScan.SectorCount : 0) + " %)";
    }
    SetWindowTextA(sbStatus_, text.c_str());
}

void TfrmMain::sbSelectAllClick() {
    SetTicks(-1, true);
}

void TfrmMain::sbDeselectAllClick() {
    SetTicks(-1, false);
}

void TfrmMain::SetFilterState(bool on) {
    FilterOn = on;
    EnableWindow(btnApplyFilter_, !on);
    EnableWindow(btnClearFilter_, on);
    EnableWindow(txtFilter_, !on); // the keyword cannot change while the filter is on
}

// Apply and Clear filter the messages already found: only Scan reads the volume. The rows come in the order
// found, as a fresh scan would list them; ticks stay on the rows that stay.
void TfrmMain::btnApplyFilterClick() {
    if (GetWindowTextLengthA(txtFilter_) == 0 || FilterOn)
        return;
    SetFilterState(true);
    ShowRows(RowsThroughFilter());
}

void TfrmMain::btnClearFilterClick() {
    if (!FilterOn)
        return;
    SetFilterState(false);
    ShowRows(RowsThroughFilter());
}

void TfrmMain::mnuHelpClick() {
    SHELLEXECUTEINFOA execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = "open";
    execute.lpFile = HelpFile.c_str();
    execute.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&execute)) {
        DWORD error = GetLastError();
        ShowBox("The help page " + HelpFile + " could not be opened: " + SystemErrorText(error), "Error", MB_ICONERROR);
    }
}

// The ticked rows, top to bottom as the list shows them now, each with the message it stands for.
std::vector<TExportItem> TfrmMain::TickedRows() const {
    std::vector<TExportItem> items;
    for (size_t row = 0; row < Rows_.size(); ++row)
        if (Ticks[Rows_[row]])
            items.push_back({row, Rows_[row]});
    return items;
}

void TfrmMain::sbSaveEmailClick() {
    std::vector<TExportItem> items = TickedRows();
    if (items.empty()) {
        ShowBox(kNothingTicked, "Information", MB_ICONINFORMATION);
        return;
    }
    std::string folder =
        FolderPicker(Application.Handle(), "Select Where To Save Recovered Emails", LastExportFolder, true);
    if (folder.empty())
        return;
    LastExportFolder = folder;
    if (ProbeFolder(folder) != 0) {
        ShowBox("Cannot Write To Output Folder ,Please Select A Writeable Folder", "Error", MB_ICONERROR);
        return;
    }
    TExportOutcome outcome = ExportMessages(folder, items, [this](size_t index, std::string& text, std::string& error) {
        try {
            text = Messages.FullText(index); // from the spool file
            return true;
        } catch (const std::exception& failure) {
            error = failure.what();
            return false;
        }
    });
    ReportExport(folder, outcome);
}

// The original success text when every file was written, followed by how many and where; otherwise what failed.
void TfrmMain::ReportExport(const std::string& folder, const TExportOutcome& outcome) const {
    auto files = [](uint64_t n) { return std::to_string(n) + (n == 1 ? " file" : " files"); };
    std::string written =
        files(outcome.Written) + (outcome.Written == 1 ? " was" : " were") + " written to " + folder + ".";
    std::string renamed;
    if (outcome.Renamed > 0)
        renamed = "\r\n" + std::to_string(outcome.Renamed) + " of them " + (outcome.Renamed == 1 ? "was" : "were") +
                  " given the next free name (such as " + outcome.FirstRenamed +
                  "), since a file of the name was there already; no file was overwritten.";
    if (outcome.NotWritten == 0) {
        ShowBox("Emails Succesfully Exported To Folder\r\n\r\n" + written + renamed, "Information", MB_ICONINFORMATION);
        return;
    }
    ShowBox(std::to_string(outcome.NotWritten) + (outcome.NotWritten == 1 ? " message was" : " messages were") +
                " not exported. " + written + renamed + "\r\nFirst failure: " + outcome.FirstFailure + "\r\n" +
                outcome.FirstError,
            "Error", MB_ICONERROR);
}

void TfrmMain::ShowBox(const std::string& text, const char* caption, UINT icon) const {
    MessageBoxA(Handle_, text.c_str(), caption, MB_OK | icon);
}
