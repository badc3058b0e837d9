#pragma once
// CChangePINDialogMain: the frame of the change-PIN dialog (title, icon, OK
// and Cancel) around one CChangePINDialog page, which it owns. It ends when
// the card leaves its reader or the workstation locks; Cancel, Escape and
// the close box are refused while cancelling is disabled.
#include "dialogs/ChangePINDialog.h"
#include "events/VKDelegateSubscriberWorkstationLocked.h"

#include <memory>

class VKDelegateSubscriberCardRemoved;

class CChangePINDialogMain : public CSecureDialog {
public:
    CChangePINDialogMain(CWnd* parent, const PwdRuleArgs& rules, bool askCurrentPin, const wchar_t* reader,
                         ChangePinTimerCallback timerCallback, void* timerArgument, unsigned int timerPeriod);
    ~CChangePINDialogMain() override;

    INT_PTR DoModal() override;
    CChangePINDialog* Page() const { return m_pPage.get(); }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnClose() override;
    void OnMove(int x, int y) override;
    void OnDestroy() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnModalStep(ModalStep step, HINSTANCE instance, HWND owner) override;

private:
    bool CancelAllowed() const;

    PwdRuleArgs m_rules;
    std::unique_ptr<CChangePINDialog> m_pPage;
    CButton m_okButton;
    bool m_bAskCurrentPin;
    CSecStr m_sReaderName;
    ChangePinTimerCallback m_pfnTimerCallback;
    void* m_pTimerArgument;
    unsigned int m_uTimerPeriod;
    CIcon m_hIcon;
    VKDelegateSubscriberWorkstationLocked m_workstationLocked;
    std::unique_ptr<VKDelegateSubscriberCardRemoved> m_pCardRemoved;
};
