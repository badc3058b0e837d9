#pragma once
// VKPoliciesDlg: the child panel that shows, live, each PIN rule that applies
// with an icon saying whether the PIN typed so far satisfies it. It lays
// its rows out for the rules that apply and sizes itself to them. It owns
// its two icons; its owner owns the panel.
#include "dialogs/BaseDialog.h"
#include "policies/PinRules.h"

// One row of the panel: its text and icon controls and its text.
struct PolicyRow {
    const wchar_t* setter; // named in the log
    int textControl;
    UINT text;
    int iconControl;
};

class VKGUI_CLASS VKPoliciesDlg : public CBaseDialog {
public:
    // `rules` may be null (no rule but the confirmation). The layout values
    // are pixels: space above the first row, indent of every row, space
    // between rows.
    VKPoliciesDlg(PwdRuleArgs* rules, int backgroundFlag, RECT* position, CWnd* parent, int topMargin,
                  int leftIndent, int rowSpacing);
    ~VKPoliciesDlg() override;

    // Judges the PINs, updates every row, wipes the four strings and tells
    // whether every rule that applies holds. Callers pass the new PIN twice.
    bool VerifyAndUpdatePolicies(CSecStr currentPin, CSecStr newPin, CSecStr newPinAgain, CSecStr confirmPin);
    bool IsPinWeak(CSecStr& pin);
    bool IsAlphaPinWeak(CSecStr& pin);

protected:
    BOOL OnInitDialog() override;

private:
    void SetMinPINLen(int length, bool active, bool satisfied);
    void SetMaxPINLen(int length, bool active, bool satisfied);
    void SetWeakPIN(bool active, bool satisfied);
    void SetPreventSamePIN(bool active, bool satisfied);
    void SetAlphaPIN(bool active, bool satisfied);
    void SetConfirmPIN(bool satisfied);
    void SetRow(const PolicyRow& row, const CSecStr& text, bool active, bool satisfied);
    void SetPolicyIcon(HWND iconControl, HICON icon);
    void PutPoliciesInBox();

    ActiveRules m_rules;
    int m_nTopMargin;
    int m_nLeftIndent;
    int m_nRowSpacing;
    CIcon m_hSatisfiedIcon;
    CIcon m_hViolatedIcon;
    CWnd* m_pOwner;
};
