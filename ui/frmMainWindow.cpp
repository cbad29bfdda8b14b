#include "ui/frmMainWindow.h"

#include "engine/FastStrings.h"
#include "ui/Application.h"
#include "ui/BrowseForFolderU.h"
#include "ui/ExportFolder.h"
#include "ui/MainLayout.h"
#include "ui/ResourceIds.h"
#include "volume/SystemError.h"
#include "ui/UiFont.h"
#include "ui/WaitWindowFactory.h"
#include "volume/GetDrives.h"

#include <commdlg.h>
#include <richedit.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
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
};
constexpr int kToolPictureSize = 48;
constexpr int kListPictureSize = 16;
constexpr int kToolButtonWidth = 100;
constexpr int kToolButtonHeight = 89;

// Column widths at 96 DPI. Date is as wide as a usual date needs, Subject takes what the list has left.
constexpr int kItemNumWidth = 65;
constexpr int kAddressWidth = 140;
constexpr int kLeastSubjectWidth = 250;
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

std::unique_ptr<TScanHardDisk> MakeScanner(const std::string& root, IMessagePump& pump, IProgressFactory& progress) {
    return std::make_unique<TScanHardDisk>(root, pump, progress);
}

std::string ModuleFolder() {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

// The text a list column shows for a message: the control's text ends at the first zero byte.
std::string_view ShownText(const std::string& text) {
    return std::string_view(text.c_str(), std::strlen(text.c_str()));
}

const std::string& ColumnText(const TEmail& email, int column) {
    switch (column) {
    case 1:
        return email.Date;
    case 2:
        return email.From;
    case 3:
        return email.To;
    default:
        return email.Subject;
    }
}

struct TSortContext {
    const TEmailArray* Emails;
    int Column;
};

// The list's sort callback. Rows carry their message index as item data: under Wine a comparator that
// reads row texts through the list mis-orders rows, so the texts the columns show come from Emails.
int CompareListItems(const TEmailArray& emails, LPARAM indexA, LPARAM indexB, int column) {
    int result = 0;
    if (column == 0) {
        result = indexA < indexB ? -1 : (indexA > indexB ? 1 : 0);
    } else {
        std::string_view a = ShownText(ColumnText(emails[indexA], column));
        std::string_view b = ShownText(ColumnText(emails[indexB], column));
        int order = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                                   static_cast<int>(b.size()));
        result = order == 0 ? 0 : order - CSTR_EQUAL;
    }
    return TfrmMain::SortAscending ? result : -result;
}

int CALLBACK CompareRows(LPARAM indexA, LPARAM indexB, LPARAM context) {
    const TSortContext& sort = *reinterpret_cast<const TSortContext*>(context);
    return CompareListItems(*sort.Emails, indexA, indexB, sort.Column);
}

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
    : Application(application), Pump(application), ScannerFactory(MakeScanner), FolderPicker(BrowseForFolder),
      HelpFile(ModuleFolder() + "\\help.html") {
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
        OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
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
    case kMenuExit:
        return Exit1Click();
    case kMenuHelp:
        return mnuHelpClick();
    }
}

void TfrmMain::OnNotify(const NMHDR& header) {
    if (header.hwndFrom != lvFoundEmails_.Handle())
        return;
    if (header.code == NM_CLICK)
        lvFoundEmailsClick();
    else if (header.code == LVN_COLUMNCLICK)
        lvFoundEmailsColumnClick(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
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

HMENU TfrmMain::CreateMainMenu() const {
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, kMenuOpenImage, "&Open Disk Image...");
    AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(file, MF_STRING, kMenuExit, "E&xit");
    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, kMenuHelp, "Ostrevan Help\tF1");
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
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
        MoveWindow(GetDlgItem(Handle_, place.Id), at.left, at.top, at.right - at.left, at.bottom - at.top, TRUE);
    }
    SizeColumns();
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
    HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL, 8, 104, 777, 273,
                                Handle_, reinterpret_cast<HMENU>(kIdFoundEmails), GetModuleHandleA(nullptr), nullptr);
    lvFoundEmails_ = TListView(list);
    // Double buffering (common controls 6; older versions ignore the bit) keeps the list from flickering
    // while a scan fills it.
    constexpr DWORD kDoubleBuffer = 0x00010000; // LVS_EX_DOUBLEBUFFER
    DWORD extended = LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | kDoubleBuffer;
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    int index = 0;
    for (const TColumn& column : kColumns)
        lvFoundEmails_.AddColumn(index++, column.Caption, column.Width);
}

void TfrmMain::CreatePreview() {
    // Multi-line without horizontal scrolling wraps words; no scroll bars.
    txtmsgbody_ =
        CreateWindowExA(WS_EX_CLIENTEDGE, "RichEdit20A", "",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, 8, 384, 777,
                        161, Handle_, reinterpret_cast<HMENU>(kIdMessageBody), GetModuleHandleA(nullptr), nullptr);
    // The default limit is 32K characters; a message body may be up to 20 MiB.
    SendMessageA(txtmsgbody_, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
}

void TfrmMain::FormCreate() {
    TGetDrives getDrives;
    Drives = getDrives.ListDrives([this](const std::string& root) { AddDriveItem(root, kDrivePicture); });
    if (SendMessageA(cbDrives_, CB_GETCOUNT, 0, 0) > 0)
        SendMessageA(cbDrives_, CB_SETCURSEL, 0, 0);
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

void TfrmMain::AddDiskImage(const std::string& path) {
    for (size_t i = 0; i < Drives.size(); ++i) {
        if (Drives[i] == path) {
            SendMessageA(cbDrives_, CB_SETCURSEL, i, 0);
            return;
        }
    }
    AddDriveItem(path, kImageFilePicture);
    Drives.push_back(path);
    SendMessageA(cbDrives_, CB_SETCURSEL, Drives.size() - 1, 0);
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

void TfrmMain::Exit1Click() {
    DestroyWindow(Handle_);
}

void TfrmMain::sbScanClick() {
    LRESULT selected = SendMessageA(cbDrives_, CB_GETCURSEL, 0, 0);
    if (selected < 0 || static_cast<size_t>(selected) >= Drives.size())
        return;
    ScanDrive(Drives[selected]);
}

void TfrmMain::ScanDrive(const std::string& root) {
    TEmailArray found;
    uint64_t unreadable = 0;
    {
        // An error from the scanner leaves Emails, the list and the preview as they were; the window is
        // enabled again on every way out.
        TDisabledWindow disabled(Handle_);
        TWaitWindowFactory waitWindows(Handle_, root);
        TActiveScan active(ActiveScan, waitWindows);
        std::unique_ptr<TScanHardDisk> scanner = ScannerFactory(root, Pump, waitWindows);
        waitWindows.SetSectorSize(scanner->GetSectorSize());
        found = scanner->Scan();
        unreadable = scanner->UnreadableSectors();
        LastScanEnd_ = {scanner->Cancelled(), scanner->SectorReached(), scanner->SectorCount()};
    }
    Emails = std::move(found);
    LastScannedRoot = root;
    RefillList();
    if (CloseAfterScan) {
        PostMessageA(Handle_, WM_CLOSE, 0, 0);
        return;
    }
    if (unreadable > 0)
        ReportUnreadableSectors(root, unreadable);
}

void TfrmMain::CancelScan() {
    if (ActiveScan)
        ActiveScan->RequestCancel();
}

void TfrmMain::RefillList() {
    lvFoundEmails_.Clear();
    std::string keyword = FilterOn ? std::string(GetWindowTextLengthA(txtFilter_) + 1, '\0') : std::string();
    if (FilterOn)
        keyword.resize(GetWindowTextA(txtFilter_, keyword.data(), static_cast<int>(keyword.size())));
    for (size_t i = 0; i < Emails.size(); ++i)
        if (!FilterOn || ContainsNoCase(Emails[i].Body, keyword))
            AddEmailToList(Emails[i], static_cast<int>(i));
}

void TfrmMain::AddEmailToList(const TEmail& email, int index) {
    int row = lvFoundEmails_.AddRow(std::to_string(index), kMessagePicture, index);
    lvFoundEmails_.SetSubItem(row, 1, email.Date);
    lvFoundEmails_.SetSubItem(row, 2, email.From);
    lvFoundEmails_.SetSubItem(row, 3, email.To);
    lvFoundEmails_.SetSubItem(row, 4, email.Subject);
    lvFoundEmails_.MakeVisible(row);
}

void TfrmMain::ReportUnreadableSectors(const std::string& root, uint64_t count) const {
    std::string text = std::to_string(count) + (count == 1 ? " sector" : " sectors") + " of " + root +
                       " could not be read and " + (count == 1 ? "was" : "were") +
                       " skipped. Messages stored there cannot be recovered.";
    ShowBox(text, "Warning", MB_ICONWARNING);
}

// The row's message, found through its caption; -1 when the caption names no message.
int TfrmMain::MessageIndexOfRow(int row) const {
    std::string caption = lvFoundEmails_.Text(row);
    char* end = nullptr;
    long index = std::strtol(caption.c_str(), &end, 10);
    if (caption.empty() || *end != '\0' || index < 0 || static_cast<size_t>(index) >= Emails.size())
        return -1;
    return static_cast<int>(index);
}

void TfrmMain::lvFoundEmailsClick() {
    int row = lvFoundEmails_.Selected();
    if (row < 0)
        return;
    int index = MessageIndexOfRow(row);
    if (index < 0)
        return;
    SetWindowTextA(txtmsgbody_, "");
    SetWindowTextA(txtmsgbody_, Emails[index].Body.c_str());
}

void TfrmMain::lvFoundEmailsColumnClick(int column) {
    if (column == LastSortColumn)
        SortAscending = !SortAscending;
    else
        LastSortColumn = column;
    TSortContext context = {&Emails, column};
    lvFoundEmails_.Sort(CompareRows, reinterpret_cast<LPARAM>(&context));
}

void TfrmMain::sbSelectAllClick() {
    for (int row = 0; row < lvFoundEmails_.Count(); ++row)
        lvFoundEmails_.SetChecked(row, true);
}

void TfrmMain::sbDeselectAllClick() {
    for (int row = 0; row < lvFoundEmails_.Count(); ++row)
        lvFoundEmails_.SetChecked(row, false);
}

void TfrmMain::SetFilterState(bool on) {
    FilterOn = on;
    EnableWindow(btnApplyFilter_, !on);
    EnableWindow(btnClearFilter_, on);
    EnableWindow(txtFilter_, !on); // the keyword cannot change while the filter is on
}

std::string TfrmMain::RescanRoot() const {
    if (!LastScannedRoot.empty())
        return LastScannedRoot;
    LRESULT selected = SendMessageA(cbDrives_, CB_GETCURSEL, 0, 0);
    if (selected < 0 || static_cast<size_t>(selected) >= Drives.size())
        return {};
    return Drives[selected];
}

// Apply and Clear rescan the drive scanned last (the selected one before any scan). If that scan fails,
// the filter goes back to the state that matches the list still shown.
void TfrmMain::btnApplyFilterClick() {
    if (GetWindowTextLengthA(txtFilter_) == 0)
        return;
    std::string root = RescanRoot();
    if (root.empty())
        return;
    SetFilterState(true);
    try {
        ScanDrive(root);
    } catch (...) {
        SetFilterState(false);
        throw;
    }
}

void TfrmMain::btnClearFilterClick() {
    std::string root = RescanRoot();
    if (root.empty())
        return;
    SetFilterState(false);
    try {
        ScanDrive(root);
    } catch (...) {
        SetFilterState(true);
        throw;
    }
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
    int rows = lvFoundEmails_.Count();
    for (int row = 0; row < rows; ++row) {
        if (!lvFoundEmails_.Checked(row))
            continue;
        int index = MessageIndexOfRow(row);
        if (index >= 0)
            items.push_back({static_cast<uint64_t>(row), static_cast<size_t>(index)});
    }
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
    TExportOutcome outcome = ExportMessages(folder, items, [this](size_t index, std::string& text, std::string&) {
        text = Emails[index].FullText;
        return true;
    });
    ReportExport(folder, outcome);
}

// The specified success text when every file was written, followed by how many and where; otherwise what failed.
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
