// Makes this test program see Windows 2000, the one system whose password
// edits show no caps-lock balloon. Wine reports the version set for the
// program's name; the program sets it and starts itself again before any
// test runs.
#include "ChildProcess.h"

#include <windows.h>

#include <string>

namespace {

bool IsWindows2000()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    return GetVersionExW(&version) && version.dwMajorVersion == 5 && version.dwMinorVersion == 0;
}

void RunAgainAsWindows2000()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    std::wstring key = L"Software\\Wine\\AppDefaults\\" + name;
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr))
        return;
    const wchar_t version[] = L"win2k";
    RegSetValueExW(handle, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), sizeof(version));
    RegCloseKey(handle);

    ExitProcess(RunThisProgramAgain());
}

const bool g_bRanAgain = IsWindows2000() ? false : (RunAgainAsWindows2000(), true);

} // namespace
