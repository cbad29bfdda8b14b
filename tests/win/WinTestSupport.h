// Helpers for the window tests: the one application object, answering modal boxes from a helper thread,
// planted messages, disk images and scratch folders.
#pragma once

#include "ui/Application.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The process's application object (hidden window, accelerator, common controls), made on first use
// together with COM, as the program's start-up does.
TApplication& TestApplication();

// Handles every message waiting for this thread, through the application's accelerator.
void PumpMessages();

// A modal box or dialog seen by TDialogWatcher.
struct TSeenDialog {
    std::string Title;
    std::string Text; // the texts of its static controls, joined by '\n'
};

// Watches the UI thread from a helper thread while it lives: every dialog box (#32770) that the thread
// shows is read and then answered with `answer` (a command id such as IDOK or IDCANCEL).
class TDialogWatcher {
public:
    // `prepare`, when given, runs on the helper thread just before the answer (e.g. to type a file name).
    explicit TDialogWatcher(int answer = IDCANCEL, std::function<void(HWND dialog)> prepare = {});
    ~TDialogWatcher();
    std::vector<TSeenDialog> Seen();

private:
    void Watch();
    static BOOL CALLBACK OnThreadWindow(HWND window, LPARAM self);

    DWORD UiThread;
    int Answer;
    std::function<void(HWND)> Prepare;
    std::atomic<bool> Stop{false};
    std::mutex Lock;
    std::vector<TSeenDialog> Dialogs;
    std::thread Helper;
};

// A message as it would stand on a disk: header lines, a blank line, body lines, every line with CR LF.
struct TPlantedMessage {
    std::string Date, From, To, Subject, Body;
    std::string Text() const;
};

// Sector images: every message starts at the beginning of sector 2 + 4 * its index, zeros elsewhere.
std::vector<uint8_t> ImageWithMessages(const std::vector<TPlantedMessage>& messages, uint32_t sectors = 64);

// A folder of its own under the system's temporary folder, removed with the files in it when destroyed.
class TScratchFolder {
public:
    TScratchFolder();
    ~TScratchFolder();
    const std::string& Path() const { return Path_; }
    std::string File(const std::string& name) const { return Path_ + "\\" + name; }
    // Names of the files in the folder, sorted.
    std::vector<std::string> Files() const;

private:
    std::string Path_;
};

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteWholeFile(const std::string& path, const std::string& bytes);
// The file's bytes; "<missing>" when it cannot be opened.
std::string ReadWholeFile(const std::string& path);

std::string WindowText(HWND window);
// Text with every LF removed (a rich edit hands back paragraph ends as CR or CR LF).
std::string WithoutLineFeeds(std::string text);
