#include "ui/ExportFolder.h"

#include <algorithm>

namespace {
constexpr int kProbeNamesTried = 100;
} // namespace

std::string PathInFolder(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\')
        return folder + name;
    return folder + "\\" + name;
}

DWORD ProbeFolder(const std::string& folder) {
    // CREATE_NEW: a file of the probe's name that the user already has is never opened, let alone deleted.
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kProbeNamesTried && error == ERROR_FILE_EXISTS; ++attempt) {
        std::string name = attempt == 0 ? "check.DAT" : "check" + std::to_string(attempt) + ".DAT";
        std::string path = PathInFolder(folder, name);
        HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
            DeleteFileA(path.c_str()); // ours: made just now
            return 0;
        }
        error = GetLastError();
    }
    return error;
}

DWORD WriteNewFile(const std::string& path, std::string_view content) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD error = 0;
    size_t done = 0;
    while (done < content.size() && error == 0) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 24));
        DWORD written = 0;
        if (!WriteFile(file, content.data() + done, chunk, &written, nullptr))
            error = GetLastError();
        else if (written == 0)
            error = ERROR_WRITE_FAULT;
        done += written;
    }
    CloseHandle(file);
    if (error != 0)
        DeleteFileA(path.c_str()); // a cut-off message would pass for a whole one
    return error;
}
