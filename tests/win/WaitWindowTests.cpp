// The progress window and the message pump that keeps the windows painted during a scan.
#include "MainWindowTestSupport.h"
#include "WinTestSupport.h"

#include "ui/ResourceIds.h"
#include "ui/WindowsMessagePump.h"
#include "ui/waitfrm.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>

namespace {

int BarMaximum(const TfrmWait& wait) {
    return static_cast<int>(SendMessageA(wait.pbwait(), PBM_GETRANGE, FALSE, 0));
}
int BarMinimum(const TfrmWait& wait) {
    return static_cast<int>(SendMessageA(wait.pbwait(), PBM_GETRANGE, TRUE, 0));
}
int BarPosition(const TfrmWait& wait) {
    return static_cast<int>(SendMessageA(wait.pbwait(), PBM_GETPOS, 0, 0));
}

} // namespace

namespace {
RECT RectIn(HWND window, HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}
} // namespace

TEST(WaitWindowTest, IsABorderlessTopmostPopupCentredOverItsOwnerWithItsTextsBarAndCancel) {
    TestApplication();
    RECT ownerRect = {100, 80, 900, 680};
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, ownerRect.left, ownerRect.top, 800, 600,
                                 nullptr, nullptr, nullptr, nullptr);
    {
        TfrmWait wait(1000, owner, {"D:\\disk.img", 512});
        HWND window = wait.Handle();
        EXPECT_EQ(WindowText(window), "Please Wait Scanning Drive");
        LONG style = GetWindowLongA(window, GWL_STYLE);
        EXPECT_TRUE(style & WS_POPUP);
        EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_SYSMENU));
        EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
        EXPECT_TRUE(IsWindowVisible(window)) << "shown, not modally";
        RECT client, place;
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, 504);
        EXPECT_EQ(client.bottom, 146);
        GetWindowRect(window, &place);
        EXPECT_NEAR((place.left + place.right) / 2, (ownerRect.left + ownerRect.right) / 2, 1);
        EXPECT_NEAR((place.top + place.bottom) / 2, (ownerRect.top + ownerRect.bottom) / 2, 1);

        struct TControl {
            int Id;
            RECT Place; // left, top, right, bottom
        };
        const TControl controls[] = {{kIdWaitLabel, {16, 24, 481, 37}},
                                     {kIdWaitBar, {16, 48, 481, 65}},
                                     {kIdWaitAmount, {16, 76, 481, 89}},
                                     {kIdWaitTime, {16, 96, 386, 109}},
                                     {IDCANCEL, {406, 108, 481, 131}}};
        for (const TControl& c : controls) {
            SCOPED_TRACE(c.Id);
            HWND control = GetDlgItem(window, c.Id);
            ASSERT_NE(control, nullptr);
            RECT rect = RectIn(window, control);
            EXPECT_EQ(rect.left, c.Place.left);
            EXPECT_EQ(rect.top, c.Place.top);
            EXPECT_EQ(rect.right, c.Place.right);
            EXPECT_EQ(rect.bottom, c.Place.bottom);
        }
        EXPECT_EQ(WindowText(GetDlgItem(window, kIdWaitLabel)), "Scanning D:\\disk.img");
        EXPECT_EQ(WindowText(wait.btnCancel()), "Cancel");
        EXPECT_EQ(GetFocus(), wait.btnCancel()) << "Esc and Enter reach it";
        EXPECT_EQ(WindowText(GetDlgItem(window, kIdWaitAmount)),
                  "0 %: 0 bytes of 500.0 KB scanned, no messages found yet");

        EXPECT_FALSE(wait.CancelRequested());
        SendMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(IsWindow(window)) << "only the scan closes it";
        EXPECT_TRUE(wait.CancelRequested()) << "Alt+F4 asks the scan to stop";
    }
    EXPECT_EQ(FindWindowA("TfrmWait", nullptr), nullptr) << "destroying it closes the window";
    DestroyWindow(owner);
}

// Every way the user has to stop the scan sets the request the walk reads, and the shared flag carries it to
// whoever else holds it (the main window's close request).
TEST(WaitWindowTest, CancelEscAndAltF4AskTheScanToStopAndTheWindowSaysSo) {
    TApplication& application = TestApplication();
    struct TCase {
        const char* Way;
        void (*Do)(TfrmWait& wait);
    };
    const TCase cases[] = {
        {"the Cancel button", [](TfrmWait& wait) { SendMessageA(wait.btnCancel(), BM_CLICK, 0, 0); }},
        {"Esc", [](TfrmWait&) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"Alt+F4", [](TfrmWait& wait) { PostMessageA(wait.Handle(), WM_CLOSE, 0, 0); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Way);
        bool shared = false;
        TfrmWait wait(1000, nullptr, {"X:\\", 512, &shared});
        application.ProcessMessages();
        c.Do(wait);
        application.ProcessMessages();
        EXPECT_TRUE(wait.CancelRequested());
        EXPECT_TRUE(shared);
        EXPECT_FALSE(IsWindowEnabled(wait.btnCancel()));
        EXPECT_EQ(WindowText(GetDlgItem(wait.Handle(), kIdWaitTime)).rfind("Cancelling", 0), 0u);
    }
}

TEST(WaitWindowTest, TheTextsTellTheShareBytesFindsElapsedTimeAndTimeLeft) {
    struct TCase {
        TfrmWait::TFacts Facts;
        const char* Amount;
        const char* Time;
    };
    const TCase cases[] = {
        {{0, 1000, 512, 0, 0},
         "0 %: 0 bytes of 500.0 KB scanned, no messages found yet",
         "Elapsed 0:00:00, estimating the time left"},
        {{1, 4, 512, 1, 1999},
         "25 %: 512 bytes of 2.0 KB scanned, 1 message found",
         "Elapsed 0:00:01, estimating the time left"},
        {{1ull << 21, 1ull << 23, 512, 1234567, 60000},
         "25 %: 1.0 GB of 4.0 GB scanned, 1,234,567 messages found",
         "Elapsed 0:01:00, about 0:03:00 left"},
        {{3ull << 30, 4ull << 30, 4096, 12, 3600000},
         "75 %: 12.0 TB of 16.0 TB scanned, 12 messages found",
         "Elapsed 1:00:00, about 0:20:00 left"},
        {{1000, 1000, 512, 5, 90061000},
         "100 %: 500.0 KB of 500.0 KB scanned, 5 messages found",
         "Elapsed 25:01:01, estimating the time left"},
        {{0, 0, 512, 0, 5000},
         "0 %: 0 bytes of 0 bytes scanned, no messages found yet",
         "Elapsed 0:00:05, estimating the time left"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Amount);
        TfrmWait::TTexts texts = TfrmWait::Describe(c.Facts);
        EXPECT_EQ(texts.Amount, c.Amount);
        EXPECT_EQ(texts.Time, c.Time);
    }
}

// The bar runs from empty to full whatever the maximum; one beyond 31 bits is scaled down, never wrapped
// into a negative range that the control would refuse.
TEST(WaitWindowTest, BarStartsEmptyKeepsTheMaximumAndReachesFullForEveryMaximum) {
    TestApplication();
    const uint64_t maxima[] = {0,          1,         2000, 0x7FFFFFFFull, 0x80000000ull, 0xFFFFFFFFull, 6000000000ull,
                               1ull << 40, UINT64_MAX};
    for (uint64_t maximum : maxima) {
        SCOPED_TRACE(maximum);
        TfrmWait wait(maximum);
        EXPECT_EQ(wait.Maximum(), maximum);
        EXPECT_EQ(BarMinimum(wait), 0);
        EXPECT_EQ(BarPosition(wait), 0) << "only the walk moves the bar";
        EXPECT_EQ(static_cast<uint64_t>(BarMaximum(wait)), maximum >> wait.Shift());
        EXPECT_GE(BarMaximum(wait), 0);
        if (maximum >= 0x80000000ull) {
            EXPECT_GE(BarMaximum(wait), 0x40000000) << "scaled by no more than it must";
        }

        wait.SetProgress(maximum / 2);
        EXPECT_EQ(BarPosition(wait), 0) << "the bar moves at the next refresh, not at every call";
        wait.Refresh();
        EXPECT_NEAR(BarPosition(wait), BarMaximum(wait) / 2, 1);
        wait.SetProgress(maximum);
        wait.Refresh();
        EXPECT_EQ(BarPosition(wait), BarMaximum(wait)) << "full at the end";
    }
}

namespace {
int DispatchedPings = 0;
LRESULT CALLBACK PingWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_APP + 1) {
        ++DispatchedPings;
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
} // namespace

TEST(MessagePumpTest, RealPassesComeEveryStrideOfPointsAtMostEveryFewMillisecondsAndKeepAQuit) {
    TApplication& application = TestApplication();
    application.ProcessMessages();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PingWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "OstrevanPingWindow";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);

    TWindowsMessagePump pump(application);
    DispatchedPings = 0;
    PostMessageA(window, WM_APP + 1, 0, 0);
    Sleep(30);
    for (uint32_t i = 1; i < TWindowsMessagePump::kStride; ++i)
        pump.ProcessMessages();
    EXPECT_EQ(DispatchedPings, 0) << "points within the stride cost nothing";
    pump.ProcessMessages();
    EXPECT_EQ(DispatchedPings, 1);
    EXPECT_EQ(pump.Passes(), 1u);
    EXPECT_EQ(pump.Points(), TWindowsMessagePump::kStride);

    // A quit that arrives during a scan is left in the queue for the program's own loop.
    Sleep(30);
    PostQuitMessage(3);
    pump.ProcessMessages(TWindowsMessagePump::kStride);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    DestroyWindow(window);
}

namespace {

// Makes `path` `bytes` long without writing the bytes between (a sparse file on the host), with `tail` at its end.
void ExtendSparse(const std::string& path, uint64_t bytes, const std::string& tail) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(bytes - 4 * 512);
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    DWORD written = 0;
    std::string sector = tail;
    sector.resize(4 * 512, '\0');
    WriteFile(file, sector.data(), static_cast<DWORD>(sector.size()), &written, nullptr);
    CloseHandle(file);
}

// What a user does: waits until the progress window tells `finds`, then presses Esc in it.
void PressEscOnceTheWindowTells(const std::string& finds, std::string& amountSeen) {
    HWND wait = nullptr;
    for (int k = 0; k < 3000 && !wait; ++k) {
        wait = FindWindowA("TfrmWait", nullptr);
        Sleep(10);
    }
    if (!wait)
        return;
    for (int k = 0; k < 3000; ++k) {
        amountSeen = WindowText(GetDlgItem(wait, kIdWaitAmount));
        if (amountSeen.find(finds) != std::string::npos)
            break;
        Sleep(10);
    }
    PostMessageA(GetDlgItem(wait, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0);
}

} // namespace

// 64 GiB to walk (sparse, so the test machine holds only a few sectors of it): three messages in the first sectors,
// one in the last. Esc stops the walk long before its end; the three are listed, the last is not.
TEST_F(MainWindowTest, CancelStopsALongScanOfALargeSparseImageAndKeepsThePartialList) {
    const uint64_t bytes = 64ull << 30;
    const std::string path = OpenImage({FiveMessages()[0], FiveMessages()[1], FiveMessages()[2]}, "large.img");
    ExtendSparse(path, bytes, FiveMessages()[3].Text());
    std::string amountSeen;
    std::thread user(PressEscOnceTheWindowTells, "3 messages found", std::ref(amountSeen));
    Command(kIdScan);
    user.join();

    EXPECT_NE(amountSeen.find("of 64.0 GB scanned, 3 messages found"), std::string::npos) << amountSeen;
    const TfrmMain::TScanEnd& end = Window().LastScanEnd();
    EXPECT_TRUE(end.Cancelled);
    EXPECT_EQ(end.SectorCount, bytes / 512);
    EXPECT_LT(end.SectorReached, end.SectorCount / 2);
    EXPECT_GT(end.SectorReached, 14u) << "past the three finds";
    EXPECT_EQ(Captions(), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(Window().FoundEmails().FullText(2), FiveMessages()[2].Text());
    const std::string status = WindowText(Window().sbStatus());
    const std::string reached = std::to_string(end.SectorReached);
    EXPECT_EQ(status.rfind("3 messages found on " + path + " (" + reached + " sectors scanned", 0), 0u) << status;
    EXPECT_NE(status.find("; the scan was cancelled after " + reached + " of 134217728 sectors (0 %)"),
              std::string::npos)
        << status;
    EXPECT_EQ(FindWindowA("TfrmWait", nullptr), nullptr);
    EXPECT_TRUE(IsWindowEnabled(Handle()));
}
