#include "base/HelpTopic.h"

#include "base/Log.h"

#include "qlreg.h"

#include <windows.h>

namespace {

constexpr const wchar_t* kInstallKey = L"SOFTWARE\\Quellon\\Velkor";
constexpr const wchar_t* kHelpPathValue = L"HelpPath";
constexpr REGSAM kRegistry64 = KEY_WOW64_64KEY;
constexpr UINT kHelpContext = 15; // HH_HELP_CONTEXT
constexpr DWORD kHelpPathBytes = 522;

using HtmlHelpFunction = HWND(WINAPI*)(HWND, const wchar_t*, UINT, DWORD_PTR);

// The viewer is found as the HTML Help SDK's loader finds it: the server
// registered for the HTML Help control's class, else hhctrl.ocx. A failed
// load is remembered so that later requests cost nothing.
HtmlHelpFunction LoadHtmlHelp()
{
    static bool s_bTried = false;
    static HtmlHelpFunction s_pHtmlHelp = nullptr;
    if (s_bTried)
        return s_pHtmlHelp;
    s_bTried = true;

    HMODULE viewer = nullptr;
    wchar_t server[MAX_PATH] = {};
    DWORD size = sizeof(server);
    if (qlRegReadStringValueEx(HKEY_CLASSES_ROOT, L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32",
                               nullptr, server, &size, 0) == 0 && server[0])
        viewer = LoadLibraryW(server);
    if (!viewer)
        viewer = LoadLibraryW(L"hhctrl.ocx");
    if (viewer)
        // GetProcAddress answers a generic function pointer; void (*)() is
        // the type that converts to any other without a warning.
        s_pHtmlHelp = reinterpret_cast<HtmlHelpFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(viewer, MAKEINTRESOURCEA(15))));
    if (!s_pHtmlHelp)
        vklogLog(kGuiTag, VKLOG_ERROR, L"DoDisplayTopic: the HTML Help viewer could not be loaded");
    return s_pHtmlHelp;
}

} // namespace

void DoDisplayTopic(int topicId)
{
    DoDisplayTopic(topicId, L"DoDisplayTopic");
}

void DoDisplayTopic(int topicId, const wchar_t* logName)
{
    vklogLog(kGuiTag, VKLOG_ENTRY, L"DoDisplayTopic");
    vklogLog(kGuiTag, VKLOG_INFO, L"Displaying topic %d", topicId);
    wchar_t path[kHelpPathBytes / sizeof(wchar_t)] = {};
    DWORD size = kHelpPathBytes;
    if (qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, kInstallKey, kHelpPathValue, path, &size, kRegistry64) == 0) {
        vklogLog(kGuiTag, VKLOG_INFO, L"%s: qlRegReadStringValueEx(%s, %s) returned %s", logName, kInstallKey,
                 kHelpPathValue, path);
        if (HtmlHelpFunction htmlHelp = LoadHtmlHelp())
            htmlHelp(GetActiveWindow(), path, kHelpContext, static_cast<DWORD_PTR>(topicId));
    } else {
        vklogLog(kGuiTag, VKLOG_INFO, L"DoDisplayTopic: no help file is configured");
    }
    vklogLog(kGuiTag, VKLOG_EXIT, L"DoDisplayTopic");
}
