#include "volume/NewFile.h"

#include "volume/SystemError.h"

#include <windows.h>

#include <algorithm>

TCreateResult CreateNewFile(const std::string& path, std::string_view data, std::string& error, size_t chunkBytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS)
            return TCreateResult::Exists;
        error = SystemErrorText(code);
        return TCreateResult::Failed;
    }
    size_t written = 0;
    bool ok = true;
    while (ok && written < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min(data.size() - written, std::max<size_t>(chunkBytes, 1)));
        DWORD n = 0;
        ok = WriteFile(file, data.data() + written, chunk, &n, nullptr) && n > 0;
        written += n;
    }
    if (!ok)
        error = SystemErrorText(GetLastError());
    if (!CloseHandle(file) && ok) {
        ok = false;
        error = SystemErrorText(GetLastError());
    }
    if (!ok)
        DeleteFileA(path.c_str()); // a cut-off message would pass for a whole one
    return ok ? TCreateResult::Created : TCreateResult::Failed;
}
