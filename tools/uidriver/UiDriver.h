#pragma once
// Drives real windows as a card holder would: find the window a call opened,
// wait until it is idle, type, click, read texts and states, and save what
// is on the screen.
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace uidriver {

inline constexpr DWORD kDefaultTimeoutMs = 10000;

// Told what a wait for a window looked for when none came in time (a test
// fails then; a host program may ignore it). None by default.
using MissedWindowHandler = void (*)(const std::wstring& what);
void SetMissedWindowHandler(MissedWindowHandler handler);
// Told whenever a wait for a window begins (a test starts watching the
// dialogs it drives then). None by default.
using WaitBeginsHandler = void (*)();
void SetWaitBeginsHandler(WaitBeginsHandler handler);

// Waits until `condition` holds, checking it every few milliseconds, for at
// most `timeoutMs`. Returns whether it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kDefaultTimeoutMs);

// Visible top-level windows of this process that match; the newest first.
std::vector<HWND> TopLevelWindows(const std::function<bool(HWND)>& match);
std::wstring ClassOf(HWND window);
std::wstring TextOf(HWND window);

// Waits for a visible top-level window of class `className` (any class when
// empty) belonging to thread `threadId` (any thread of this process when 0),
// and for it to be idle. Null when none came in time (the missed-window
// handler is told).
HWND WaitForTopLevel(const std::wstring& className, DWORD threadId = 0, DWORD timeoutMs = kDefaultTimeoutMs);

// Waits for a visible dialog of thread `threadId` that has a control with
// `controlId` (found anywhere below it), idle; null when none came in time.
HWND WaitForDialogWith(DWORD threadId, int controlId, DWORD timeoutMs = kDefaultTimeoutMs);

// Returns once the window's thread has handled everything sent before.
bool WaitIdle(HWND window, DWORD timeoutMs = kDefaultTimeoutMs);
// As WaitIdle, once the window and its children have painted themselves.
bool WaitPainted(HWND window, DWORD timeoutMs = kDefaultTimeoutMs);

// Starts a thread that waits for the first dialog the calling thread shows
// and then runs `action` on it (nothing but telling the missed-window
// handler when none shows in time). Join it after the call that shows the
// dialog has returned.
std::thread ActOnDialog(std::function<void(HWND)> action, DWORD timeoutMs = kDefaultTimeoutMs);
// As ActOnDialog, for a call that should show no dialog: none showing is
// not reported, and `action` closes one that does.
std::thread ActOnDialogIfAny(std::function<void(HWND)> action, DWORD timeoutMs);

// Presses a button the way a click does.
void Click(HWND button);
// Clicks the button with text `caption` (ignoring '&') among `dialog`'s children.
bool ClickButton(HWND dialog, const std::wstring& caption);
HWND FindChildByText(HWND parent, const std::wstring& text);
// The control with `id` anywhere below `root` (in pages and panels too).
HWND FindControl(HWND root, int id);
// Replaces an edit's text as a holder does: select all, then type.
void Retype(HWND edit, const std::wstring& text);
// Types `text` into an edit, one character at a time.
void Type(HWND edit, const std::wstring& text);

// Types `text` as the keyboard does, then presses each key of `keys`
// (virtual-key codes): the input goes to whatever has the keyboard focus
// of the foreground window, not to a window the caller names.
bool TypeAsKeyboard(const std::wstring& text, const std::vector<WORD>& keys = {});

// Saves the screen area of `window` (the whole screen when null) as a
// 24-bit BMP file. Creates missing folders.
bool SaveScreenshot(HWND window, const std::wstring& path);

// What the screen shows of a window's client area, pixel by pixel.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> colors; // row by row from the top left

    COLORREF At(int x, int y) const { return colors[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
    // The smallest rectangle holding every pixel that `match` accepts;
    // empty when none does.
    RECT BoxOf(const std::function<bool(COLORREF)>& match) const;
};
// Captures the client area of `window` once it has painted itself.
Pixels CaptureClient(HWND window);

} // namespace uidriver
