#pragma once
// The windowing-extension module's notification toasts and UI mode.
#include <windows.h>

#ifdef QLWINEXTU_BUILD
#define QLWINEXTU_API __declspec(dllexport)
#else
#define QLWINEXTU_API __declspec(dllimport)
#endif

class CToastManager {
public:
    virtual ~CToastManager() = default;
    // Shows the toast and waits: -1 when it could not be shown, otherwise
    // the holder's answer.
    virtual int Show() = 0;
    // Shows the toast and returns at once.
    virtual void ShowNoWait() = 0;
    // Takes a toast still on screen away.
    virtual void Withdraw() = 0;
};

// A manager for one toast, or null when the system shows no toasts (callers
// then fall back to a dialog).
QLWINEXTU_API CToastManager* qlCreateToastManager(const wchar_t* title, const wchar_t* text, bool persistent);
QLWINEXTU_API void qlDeleteToastManager(CToastManager* manager);
QLWINEXTU_API bool qlIsWinRTSupported();
// 1 for the desktop; 2 and 3 for full-screen modes where dialogs are not seen.
QLWINEXTU_API int qlGetUIMode();
