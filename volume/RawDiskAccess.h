// Raw volume queries and reads: what the system runs on, what a volume looks like, and its sectors.
// Free functions that keep no state between calls (apart from the 9x way's device handle).
#pragma once

#include <cstdint>
#include <string>

struct TMediaIdentifier {
    uint32_t SerialNumber = 0;
    std::string VolumeLabel;
    std::string FileSystem;
};

struct TDriveGeometry {
    int32_t ClusterSize = 0;
    int32_t BytesPerSector = 0;
    int32_t SectorsPerCluster = 0;
    int64_t TotalClusters = 0;
    int64_t FreeClusters = 0;
    int64_t TotalBytes = 0;
    int64_t FreeBytes = 0;

    bool operator==(const TDriveGeometry&) const = default;
};

// "Win32S", "9x" or "NT", or empty for any other family. The POSIX back end reads as "NT".
std::string GetPlatformName();
// Serial number, label and file system of the volume of `driveLetter`; zeros and empty strings when the
// volume cannot be queried (and always on POSIX, which has no drive letters).
TMediaIdentifier GetMediaIdentifier(char driveLetter);
// Windows: `drive` is a letter ("C"), a root ("C:\") or a path on that drive; all give the same record.
// POSIX: `drive` is an image file or a block device; a file has sectors of `imageSectorSize` bytes.
// All zeros when the volume cannot be queried.
TDriveGeometry GetDriveGeometry(const std::string& drive, uint32_t imageSectorSize = 512);
// The free-space figures of a volume as the two Windows queries give them; `HasExtended` says whether the
// 64-bit query exists and answered.
struct TFreeSpace {
    uint32_t SectorsPerCluster = 0;
    uint32_t BytesPerSector = 0;
    uint32_t FreeClusters = 0;
    uint32_t TotalClusters = 0;
    bool HasExtended = false;
    uint64_t TotalBytes = 0;
    uint64_t FreeBytes = 0;
};
// The geometry those figures describe. Without the 64-bit query the byte totals are cluster products taken
// modulo 2^32, as the old query reports them.
TDriveGeometry GeometryFromFreeSpace(const TFreeSpace& space);
// True when `text` names a drive root ("C:\" or "C:"; "C:/" too) rather than a path: a letter alone is a file
// name. The volume layer and the command line both ask this. Never on POSIX.
bool IsDriveRoot(const std::string& text);

// Reads `count` whole sectors from `firstSector` of drive `driveNumber` (1 is A, 3 is C) into `buffer`,
// which holds at least count × BytesPerSector bytes. True only when every byte arrived.
// Always false on POSIX, where volumes are named by path (see TPathVolumeSource).
bool ReadSectors(uint8_t driveNumber, uint64_t firstSector, uint32_t count, void* buffer);

// ---- Windows only: the NT way and the 9x way of ReadSectors -----------------------------------------

// The volume device "\\.\C:", read-only, opened and closed within the call, allowed to read past the file
// system's end (FSCTL_ALLOW_EXTENDED_DASD_IO); positioned by 64-bit offset, read in requests of at most
// kMaxDeviceRequestBytes. A scan keeps its device open instead (TDriveVolumeSource).
bool ReadSectorsNT(uint8_t driveNumber, uint64_t firstSector, uint32_t count, void* buffer);

struct TWinVersion {
    std::string Name;
    std::string Platform;
    std::string ServicePack;
    uint32_t MajorVersion = 0;
    uint32_t MinorVersion = 0;
    uint32_t BuildNumber = 0;
};

#pragma pack(push, 1)
// Register block exchanged with the VWIN32 device.
struct TDIOCRegisters {
    uint32_t EBX = 0;
    uint32_t EDX = 0;
    uint32_t ECX = 0;
    uint32_t EAX = 0;
    uint32_t EDI = 0;
    uint32_t ESI = 0;
    uint32_t Flags = 0;
};
// Disk I/O packet of the DOS absolute disk reads (Int 25h and Int 21h function 7305h).
struct TDiskIO {
    uint32_t StartSector = 0;
    uint16_t Sectors = 0;
    uint32_t Buffer = 0;
};
#pragma pack(pop)
static_assert(sizeof(TDIOCRegisters) == 28, "VWIN32 expects a 28-byte register block");
static_assert(sizeof(TDiskIO) == 10, "DOS expects a 10-byte packed disk I/O packet");

constexpr uint32_t kVWin32DiocDosInt25 = 2;
constexpr uint32_t kVWin32DiocDosDriveInfo = 6;
constexpr uint32_t kCarryFlag = 1;
// The most sectors one DOS read carries (the packet's count is 16 bits).
constexpr uint32_t kMaxSectorsPerDosRead = 0xFFFF;

// Why the last step of the 9x way failed; 0 when it did not.
constexpr uint32_t kDiskErrorDeviceControl = 0x100000;
constexpr uint32_t kDiskErrorNot9x = 0x200000;
constexpr uint32_t kDiskErrorOpenVWin32 = 0x300000;
constexpr uint32_t kDiskErrorInt25 = 0x10000; // + the low byte of EAX that Int 25h returned
uint32_t LastDiskError();

// What the DOS addresses in a register block stand for. The device follows the 32-bit addresses in EBX and
// in the packet; a 64-bit process cannot hand out such addresses, so each call also names the memory, and a
// fake device in a test follows these pointers instead.
struct TDosMemory {
    TDiskIO* Packet = nullptr;
    uint8_t* Buffer = nullptr;
};

// The system calls of the version query and of the 9x way. The real one calls GetVersionExA, CreateFileA
// and DeviceIoControl; tests put a fake behind SetWin32System.
struct TOsVersion {
    uint32_t MajorVersion = 0;
    uint32_t MinorVersion = 0;
    uint32_t BuildNumber = 0;
    uint32_t PlatformId = 0;
    std::string CSDVersion;
};
class IWin32System {
public:
    virtual ~IWin32System() = default;
    // GetVersionExA with a 148-byte OSVERSIONINFOA.
    virtual bool QueryVersion(TOsVersion& version) = 0;
    // Opens "\\.\VWIN32"; true when the device is open. Called again only after a failure.
    virtual bool OpenVWin32() = 0;
    // DeviceIoControl on the open device, the register block in and out (28 bytes each way).
    virtual bool VWin32DeviceIoControl(uint32_t code, TDIOCRegisters& registers, const TDosMemory& memory) = 0;
};
// Puts `system` behind the queries (nullptr: the real system again) and forgets the open VWIN32 handle.
// Returns the one that was there.
IWin32System* SetWin32System(IWin32System* system);

TWinVersion GetWinVersion();
bool OpenVWin32();
bool VWin32Control(uint32_t code, TDIOCRegisters& registers, const TDosMemory& memory = {});
// The 9x way. Counts above 65,535 sectors are read as several DOS reads; sectors past 2^32 cannot be
// addressed by the DOS packet and give false.
bool ReadSectors9x(uint8_t driveNumber, uint32_t firstSector, uint32_t count, void* buffer);
