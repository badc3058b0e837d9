#pragma once
// CInitializePinDlg: asks for the first PIN of a card, checked live against
// the PIN-initialization policy, hands it to the host's callback that
// writes it, then shows the card's unlock code. It owns the policy panel and
// the bold heading font.
#include "dialogs/CapsLockSensitiveEdit.h"
#include "events/DetectCardRemovedDlg.h"
#include "policies/PwdRuleArgs.h"

#include <memory>

class VKPoliciesDlg;

using InitPinCallback = int (*)(void* context, CSecStr newPin, int, int, int, int, int, int);
using InitRemoveCodeCallback = int (*)(void* context);
using InitGetCodeCallback = int (*)(void* context, CSecStr& code);

class VKGUI_CLASS CInitializePinDlg : public VKDetectCardRemovedDlg {
public:
    CInitializePinDlg(CWnd* parent, PINPolicies* policies, void* context, InitPinCallback initPin,
                      InitRemoveCodeCallback removeCode, InitGetCodeCallback getCode, const wchar_t* readerName);
    ~CInitializePinDlg() override;
    INT_PTR DoModal() override;
    void ResetToolTip();
    // The policy values in use (defaults where the caller gave none).
    const PINPolicies& Policies() const { return m_policies; }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnMove(int x, int y) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnChangeEditNewPin();
    LRESULT OnDisplayPINPolicies();
    void MoveUpWindow(int id, int dy);

    CCapsLockSensitiveEdit m_editNewPin;
    CCapsLockSensitiveEdit m_editConfirm;
    CSecStr m_sNewPin;
    CSecStr m_sConfirm;
    CFont m_fontBold;
    void* m_pContext;
    PINPolicies m_policies;
    InitPinCallback m_pfnInitPin;
    InitRemoveCodeCallback m_pfnRemoveCode;
    InitGetCodeCallback m_pfnGetCode;
    std::unique_ptr<VKPoliciesDlg> m_pPoliciesDlg;
    CIcon m_hIcon;
};
