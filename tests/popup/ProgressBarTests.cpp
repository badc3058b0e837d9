// The activity bar on real windows: where its blocks are drawn, with the
// theme and without, its timer, and values nobody should send it.
#include "TestParentWindow.h"
#include "UiDriver.h"
#include "popup/ProgressBar.h"

#include <uxtheme.h>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace {

class ProgressBarWindow : public TestParentWindow {
protected:
    // A 200 x 15 bar, disabled so that only the test's ticks move it.
    HWND MakeBar(DWORD style)
    {
        HWND bar = MakeChild(kProgressBarClass, L"", style | WS_DISABLED, 20, 20, 200, 15);
        EnableWindow(bar, FALSE);
        return bar;
    }
    static void Tick(HWND bar, int ticks)
    {
        for (int i = 0; i < ticks; ++i)
            SendMessageW(bar, WM_TIMER, 0, 0);
    }
    // The first (rightmost) block's left edge: the rightmost column that
    // differs from the bar at position 0, less a block; the content's left
    // edge when nothing differs (the block has not moved yet).
    static int FirstBlockLeft(const uidriver::Pixels& start, const uidriver::Pixels& now, int contentLeft, int width)
    {
        for (int x = now.width - 1; x >= 0; --x) {
            for (int y = 0; y < now.height; ++y) {
                if (now.At(x, y) != start.At(x, y))
                    return x + 1 - width;
            }
        }
        return contentLeft;
    }
    // The bar's content rectangle and block width under the desktop theme,
    // asked of the theme library directly; false when there is no theme
    // (or no theme library: it is loaded here as the library loads it).
    static bool ThemeMetrics(HWND bar, RECT& content, int& width)
    {
        HMODULE uxtheme = LoadLibraryW(L"UxTheme.dll");
        if (!uxtheme)
            return false;
        const auto get = [uxtheme](const char* name) { return reinterpret_cast<void (*)()>(GetProcAddress(uxtheme, name)); };
        const auto isAppThemed = reinterpret_cast<BOOL(WINAPI*)()>(get("IsAppThemed"));
        const auto open = reinterpret_cast<HTHEME(WINAPI*)(HWND, LPCWSTR)>(get("OpenThemeData"));
        const auto close = reinterpret_cast<HRESULT(WINAPI*)(HTHEME)>(get("CloseThemeData"));
        const auto contentRect = reinterpret_cast<HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCRECT, LPRECT)>(
            get("GetThemeBackgroundContentRect"));
        const auto partSize = reinterpret_cast<HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCRECT, THEMESIZE, SIZE*)>(
            get("GetThemePartSize"));
        HTHEME theme = open(bar, L"Progress");
        bool themed = theme && isAppThemed();
        if (themed) {
            const RECT client = {0, 0, 200, 15};
            SIZE chunk = {};
            HDC dc = GetDC(bar);
            themed = SUCCEEDED(contentRect(theme, dc, 1, 1, &client, &content)) &&
                     SUCCEEDED(partSize(theme, dc, 3, 1, nullptr, TS_MIN, &chunk));
            ReleaseDC(bar, dc);
            width = chunk.cx;
        }
        if (theme)
            close(theme);
        FreeLibrary(uxtheme);
        return themed;
    }
    // True when a timer with the bar's id runs (and stops it).
    static bool TimerRuns(HWND bar) { return KillTimer(bar, 0) != FALSE; }
};

TEST_F(ProgressBarWindow, DrawsTheRunningGroupWhereTheRunHasReachedInBothDrawingModes)
{
    // Runs twice: with the desktop theme, and (under VELKOR_NO_UXTHEME)
    // where the theme library cannot be loaded at all.
    const bool noThemeLibrary = std::getenv("VELKOR_NO_UXTHEME") != nullptr;
    for (const DWORD style : {DWORD{0}, kProgressBarPlainStyle}) {
        SCOPED_TRACE(style ? "plain style" : "default style");
        HWND bar = MakeBar(style);
        RECT content = {2, 2, 198, 13};
        int width = 8; // the worked example: 196 x 11 of content, 24 slots
        const bool themed = !style && ThemeMetrics(bar, content, width);
        if (!style) {
            EXPECT_EQ(!noThemeLibrary, themed) << "the drawing mode this run is for is not in effect";
        }
        ASSERT_GT(width, 0);
        const int slots = (content.right - content.left) / width;

        const uidriver::Pixels start = uidriver::CaptureClient(bar);
        ASSERT_GT(start.width, 0);
        int position = 0;
        for (const int target : {1, 5, 6, 7, 10, 30, 57}) {
            Tick(bar, target - position);
            position = target;
            const int expected = static_cast<int>(content.left + ((slots * (position - 1)) / 100) * (width + 2));
            const int drawn = FirstBlockLeft(start, uidriver::CaptureClient(bar), content.left, width);
            EXPECT_EQ(expected, drawn) << "position " << position;
            if (!themed && position <= 6) {
                EXPECT_EQ(position < 6 ? 2 : 12, drawn) << "the worked example, position " << position;
            }
        }
        DestroyWindow(bar);
    }
}

TEST_F(ProgressBarWindow, RunsItsTimerExactlyWhileEnabledAndRefusesValuesOutOfRange)
{
    HWND bar = MakeChild(kProgressBarClass, L"", 0, 20, 20, 200, 15);
    EXPECT_EQ(18, SendMessageW(bar, PBM_VKGETINTERVAL, 0, 0));
    EXPECT_EQ(5, SendMessageW(bar, PBM_VKGETBLOCKCOUNT, 0, 0));
    // Enabled at creation: the group moves by itself.
    const uidriver::Pixels start = uidriver::CaptureClient(bar);
    EXPECT_TRUE(uidriver::WaitUntil([&] {
        Pump();
        return FirstBlockLeft(start, uidriver::CaptureClient(bar), 2, 8) > 2;
    })) << "the group did not move";

    // Disabled: back to the start, timer gone; a period set now is kept
    // but starts nothing; a forged WM_ENABLE does not start it either.
    EnableWindow(bar, FALSE);
    EXPECT_FALSE(TimerRuns(bar));
    EXPECT_EQ(1, SendMessageW(bar, PBM_VKSETINTERVAL, 40, 0));
    EXPECT_EQ(40, SendMessageW(bar, PBM_VKGETINTERVAL, 0, 0));
    PostMessageW(bar, WM_ENABLE, TRUE, 0);
    Pump();
    EXPECT_FALSE(TimerRuns(bar));
    const uidriver::Pixels stopped = uidriver::CaptureClient(bar);
    EXPECT_EQ(start.colors, stopped.colors) << "disabling did not reset the run";

    EnableWindow(bar, TRUE);
    EXPECT_TRUE(TimerRuns(bar));

    // Disabled again, so that only the ticks below move it: values out of
    // range are refused, and the record outlives forged destruction.
    EnableWindow(bar, FALSE);
    const struct {
        WPARAM count;
        LRESULT result;
        LRESULT after;
    } counts[] = {{0, 0, 5}, {21, 0, 5}, {static_cast<WPARAM>(-1), 0, 5}, {1, 1, 1}, {20, 1, 20}, {1u << 31, 0, 20}};
    for (const auto& c : counts) {
        EXPECT_EQ(c.result, SendMessageW(bar, PBM_VKSETBLOCKCOUNT, c.count, 0)) << c.count;
        EXPECT_EQ(c.after, SendMessageW(bar, PBM_VKGETBLOCKCOUNT, 0, 0)) << c.count;
    }
    for (const WPARAM interval : {WPARAM{0}, static_cast<WPARAM>(-1), WPARAM{0x80000000u}}) {
        EXPECT_EQ(1, SendMessageW(bar, PBM_VKSETINTERVAL, interval, 0));
        EXPECT_LE(0, SendMessageW(bar, PBM_VKGETINTERVAL, 0, 0)) << interval;
    }
    Tick(bar, 1000); // runs past the end many times over
    // Another thread cannot make the bar free its record.
    std::atomic<bool> sent{false};
    std::thread forger([bar, &sent] {
        SendMessageW(bar, WM_DESTROY, 0, 0);
        sent = true;
    });
    EXPECT_TRUE(uidriver::WaitUntil([&] {
        Pump();
        return sent.load();
    }));
    forger.join();
    EXPECT_EQ(20, SendMessageW(bar, PBM_VKGETBLOCKCOUNT, 0, 0));
    EXPECT_GE(SendHostileTraffic(m_parent, 16, -1, true), 0);
    EXPECT_TRUE(IsWindow(bar));
}

} // namespace
