// Makes this test program run at the DPI its build names (VK_RUN_AT_DPI).
// Wine reads the DPI from the user's "LogPixels" when a program starts, so
// the program sets it, starts itself again and puts the old value back once
// that run has ended.
#include "ChildProcess.h"
#include "ScopedGdi.h"

#include <windows.h>

#include <string>

namespace {

constexpr DWORD kDpi = VK_RUN_AT_DPI;
constexpr const wchar_t* kDesktopKey = L"Control Panel\\Desktop";

DWORD CurrentDpi()
{
    return static_cast<DWORD>(GetDeviceCaps(ScopedGetDC(nullptr), LOGPIXELSY));
}

void RunAgainAtDpi()
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &key, nullptr))
        return;
    DWORD old = 0;
    DWORD size = sizeof(old);
    DWORD type = 0;
    bool hadValue = RegQueryValueExW(key, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&old), &size) == 0 &&
                    type == REG_DWORD;
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kDpi), sizeof(kDpi));

    const DWORD code = RunThisProgramAgain();
    if (hadValue)
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old), sizeof(old));
    else
        RegDeleteValueW(key, L"LogPixels");
    RegCloseKey(key);
    ExitProcess(code);
}

const bool g_bRanAgain = CurrentDpi() == kDpi ? false : (RunAgainAtDpi(), true);

} // namespace
