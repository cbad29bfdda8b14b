#include "WinTestSupport.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

TApplication& TestApplication() {
    static bool comReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    (void)comReady;
    static TApplication application("Ostrevan 1.0");
    return application;
}

void PumpMessages() {
    TestApplication().ProcessMessages();
}

TDialogWatcher::TDialogWatcher(int answer, std::function<void(HWND dialog)> prepare)
    : UiThread(GetCurrentThreadId()), Answer(answer), Prepare(std::move(prepare)) {
    Helper = std::thread([this] { Watch(); });
}

TDialogWatcher::~TDialogWatcher() {
    Stop = true;
    Helper.join();
}

std::vector<TSeenDialog> TDialogWatcher::Seen() {
    std::lock_guard<std::mutex> guard(Lock);
    return Dialogs;
}

void TDialogWatcher::Watch() {
    while (!Stop) {
        EnumThreadWindows(UiThread, OnThreadWindow, reinterpret_cast<LPARAM>(this));
        Sleep(10);
    }
}

namespace {
BOOL CALLBACK CollectStaticText(HWND child, LPARAM texts) {
    char className[64] = {};
    GetClassNameA(child, className, sizeof(className));
    if (_stricmp(className, "Static") == 0) {
        std::string text = WindowText(child);
        if (!text.empty())
            reinterpret_cast<std::vector<std::string>*>(texts)->push_back(text);
    }
    return TRUE;
}
} // namespace

BOOL CALLBACK TDialogWatcher::OnThreadWindow(HWND window, LPARAM selfParam) {
    auto* self = reinterpret_cast<TDialogWatcher*>(selfParam);
    char className[64] = {};
    GetClassNameA(window, className, sizeof(className));
    if (std::strcmp(className, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    // A mark on the dialog itself: a later dialog may get the handle of one already answered. The lock
    // guards Dialogs only and is never held while the UI thread is asked for a window's text.
    if (GetPropA(window, "OstrevanTestAnswered"))
        return TRUE;
    SetPropA(window, "OstrevanTestAnswered", reinterpret_cast<HANDLE>(1));
    Sleep(50); // let the dialog finish initialising before it is read and answered
    std::vector<std::string> texts;
    EnumChildWindows(window, CollectStaticText, reinterpret_cast<LPARAM>(&texts));
    TSeenDialog seen{WindowText(window), ""};
    for (const std::string& text : texts)
        seen.Text += (seen.Text.empty() ? "" : "\n") + text;
    {
        std::lock_guard<std::mutex> guard(self->Lock);
        self->Dialogs.push_back(seen);
    }
    if (self->Prepare)
        self->Prepare(window);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(self->Answer, BN_CLICKED), 0);
    return TRUE;
}

std::string TPlantedMessage::Text() const {
    return "From:" + From + "\r\nTo:" + To + "\r\nSubject:" + Subject + "\r\nDate:" + Date + "\r\n\r\n" + Body;
}

std::vector<uint8_t> ImageWithMessages(const std::vector<TPlantedMessage>& messages, uint32_t sectors) {
    std::vector<uint8_t> image(static_cast<size_t>(sectors) * 512, 0);
    for (size_t i = 0; i < messages.size(); ++i) {
        std::string text = messages[i].Text();
        size_t offset = (2 + 4 * i) * 512;
        if (offset + text.size() > image.size() || text.size() >= 4 * 512)
            throw std::logic_error("planted message does not fit its four sectors");
        std::copy(text.begin(), text.end(), image.begin() + offset);
    }
    return image;
}

TScratchFolder::TScratchFolder() {
    static int counter = 0;
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    Path_ = std::string(temp) + "ostrevan-wintest-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    CreateDirectoryA(Path_.c_str(), nullptr);
}

TScratchFolder::~TScratchFolder() {
    for (const std::string& name : Files()) {
        SetFileAttributesA(File(name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(File(name).c_str());
    }
    RemoveDirectoryA(Path_.c_str());
}

std::vector<std::string> TScratchFolder::Files() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((Path_ + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    WriteWholeFile(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string WindowText(HWND window) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::string WithoutLineFeeds(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    return text;
}
