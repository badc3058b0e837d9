#include "policies/VKPoliciesDlg.h"

#include "base/AccessibleOverlay.h"
#include "base/Dpi.h"
#include "base/LibraryState.h"
#include "base/Log.h"

#include "pinrc_ids.h"

#include <string>

namespace {

// In the order the rows are laid out, the confirmation last.
const PolicyRow kMinRow = {L"VKPoliciesDlg::SetMinPINLen", IDC_RULE_MIN_TEXT, IDS_RULE_MIN, IDC_RULE_MIN_ICON};
const PolicyRow kMaxRow = {L"VKPoliciesDlg::SetMaxPINLen", IDC_RULE_MAX_TEXT, IDS_RULE_MAX, IDC_RULE_MAX_ICON};
const PolicyRow kWeakRow = {L"VKPoliciesDlg::SetWeakPIN", IDC_RULE_WEAK_TEXT, IDS_RULE_WEAK, IDC_RULE_WEAK_ICON};
const PolicyRow kSameRow = {L"VKPoliciesDlg::SetPreventSamePIN", IDC_RULE_SAME_TEXT, IDS_RULE_SAME,
                            IDC_RULE_SAME_ICON};
const PolicyRow kAlphaRow = {L"VKPoliciesDlg::SetAlphaPIN", IDC_RULE_ALPHA_TEXT, IDS_RULE_ALPHA,
                             IDC_RULE_ALPHA_ICON};
const PolicyRow kConfirmRow = {L"VKPoliciesDlg::SetConfirmPIN", IDC_RULE_CONFIRM_TEXT, IDS_RULE_CONFIRM,
                               IDC_RULE_CONFIRM_ICON};

} // namespace

namespace {

// A control's window rectangle in the coordinates of `parent`'s client area.
RECT RectIn(HWND parent, HWND control)
{
    RECT r = {};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

} // namespace

VKPoliciesDlg::VKPoliciesDlg(PwdRuleArgs* rules, int backgroundFlag, RECT* position, CWnd* parent, int topMargin,
                             int leftIndent, int rowSpacing)
    : CBaseDialog(IDD_POLICIES, backgroundFlag, position, parent), m_rules(ActiveRules::From(rules)),
      m_nTopMargin(topMargin), m_nLeftIndent(leftIndent), m_nRowSpacing(rowSpacing), m_pOwner(parent)
{
    // The rule icons take the size of the owner's DPI, in whose window the panel sits.
    const UINT dpi = DpiOf(parent ? parent->m_hWnd : nullptr);
    m_hSatisfiedIcon.Attach(LoadIconForDpi(g_hResourceModule, IDI_RULE_SATISFIED, 16, dpi));
    m_hViolatedIcon.Attach(LoadIconForDpi(g_hResourceModule, IDI_RULE_VIOLATED, 16, dpi));
}

VKPoliciesDlg::~VKPoliciesDlg()
{
    if (m_hWnd)
        DestroyWindow();
}

BOOL VKPoliciesDlg::OnInitDialog()
{
    CBaseDialog::OnInitDialog();
    CSecStr header;
    if (header.LoadStringW(g_hResourceModule, IDS_RULES_HEADER))
        ::SetWindowTextW(GetDlgItemHwnd(IDC_RULES_HEADER), header);
    PutPoliciesInBox();
    return TRUE;
}

bool VKPoliciesDlg::IsPinWeak(CSecStr& pin)
{
    return ::IsPinWeak(pin, static_cast<size_t>(pin.GetLength()));
}

bool VKPoliciesDlg::IsAlphaPinWeak(CSecStr& pin)
{
    return ::IsAlphaPinWeak(pin, static_cast<size_t>(pin.GetLength()));
}

bool VKPoliciesDlg::VerifyAndUpdatePolicies(CSecStr currentPin, CSecStr newPin, CSecStr newPinAgain,
                                            CSecStr confirmPin)
{
    ScopedFunctionLog log(L"VKPoliciesDlg::VerifyAndUpdatePolicies");
    const RuleVerdicts v = CheckPinRules(m_rules, currentPin, newPin, newPinAgain, confirmPin);
    auto shown = [](RuleState s) { return s != RuleState::Hidden; };
    auto holds = [](RuleState s) { return s == RuleState::Satisfied; };
    SetMinPINLen(m_rules.minLength, shown(v.minLength), holds(v.minLength));
    SetMaxPINLen(m_rules.maxLength, shown(v.maxLength), holds(v.maxLength));
    SetPreventSamePIN(shown(v.samePin), holds(v.samePin));
    SetWeakPIN(shown(v.weakPin), holds(v.weakPin));
    SetAlphaPIN(shown(v.alphanumeric), holds(v.alphanumeric));
    SetConfirmPIN(holds(v.confirmation));
    if (m_hWnd) {
        ::EnableWindow(GetDlgItemHwnd(IDC_RULES_HEADER), TRUE);
        ShowWindow(SW_SHOW);
    }
    HidePinFromMemory(currentPin);
    HidePinFromMemory(newPin);
    HidePinFromMemory(newPinAgain);
    HidePinFromMemory(confirmPin);
    return v.allHold;
}

void VKPoliciesDlg::SetMinPINLen(int length, bool active, bool satisfied)
{
    CSecStr text;
    text.Format(LoadResourceString(IDS_RULE_MIN), length);
    SetRow(kMinRow, text, active, satisfied);
}

void VKPoliciesDlg::SetMaxPINLen(int length, bool active, bool satisfied)
{
    CSecStr text;
    text.Format(LoadResourceString(IDS_RULE_MAX), length);
    SetRow(kMaxRow, text, active, satisfied);
}

void VKPoliciesDlg::SetWeakPIN(bool active, bool satisfied)
{
    SetRow(kWeakRow, LoadResourceString(kWeakRow.text), active, satisfied);
}

void VKPoliciesDlg::SetPreventSamePIN(bool active, bool satisfied)
{
    SetRow(kSameRow, LoadResourceString(kSameRow.text), active, satisfied);
}

void VKPoliciesDlg::SetAlphaPIN(bool active, bool satisfied)
{
    SetRow(kAlphaRow, LoadResourceString(kAlphaRow.text), active, satisfied);
}

void VKPoliciesDlg::SetConfirmPIN(bool satisfied)
{
    SetRow(kConfirmRow, LoadResourceString(kConfirmRow.text), true, satisfied);
}

namespace {

constexpr UINT_PTR kRuleRowSubclass = 1;
enum RuleRowState : DWORD_PTR { kRuleHolds = 1, kRuleNotMet = 2 };

// A rule row's text, as a screen reader hears it: the rule, then whether
// the PIN typed so far meets it (the icon beside it says so to the eye).
LRESULT CALLBACK RuleRowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR state)
{
    if (msg == WM_GETOBJECT) {
        wchar_t text[512] = {};
        ::GetWindowTextW(hWnd, text, ARRAYSIZE(text));
        AccessibleFacts facts;
        facts.m_sName = std::wstring(text) + L" " +
                        LoadResourceString(state == kRuleHolds ? IDS_RULE_HOLDS : IDS_RULE_NOT_MET).GetString();
        facts.m_nRole = ROLE_SYSTEM_STATICTEXT;
        if (const LRESULT answer = AnswerGetObject(hWnd, wParam, lParam, facts))
            return answer;
    } else if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hWnd, RuleRowProc, kRuleRowSubclass);
    }
    return ::DefSubclassProc(hWnd, msg, wParam, lParam);
}

} // namespace

void VKPoliciesDlg::SetRow(const PolicyRow& row, const CSecStr& text, bool active, bool satisfied)
{
    ScopedFunctionLog log(row.setter);
    HWND icon = m_hWnd ? GetDlgItemHwnd(row.iconControl) : nullptr;
    HWND label = m_hWnd ? GetDlgItemHwnd(row.textControl) : nullptr;
    // A text that cannot be loaded leaves the row's text as it was.
    if (label && !text.IsEmpty())
        ::SetWindowTextW(label, text);
    if (active) {
        if (label)
            ::ShowWindow(label, SW_SHOW);
        if (icon)
            ::ShowWindow(icon, SW_SHOW);
        SetPolicyIcon(icon, satisfied ? m_hSatisfiedIcon : m_hViolatedIcon);
        // Installing the subclass again only changes what it tells.
        if (label)
            ::SetWindowSubclass(label, RuleRowProc, kRuleRowSubclass, satisfied ? kRuleHolds : kRuleNotMet);
    } else {
        if (label)
            ::ShowWindow(label, SW_HIDE);
        if (icon)
            ::ShowWindow(icon, SW_HIDE);
    }
}

void VKPoliciesDlg::SetPolicyIcon(HWND iconControl, HICON icon)
{
    ScopedFunctionLog log(L"VKPoliciesDlg::SetPolicyIcon");
    if (!iconControl)
        return;
    // Repainting only on a change keeps typing from flickering the panel.
    if (reinterpret_cast<HICON>(::SendMessageW(iconControl, STM_GETICON, 0, 0)) == icon)
        return;
    ::SendMessageW(iconControl, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    ::UpdateWindow(m_hWnd);
}

void VKPoliciesDlg::PutPoliciesInBox()
{
    ScopedFunctionLog log(L"VKPoliciesDlg::PutPoliciesInBox");
    HWND header = GetDlgItemHwnd(IDC_RULES_HEADER);
    const PolicyRow* rows[] = {&kMinRow, &kMaxRow, &kWeakRow, &kSameRow, &kAlphaRow, &kConfirmRow};
    const bool active[] = {m_rules.minLength != -1, m_rules.maxLength != -1, m_rules.weak, m_rules.preventSame,
                           m_rules.numericOnly, true};
    if (!header)
        return;
    for (const PolicyRow* row : rows)
        if (!GetDlgItemHwnd(row->textControl) || !GetDlgItemHwnd(row->iconControl))
            return;

    const RECT box = RectIn(m_hWnd, header);
    int optionalHeights = 0;
    for (int i = 0; i < 5; ++i)
        if (active[i]) {
            RECT r = RectIn(m_hWnd, GetDlgItemHwnd(rows[i]->textControl));
            optionalHeights += r.bottom - r.top;
        }
    const RECT confirm = RectIn(m_hWnd, GetDlgItemHwnd(kConfirmRow.textControl));

    // The margins are given in pixels at 96 DPI; the template's rows grow with the DPI.
    const UINT dpi = DpiOf(m_hWnd);
    const int topMargin = ScaleForDpi(m_nTopMargin, dpi);
    const int leftIndent = ScaleForDpi(m_nLeftIndent, dpi);
    const int rowSpacing = ScaleForDpi(m_nRowSpacing, dpi);
    int y = box.top + topMargin + rowSpacing;
    for (int i = 0; i < 6; ++i) {
        HWND text = GetDlgItemHwnd(rows[i]->textControl);
        HWND icon = GetDlgItemHwnd(rows[i]->iconControl);
        if (!active[i]) {
            // Left where the template put them, they would show through.
            ::ShowWindow(text, SW_HIDE);
            ::ShowWindow(icon, SW_HIDE);
            continue;
        }
        RECT t = RectIn(m_hWnd, text);
        RECT c = RectIn(m_hWnd, icon);
        ::SetWindowPos(text, nullptr, t.left + leftIndent, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::SetWindowPos(icon, nullptr, c.left + leftIndent, y - ScaleForDpi(1, dpi), 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        y += (t.bottom - t.top) + rowSpacing;
    }

    const int spare = (box.bottom - box.top) - topMargin - (m_rules.OptionalRowCount() + 2) * rowSpacing -
                      optionalHeights - (confirm.bottom - confirm.top);
    ResizeDlg(0, 0, spare);
    ResizeDlg(IDC_RULES_HEADER, 0, spare);
}
