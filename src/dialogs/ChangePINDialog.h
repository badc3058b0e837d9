#pragma once
// CChangePINDialog: the page with the current, new and confirmation PIN
// fields, hosting the live policy panel. It enables the frame's OK button
// only while every rule holds. It owns the three PIN strings (wiped when it
// goes) and the panel. Every live page is on a library-wide list.
#include "dialogs/BaseDialog.h"
#include "dialogs/CapsLockSensitiveEdit.h"
#include "policies/PwdRuleArgs.h"

#include <vector>

#include <memory>

class VKPoliciesDlg;

using ChangePinTimerCallback = void(CALLBACK*)(void*);

class VKGUI_CLASS CChangePINDialog : public CBaseDialog {
public:
    // The longest PIN a field takes: callers of GetChangePINInfoFromUser give
    // buffers of kMaxPinChars + 1 wide characters.
    static constexpr int kMaxPinChars = 127;

    CChangePINDialog(int reserved, int backgroundFlag, bool askCurrentPin, RECT* position, PwdRuleArgs* rules,
                     CButton* okButton, CWnd* parent, int topMargin, int leftIndent, int rowSpacing,
                     ChangePinTimerCallback timerCallback, void* timerArgument, int timerPeriod);
    ~CChangePINDialog() override;

    // Judges the PINs in the fields (with `newPin` as the new PIN), sets the
    // OK button and tells whether every rule holds.
    bool VerifyAndUpdateAllPolicies(CSecStr newPin);
    void EraseAllPinBuffers();
    void ResetToolTip();

    const CSecStr& CurrentPin() const { return m_sCurrentPin; }
    const CSecStr& NewPin() const { return m_sNewPin; }

    // Every live page, oldest first.
    static const std::vector<CChangePINDialog*>& Pages();

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR id) override;
    void OnMove(int x, int y) override;
    void OnDestroy() override;
    void DoDataExchange(CDataExchange* dx) override;

    void OnEnChangeEditPin();
    void OnEnChangeEditPinNew();
    void OnEnChangeEditPinConfirm();

private:

    CSecStr m_sCurrentPin;
    CSecStr m_sNewPin;
    CSecStr m_sConfirmPin;
    CCapsLockSensitiveEdit m_editCurrent;
    CCapsLockSensitiveEdit m_editNew;
    CCapsLockSensitiveEdit m_editConfirm;
    PwdRuleArgs m_rules;
    std::unique_ptr<VKPoliciesDlg> m_pPoliciesDlg;
    CButton* m_pOkButton;
    int m_nTopMargin;
    int m_nLeftIndent;
    int m_nRowSpacing;
    bool m_bAskCurrentPin;
    ChangePinTimerCallback m_pfnTimerCallback;
    void* m_pTimerArgument;
    int m_nTimerPeriod;
};
