// A drive root on Windows. The length comes from the volume device where it can tell it, so that the scan
// reaches the volume's last sector; the free-space totals (which under Wine describe the host's disk) serve
// only when the device tells nothing.
#include "volume/DriveVolumeSource.h"
#include "volume/RawDiskAccess.h"
#include "volume/SystemError.h"
#include "volume/VolumeError.h"

#include <windows.h>
#include <winioctl.h>

#include <cctype>
#include <vector>

namespace {

bool DeviceLength(HANDLE device, uint64_t& lengthBytes) {
    GET_LENGTH_INFORMATION lengthInfo{};
    DWORD returned = 0;
    if (DeviceIoControl(device, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &lengthInfo, sizeof(lengthInfo), &returned,
                        nullptr) &&
        lengthInfo.Length.QuadPart > 0) {
        lengthBytes = static_cast<uint64_t>(lengthInfo.Length.QuadPart);
        return true;
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(device, &size) && size.QuadPart > 0) {
        lengthBytes = static_cast<uint64_t>(size.QuadPart);
        return true;
    }
    LARGE_INTEGER zero{}, end{};
    if (SetFilePointerEx(device, zero, &end, FILE_END) && end.QuadPart > 0) {
        lengthBytes = static_cast<uint64_t>(end.QuadPart);
        return true;
    }
    return false;
}

// Reads the volume's first sector once. A device that cannot read at all (no medium, no rights, or a drive that
// only maps a folder, as under Wine) is refused now with the system's reason, instead of a scan that serves
// nothing but zeros; a media error is left to the window, which reads around bad sectors.
DWORD ProbeFirstSector(HANDLE device, uint32_t sectorSize) {
    std::vector<uint8_t> sector(sectorSize);
    DWORD got = 0;
    if (ReadFile(device, sector.data(), sectorSize, &got, nullptr) && got == sectorSize)
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    switch (error) {
    case ERROR_INVALID_FUNCTION:
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY:
    case ERROR_NOT_SUPPORTED:
        return error;
    default:
        return ERROR_SUCCESS;
    }
}

} // namespace

TDriveVolumeSource::TDriveVolumeSource(const std::string& root) : root_(root) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root.at(0))));
    driveNumber_ = static_cast<uint8_t>(letter - 64);
    const TDriveGeometry geometry = GetDriveGeometry(std::string(1, letter) + ":\\");
    const DWORD geometryError = GetLastError();
    if (geometry.BytesPerSector <= 0)
        throw TVolumeError("Cannot read drive " + root + ": its sector size cannot be told (" +
                           SystemErrorText(geometryError) + ")");
    sectorSize_ = static_cast<uint32_t>(geometry.BytesPerSector);
    lengthBytes_ = geometry.TotalBytes > 0 ? static_cast<uint64_t>(geometry.TotalBytes) : 0;
    if (GetPlatformName() != "NT")
        return; // the 9x way has no volume device to open or measure
    const std::string device = std::string("\\\\.\\") + letter + ":";
    HANDLE handle = CreateFileA(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw TVolumeError("Cannot read drive " + root + ": " + SystemErrorText(GetLastError()));
    uint64_t deviceLength = 0;
    if (DeviceLength(handle, deviceLength))
        lengthBytes_ = deviceLength;
    LARGE_INTEGER start{};
    SetFilePointerEx(handle, start, nullptr, FILE_BEGIN);
    const DWORD probeError = ProbeFirstSector(handle, sectorSize_);
    CloseHandle(handle);
    if (probeError != ERROR_SUCCESS)
        throw TVolumeError("Cannot read drive " + root + ": " + SystemErrorText(probeError));
    if (lengthBytes_ < sectorSize_)
        throw TVolumeError("Cannot read drive " + root + ": its size cannot be told");
}

bool TDriveVolumeSource::ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) {
    return ::ReadSectors(driveNumber_, firstSector, count, buffer);
}
