#pragma once
// CPINAlwaysPromptDlg: asks the card holder to allow one use of a key that
// needs approval every time. It takes no PIN; it ends when the card leaves
// its reader or the workstation locks. It owns the branding bitmap and the
// workstation-locked subscriber.
#include "dialogs/PinPromptSupport.h"
#include "events/DetectCardRemovedDlg.h"
#include "events/VKDelegateSubscriberWorkstationLocked.h"

class CPINAlwaysPromptDlg : public VKDetectCardRemovedDlg {
public:
    CPINAlwaysPromptDlg(CWnd* parent, const wchar_t* reader);

    INT_PTR DoModal() override;

protected:
    BOOL OnInitDialog() override;
    void OnContextualHelp() override;
    void OnModalStep(ModalStep step, HINSTANCE instance, HWND owner) override;

private:
    BannerBitmaps m_banners;
    VKDelegateSubscriberWorkstationLocked m_workstationLocked;
};
