#pragma once
// CUnlockCardDlg: unlocks a blocked card. It shows the card's challenge
// (or, when there is none, asks for the static code), takes the 16-digit
// unlock code and a new PIN checked live against the card's PIN rules, and
// unlocks through the card callbacks it is given. It owns both subscribers,
// the bold heading font and the policy panel.
#include "dialogs/CapsLockSensitiveEdit.h"
#include "events/VKActivatedDlg.h"
#include "events/VKDelegateSubscriberWorkstationLocked.h"
#include "policies/PwdRuleArgs.h"

#include <memory>

class VKDelegateSubscriberCardRemoved;
class VKPoliciesDlg;

using UnlockCallback = int (*)(void* context, CSecStr unlockCode, CSecStr newPin);
using ChallengeCallback = int (*)(void* context, CSecStr& challenge);
using UnlockTimerCallback = void(CALLBACK*)(void* timerContext);

class VKGUI_CLASS CUnlockCardDlg : public CVKActivatedDlg {
public:
    CUnlockCardDlg(CWnd* parent, PwdRuleArgs* rules, void* context, UnlockCallback unlockCallback,
                   ChallengeCallback challengeCallback, const wchar_t* readerName, UnlockTimerCallback timerCallback,
                   void* timerContext, int timerPeriod);
    ~CUnlockCardDlg() override;
    INT_PTR DoModal() override;
    void OnContextualHelp() override;

    // A 16-digit hexadecimal unlock code, dashes anywhere.
    static bool IsWellFormedUnlockCode(const CSecStr& code);

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(UINT_PTR id) override;
    void OnMove(int x, int y) override;
    void OnDestroy() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnChangeEdit();
    LRESULT OnDisplayPINPolicies();
    bool CreatePoliciesPanel();
    void ShowChallenge();
    void MoveUpWindow(int id, int dy);
    void ShowFailure(const CSecStr& text);

    CCapsLockSensitiveEdit m_editNewPin;
    CCapsLockSensitiveEdit m_editConfirm;
    void* m_pContext;
    CFont m_fontBold;
    std::unique_ptr<VKDelegateSubscriberCardRemoved> m_pCardRemoved;
    VKDelegateSubscriberWorkstationLocked m_workstationLocked;
    CSecStr m_sReaderName;
    std::unique_ptr<VKPoliciesDlg> m_pStaticPolicies;
    int m_bNumericOnly;
    int m_bWeakPINAllowed;
    int m_nMinPINLen;
    int m_nMaxPINLen;
    UnlockCallback m_pfnUnlock;
    ChallengeCallback m_pfnChallenge;
    UnlockTimerCallback m_pfnTimer;
    void* m_pTimerContext;
    int m_nTimerPeriod;
    CIcon m_hIcon;
};
