#include "events/DetectCardRemovedDlg.h"

#include "base/Log.h"
#include "events/EventMessages.h"
#include "events/VKDelegateSubscriberCardRemoved.h"

#include <new>

VKDetectCardRemovedDlg::VKDetectCardRemovedDlg(UINT templateId, CWnd* parent, const wchar_t* readerName)
    : CVKActivatedDlg(templateId, parent), m_sReaderName(readerName)
{
}

VKDetectCardRemovedDlg::~VKDetectCardRemovedDlg()
{
    StopDetectingRemoveEvent();
}

BOOL VKDetectCardRemovedDlg::OnInitDialog()
{
    OnInitDialogSecure();
    m_pCardRemovedSubscriber.reset(new (std::nothrow) VKDelegateSubscriberCardRemoved(this, g_uCardRemovedEvent, m_sReaderName));
    return TRUE;
}

void VKDetectCardRemovedDlg::OnDestroy()
{
    CVKActivatedDlg::OnDestroy();
    StopDetectingRemoveEvent();
}

bool VKDetectCardRemovedDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (IsRegisteredMessage(msg, g_uCardRemovedEvent)) {
        result = OnCardEvent(wParam, lParam);
        return true;
    }
    return CVKActivatedDlg::OnMessage(msg, wParam, lParam, result);
}

LRESULT VKDetectCardRemovedDlg::OnCardEvent(WPARAM, LPARAM)
{
    EndDialog(IDCANCEL);
    return 0;
}

void VKDetectCardRemovedDlg::StopDetectingRemoveEvent()
{
    if (!m_pCardRemovedSubscriber)
        return;
    // Once deleted, the subscriber posts nothing more to this window.
    m_pCardRemovedSubscriber.reset();
    vklogLog(kGuiTag, VKLOG_INFO, L"VKDetectCardRemovedDlg::StopDetectingRemoveEvent: Card removed");
}
