#pragma once
// CPopupAlert: the skinned popup that slides in near the notification area.
// The library keeps one for the whole process, created at attach.
#include "afxwin.h"
#include "frame/VelkorExports.h"

class VKGUI_CLASS CPopupAlert : public CWnd {
public:
    CPopupAlert();
    ~CPopupAlert() override;

    // Set while the popup is on screen.
    bool m_bShown = false;
};
