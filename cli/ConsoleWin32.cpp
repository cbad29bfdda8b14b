#include "cli/Console.h"
#include "volume/SystemError.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

void SetBinaryStdout() {
    _setmode(_fileno(stdout), _O_BINARY);
}

TCreateResult CreateNewFile(const std::string& path, std::string_view data, std::string& error) {
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
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - written, 1u << 30));
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
        DeleteFileA(path.c_str());
    return ok ? TCreateResult::Created : TCreateResult::Failed;
}
