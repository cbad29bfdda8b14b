// The progress window and the message pump that keeps the windows painted during a scan.
#include "WinTestSupport.h"

#include "ui/ResourceIds.h"
#include "ui/WindowsMessagePump.h"
#include "ui/waitfrm.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>

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

TEST(WaitWindowTest, IsABorderlessTopmostPopupCentredOverItsOwnerWithLabelAndBar) {
    TestApplication();
    RECT ownerRect = {100, 80, 900, 680};
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, ownerRect.left, ownerRect.top, 800, 600,
                                 nullptr, nullptr, nullptr, nullptr);
    {
        TfrmWait wait(1000, owner);
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
        EXPECT_EQ(client.bottom, 122);
        GetWindowRect(window, &place);
        EXPECT_NEAR((place.left + place.right) / 2, (ownerRect.left + ownerRect.right) / 2, 1);
        EXPECT_NEAR((place.top + place.bottom) / 2, (ownerRect.top + ownerRect.bottom) / 2, 1);

        HWND label = GetDlgItem(window, kIdWaitLabel);
        EXPECT_EQ(WindowText(label), "Please Wait ......");
        RECT labelRect, barRect;
        GetWindowRect(label, &labelRect);
        GetWindowRect(wait.pbwait(), &barRect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&labelRect), 2);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&barRect), 2);
        EXPECT_EQ(labelRect.left, 16);
        EXPECT_EQ(labelRect.top, 24);
        EXPECT_EQ(labelRect.right - labelRect.left, 78);
        EXPECT_EQ(labelRect.bottom - labelRect.top, 13);
        EXPECT_EQ(barRect.left, 16);
        EXPECT_EQ(barRect.top, 48);
        EXPECT_EQ(barRect.right - barRect.left, 465);
        EXPECT_EQ(barRect.bottom - barRect.top, 17);

        SendMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(IsWindow(window)) << "only the scan closes it";
    }
    EXPECT_EQ(FindWindowA("TfrmWait", nullptr), nullptr) << "destroying it closes the window";
    DestroyWindow(owner);
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
        EXPECT_EQ(BarPosition(wait), 0) << "only SetProgress moves the bar";
        EXPECT_EQ(static_cast<uint64_t>(BarMaximum(wait)), maximum >> wait.Shift());
        EXPECT_GE(BarMaximum(wait), 0);
        if (maximum >= 0x80000000ull) {
            EXPECT_GE(BarMaximum(wait), 0x40000000) << "scaled by no more than it must";
        }

        wait.SetProgress(maximum / 2);
        EXPECT_NEAR(BarPosition(wait), BarMaximum(wait) / 2, 1);
        wait.SetProgress(maximum);
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
