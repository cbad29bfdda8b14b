#include "ui/MessageSpool.h"

#include "ui/ExportFolder.h"
#include "volume/SystemError.h"

#include <algorithm>
#include <vector>

namespace {

const char kSpoolPrefix[] = "Ostrevan-spool-";
const char kSpoolSuffix[] = ".tmp";

std::string FolderOrTemporary(const std::string& folder) {
    return folder.empty() ? TMessageSpool::TemporaryFolder() : folder;
}

OVERLAPPED At(uint64_t offset) {
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

} // namespace

std::string TMessageSpool::TemporaryFolder() {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(sizeof(path), path);
    return length > 0 && length < sizeof(path) ? std::string(path, length) : std::string(".");
}

TMessageSpool::TMessageSpool(const std::string& folder, uint64_t sizeLimit) : Limit(sizeLimit) {
    const std::string where = FolderOrTemporary(folder);
    // A name of its own: the process and a counter, tried until one is free.
    static unsigned counter = 0;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 1000 && error == ERROR_FILE_EXISTS; ++attempt) {
        Path_ = PathInFolder(where, kSpoolPrefix + std::to_string(GetCurrentProcessId()) + "-" +
                                        std::to_string(++counter) + kSpoolSuffix);
        // No sharing at all: another program can neither read the messages nor delete the file under us.
        File = CreateFileA(Path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        error = File == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    }
    if (File == INVALID_HANDLE_VALUE)
        throw TSpoolError("No spool file for the messages' texts can be made in " + where + ": " +
                          SystemErrorText(error));
    Buffer.reserve(kBufferBytes);
}

TMessageSpool::~TMessageSpool() {
    if (File != INVALID_HANDLE_VALUE)
        CloseHandle(File); // deletes the file
}

void TMessageSpool::Fail(const std::string& what, DWORD error) const {
    throw TSpoolError("The spool file " + Path_ + " " + what + ": " + SystemErrorText(error));
}

uint64_t TMessageSpool::Append(std::string_view text) {
    const uint64_t offset = Stored + Buffer.size();
    if (text.size() > Limit - offset) {
        Flush();
        throw TSpoolError("The spool file " + Path_ + " reached its size limit of " + std::to_string(Limit) +
                          " bytes.");
    }
    if (Buffer.size() + text.size() > kBufferBytes)
        Flush();
    if (text.size() >= kBufferBytes)
        WriteOut(text);
    else
        Buffer.append(text);
    return offset;
}

void TMessageSpool::Flush() {
    if (Buffer.empty())
        return;
    std::string pending;
    pending.swap(Buffer);
    Buffer.reserve(kBufferBytes);
    WriteOut(pending);
}

void TMessageSpool::WriteOut(std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 26));
        DWORD written = 0;
        OVERLAPPED position = At(Stored);
        const BOOL ok = WriteFile(File, bytes.data(), chunk, &written, &position);
        Stored += written;
        bytes.remove_prefix(written);
        if (!ok)
            Fail("could not be written", GetLastError());
        if (written == 0)
            Fail("could not be written", ERROR_DISK_FULL);
    }
}

void TMessageSpool::ReadInto(uint64_t offset, size_t size, char* buffer) {
    if (offset + size > Stored)
        Flush();
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 26));
        DWORD read = 0;
        OVERLAPPED position = At(offset);
        if (!ReadFile(File, buffer, chunk, &read, &position))
            Fail("could not be read", GetLastError());
        if (read == 0)
            Fail("could not be read", ERROR_HANDLE_EOF);
        offset += read;
        buffer += read;
        size -= read;
    }
}

std::string TMessageSpool::Read(uint64_t offset, size_t size) {
    std::string text(size, '\0');
    ReadInto(offset, size, text.data());
    return text;
}

void TMessageSpool::RemoveLeftovers(const std::string& folder) {
    const std::string where = FolderOrTemporary(folder);
    WIN32_FIND_DATAA found = {};
    HANDLE search = FindFirstFileA(PathInFolder(where, std::string(kSpoolPrefix) + "*" + kSpoolSuffix).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::string> names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    for (const std::string& name : names)
        DeleteFileA(PathInFolder(where, name).c_str()); // refused while a running program has it open
}
