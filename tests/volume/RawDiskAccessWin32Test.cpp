// The Win32 back end under Wine: the version and volume queries (with 9x answers through Wine's per-program
// version setting), the 9x way against a fake VWIN32 device, the drive list, the NT way on a drive that Wine
// maps to a disk image, and image files read by path.
#include "tests/volume/FakeDevice.h"
#include "volume/DeviceFile.h"
#include "volume/DiskBuffer.h"
#include "volume/GetDrives.h"
#include "volume/PathVolumeSource.h"
#include "volume/RawDiskAccess.h"
#include "volume/SystemError.h"
#include "volume/VolumeError.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kReportVersionVariable = "OSTREVAN_VOLUME_REPORT_VERSION";

uint32_t Low32(const void* pointer) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

uint8_t DiskByte(uint64_t offset) {
    return static_cast<uint8_t>((offset * 13) ^ (offset >> 9) ^ 0xA5);
}

// A VWIN32 device in memory: records every call with the packet it was handed, and serves the disk's bytes
// when the answer for that call says the DOS read succeeded.
class TFakeWin9x : public IWin32System {
public:
    struct TCall {
        uint32_t code;
        TDIOCRegisters sent;
        TDiskIO packet;
        bool addressesMatch; // EBX names the packet, the packet names the buffer
    };
    struct TAnswer {
        bool deviceOk = true;
        uint32_t flags = 0;
        uint32_t eax = 0;
    };

    explicit TFakeWin9x(uint32_t minor, std::string csd = "", uint32_t platformId = 1) {
        version_.MajorVersion = 4;
        version_.MinorVersion = minor;
        version_.BuildNumber = 0x040A08AE;
        version_.PlatformId = platformId;
        version_.CSDVersion = std::move(csd);
    }

    bool QueryVersion(TOsVersion& version) override {
        version = version_;
        return true;
    }
    bool OpenVWin32() override {
        ++opens;
        return openSucceeds;
    }
    bool VWin32DeviceIoControl(uint32_t code, TDIOCRegisters& registers, const TDosMemory& memory) override {
        TCall call{code, registers, *memory.Packet,
                   registers.EBX == Low32(memory.Packet) && memory.Packet->Buffer == Low32(memory.Buffer)};
        calls.push_back(call);
        const auto found = answers.find(code);
        const TAnswer answer = found != answers.end() ? found->second : TAnswer{};
        if (!answer.deviceOk)
            return false;
        registers.Flags = answer.flags;
        registers.EAX = answer.eax;
        if ((answer.flags & kCarryFlag) == 0)
            for (uint64_t i = 0; i < uint64_t{call.packet.Sectors} * 512; ++i)
                memory.Buffer[i] = DiskByte(uint64_t{call.packet.StartSector} * 512 + i);
        return true;
    }

    std::vector<TCall> calls;
    std::map<uint32_t, TAnswer> answers;
    bool openSucceeds = true;
    int opens = 0;

private:
    TOsVersion version_;
};

// Puts a fake behind the queries for one test and the real system back afterwards.
class Win9xWay : public ::testing::Test {
protected:
    void Use(TFakeWin9x& fake) { SetWin32System(&fake); }
    void TearDown() override { SetWin32System(nullptr); }
};

bool HoldsDiskBytes(const std::vector<uint8_t>& buffer, uint64_t firstSector) {
    for (size_t i = 0; i < buffer.size(); ++i)
        if (buffer[i] != DiskByte(firstSector * 512 + i))
            return false;
    return true;
}

TEST_F(Win9xWay, VersionNameChoosesTheFirstDosCall) {
    struct TCase {
        uint32_t minor;
        const char* csd;
        const char* name;
        const char* servicePack;
        uint32_t firstCode;
    };
    const TCase cases[] = {
        {0, "", "Windows 95 Original", "", kVWin32DiocDosInt25},
        {0, " C", "Windows 95 OSR2", "", kVWin32DiocDosDriveInfo},
        {0, " b", "Windows 95 with Service Pack 1", "Service Pack 1", kVWin32DiocDosInt25},
        {0, "BC", "Windows 95 with Service Pack 1", "Service Pack 1", kVWin32DiocDosInt25},
        {10, "", "Windows 98", "", kVWin32DiocDosDriveInfo},
        {10, " A ", "Windows 98 Second Edition", "", kVWin32DiocDosDriveInfo},
        {90, "", "Windows ME", "", kVWin32DiocDosDriveInfo},
        {42, "", "", "", kVWin32DiocDosInt25},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string("minor ") + std::to_string(c.minor) + ", service pack text '" + c.csd + "'");
        TFakeWin9x fake(c.minor, c.csd);
        Use(fake);
        const TWinVersion version = GetWinVersion();
        EXPECT_EQ(version.Name, c.name);
        EXPECT_EQ(version.ServicePack, c.servicePack);
        EXPECT_EQ(version.Platform, "9x");
        EXPECT_EQ(version.MajorVersion, 4u);
        EXPECT_EQ(version.MinorVersion, c.minor);
        EXPECT_EQ(version.BuildNumber, c.minor == 42 ? 0u : 0x08AEu) << "low 16 bits of the build";

        std::vector<uint8_t> buffer(4 * 512);
        ASSERT_TRUE(ReadSectors9x(3, 100, 4, buffer.data()));
        EXPECT_TRUE(HoldsDiskBytes(buffer, 100));
        ASSERT_EQ(fake.calls.size(), 1u);
        const TFakeWin9x::TCall& call = fake.calls[0];
        EXPECT_EQ(call.code, c.firstCode);
        EXPECT_TRUE(call.addressesMatch);
        EXPECT_EQ(call.packet.StartSector, 100u);
        EXPECT_EQ(call.packet.Sectors, 4u);
        EXPECT_EQ(call.sent.ECX, 0xFFFFFFFFu);
        EXPECT_EQ(call.sent.Flags, 0u);
        if (c.firstCode == kVWin32DiocDosDriveInfo) {
            EXPECT_EQ(call.sent.EAX, 0x7305u);
            EXPECT_EQ(call.sent.EDX, 3u) << "function 7305h numbers drives from 1";
            EXPECT_EQ(call.sent.ESI, 0u) << "read";
        } else {
            EXPECT_EQ(call.sent.EAX, 2u) << "Int 25h numbers drives from 0";
        }
        EXPECT_EQ(LastDiskError(), 0u);
    }
}

TEST_F(Win9xWay, PacketBytesAreLittleEndianAndPacked) {
    TDiskIO packet;
    packet.StartSector = 0x11223344;
    packet.Sectors = 0x5566;
    packet.Buffer = 0x778899AA;
    const uint8_t expected[10] = {0x44, 0x33, 0x22, 0x11, 0x66, 0x55, 0xAA, 0x99, 0x88, 0x77};
    EXPECT_EQ(std::memcmp(&packet, expected, sizeof(expected)), 0);
    TDIOCRegisters registers;
    registers.EBX = 1, registers.EDX = 2, registers.ECX = 3, registers.EAX = 4, registers.EDI = 5, registers.ESI = 6,
    registers.Flags = 7;
    uint32_t words[7];
    std::memcpy(words, &registers, sizeof(words));
    for (uint32_t i = 0; i < 7; ++i)
        EXPECT_EQ(words[i], i + 1) << "field order EBX EDX ECX EAX EDI ESI Flags";
}

TEST_F(Win9xWay, FailedExtendedReadFallsBackToInt25) {
    struct TCase {
        const char* what;
        TFakeWin9x::TAnswer extended;
    };
    const TCase cases[] = {
        {"carry from function 7305h", {true, kCarryFlag, 0x0F}},
        {"device call for function 7305h fails", {false, 0, 0}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeWin9x fake(10);
        fake.answers[kVWin32DiocDosDriveInfo] = c.extended;
        Use(fake);
        std::vector<uint8_t> buffer(2 * 512);
        EXPECT_TRUE(ReadSectors9x(3, 7, 2, buffer.data()));
        EXPECT_TRUE(HoldsDiskBytes(buffer, 7));
        ASSERT_EQ(fake.calls.size(), 2u);
        EXPECT_EQ(fake.calls[0].code, kVWin32DiocDosDriveInfo);
        EXPECT_EQ(fake.calls[1].code, kVWin32DiocDosInt25);
        EXPECT_EQ(fake.calls[1].packet.StartSector, 7u);
        EXPECT_EQ(LastDiskError(), 0u);
    }
}

TEST_F(Win9xWay, FailuresLeaveTheirCodeInLastDiskError) {
    struct TCase {
        const char* what;
        uint32_t platformId;
        bool openSucceeds;
        TFakeWin9x::TAnswer int25;
        uint32_t error;
    };
    const TCase cases[] = {
        {"Int 25h carry: low byte of EAX", 1, true, {true, kCarryFlag, 0x1234}, kDiskErrorInt25 + 0x34},
        {"device call fails", 1, true, {false, 0, 0}, kDiskErrorDeviceControl},
        {"VWIN32 cannot be opened", 1, false, {}, kDiskErrorOpenVWin32},
        {"not the 9x family", 2, true, {}, kDiskErrorNot9x},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeWin9x fake(0, "", c.platformId); // Windows 95 Original: Int 25h only
        fake.openSucceeds = c.openSucceeds;
        fake.answers[kVWin32DiocDosInt25] = c.int25;
        Use(fake);
        std::vector<uint8_t> buffer(512);
        EXPECT_FALSE(ReadSectors9x(3, 0, 1, buffer.data()));
        EXPECT_EQ(LastDiskError(), c.error);
    }
}

TEST_F(Win9xWay, DeviceIsOpenedOnceAndAgainAfterAFailedOpen) {
    TFakeWin9x fake(10);
    Use(fake);
    std::vector<uint8_t> buffer(512);
    fake.openSucceeds = false;
    EXPECT_FALSE(ReadSectors9x(3, 0, 1, buffer.data()));
    EXPECT_EQ(fake.opens, 2) << "each of the two DOS calls tries to open the device";
    EXPECT_TRUE(fake.calls.empty());
    fake.openSucceeds = true;
    EXPECT_TRUE(ReadSectors9x(3, 0, 1, buffer.data()));
    EXPECT_TRUE(ReadSectors9x(3, 1, 1, buffer.data()));
    EXPECT_EQ(fake.opens, 3) << "once open, the device stays open";
    EXPECT_EQ(fake.calls.size(), 2u);
}

// A window of 512-byte sectors holds more than one DOS packet carries: it is read as several DOS reads.
TEST_F(Win9xWay, LongRequestIsSplitIntoDosReadsOf65535Sectors) {
    TFakeWin9x fake(10);
    Use(fake);
    const uint32_t count = 2 * 65535 + 100;
    std::vector<uint8_t> buffer(size_t{count} * 512);
    ASSERT_TRUE(ReadSectors(3, 10, count, buffer.data())) << "the 9x family reads through the 9x way";
    EXPECT_TRUE(HoldsDiskBytes(buffer, 10));
    ASSERT_EQ(fake.calls.size(), 3u);
    const uint32_t starts[] = {10, 10 + 65535, 10 + 2 * 65535};
    const uint32_t sizes[] = {65535, 65535, 100};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(fake.calls[i].packet.StartSector, starts[i]);
        EXPECT_EQ(fake.calls[i].packet.Sectors, sizes[i]);
        EXPECT_TRUE(fake.calls[i].addressesMatch);
    }
}

TEST_F(Win9xWay, SectorsBeyondTheDosPacketsReachAreNotRead) {
    TFakeWin9x fake(10);
    Use(fake);
    std::vector<uint8_t> buffer(2 * 512);
    EXPECT_FALSE(ReadSectors(3, 0xFFFFFFFFull, 2, buffer.data())) << "the run crosses sector 2^32";
    EXPECT_FALSE(ReadSectors(3, 0x100000000ull, 1, buffer.data()));
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_TRUE(ReadSectors(3, 0xFFFFFFFFull, 1, buffer.data()));
}

TEST(Win32Queries, PlatformIsNTAndGeometryIsTheSameForLetterRootAndPath) {
    EXPECT_EQ(GetPlatformName(), "NT");
    const auto withoutFreeFigures = [](TDriveGeometry geometry) {
        geometry.FreeBytes = geometry.FreeClusters = 0; // they move while others write to the disk
        return geometry;
    };
    const TDriveGeometry letter = GetDriveGeometry("C");
    EXPECT_GT(letter.BytesPerSector, 0);
    EXPECT_GT(letter.TotalBytes, 0);
    EXPECT_EQ(letter.ClusterSize, letter.BytesPerSector * letter.SectorsPerCluster);
    for (const char* drive : {"C:\\", "c:\\windows\\system32", "C:"}) {
        SCOPED_TRACE(drive);
        EXPECT_EQ(withoutFreeFigures(GetDriveGeometry(drive)), withoutFreeFigures(letter));
    }
    EXPECT_EQ(GetDriveGeometry(""), TDriveGeometry{});
    EXPECT_FALSE(GetMediaIdentifier('C').FileSystem.empty());
    const TMediaIdentifier nothing = GetMediaIdentifier('Q');
    EXPECT_EQ(nothing.SerialNumber, 0u);
    EXPECT_TRUE(nothing.VolumeLabel.empty() && nothing.FileSystem.empty());
}

// Only "X:" and "X:\" name a drive: a letter alone is a file in the current folder.
TEST(Win32Queries, DriveRootsAreToldFromPaths) {
    for (const char* root : {"C:\\", "c:", "d:/", "X:"})
        EXPECT_TRUE(IsDriveRoot(root)) << root;
    for (const char* path : {"", "X", "d", "C:\\disk.img", "disk.img", "\\\\.\\PhysicalDrive1", "1:", "CD", "C:x"})
        EXPECT_FALSE(IsDriveRoot(path)) << path;
}

// Runs this program again with Wine told to present `windowsVersion` to it; returns what it reported.
std::string VersionSeenAs(const char* windowsVersion) {
    char exePath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exePath, MAX_PATH);
    const char* exeName = std::strrchr(exePath, '\\') ? std::strrchr(exePath, '\\') + 1 : exePath;
    const std::string key = std::string("Software\\Wine\\AppDefaults\\") + exeName;
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
        return "cannot set the version";
    RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(windowsVersion),
                   static_cast<DWORD>(std::strlen(windowsVersion) + 1));
    RegCloseKey(handle);

    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    SetEnvironmentVariableA(kReportVersionVariable, "1");
    std::string commandLine = std::string("\"") + exePath + "\"";
    const BOOL started =
        CreateProcessA(exePath, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA(kReportVersionVariable, nullptr);
    CloseHandle(writeEnd);
    std::string report;
    if (started) {
        char chunk[256];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got > 0)
            report.append(chunk, got);
        WaitForSingleObject(process.hProcess, 30000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    return report;
}

TEST(Win32Queries, NinetyFiveAndNinetyEightAnswerAsThe9xFamily) {
    struct TCase {
        const char* windowsVersion;
        const char* expected;
    };
    const TCase cases[] = {
        {"win98", "platform=9x major=4 minor=10 name=Windows 98"},
        {"win95", "platform=9x major=4 minor=0 name=Windows 95"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.windowsVersion);
        const std::string report = VersionSeenAs(c.windowsVersion);
        EXPECT_EQ(report.rfind(c.expected, 0), 0u) << report;
    }
    EXPECT_EQ(GetPlatformName(), "NT") << "the setting applied to the child only";
}

TEST(Win32DriveList, ListsReadyRootsAndLeavesTheCurrentDirectory) {
    char before[MAX_PATH] = {}, after[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, before);
    TGetDrives drives;
    std::vector<std::string> reported;
    const TDriveArray listed = drives.ListDrives([&](const std::string& root) { reported.push_back(root); });
    GetCurrentDirectoryA(MAX_PATH, after);
    EXPECT_STREQ(after, before);
    EXPECT_EQ(listed, reported);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "C:\\"), listed.end());
    const DWORD mask = GetLogicalDrives();
    for (const std::string& root : listed) {
        ASSERT_EQ(root.size(), 3u);
        EXPECT_EQ(root.substr(1), ":\\");
        EXPECT_TRUE(mask & (1u << (root[0] - 'A'))) << root;
    }
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        if (!(mask & (1u << (letter - 'A')))) {
            EXPECT_FALSE(drives.IsDriveReady(std::string(1, letter) + ":\\")) << letter;
            break;
        }
    const UINT mode = SetErrorMode(0);
    SetErrorMode(mode);
    drives.IsDriveReady("C:\\");
    EXPECT_EQ(SetErrorMode(mode), mode) << "the error mode is restored";
}

// A temporary image file on the Windows side, with a marker at the start of chosen sectors.
class TImageFile {
public:
    TImageFile(const std::string& name, uint64_t length) {
        char folder[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, folder);
        path_ = std::string(folder) + name;
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        LARGE_INTEGER size;
        size.QuadPart = static_cast<LONGLONG>(length);
        SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        CloseHandle(file);
    }
    ~TImageFile() { DeleteFileA(path_.c_str()); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string Marker(uint64_t sector) {
    return "sector " + std::to_string(sector) + " starts here";
}

void WriteMarkers(const std::string& path, uint32_t sectorSize, const std::vector<uint64_t>& sectors) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    for (uint64_t sector : sectors) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(sector * sectorSize);
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
        const std::string marker = Marker(sector);
        DWORD written = 0;
        WriteFile(file, marker.data(), static_cast<DWORD>(marker.size()), &written, nullptr);
    }
    CloseHandle(file);
}

void ExpectMarkers(TDiskBuffer& window, const std::vector<uint64_t>& sectors) {
    for (uint64_t sector : sectors) {
        const std::string marker = Marker(sector);
        const TBuffData bytes = window.ReadBytes(sector * window.SectorSize(), static_cast<uint32_t>(marker.size()));
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), marker) << "sector " << sector;
    }
}

TEST(Win32ImageFile, KnownBytesAtKnownSectors) {
    const uint64_t length = (4 << 20) + 3 * 512;
    TImageFile image("ostrevan-volume-test.img", length);
    const std::vector<uint64_t> sectors = {0, 1, 999, length / 512 - 1};
    WriteMarkers(image.Path(), 512, sectors);
    TDiskBuffer window(image.Path(), 8 * 512);
    EXPECT_EQ(window.SectorCount(), length / 512);
    ExpectMarkers(window, sectors);
    const auto tail = window.ViewBytes(length - 512, 1024);
    EXPECT_TRUE(std::all_of(tail.begin() + 512, tail.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(window.UnreadableSectors(), 0u);

    TPathVolumeSource source(image.Path(), 512);
    std::vector<uint8_t> buffer(1024);
    EXPECT_FALSE(source.ReadSectors(length / 512 - 1, 2, buffer.data())) << "a short read is a failure";
}

// An image file named with one letter, in the current folder, is read as that file, not as the drive.
TEST(Win32ImageFile, OneLetterNameIsAFileNotADrive) {
    char folder[MAX_PATH] = {}, saved[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    GetCurrentDirectoryA(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryA(folder));
    {
        TImageFile image("d", 64 * 512);
        WriteMarkers(image.Path(), 512, {1, 5});
        TDiskBuffer window("d", 8 * 512);
        EXPECT_EQ(window.SourceName(), "d");
        EXPECT_EQ(window.SectorCount(), 64u);
        ExpectMarkers(window, {1, 5});
    }
    SetCurrentDirectoryA(saved);
}

TEST(Win32ImageFile, UnusablePathsAreRefusedWithThePathAndTheCause) {
    TImageFile empty("ostrevan-volume-empty.img", 0);
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    std::string directory(folder);
    directory.pop_back(); // no trailing backslash, or it would read as a root of its own
    struct TCase {
        std::string path;
        std::string cause;
    };
    const TCase cases[] = {
        {std::string(folder) + "ostrevan-no-such.img", SystemErrorText(ERROR_FILE_NOT_FOUND)},
        {empty.Path(), "empty (0 bytes)"},
        {directory, "folder"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            TDiskBuffer window(c.path, 0x1400000);
            ADD_FAILURE() << "accepted";
        } catch (const TVolumeError& error) {
            const std::string text = error.what();
            EXPECT_NE(text.find(c.path), std::string::npos) << text;
            EXPECT_NE(text.find(c.cause), std::string::npos) << text;
        }
    }
}

TEST(Win32DriveRoot, DriveWithoutAVolumeIsRefusedWithItsName) {
    const DWORD mask = GetLogicalDrives();
    char letter = 'Z';
    while (letter > 'D' && (mask & (1u << (letter - 'A'))))
        --letter;
    const std::string root = std::string(1, letter) + ":\\";
    SCOPED_TRACE(root);
    try {
        TDiskBuffer window(root, 0x1400000);
        ADD_FAILURE() << "accepted";
    } catch (const TVolumeError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("drive " + root), std::string::npos) << text;
        EXPECT_NE(text.find("sector size"), std::string::npos) << text;
    }
    std::vector<uint8_t> buffer(512);
    EXPECT_FALSE(ReadSectors(static_cast<uint8_t>(letter - 64), 0, 1, buffer.data()));
}

// Wine's C: maps a folder: its volume device opens but cannot read. The drive is refused with the system's
// reason rather than scanned as a volume of zeros.
TEST(Win32DriveRoot, DriveWhoseDeviceCannotReadIsRefusedWithTheReason) {
    std::vector<uint8_t> buffer(512);
    if (ReadSectorsNT(3, 0, 1, buffer.data()))
        GTEST_SKIP() << "drive C: can be read raw here";
    try {
        TDiskBuffer window("C:\\", 0x1400000);
        ADD_FAILURE() << "accepted";
    } catch (const TVolumeError& volumeError) {
        const std::string text = volumeError.what();
        EXPECT_NE(text.find("drive C:\\"), std::string::npos) << text;
        bool namesTheReason = false;
        for (DWORD reason : {ERROR_INVALID_FUNCTION, ERROR_ACCESS_DENIED, ERROR_NOT_READY, ERROR_NOT_SUPPORTED})
            namesTheReason = namesTheReason || text.find(SystemErrorText(reason)) != std::string::npos;
        EXPECT_TRUE(namesTheReason) << text;
    }
}

// Drive X: as the test harness maps it: "x:" to a folder and "x::" to a disk image (see wine-drive-x). The image
// is reached for writing through Wine's Z: drive, and read back as a volume through "\\.\X:".
TEST(Win32DriveX, NTWayReadsTheImageBehindTheDriveAndItsWholeLength) {
    const char* hostImage = std::getenv("OSTREVAN_X_IMAGE");
    if (!hostImage || !*hostImage)
        GTEST_SKIP() << "drive X: is not mapped to an image (run through ctest)";
    std::string imageThroughZ = std::string("Z:") + hostImage;
    std::replace(imageThroughZ.begin(), imageThroughZ.end(), '/', '\\');
    const uint64_t length = (6 << 20) + 5 * 512; // the image the harness made
    const std::vector<uint64_t> sectors = {0, 1, 81, length / 512 - 1};
    WriteMarkers(imageThroughZ, 512, sectors);

    std::vector<uint8_t> buffer(1024);
    ASSERT_TRUE(ReadSectorsNT('X' - 64, 0, 2, buffer.data()));
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + Marker(0).size()), Marker(0));
    EXPECT_TRUE(ReadSectors('X' - 64, 1, 1, buffer.data()));
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + Marker(1).size()), Marker(1));
    EXPECT_FALSE(ReadSectorsNT('X' - 64, length / 512 - 1, 2, buffer.data())) << "past the end: a short read";

    // The host's free-space figures describe another disk; the length comes from the volume handle.
    TDiskBuffer window("x:\\", 16 * 512);
    EXPECT_EQ(window.SectorCount(), length / 512);
    ExpectMarkers(window, sectors);
    EXPECT_EQ(window.UnreadableSectors(), 0u);
}

// Drive C: with a device in place of its volume handle that refuses what real Windows refuses (see FakeDevice.h):
// NTFS's last sector lies past the file system's end. The whole volume reads, in aligned requests of at most
// kMaxDeviceRequestBytes through one handle kept open for the scan, and nothing is counted unreadable.
class Win32FakeVolume : public ::testing::Test {
protected:
    void TearDown() override { SetDeviceFileOpener({}); }
};

TEST_F(Win32FakeVolume, WholeVolumeReadsThroughOneAlignedCappedHandleWithExtendedIo) {
    if (GetDriveGeometry("C:\\").BytesPerSector != 512)
        GTEST_SKIP() << "drive C: does not report 512-byte sectors here";
    auto state = std::make_shared<TFakeDeviceState>();
    const uint64_t sectors = 96 * 1024 + 17; // a 40 MiB window, then a short one
    state->bytes.resize(sectors * 512);
    for (uint64_t i = 0; i < state->bytes.size(); ++i)
        state->bytes[i] = DiskByte(i);
    state->fileSystemEnd = (sectors - 1) * 512; // the backup boot sector lies past it
    std::vector<std::string> opened;
    SetDeviceFileOpener([&](const std::string& path, uint32_t& error) -> std::unique_ptr<IDeviceFile> {
        opened.push_back(path);
        error = 0;
        return std::make_unique<TFakeDevice>(state);
    });
    {
        TDiskBuffer window("C:\\", 0x1400000);
        EXPECT_EQ(window.SectorCount(), sectors) << "the length comes from the device";
        for (uint64_t sector = 1; sector < sectors; sector += 1 + sector % 4093) {
            const TBuffData sample = window.ReadBytes(sector * 512, 1024);
            bool same = true;
            for (uint64_t i = 0; i < 1024 && same; ++i)
                same = sample[i] == (sector * 512 + i < state->bytes.size() ? DiskByte(sector * 512 + i) : 0);
            ASSERT_TRUE(same) << "sample at sector " << sector;
        }
        EXPECT_EQ(window.ReadBytes((sectors - 1) * 512, 4),
                  TBuffData(state->bytes.end() - 512, state->bytes.end() - 508));
        EXPECT_EQ(window.UnreadableSectors(), 0u) << "the last sector is read, not counted unreadable";
        EXPECT_EQ(state->closes, 0) << "the handle stays open for the scan";
    }
    EXPECT_EQ(opened, std::vector<std::string>{"\\\\.\\C:"});
    EXPECT_EQ(state->opens, 1);
    EXPECT_EQ(state->closes, 1);
    EXPECT_EQ(state->refused, 0) << "no unaligned or oversized request";
    EXPECT_LE(state->longestRead, kMaxDeviceRequestBytes);

    // The NT way on its own opens the device for the one read, and it too may read the last sector.
    std::vector<uint8_t> buffer(512 + 4096);
    uint8_t* aligned = buffer.data() + (4096 - reinterpret_cast<uintptr_t>(buffer.data()) % 4096) % 4096;
    EXPECT_TRUE(ReadSectorsNT(3, sectors - 1, 1, aligned));
    EXPECT_EQ(aligned[0], DiskByte((sectors - 1) * 512));
    EXPECT_EQ(state->opens, 2);
}

} // namespace

int main(int argc, char** argv) {
    // The child of VersionSeenAs: report what this process is told and stop.
    if (std::getenv(kReportVersionVariable)) {
        const TWinVersion version = GetWinVersion();
        std::printf("platform=%s major=%u minor=%u name=%s\n", GetPlatformName().c_str(), version.MajorVersion,
                    version.MinorVersion, version.Name.c_str());
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
