// The drive list on Windows: the logical drives whose root can be made the current directory.
#include "volume/GetDrives.h"
#include "volume/SystemError.h"

#include <windows.h>

namespace {
constexpr DWORD kDriveStringsLength = 129;
}

TDriveArray TGetDrives::ListDrives(const std::function<void(const std::string& root)>& onReady) {
    char strings[kDriveStringsLength] = {};
    const DWORD returned = GetLogicalDriveStringsA(kDriveStringsLength, strings);
    return ListDriveStrings(
        strings, returned, kDriveStringsLength, [this](const std::string& root) { return IsDriveReady(root); },
        onReady);
}

bool TGetDrives::IsDriveReady(const std::string& root) {
    // A drive without a medium then fails quietly instead of asking the user to insert one.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    struct TRestoreMode {
        UINT mode;
        ~TRestoreMode() { SetErrorMode(mode); }
    } restoreMode{previousMode};

    char saved[MAX_PATH + 1] = {};
    const DWORD savedLength = GetCurrentDirectoryA(sizeof(saved), saved);
    const bool ready = SetCurrentDirectoryA(root.c_str()) != FALSE;
    if (savedLength > 0 && savedLength < sizeof(saved) && !SetCurrentDirectoryA(saved)) {
        const DWORD error = GetLastError();
        throw TInOutError("Cannot return to the folder " + std::string(saved) + ": " + SystemErrorText(error), error);
    }
    return ready;
}
