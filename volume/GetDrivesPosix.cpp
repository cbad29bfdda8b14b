// The drive list on Linux: every block device of /sys/block and its partitions, as /dev paths, that can be
// opened for reading and holds at least one byte (an unused loop device or an empty card reader does not).
#include "volume/GetDrives.h"
#include "volume/PosixFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

std::vector<std::string> SortedEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The disk itself, then its partitions (the subfolders that hold a "partition" file).
std::vector<std::string> DeviceNames() {
    std::vector<std::string> devices;
    const std::filesystem::path sysBlock = "/sys/block";
    for (const std::string& disk : SortedEntries(sysBlock)) {
        devices.push_back(disk);
        for (const std::string& part : SortedEntries(sysBlock / disk)) {
            std::error_code error;
            if (std::filesystem::exists(sysBlock / disk / part / "partition", error))
                devices.push_back(part);
        }
    }
    return devices;
}

} // namespace

TDriveArray TGetDrives::ListDrives(const std::function<void(const std::string& root)>& onReady) {
    TDriveArray drives;
    for (const std::string& name : DeviceNames()) {
        const std::string path = "/dev/" + name;
        if (!IsDriveReady(path))
            continue;
        if (onReady)
            onReady(path);
        drives.push_back(path);
    }
    return drives;
}

bool TGetDrives::IsDriveReady(const std::string& root) {
    // O_NONBLOCK: an optical drive without a disc answers at once instead of waiting for one.
    const int fd = open(root.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    uint32_t sectorSize = 0;
    uint64_t lengthBytes = 0;
    const bool ready = MeasurePosixFile(fd, 512, sectorSize, lengthBytes) == 0 && lengthBytes > 0;
    close(fd);
    return ready;
}
