#include "events/VKDelegateSubscriberCardRemoved.h"

#include "base/Log.h"

VKDelegateSubscriberCardRemoved::VKDelegateSubscriberCardRemoved(CWnd* target, UINT message,
                                                                 const wchar_t* readerName)
    : m_pTarget(target), m_uMessage(message), m_sReaderName(readerName)
{
    if (int status = Subscribe(VK_EVENT_CARD_REMOVED, &VK_CARD_EVENT_CHANNEL))
        vklogLog(kGuiTag, VKLOG_ERROR, L"Subscribe failed (%d)", status);
}

VKDelegateSubscriberCardRemoved::~VKDelegateSubscriberCardRemoved()
{
    UnSubscribe();
}

void VKDelegateSubscriberCardRemoved::HandleEvent(const VKEventRecord* record)
{
    if (!record || !m_pTarget)
        return;
    // The window may not exist yet (or any more); the event is then dropped.
    HWND window = m_pTarget->m_hWnd;
    if (!window)
        return;
    if (!m_sReaderName.IsEmpty() && m_sReaderName.CompareNoCase(record->pszReaderName) != 0)
        return;
    ::PostMessageW(window, m_uMessage, 1, 0);
}
