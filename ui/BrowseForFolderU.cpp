#include "ui/BrowseForFolderU.h"

#include <cstring>

namespace {
// The initial folder of the latest call, read by the callback (the dialog runs on this thread only).
std::string InitialFolderOfLatestCall;

constexpr UINT kReturnOnlyFileSystemDirs = 0x0001;
constexpr UINT kNewDialogStyle = 0x0040;
constexpr UINT kNoNewFolderButton = 0x0200;
constexpr UINT kInitialised = 1;             // BFFM_INITIALIZED
constexpr UINT kSetSelectionByPath = 0x0466; // BFFM_SETSELECTIONA
} // namespace

int CALLBACK BrowseForFolderCallback(HWND dialog, UINT message, LPARAM, LPARAM) {
    if (message == kInitialised)
        SendMessageA(dialog, kSetSelectionByPath, 1, reinterpret_cast<LPARAM>(InitialFolderOfLatestCall.c_str()));
    return 0;
}

BROWSEINFOA MakeBrowseInfo(HWND owner, const std::string& title, const std::string& initialFolder, bool allowNewFolder,
                           char* pathBuffer) {
    BROWSEINFOA info;
    std::memset(&info, 0, sizeof(info));
    InitialFolderOfLatestCall = initialFolder;
    info.hwndOwner = owner;
    info.pidlRoot = nullptr; // the tree starts at the desktop
    info.pszDisplayName = pathBuffer;
    info.lpszTitle = title.c_str();
    info.ulFlags = kReturnOnlyFileSystemDirs | kNewDialogStyle | (allowNewFolder ? 0 : kNoNewFolderButton);
    info.lpfn = initialFolder.empty() ? nullptr : BrowseForFolderCallback;
    info.lParam = 0;
    return info;
}

std::string BrowseForFolder(HWND owner, const std::string& title, const std::string& initialFolder,
                            bool allowNewFolder) {
    char path[MAX_PATH + 1] = {};
    BROWSEINFOA info = MakeBrowseInfo(owner, title, initialFolder, allowNewFolder, path);
    LPITEMIDLIST item = SHBrowseForFolderA(&info);
    if (!item)
        return {};
    bool converted = SHGetPathFromIDListA(item, path);
    CoTaskMemFree(item);
    if (!converted)
        return {};
    return std::string(path, strnlen(path, sizeof(path)));
}
