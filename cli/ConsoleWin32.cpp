#include "cli/Console.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace {

std::string SystemText(DWORD code) {
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length ? std::string(text, length) : "system error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

} // namespace

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
        error = SystemText(code);
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
        error = SystemText(GetLastError());
    if (!CloseHandle(file) && ok) {
        ok = false;
        error = SystemText(GetLastError());
    }
    if (!ok)
        DeleteFileA(path.c_str());
    return ok ? TCreateResult::Created : TCreateResult::Failed;
}
