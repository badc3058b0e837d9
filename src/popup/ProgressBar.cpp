#include "popup/ProgressBar.h"

#include "base/AccessibleOverlay.h"
#include "base/Dpi.h"
#include "base/Log.h"

#include "afxwin.h"

#include <algorithm>
#include <climits>
#include <new>

namespace {

constexpr UINT_PTR kTimerId = 0;
constexpr int kDefaultInterval = 18;
constexpr int kDefaultBlockCount = 5;
constexpr WPARAM kMaxBlockCount = 20;
constexpr int kBlockGap = 2;
constexpr HRESULT kThemeFailure = static_cast<HRESULT>(0x80004005);
// Parts of the "Progress" theme class.
constexpr int kBarPart = 1;
constexpr int kChunkPart = 3;
constexpr int kNormalState = 1;
constexpr int kMinimumSize = 0; // THEMESIZE: the part's smallest size

// What each window keeps, in its user-data slot.
struct ProgressBarRecord {
    int position;
    int interval;
    int blockCount;
};

using HTHEME_ = HANDLE;
using IsAppThemedFn = BOOL(WINAPI*)();
using OpenThemeDataFn = HTHEME_(WINAPI*)(HWND, LPCWSTR);
using CloseThemeDataFn = HRESULT(WINAPI*)(HTHEME_);
using DrawThemeBackgroundFn = HRESULT(WINAPI*)(HTHEME_, HDC, int, int, LPCRECT, LPCRECT);
using GetThemePartSizeFn = HRESULT(WINAPI*)(HTHEME_, HDC, int, int, LPCRECT, int, SIZE*);
using GetThemeBackgroundContentRectFn = HRESULT(WINAPI*)(HTHEME_, HDC, int, int, LPCRECT, LPRECT);

// Stand-ins for what the theme library lacks: no theme, and every drawing
// or measuring call fails, so the plain drawing is used.
BOOL WINAPI NoAppTheme()
{
    return FALSE;
}
HTHEME_ WINAPI NoThemeData(HWND, LPCWSTR)
{
    return nullptr;
}
HRESULT WINAPI NoCloseThemeData(HTHEME_)
{
    return kThemeFailure;
}
HRESULT WINAPI NoDrawThemeBackground(HTHEME_, HDC, int, int, LPCRECT, LPCRECT)
{
    return kThemeFailure;
}
HRESULT WINAPI NoThemePartSize(HTHEME_, HDC, int, int, LPCRECT, int, SIZE*)
{
    return kThemeFailure;
}
HRESULT WINAPI NoThemeContentRect(HTHEME_, HDC, int, int, LPCRECT, LPRECT)
{
    return kThemeFailure;
}

// The theme library, loaded on first use and kept; each function looked up
// once. The library may be missing: the control then draws plainly.
struct ThemeApi {
    IsAppThemedFn isAppThemed = NoAppTheme;
    OpenThemeDataFn openThemeData = NoThemeData;
    CloseThemeDataFn closeThemeData = NoCloseThemeData;
    DrawThemeBackgroundFn drawThemeBackground = NoDrawThemeBackground;
    GetThemePartSizeFn getThemePartSize = NoThemePartSize;
    GetThemeBackgroundContentRectFn getThemeBackgroundContentRect = NoThemeContentRect;

    static const ThemeApi& Get()
    {
        static const ThemeApi api = Load();
        return api;
    }

private:
    template <class Fn>
    static void Resolve(HMODULE module, const char* name, Fn& slot)
    {
        if (FARPROC proc = module ? ::GetProcAddress(module, name) : nullptr)
            slot = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
        else
            vklogLog(kGuiTag, VKLOG_ERROR, L"ProgressBar: UxTheme.dll has no %hs: drawing without the theme", name);
    }
    static ThemeApi Load()
    {
        ThemeApi api;
        HMODULE module = ::LoadLibraryW(L"UxTheme.dll");
        if (!module) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"ProgressBar: UxTheme.dll cannot be loaded (%u): drawing without the theme",
                     ::GetLastError());
            return api;
        }
        Resolve(module, "IsAppThemed", api.isAppThemed);
        Resolve(module, "OpenThemeData", api.openThemeData);
        Resolve(module, "CloseThemeData", api.closeThemeData);
        Resolve(module, "DrawThemeBackground", api.drawThemeBackground);
        Resolve(module, "GetThemePartSize", api.getThemePartSize);
        Resolve(module, "GetThemeBackgroundContentRect", api.getThemeBackgroundContentRect);
        return api;
    }
};

ProgressBarRecord* RecordOf(HWND hWnd)
{
    return reinterpret_cast<ProgressBarRecord*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
}

// The timer runs exactly while the window is enabled. The window's own
// state decides, not the message's word: anyone may post WM_ENABLE.
void FollowEnabledState(HWND hWnd, ProgressBarRecord& record)
{
    if (::IsWindowEnabled(hWnd)) {
        ::SetTimer(hWnd, kTimerId, static_cast<UINT>(record.interval), nullptr);
        return;
    }
    ::KillTimer(hWnd, kTimerId);
    record.position = 0;
    ::InvalidateRect(hWnd, nullptr, FALSE);
}

void Paint(HWND hWnd, ProgressBarRecord& record, HDC target)
{
    RECT client = {};
    ::GetClientRect(hWnd, &client);
    if (client.right <= 0 || client.bottom <= 0)
        return;
    HDC dc = ::CreateCompatibleDC(target);
    HBITMAP canvas = dc ? ::CreateCompatibleBitmap(target, client.right, client.bottom) : nullptr;
    if (!canvas) {
        if (dc)
            ::DeleteDC(dc);
        return;
    }
    const HGDIOBJ oldCanvas = ::SelectObject(dc, canvas);

    const ThemeApi& api = ThemeApi::Get();
    HTHEME_ theme = api.openThemeData(hWnd, L"Progress");
    const bool themed = theme && api.isAppThemed() &&
                        !(static_cast<DWORD>(::GetWindowLongW(hWnd, GWL_STYLE)) & kProgressBarPlainStyle);
    // The gap, the frame's inset and (from the bar's height) the blocks grow
    // with the DPI the bar is drawn at.
    const UINT dpi = DpiOf(hWnd);
    const int gap = ScaleForDpi(kBlockGap, dpi);
    RECT content = client;
    int blockWidth = 0;
    if (themed) {
        api.drawThemeBackground(theme, dc, kBarPart, kNormalState, &client, nullptr);
        api.getThemeBackgroundContentRect(theme, dc, kBarPart, kNormalState, &client, &content);
        SIZE chunk = {};
        if (SUCCEEDED(api.getThemePartSize(theme, dc, kChunkPart, kNormalState, nullptr, kMinimumSize, &chunk)))
            blockWidth = chunk.cx;
    } else {
        ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
        ::DrawEdge(dc, &client, BDR_SUNKENOUTER, BF_RECT);
        ::InflateRect(&content, -ScaleForDpi(2, dpi), -ScaleForDpi(2, dpi));
        blockWidth = ((content.bottom - content.top) * 3) / 4;
    }

    // The group's first block leads; the others trail to its left. Wide
    // arithmetic: a hostile size or a long run cannot overflow it.
    const long long slots = blockWidth > 0 ? (content.right - content.left) / blockWidth : 0;
    const long long step = static_cast<long long>(blockWidth) + gap;
    long long x = content.left + ((slots * (static_cast<long long>(record.position) - 1)) / 100) * step;
    for (int k = 1; k <= record.blockCount; ++k) {
        if (content.left <= x && x <= content.right && blockWidth > 0) {
            const RECT block = {static_cast<LONG>(x), content.top,
                                static_cast<LONG>(std::min<long long>(x + blockWidth, content.right)), content.bottom};
            if (themed)
                api.drawThemeBackground(theme, dc, kChunkPart, kNormalState, &block, nullptr);
            else
                ::FillRect(dc, &block, ::GetSysColorBrush(COLOR_HIGHLIGHT));
        }
        x -= step;
    }
    // The whole group has left the bar: the next tick starts from the left.
    if (x > content.right)
        record.position = 0;

    if (theme)
        api.closeThemeData(theme);
    ::BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    ::SelectObject(dc, oldCanvas);
    ::DeleteObject(canvas);
    ::DeleteDC(dc);
}

LRESULT HandleMessage(HWND hWnd, ProgressBarRecord& record, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_DESTROY:
        ::KillTimer(hWnd, kTimerId);
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        delete &record;
        break;
    case WM_ENABLE:
        FollowEnabledState(hWnd, record);
        break;
    case WM_TIMER:
        if (wParam != kTimerId)
            break;
        if (record.position < INT_MAX)
            ++record.position;
        ::InvalidateRect(hWnd, nullptr, FALSE);
        ::UpdateWindow(hWnd);
        return 1;
    case WM_GETOBJECT: {
        // An endless bar has no amount done to tell: its value stays empty,
        // and it says it is busy while it runs.
        AccessibleFacts facts;
        facts.m_nRole = ROLE_SYSTEM_PROGRESSBAR;
        facts.m_bHasValue = true;
        if (::IsWindowEnabled(hWnd))
            facts.m_nStateAdded = STATE_SYSTEM_BUSY | STATE_SYSTEM_ANIMATED;
        return AnswerGetObject(hWnd, wParam, lParam, facts);
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (HDC dc = ::BeginPaint(hWnd, &ps))
            Paint(hWnd, record, dc);
        ::EndPaint(hWnd, &ps);
        return 0;
    }
    case PBM_VKGETINTERVAL:
        return record.interval;
    case PBM_VKSETINTERVAL:
        // SetTimer takes no longer period; a longer one would read as negative.
        record.interval = static_cast<int>(std::min<WPARAM>(wParam, USER_TIMER_MAXIMUM));
        if (::IsWindowEnabled(hWnd))
            FollowEnabledState(hWnd, record);
        return 1;
    case PBM_VKGETBLOCKCOUNT:
        return record.blockCount;
    case PBM_VKSETBLOCKCOUNT:
        if (wParam < 1 || wParam > kMaxBlockCount)
            return 0;
        record.blockCount = static_cast<int>(wParam);
        return 1;
    default:
        break;
    }
    return ::DefWindowProcW(hWnd, msg, wParam, lParam);
}

} // namespace

void RegisterProgressBarClass()
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_GLOBALCLASS;
    wc.lpfnWndProc = ProgressBarWindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kProgressBarClass;
    if (!::RegisterClassExW(&wc))
        vklogLog(kGuiTag, VKLOG_ERROR, L"RegisterProgressBarClass: RegisterClassExW failed (%u)", ::GetLastError());
}

void UnregisterProgressBarClass()
{
    ::UnregisterClassW(kProgressBarClass, ::GetModuleHandleW(nullptr));
}

LRESULT CALLBACK ProgressBarWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // Creation and destruction are the system's, sent on the window's own
    // thread: from another thread they are forged.
    if ((msg == WM_CREATE || msg == WM_DESTROY) && CWnd::IsFromAnotherThread(msg, wParam, lParam))
        return 0;
    ProgressBarRecord* record = RecordOf(hWnd);
    if (msg == WM_CREATE) {
        if (record)
            return 0;
        record = new (std::nothrow) ProgressBarRecord{0, kDefaultInterval, kDefaultBlockCount};
        if (!record)
            return -1;
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
        ::SendMessageW(hWnd, PBM_VKSETBLOCKCOUNT, kDefaultBlockCount, 0);
        ::SendMessageW(hWnd, PBM_VKSETINTERVAL, kDefaultInterval, 0);
        return ::DefWindowProcW(hWnd, msg, wParam, lParam);
    }
    if (!record)
        return ::DefWindowProcW(hWnd, msg, wParam, lParam);
    return HandleMessage(hWnd, *record, msg, wParam, lParam);
}
