// Device files on Windows: CreateFileA once, then reads at 64-bit offsets, the length and sector size from the
// device's own queries.
#include "volume/DeviceFile.h"

#include <windows.h>
#include <winioctl.h>

#ifndef FSCTL_ALLOW_EXTENDED_DASD_IO
#define FSCTL_ALLOW_EXTENDED_DASD_IO CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 32, METHOD_NEITHER, FILE_ANY_ACCESS)
#endif

namespace {

class TWin32DeviceFile : public IDeviceFile {
public:
    explicit TWin32DeviceFile(HANDLE handle) : handle_(handle) {}
    ~TWin32DeviceFile() override { CloseHandle(handle_); }

    bool ReadAt(uint64_t offset, uint32_t length, uint8_t* buffer, uint32_t& error) override {
        error = 0;
        // Sequential reads need no seek. A failed seek must not let the read go on at the wrong place.
        if (offset != position_ && !Seek(offset, error))
            return false;
        position_ = kUnknownPosition; // until every byte has arrived
        while (length > 0) {
            DWORD got = 0;
            if (!ReadFile(handle_, buffer, length, &got, nullptr)) {
                error = GetLastError();
                return false;
            }
            if (got == 0)
                return false; // the end before the last byte
            buffer += got;
            length -= got;
            offset += got;
        }
        position_ = offset;
        return true;
    }

    bool Length(uint64_t& lengthBytes) override {
        GET_LENGTH_INFORMATION lengthInfo{};
        DWORD returned = 0;
        if (DeviceIoControl(handle_, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &lengthInfo, sizeof(lengthInfo), &returned,
                            nullptr) &&
            lengthInfo.Length.QuadPart > 0) {
            lengthBytes = static_cast<uint64_t>(lengthInfo.Length.QuadPart);
            return true;
        }
        LARGE_INTEGER size{};
        if (GetFileSizeEx(handle_, &size)) {
            lengthBytes = static_cast<uint64_t>(size.QuadPart);
            return true;
        }
        LARGE_INTEGER zero{}, end{};
        if (SetFilePointerEx(handle_, zero, &end, FILE_END)) {
            position_ = static_cast<uint64_t>(end.QuadPart);
            lengthBytes = static_cast<uint64_t>(end.QuadPart);
            return true;
        }
        return false;
    }

    uint32_t SectorSize() override {
        DISK_GEOMETRY geometry{};
        DWORD returned = 0;
        if (DeviceIoControl(handle_, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof(geometry), &returned,
                            nullptr))
            return geometry.BytesPerSector;
        return 0;
    }

    bool AllowExtendedIo() override {
        DWORD returned = 0;
        return DeviceIoControl(handle_, FSCTL_ALLOW_EXTENDED_DASD_IO, nullptr, 0, nullptr, 0, &returned, nullptr) !=
               FALSE;
    }

private:
    static constexpr uint64_t kUnknownPosition = ~0ull;

    bool Seek(uint64_t offset, uint32_t& error) {
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(offset);
        if (SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN))
            return true;
        error = GetLastError();
        return false;
    }

    HANDLE handle_;
    uint64_t position_ = 0; // a handle opens at the start
};

std::unique_ptr<IDeviceFile> OpenWin32DeviceFile(const std::string& path, uint32_t& error) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    error = 0;
    return std::make_unique<TWin32DeviceFile>(handle);
}

TDeviceFileOpener Opener;

} // namespace

std::unique_ptr<IDeviceFile> OpenDeviceFile(const std::string& path, uint32_t& error) {
    return Opener ? Opener(path, error) : OpenWin32DeviceFile(path, error);
}

TDeviceFileOpener SetDeviceFileOpener(TDeviceFileOpener opener) {
    TDeviceFileOpener previous = std::move(Opener);
    Opener = std::move(opener);
    return previous;
}
