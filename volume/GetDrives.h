// The drives the user can scan: on Windows the logical drives whose root can be made the current directory,
// on other systems the block devices (and their partitions) that can be opened for reading.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using TDriveArray = std::vector<std::string>;

// The current directory could not be restored after a drive was tried; carries the system error code.
class TInOutError : public std::runtime_error {
public:
    TInOutError(const std::string& message, uint32_t errorCode) : std::runtime_error(message), code_(errorCode) {}
    uint32_t ErrorCode() const { return code_; }

private:
    uint32_t code_;
};

class TGetDrives {
public:
    // The ready drives in the order the system lists them ("C:\" roots on Windows, /dev paths elsewhere);
    // `onReady` is called with each one as it is found (the desktop program adds a drive box item there).
    TDriveArray ListDrives(const std::function<void(const std::string& root)>& onReady = {});
    // Windows: true when `root` can be made the current directory (no system prompt for a drive without a
    // medium; the current directory and the error mode are restored). Elsewhere: true when the device opens
    // for reading and holds at least one byte.
    bool IsDriveReady(const std::string& root);

    // The listing step of ListDrives over a drive-strings buffer as GetLogicalDriveStringsA fills it:
    // `returned` is what that call returned for a buffer of `bufferLength` bytes. Raises std::runtime_error
    // with the system's text for error 14 when the buffer was too small.
    static TDriveArray ListDriveStrings(const char* strings, uint32_t returned, uint32_t bufferLength,
                                        const std::function<bool(const std::string& root)>& isReady,
                                        const std::function<void(const std::string& root)>& onReady);
};
