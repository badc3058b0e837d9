#include "ForegroundLock.h"

namespace {

using SetForegroundWindowFn = BOOL(WINAPI*)(HWND);
using ShowWindowFn = BOOL(WINAPI*)(HWND, int);
using SetWindowPosFn = BOOL(WINAPI*)(HWND, HWND, int, int, int, int, UINT);

// The asking thread may take the foreground: its process holds it, nobody
// does, or its input is the foreground's (AttachThreadInput): then its
// active window is the foreground window.
bool MayTakeForeground()
{
    HWND foreground = GetForegroundWindow();
    if (!foreground)
        return true;
    DWORD process = 0;
    GetWindowThreadProcessId(foreground, &process);
    return process == GetCurrentProcessId() || GetActiveWindow() == foreground;
}

bool IsTopLevel(HWND window)
{
    return window && (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) == 0;
}

BOOL WINAPI LockedSetForegroundWindow(HWND window)
{
    return MayTakeForeground() ? SetForegroundWindow(window) : FALSE;
}

BOOL WINAPI LockedShowWindow(HWND window, int command)
{
    const bool activates = command == SW_SHOWNORMAL || command == SW_SHOW || command == SW_SHOWMAXIMIZED ||
                           command == SW_RESTORE || command == SW_SHOWDEFAULT;
    return ShowWindow(window, activates && IsTopLevel(window) && !MayTakeForeground() ? SW_SHOWNA : command);
}

BOOL WINAPI LockedSetWindowPos(HWND window, HWND after, int x, int y, int cx, int cy, UINT flags)
{
    if (IsTopLevel(window) && !MayTakeForeground())
        flags |= SWP_NOACTIVATE;
    return SetWindowPos(window, after, x, y, cx, cy, flags);
}

BOOL WINAPI LockedBringWindowToTop(HWND window)
{
    return LockedSetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

} // namespace

ForegroundLock::ForegroundLock()
{
    struct Replacement {
        const char* function;
        void* replacement;
    };
    const Replacement replacements[] = {
        {"SetForegroundWindow", reinterpret_cast<void*>(&LockedSetForegroundWindow)},
        {"ShowWindow", reinterpret_cast<void*>(&LockedShowWindow)},
        {"SetWindowPos", reinterpret_cast<void*>(&LockedSetWindowPos)},
        {"BringWindowToTop", reinterpret_cast<void*>(&LockedBringWindowToTop)},
    };
    for (const wchar_t* name : {L"vk.velkor.gui.dll", L"afx.dll"}) {
        HMODULE module = GetModuleHandleW(name);
        m_bApplied = m_bApplied && module;
        for (const Replacement& r : replacements) {
            auto patch = std::make_unique<ImportPatch>(module, "user32.dll", r.function, r.replacement);
            if (patch->Original())
                m_patches.push_back(std::move(patch));
        }
    }
    // The library asks for the foreground itself; the framework shows its dialogs.
    m_bApplied = m_bApplied && m_patches.size() >= 2;
}

ForegroundLock::~ForegroundLock() = default;
