#pragma once
// CPopupAlert: the skinned popup that slides in near the notification area.
// The library keeps one for the whole process, created at attach.
#include "afxwin.h"
#include "base/VelkorExports.h"

#include <atomic>

class VKGUI_CLASS CPopupAlert : public CWnd {
public:
    CPopupAlert();
    ~CPopupAlert() override;

    // Hides the popup at once and reports `nResult`. Safe from any thread:
    // the work is carried over to the popup's own thread.
    void Hide(UINT nResult);

    // Set while the popup is on screen.
    std::atomic<bool> m_bShown{false};
};
