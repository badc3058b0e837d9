#include "events/CardRemoved.h"

#include "base/Log.h"
#include "popup/PopupAlert.h"

namespace {
constexpr UINT kHiddenByRemoval = 2;
}

CCardRemoved::CCardRemoved(CPopupAlert* popup) : m_pPopupAlert(popup)
{
    Subscribe(VK_EVENT_CARD_REMOVED, &VK_CARD_EVENT_CHANNEL);
}

CCardRemoved::~CCardRemoved()
{
    UnSubscribe();
}

void CCardRemoved::HandleEvent(const VKEventRecord*)
{
    if (!m_pPopupAlert) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CCardRemoved::HandleEvent: m_pPopupAlert is NULL");
        return;
    }
    m_pPopupAlert->Hide(kHiddenByRemoval);
}
