#include "events/VKReaderEventSubscriber.h"

#include "frame/Log.h"

#include <atomic>
#include <new>

namespace {

std::atomic<long> g_nLiveCopies{0};

} // namespace

VKReaderEventSubscriber::VKReaderEventSubscriber(CWnd* dialog, UINT message, int eventKind)
    : m_pDialog(dialog), m_uMessage(message)
{
    if (int status = Subscribe(eventKind, &VK_CARD_EVENT_CHANNEL))
        vklogLog(kGuiTag, VKLOG_ERROR, L"Subscribe failed (%d)", status);
}

VKReaderEventSubscriber::~VKReaderEventSubscriber()
{
    UnSubscribe();
}

void VKReaderEventSubscriber::HandleEvent(const VKEventRecord* record)
{
    CSecStr* name = nullptr;
    if (record) {
        name = new (std::nothrow) CSecStr(record->pszReaderName);
        if (!name) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"VKReaderEventSubscriber::HandleEvent: out of memory");
            return;
        }
        ++g_nLiveCopies;
    }
    HWND window = m_pDialog ? m_pDialog->m_hWnd : nullptr;
    if (window && ::PostMessageW(window, m_uMessage, 0, reinterpret_cast<LPARAM>(name)))
        return;
    FreeReaderName(reinterpret_cast<LPARAM>(name));
}

void VKReaderEventSubscriber::FreeReaderName(LPARAM readerName)
{
    if (!readerName)
        return;
    delete reinterpret_cast<CSecStr*>(readerName);
    --g_nLiveCopies;
}

void VKReaderEventSubscriber::FreeQueuedReaderNames(HWND window, UINT message)
{
    if (!window || !message)
        return;
    MSG msg;
    while (::PeekMessageW(&msg, window, message, message, PM_REMOVE))
        FreeReaderName(msg.lParam);
}

long VKReaderEventSubscriber::LiveCopies()
{
    return g_nLiveCopies.load();
}
