// The desktop program's window with a disk image of many messages: how long the list takes to be ready once
// the walk ends, a sort, Apply and Clear, a row's preview, and the memory the messages take.
//
//   bench_desktop IMAGE KEYWORD
//
// Prints one line per figure: name, value, unit, and where it has one the ratio to a baseline measured in the
// same run. Peak memory is the process's peak working set after the empty window is up, and at the end.
#include "ui/Application.h"
#include "ui/ListView.h"
#include "ui/ResourceIds.h"
#include "ui/frmMainWindow.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start) {
    return std::chrono::duration<double>(TClock::now() - start).count();
}

// Seconds of processor time this thread has used: on a busy machine the wall clock counts other programs' turns
// too, this does not.
double ThreadSeconds() {
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    auto seconds = [](const FILETIME& time) {
        return (static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// A step's wall and processor seconds.
class TStopwatch {
public:
    TStopwatch() : Wall(TClock::now()), Processor(ThreadSeconds()) {}
    double WallSeconds() const { return SecondsSince(Wall); }
    double ProcessorSeconds() const { return ThreadSeconds() - Processor; }

private:
    TClock::time_point Wall;
    double Processor;
};

double PeakMiB() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PeakWorkingSetSize / 1048576.0;
}

// Hands the scan's progress windows on, and notes when the walk ends (the scan closes its window then).
class TWalkClock final : public IProgressFactory {
public:
    explicit TWalkClock(IProgressFactory& inner, TClock::time_point& walkEnd) : Inner(inner), WalkEnd(walkEnd) {}
    std::unique_ptr<IProgressWindow> Create(uint64_t maximum) override {
        return std::make_unique<TTimedWindow>(Inner.Create(maximum), WalkEnd);
    }

private:
    struct TTimedWindow final : IProgressWindow {
        TTimedWindow(std::unique_ptr<IProgressWindow> inner, TClock::time_point& end)
            : Inner(std::move(inner)), End(end) {}
        ~TTimedWindow() override {
            Inner.reset();
            End = TClock::now();
        }
        void SetProgress(uint64_t position) override { Inner->SetProgress(position); }
        std::unique_ptr<IProgressWindow> Inner;
        TClock::time_point& End;
    };
    IProgressFactory& Inner;
    TClock::time_point& WalkEnd;
};

void Report(const char* name, double value, const char* unit, double limit = 0) {
    if (limit > 0)
        std::printf("%-34s %10.2f %-4s (limit %.0f %s)\n", name, value, unit, limit, unit);
    else
        std::printf("%-34s %10.2f %s\n", name, value, unit);
}

void ReportStep(const char* name, const TStopwatch& watch, double limit) {
    std::printf("%-34s %10.2f s    (processor %.2f s; limit %.0f s)\n", name, watch.WallSeconds(),
                watch.ProcessorSeconds(), limit);
}

void ClickColumn(TfrmMain& window, int column) {
    NMLISTVIEW click = {};
    click.hdr = {window.lvFoundEmails(), kIdFoundEmails, static_cast<UINT>(LVN_COLUMNCLICK)};
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageA(window.Handle(), WM_NOTIFY, kIdFoundEmails, reinterpret_cast<LPARAM>(&click));
}

// Seconds to read a file front to back in 8 MiB pieces: the baseline for Apply, which reads every message's
// text from the spool file so (the image is about as large as the spool).
double ReadFileSeconds(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<char> buffer(8 << 20);
    auto start = TClock::now();
    DWORD read = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {
    }
    CloseHandle(file);
    return SecondsSince(start);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_desktop IMAGE KEYWORD\n");
        return 2;
    }
    const std::string image = argv[1];
    const std::string keyword = argv[2];
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TApplication application("Ostrevan 1.0");
    TfrmMain window(application);
    application.SetMainWindow(window.Handle());
    window.Show();
    application.ProcessMessages();

    TClock::time_point walkStart, walkEnd;
    std::unique_ptr<TWalkClock> clock;
    window.SetScannerFactory([&](const std::string& root, IMessagePump& pump, IProgressFactory& progress) {
        clock = std::make_unique<TWalkClock>(progress, walkEnd);
        walkStart = TClock::now();
        return std::make_unique<TScanHardDisk>(root, pump, *clock);
    });
    if (!window.AddDiskImage(image))
        return 1;
    const double emptyPeak = PeakMiB();

    SendMessageA(window.Handle(), WM_COMMAND, kIdScan, 0);
    application.ProcessMessages();
    const double ready = std::chrono::duration<double>(TClock::now() - walkEnd).count();
    const double walk = std::chrono::duration<double>(walkEnd - walkStart).count();
    const size_t found = window.FoundEmails().Size();
    std::printf("%zu messages found, walk %.1f s\n", found, walk);
    Report("list ready after the walk", ready, "s", 2);
    std::printf("%-34s %10.3f    (list ready / walk)\n", "  ratio", ready / walk);

    for (const auto& [name, column] : {std::pair<const char*, int>{"sort by Subject (first)", 4},
                                       {"sort by Subject (reversed)", 4},
                                       {"sort by Date (first)", 1},
                                       {"sort by From (first)", 2},
                                       {"sort by Item Num", 0}}) {
        TStopwatch watch;
        ClickColumn(window, column);
        ReportStep(name, watch, 1);
    }

    SetWindowTextA(window.txtFilter(), keyword.c_str());
    TStopwatch applyWatch;
    SendMessageA(window.Handle(), WM_COMMAND, kIdApplyFilter, 0);
    const double apply = applyWatch.WallSeconds();
    std::printf("%zu messages hold \"%s\"\n", window.Rows().size(), keyword.c_str());
    ReportStep("Apply", applyWatch, 3);
    const double readImage = ReadFileSeconds(image);
    std::printf("%-34s %10.2f    (Apply / reading the image once, %.2f s)\n", "  ratio", apply / readImage, readImage);
    TStopwatch clearWatch;
    SendMessageA(window.Handle(), WM_COMMAND, kIdClearFilter, 0);
    ReportStep("Clear", clearWatch, 3);

    TListView list(window.lvFoundEmails());
    auto start = TClock::now();
    list.Select(static_cast<int>(found / 2));
    Report("select a row, preview its body", SecondsSince(start) * 1000, "ms");
    start = TClock::now();
    const std::string body = window.FoundEmails().Body(found / 3);
    Report("  of which the body's read", SecondsSince(start) * 1000, "ms");
    // What the list control takes for a change of the focused row alone (Wine's walks every row).
    LVITEMA focus = {};
    focus.stateMask = focus.state = LVIS_FOCUSED;
    start = TClock::now();
    SendMessageA(window.lvFoundEmails(), LVM_SETITEMSTATE, found / 4, reinterpret_cast<LPARAM>(&focus));
    Report("  the list control's focus change", SecondsSince(start) * 1000, "ms");

    const double peak = PeakMiB();
    Report("peak memory, empty list", emptyPeak, "MiB");
    Report("peak memory beyond the empty list", peak - emptyPeak, "MiB", 400);
    Report("  per message", (peak - emptyPeak) * 1048576.0 / (found ? found : 1), "B");
    return 0;
}
