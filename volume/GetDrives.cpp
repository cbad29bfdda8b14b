// The part of the drive list that does not depend on the platform: walking the drive-strings buffer.
#include "volume/GetDrives.h"
#include "volume/SystemError.h"

#include <cstring>

namespace {
constexpr uint32_t kOutOfMemoryError = 14; // ERROR_OUTOFMEMORY
constexpr size_t kEntryStep = 4;           // "C:\" and its zero byte
} // namespace

TDriveArray TGetDrives::ListDriveStrings(const char* strings, uint32_t returned, uint32_t bufferLength,
                                         const std::function<bool(const std::string& root)>& isReady,
                                         const std::function<void(const std::string& root)>& onReady) {
    TDriveArray drives;
    if (returned == 0)
        return drives;
    if (returned > bufferLength)
        throw std::runtime_error(SystemErrorText(kOutOfMemoryError));
    // Entries are read only within what the call filled, so a list without its closing empty entry ends too.
    for (size_t at = 0; at < returned && strings[at] != '\0'; at += kEntryStep) {
        const std::string root(strings + at, strnlen(strings + at, returned - at));
        if (!isReady(root))
            continue;
        if (onReady)
            onReady(root);
        drives.push_back(root);
    }
    return drives;
}
