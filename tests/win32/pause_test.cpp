// pauseMs of the Windows programs under Wine: never short, not far too long, and during the wait
// only sent messages reach the windows, never input.
#include "link/pause.h"
#include "os/win32/pause.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

double nowMs() {
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::atomic<int> sentHandled{0};
std::atomic<int> inputHandled{0};
double sentHandledAt = 0;

constexpr UINT WM_FROM_OTHER_THREAD = WM_APP + 1;

LRESULT CALLBACK probeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_FROM_OTHER_THREAD:
        sentHandledAt = nowMs();
        ++sentHandled;
        return 42;
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
        ++inputHandled;
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// A message-only window: needs no display, still receives sent and posted messages.
HWND createProbeWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = probeProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuillarPauseProbe";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, L"QuillarPauseProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           windowClass.hInstance, nullptr);
}

} // namespace

// Every delay of the update is a minimum that the unit relies on; a short pause corrupts the
// flash. Both timers are run: systems before Windows 10 1803 have no high-resolution one.
TEST(Win32Pause, pause_returns_early) {
    const uint32_t cases[] = {1, 2, 5, 20, 50};
    for (bool highResolution : {true, false}) {
        for (uint32_t milliseconds : cases) {
            double start = nowMs();
            win32Pause(milliseconds, highResolution);
            double elapsed = nowMs() - start;
            EXPECT_GE(elapsed, static_cast<double>(milliseconds))
                << milliseconds << " ms, high resolution " << highResolution;
            // Lenient: a loaded CI machine may be late, but never by a system tick per pause.
            EXPECT_LT(elapsed, milliseconds + 60.0)
                << milliseconds << " ms, high resolution " << highResolution;
            std::printf("pause of %u ms (%s timer) took %.2f ms\n", milliseconds,
                        highResolution ? "high-resolution" : "normal", elapsed);
        }
    }
    double start = nowMs();
    pauseMs(0);
    EXPECT_LT(nowMs() - start, 20.0);
}

// The 4-second wait after the erase must not freeze a program that another sends a message to
// (a broadcast, a device notification): the sender would hang with it.
TEST(Win32Pause, sent_message_stalls_during_pause) {
    HWND window = createProbeWindow();
    ASSERT_NE(nullptr, window) << GetLastError();
    sentHandled = 0;
    DWORD_PTR answer = 0;
    LRESULT delivered = 0;
    std::thread sender([&] {
        Sleep(50);
        delivered =
            SendMessageTimeoutW(window, WM_FROM_OTHER_THREAD, 0, 0, SMTO_NORMAL, 5000, &answer);
    });
    double start = nowMs();
    pauseMs(400);
    double end = nowMs();
    sender.join();
    EXPECT_NE(0, delivered);
    EXPECT_EQ(42u, answer);
    ASSERT_EQ(1, sentHandled.load());
    EXPECT_GT(sentHandledAt, start);
    EXPECT_LT(sentHandledAt, end) << "answered only after the pause";
    EXPECT_GE(end - start, 400.0);
    DestroyWindow(window);
}

// Input that arrives during an update must wait for it: a click handled inside the pause would
// run a second action in the middle of the first.
TEST(Win32Pause, input_handled_during_pause) {
    HWND window = createProbeWindow();
    ASSERT_NE(nullptr, window) << GetLastError();
    inputHandled = 0;
    PostMessageW(window, WM_LBUTTONDOWN, 0, 0);
    PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
    std::thread poster([&] {
        Sleep(20);
        PostMessageW(window, WM_KEYDOWN, VK_SPACE, 0);
    });
    pauseMs(100);
    poster.join();
    EXPECT_EQ(0, inputHandled.load());
    int queued = 0;
    MSG message;
    while (PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
        if (message.message == WM_KEYDOWN || message.message == WM_LBUTTONDOWN) {
            ++queued;
        }
    }
    EXPECT_EQ(3, queued) << "input was taken from the queue during the pause";
    DestroyWindow(window);
}
