#include "popup/PopupAlert.h"

#include "base/Log.h"

namespace {
// Asks the popup's own thread to hide it; wParam is the result to report.
constexpr UINT kHideRequest = WM_APP + 0x201;
}

CPopupAlert::CPopupAlert() = default;

CPopupAlert::~CPopupAlert() = default;

void CPopupAlert::Hide(UINT nResult)
{
    HWND window = m_hWnd;
    if (!m_bShown || !window) {
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::Hide: Popup is already hidden, do nothing");
        return;
    }
    ::PostMessageW(window, kHideRequest, nResult, 0);
}
