#include "base/Dpi.h"

#include "ScopedGdi.h"

namespace {

using SetThreadDpiAwarenessContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

// Looked up at run time: user32 has these from Windows 10 1607 on only.
template <class Function>
Function User32Function(const char* name)
{
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

} // namespace

ScopedPerMonitorDpiAwareness::ScopedPerMonitorDpiAwareness()
{
    static const auto setContext = User32Function<SetThreadDpiAwarenessContextFn>("SetThreadDpiAwarenessContext");
    if (!setContext)
        return;
    // The second version (Windows 10 1703) also scales the caption and the
    // common controls; the first is what older systems and Wine 8 accept.
    m_hPrevious = setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    if (!m_hPrevious)
        m_hPrevious = setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
}

ScopedPerMonitorDpiAwareness::~ScopedPerMonitorDpiAwareness()
{
    static const auto setContext = User32Function<SetThreadDpiAwarenessContextFn>("SetThreadDpiAwarenessContext");
    if (m_hPrevious && setContext)
        setContext(m_hPrevious);
}

UINT DpiOf(HWND window)
{
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (window && getDpiForWindow) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi)
            return dpi;
    }
    const int dpi = ::GetDeviceCaps(ScopedGetDC(nullptr), LOGPIXELSY);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

int ScaleForDpi(int pixels, UINT dpi)
{
    return ::MulDiv(pixels, static_cast<int>(dpi ? dpi : USER_DEFAULT_SCREEN_DPI), USER_DEFAULT_SCREEN_DPI);
}

HICON LoadIconForDpi(HINSTANCE module, UINT id, int size, UINT dpi)
{
    if (!module)
        return nullptr;
    const int pixels = ScaleForDpi(size, dpi);
    return static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, pixels, pixels, 0));
}

HBITMAP StretchBitmapSmoothly(HBITMAP source, int cx, int cy)
{
    BITMAP info = {};
    if (!source || cx <= 0 || cy <= 0 || !::GetObjectW(source, sizeof(info), &info))
        return nullptr;
    BITMAPINFO header = {};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = cx;
    header.bmiHeader.biHeight = -cy;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 24;
    header.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ScopedGdiObject<HBITMAP> target(::CreateDIBSection(nullptr, &header, DIB_RGB_COLORS, &bits, nullptr, 0));
    ScopedMemoryDC from(nullptr);
    ScopedMemoryDC to(nullptr);
    if (!target || !from || !to)
        return nullptr;
    {
        ScopedSelectObject fromBitmap(from, source);
        ScopedSelectObject toBitmap(to, target);
        ::SetStretchBltMode(to, HALFTONE);
        ::SetBrushOrgEx(to, 0, 0, nullptr);
        if (!::StretchBlt(to, 0, 0, cx, cy, from, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY))
            return nullptr;
    }
    return target.Release();
}
