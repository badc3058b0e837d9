#include "events/VKDelegateSubscriberWorkstationLocked.h"

#include "base/Log.h"

VKDelegateSubscriberWorkstationLocked::VKDelegateSubscriberWorkstationLocked(CWnd* target) : m_pTarget(target)
{
    if (int status = Subscribe(VK_EVENT_SESSION, &VK_SESSION_EVENT_CHANNEL))
        vklogLog(kGuiTag, VKLOG_ERROR, L"Subscribe failed (%d)", status);
}

VKDelegateSubscriberWorkstationLocked::~VKDelegateSubscriberWorkstationLocked()
{
    UnSubscribe();
}

void VKDelegateSubscriberWorkstationLocked::HandleEvent(const VKEventRecord* record)
{
    if (!record) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"VKDelegateSubscriberWorkstationLocked::HandleEvent(): pEventInfo is NULL");
        return;
    }
    if (record->nEventCode != VK_SESSION_LOCKING && record->nEventCode != VK_SESSION_LOCKED) {
        vklogLog(kGuiTag, VKLOG_DETAIL, L"VKDelegateSubscriberWorkstationLocked::HandleEvent(): event %d ignored",
                 record->nEventCode);
        return;
    }
    vklogLog(kGuiTag, VKLOG_INFO, L"VKDelegateSubscriberWorkstationLocked::HandleEvent(): workstation locking (%d)",
             record->nEventCode);
    HWND window = m_pTarget ? m_pTarget->m_hWnd : nullptr;
    if (window)
        ::PostMessageW(window, WM_CLOSE, 0, 0);
}
