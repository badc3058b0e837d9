#pragma once
// How the library's windows and drawn parts follow the display's DPI. The
// library lives in its host's process and cannot choose the process's DPI
// awareness; it creates its own windows per-monitor aware where the system
// lets a thread choose, and sizes what it draws itself (banner, popup skin,
// icons, progress blocks) from the DPI of the window it draws in.
#include <windows.h>

// While it lives, windows the calling thread creates are per-monitor DPI
// aware (where the system has SetThreadDpiAwarenessContext); the caller's
// own context is put back with the guard.
class ScopedPerMonitorDpiAwareness {
public:
    ScopedPerMonitorDpiAwareness();
    ~ScopedPerMonitorDpiAwareness();
    ScopedPerMonitorDpiAwareness(const ScopedPerMonitorDpiAwareness&) = delete;
    ScopedPerMonitorDpiAwareness& operator=(const ScopedPerMonitorDpiAwareness&) = delete;

private:
    DPI_AWARENESS_CONTEXT m_hPrevious = nullptr;
};

// The DPI `window` is drawn at (the screen's for a null window).
UINT DpiOf(HWND window);

// `pixels` at 96 DPI, in pixels at `dpi`.
int ScaleForDpi(int pixels, UINT dpi);

// Icon `id` of `module` at `size` pixels at 96 DPI, scaled for `dpi`: the
// icon's own image of that size where it has one, never a small one blown up
// by the caller. Null when the module or the icon is missing.
HICON LoadIconForDpi(HINSTANCE module, UINT id, int size, UINT dpi);

// A copy of `source` at cx x cy pixels, stretched with the halftone filter
// (a smooth picture, not the blocks of a plain stretch). The caller owns it;
// null on failure.
HBITMAP StretchBitmapSmoothly(HBITMAP source, int cx, int cy);
