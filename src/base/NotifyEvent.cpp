#include "base/NotifyEvent.h"

#include "base/Log.h"

#include <cwchar>

void NotifyEvent(int eventId, const wchar_t* reader, WPARAM senderWindow)
{
    vklogLog(kGuiTag, VKLOG_ENTRY, L"NotifyEvent");
    const wchar_t* name = reader ? reader : L"";
    // The record points into the caller's string, which lives only for this
    // call: each delivery is a sent message, never a posted one.
    COPYDATASTRUCT record = {};
    record.dwData = static_cast<ULONG_PTR>(static_cast<unsigned int>(eventId));
    record.cbData = reader ? static_cast<DWORD>((wcslen(reader) + 1) * sizeof(wchar_t)) : 0;
    record.lpData = const_cast<wchar_t*>(reader);

    if (HWND agent = FindWindowW(L"VkTrayHandlerClass", nullptr)) {
        vklogLog(kGuiTag, VKLOG_DETAIL,
                 L"NotifyEvent: Posting registered window message: %d, on reader %s to the Smart Card Agent",
                 eventId, name);
        SendMessageW(agent, WM_COPYDATA, senderWindow, reinterpret_cast<LPARAM>(&record));
    }
    HWND console = FindWindowW(L"VKUserConsoleCL", nullptr);
    if (console && IsWindow(console)) {
        vklogLog(kGuiTag, VKLOG_DETAIL,
                 L"NotifyEvent: Posting registered window message: %d, on reader %s to the User Console",
                 eventId, name);
        SendMessageW(console, WM_COPYDATA, senderWindow, reinterpret_cast<LPARAM>(&record));
    }
    vklogLog(kGuiTag, VKLOG_EXIT, L"NotifyEvent");
}
