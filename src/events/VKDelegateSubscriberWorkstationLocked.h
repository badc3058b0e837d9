#pragma once
// Closes a dialog (WM_CLOSE, as if the holder had cancelled) when the
// workstation is being locked. Dialogs that show or take a secret hold one.
#include "afxwin.h"
#include "base/VelkorExports.h"
#include "vkevtsub.h"

class VKGUI_CLASS VKDelegateSubscriberWorkstationLocked : public VKDelegateSubscriber {
public:
    explicit VKDelegateSubscriberWorkstationLocked(CWnd* target);
    ~VKDelegateSubscriberWorkstationLocked() override;
    void HandleEvent(const VKEventRecord* record) override;

private:
    CWnd* m_pTarget;
};
