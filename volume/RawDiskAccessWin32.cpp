// RawDiskAccess on Windows: version and volume queries through kernel32, raw reads through the volume device
// (NT family) or the VWIN32 device's DOS absolute disk reads (9x family).
#include "volume/RawDiskAccess.h"
#include "volume/DeviceFile.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version query expects a 148-byte record");

namespace {

class TRealWin32System : public IWin32System {
public:
    bool QueryVersion(TOsVersion& version) override {
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof(info);
        if (!GetVersionExA(&info))
            return false;
        version.MajorVersion = info.dwMajorVersion;
        version.MinorVersion = info.dwMinorVersion;
        version.BuildNumber = info.dwBuildNumber;
        version.PlatformId = info.dwPlatformId;
        version.CSDVersion.assign(info.szCSDVersion, strnlen(info.szCSDVersion, sizeof(info.szCSDVersion)));
        return true;
    }

    bool OpenVWin32() override {
        handle_ = CreateFileA("\\\\.\\VWIN32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr;
    }

    bool VWin32DeviceIoControl(uint32_t code, TDIOCRegisters& registers, const TDosMemory&) override {
        DWORD returned = 0;
        return DeviceIoControl(handle_, code, &registers, sizeof(registers), &registers, sizeof(registers), &returned,
                               nullptr) != FALSE;
    }

private:
    // Once open, the device stays open until the process ends.
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TRealWin32System RealSystem;
IWin32System* System = &RealSystem;
bool VWin32IsOpen = false;
uint32_t DiskError = 0;

bool ContainsNoCase(const std::string& text, const char* part) {
    std::string upperText = text, upperPart = part;
    for (auto* s : {&upperText, &upperPart})
        std::transform(s->begin(), s->end(), s->begin(), [](unsigned char c) { return std::toupper(c); });
    return upperText.find(upperPart) != std::string::npos;
}

uint32_t DosAddress(const void* pointer) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

char DriveLetter(uint8_t driveNumber) {
    return static_cast<char>(64 + driveNumber);
}

// One DOS read of at most 65,535 sectors: Int 21h function 7305h first where the version has it, then Int 25h.
bool ReadDosRun(uint8_t driveNumber, uint32_t firstSector, uint16_t count, uint8_t* buffer, bool tryExtended) {
    DiskError = 0;
    TDiskIO packet;
    packet.StartSector = firstSector;
    packet.Sectors = count;
    packet.Buffer = DosAddress(buffer);
    const TDosMemory memory{&packet, buffer};
    if (tryExtended) {
        TDIOCRegisters registers;
        registers.EAX = 0x7305;
        registers.EBX = DosAddress(&packet);
        registers.ECX = 0xFFFFFFFF;
        registers.EDX = driveNumber;
        registers.ESI = 0; // read
        if (VWin32Control(kVWin32DiocDosDriveInfo, registers, memory) && (registers.Flags & kCarryFlag) == 0)
            return true;
    }
    TDIOCRegisters registers;
    registers.EAX = driveNumber - 1u;
    registers.EBX = DosAddress(&packet);
    registers.ECX = 0xFFFFFFFF;
    if (!VWin32Control(kVWin32DiocDosInt25, registers, memory))
        return false;
    if ((registers.Flags & kCarryFlag) == 0)
        return true;
    DiskError = kDiskErrorInt25 + (registers.EAX & 0xFF);
    return false;
}

} // namespace

IWin32System* SetWin32System(IWin32System* system) {
    IWin32System* previous = System;
    System = system ? system : &RealSystem;
    VWin32IsOpen = false;
    return previous;
}

std::string GetPlatformName() {
    TOsVersion version;
    System->QueryVersion(version);
    switch (version.PlatformId) {
    case VER_PLATFORM_WIN32s:
        return "Win32S";
    case VER_PLATFORM_WIN32_WINDOWS:
        return "9x";
    case VER_PLATFORM_WIN32_NT:
        return "NT";
    default:
        return "";
    }
}

TMediaIdentifier GetMediaIdentifier(char driveLetter) {
    TMediaIdentifier identifier;
    const std::string root = std::string(1, driveLetter) + ":\\";
    char label[256] = {};
    char fileSystem[256] = {};
    DWORD serial = 0, maxComponent = 0, flags = 0;
    GetVolumeInformationA(root.c_str(), label, 255, &serial, &maxComponent, &flags, fileSystem, 255);
    identifier.SerialNumber = serial;
    identifier.VolumeLabel.assign(label, strnlen(label, sizeof(label)));
    identifier.FileSystem.assign(fileSystem, strnlen(fileSystem, sizeof(fileSystem)));
    return identifier;
}

TDriveGeometry GetDriveGeometry(const std::string& drive, uint32_t) {
    if (drive.empty())
        return {};
    const std::string root = (drive.size() == 1 ? drive + ":\\" : drive).substr(0, 3);
    using TGetDiskFreeSpaceExA = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    const auto getDiskFreeSpaceEx = reinterpret_cast<TGetDiskFreeSpaceExA>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    TFreeSpace space;
    if (getDiskFreeSpaceEx) {
        ULARGE_INTEGER available{}, total{}, totalFree{};
        getDiskFreeSpaceEx(root.c_str(), &available, &total, &totalFree);
        space.HasExtended = true;
        space.TotalBytes = total.QuadPart;
        space.FreeBytes = totalFree.QuadPart;
    }
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters);
    space.SectorsPerCluster = sectorsPerCluster;
    space.BytesPerSector = bytesPerSector;
    space.FreeClusters = freeClusters;
    space.TotalClusters = totalClusters;
    return GeometryFromFreeSpace(space);
}

bool IsDriveRoot(const std::string& text) {
    // One letter alone is a file name: only "X:" and "X:\" (or "X:/") name a drive.
    if (text.size() < 2 || text.size() > 3 || !std::isalpha(static_cast<unsigned char>(text[0])) || text[1] != ':')
        return false;
    return text.size() == 2 || text[2] == '\\' || text[2] == '/';
}

bool ReadSectors(uint8_t driveNumber, uint64_t firstSector, uint32_t count, void* buffer) {
    if (GetPlatformName() == "NT" && ReadSectorsNT(driveNumber, firstSector, count, buffer))
        return true;
    if (GetPlatformName() != "9x")
        return false;
    // The DOS packet numbers sectors in 32 bits: a run that reaches past that cannot be read this way.
    if (count == 0 || firstSector + count - 1 > 0xFFFFFFFFull)
        return count == 0;
    return ReadSectors9x(driveNumber, static_cast<uint32_t>(firstSector), count, buffer);
}

bool ReadSectorsNT(uint8_t driveNumber, uint64_t firstSector, uint32_t count, void* buffer) {
    const char letter = DriveLetter(driveNumber);
    const TDriveGeometry geometry = GetDriveGeometry(std::string(1, letter));
    if (geometry.BytesPerSector <= 0)
        return false;
    uint32_t error = 0;
    const std::unique_ptr<IDeviceFile> device = OpenDeviceFile(std::string("\\\\.\\") + letter + ":", error);
    if (!device)
        return false;
    device->AllowExtendedIo();
    return ReadDeviceSectors(*device, static_cast<uint32_t>(geometry.BytesPerSector), firstSector, count,
                             static_cast<uint8_t*>(buffer));
}

uint32_t LastDiskError() {
    return DiskError;
}

TWinVersion GetWinVersion() {
    TWinVersion result;
    TOsVersion version;
    if (!System->QueryVersion(version))
        return result;
    result.MajorVersion = version.MajorVersion;
    result.MinorVersion = version.MinorVersion;
    result.Platform = "9x";
    const std::string& csd = version.CSDVersion;
    std::string name;
    switch (version.MinorVersion) {
    case 0:
        result.BuildNumber = version.BuildNumber & 0xFFFF;
        if (ContainsNoCase(csd, "C")) {
            name = "Windows 95 OSR2";
            result.ServicePack.clear();
        }
        if (ContainsNoCase(csd, "B")) {
            name = "Windows 95";
            result.ServicePack = "Service Pack 1";
        }
        if (!ContainsNoCase(csd, "C") && !ContainsNoCase(csd, "B")) {
            name = "Windows 95 Original";
            result.ServicePack.clear();
        }
        break;
    case 10:
        result.BuildNumber = version.BuildNumber & 0xFFFF;
        name = ContainsNoCase(csd, "A") ? "Windows 98 Second Edition" : "Windows 98";
        break;
    case 90:
        result.BuildNumber = version.BuildNumber & 0xFFFF;
        name = "Windows ME";
        break;
    default:
        break;
    }
    result.Name = result.ServicePack.empty() ? name : name + " with " + result.ServicePack;
    return result;
}

bool OpenVWin32() {
    DiskError = 0;
    if (VWin32IsOpen)
        return true;
    if (GetPlatformName() != "9x") {
        DiskError = kDiskErrorNot9x;
        return false;
    }
    VWin32IsOpen = System->OpenVWin32();
    if (!VWin32IsOpen) {
        DiskError = kDiskErrorOpenVWin32;
        return false;
    }
    return true;
}

bool VWin32Control(uint32_t code, TDIOCRegisters& registers, const TDosMemory& memory) {
    DiskError = 0;
    if (!OpenVWin32())
        return false;
    if (!System->VWin32DeviceIoControl(code, registers, memory)) {
        DiskError = kDiskErrorDeviceControl;
        return false;
    }
    return true;
}

bool ReadSectors9x(uint8_t driveNumber, uint32_t firstSector, uint32_t count, void* buffer) {
    DiskError = 0;
    const std::string name = GetWinVersion().Name;
    const bool tryExtended =
        ContainsNoCase(name, "95 OSR2") || ContainsNoCase(name, "98") || ContainsNoCase(name, "ME");
    auto* bytes = static_cast<uint8_t*>(buffer);
    if (count <= kMaxSectorsPerDosRead)
        return ReadDosRun(driveNumber, firstSector, static_cast<uint16_t>(count), bytes, tryExtended);
    // A window holds more sectors than one DOS packet carries: read it as several runs.
    const TDriveGeometry geometry = GetDriveGeometry(std::string(1, DriveLetter(driveNumber)));
    if (geometry.BytesPerSector <= 0 || static_cast<uint64_t>(firstSector) + count - 1 > 0xFFFFFFFFull)
        return false;
    for (uint32_t done = 0; done < count;) {
        const uint32_t run = std::min(count - done, kMaxSectorsPerDosRead);
        uint8_t* target = bytes + static_cast<size_t>(done) * static_cast<uint32_t>(geometry.BytesPerSector);
        if (!ReadDosRun(driveNumber, firstSector + done, static_cast<uint16_t>(run), target, tryExtended))
            return false;
        done += run;
    }
    return true;
}
