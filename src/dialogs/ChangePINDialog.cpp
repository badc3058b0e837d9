#include "dialogs/ChangePINDialog.h"

#include "base/Foreground.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "policies/VKPoliciesDlg.h"

#include "pinrc_ids.h"

#include <algorithm>
#include <new>

namespace {

constexpr UINT_PTR kKeepAliveTimer = 1;

std::vector<CChangePINDialog*>& PageList()
{
    static std::vector<CChangePINDialog*> pages;
    return pages;
}

void SetTextIfLoaded(HWND control, UINT id)
{
    CSecStr text = LoadResourceString(id);
    if (control && !text.IsEmpty())
        ::SetWindowTextW(control, text);
}


} // namespace

CChangePINDialog::CChangePINDialog(int, int backgroundFlag, bool askCurrentPin, RECT* position, PwdRuleArgs* rules,
                                   CButton* okButton, CWnd* parent, int topMargin, int leftIndent, int rowSpacing,
                                   ChangePinTimerCallback timerCallback, void* timerArgument, int timerPeriod)
    : CBaseDialog(IDD_CHANGE_PIN_PAGE, backgroundFlag, position, parent), m_rules(rules ? *rules : PwdRuleArgs{}),
      m_pOkButton(okButton), m_nTopMargin(topMargin),
      m_nLeftIndent(leftIndent), m_nRowSpacing(rowSpacing), m_bAskCurrentPin(askCurrentPin),
      m_pfnTimerCallback(timerCallback), m_pTimerArgument(timerArgument), m_nTimerPeriod(timerPeriod)
{
    if (!rules) {
        m_rules.nMinPINLen = -1;
        m_rules.nMaxPINLen = -1;
    }
    PageList().push_back(this);
}

CChangePINDialog::~CChangePINDialog()
{
    // The panel goes before the page's window, which would take the panel's with it.
    m_pPoliciesDlg.reset();
    auto& pages = PageList();
    pages.erase(std::remove(pages.begin(), pages.end(), this), pages.end());
    EraseAllPinBuffers();
    if (m_hWnd)
        DestroyWindow();
}

const std::vector<CChangePINDialog*>& CChangePINDialog::Pages()
{
    return PageList();
}

void CChangePINDialog::DoDataExchange(CDataExchange* dx)
{
    DDX_Control(dx, IDC_CURRENT_PIN_EDIT, m_editCurrent);
    DDX_Control(dx, IDC_NEW_PIN_EDIT, m_editNew);
    DDX_Control(dx, IDC_CONFIRM_PIN_EDIT, m_editConfirm);
}

BOOL CChangePINDialog::OnInitDialog()
{
    ScopedFunctionLog log(L"CChangePINDialog::OnInitDialog");
    CBaseDialog::OnInitDialog();
    for (int id : {IDC_CURRENT_PIN_EDIT, IDC_NEW_PIN_EDIT, IDC_CONFIRM_PIN_EDIT})
        ::SendMessageW(GetDlgItemHwnd(id), EM_LIMITTEXT, kMaxPinChars, 0);
    SetTextIfLoaded(GetDlgItemHwnd(IDC_CURRENT_PIN_LABEL), IDS_CURRENT_PIN_LABEL);
    SetTextIfLoaded(GetDlgItemHwnd(IDC_NEW_PIN_LABEL), IDS_NEW_PIN_LABEL);
    SetTextIfLoaded(GetDlgItemHwnd(IDC_CONFIRM_PIN_LABEL), IDS_CONFIRM_PIN_LABEL);
    if (m_bAskCurrentPin) {
        SetTextIfLoaded(GetDlgItemHwnd(IDC_CHANGE_PIN_INSTRUCTION), IDS_CHANGE_PIN_INSTRUCTION);
    } else {
        ::ShowWindow(GetDlgItemHwnd(IDC_CURRENT_PIN_LABEL), SW_HIDE);
        ::ShowWindow(GetDlgItemHwnd(IDC_CURRENT_PIN_EDIT), SW_HIDE);
        SetTextIfLoaded(GetDlgItemHwnd(IDC_CHANGE_PIN_INSTRUCTION), IDS_NEW_PIN_INSTRUCTION);
    }

    RECT placeholder = ChildRect(GetDlgItemHwnd(IDC_POLICIES_PLACEHOLDER));
    m_pPoliciesDlg.reset(new (std::nothrow) VKPoliciesDlg(&m_rules, m_nBackgroundFlag, &placeholder, this, m_nTopMargin,
                                                       m_nLeftIndent, m_nRowSpacing));
    if (m_pPoliciesDlg && m_pPoliciesDlg->LocCreate(this)) {
        m_pPoliciesDlg->ShowWindow(SW_SHOW);
        ::UpdateWindow(m_pPoliciesDlg->m_hWnd);
        RECT panel = ChildRect(m_pPoliciesDlg->m_hWnd);
        ResizeDlg(0, 0, placeholder.bottom - panel.bottom);
    } else {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CChangePINDialog::OnInitDialog: the policy panel could not be created");
    }

    TakeForeground(m_hWnd);
    ::SetFocus(GetDlgItemHwnd(m_bAskCurrentPin ? IDC_CURRENT_PIN_EDIT : IDC_NEW_PIN_EDIT));
    if (m_pfnTimerCallback && m_nTimerPeriod != 0)
        SetTimer(kKeepAliveTimer, static_cast<UINT>(m_nTimerPeriod));
    return TRUE;
}

BOOL CChangePINDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT code = HIWORD(wParam);
    if (code == EN_CHANGE || code == EN_SETFOCUS) {
        switch (LOWORD(wParam)) {
        case IDC_CURRENT_PIN_EDIT:
            OnEnChangeEditPin();
            return TRUE;
        case IDC_NEW_PIN_EDIT:
            OnEnChangeEditPinNew();
            return TRUE;
        case IDC_CONFIRM_PIN_EDIT:
            OnEnChangeEditPinConfirm();
            return TRUE;
        default:
            break;
        }
    }
    return CBaseDialog::OnCommand(wParam, lParam);
}

void CChangePINDialog::OnEnChangeEditPin()
{
    m_sCurrentPin = ReadEdit(IDC_CURRENT_PIN_EDIT);
    OnEnChangeEditPinNew();
}

void CChangePINDialog::OnEnChangeEditPinNew()
{
    m_sNewPin = ReadEdit(IDC_NEW_PIN_EDIT);
    VerifyAndUpdateAllPolicies(m_sNewPin);
}

void CChangePINDialog::OnEnChangeEditPinConfirm()
{
    m_sConfirmPin = ReadEdit(IDC_CONFIRM_PIN_EDIT);
    OnEnChangeEditPinNew();
}

bool CChangePINDialog::VerifyAndUpdateAllPolicies(CSecStr newPin)
{
    ScopedFunctionLog log(L"CChangePINDialog::VerifyAndUpdateAllPolicies");
    CSecStr current = ReadEdit(IDC_CURRENT_PIN_EDIT);
    CSecStr typedNew = ReadEdit(IDC_NEW_PIN_EDIT);
    CSecStr confirmation = ReadEdit(IDC_CONFIRM_PIN_EDIT);
    vklogLog(kGuiTag, VKLOG_DETAIL, L"m_pPoliciesDlg: %d", m_pPoliciesDlg != nullptr);
    HWND ok = m_pOkButton ? m_pOkButton->m_hWnd : nullptr;
    bool holds = true;
    if (m_pPoliciesDlg && !m_pPoliciesDlg->VerifyAndUpdatePolicies(current, newPin, typedNew, confirmation)) {
        if (ok)
            ::EnableWindow(ok, FALSE);
        holds = false;
    } else if (ok) {
        ::EnableWindow(ok, !(m_bAskCurrentPin && current.IsEmpty()));
    }
    HidePinFromMemory(current);
    HidePinFromMemory(typedNew);
    HidePinFromMemory(confirmation);
    HidePinFromMemory(newPin);
    return holds;
}

void CChangePINDialog::EraseAllPinBuffers()
{
    HidePinFromMemory(m_sCurrentPin);
    HidePinFromMemory(m_sNewPin);
    HidePinFromMemory(m_sConfirmPin);
}

void CChangePINDialog::ResetToolTip()
{
    m_editCurrent.ResetToolTip();
    m_editNew.ResetToolTip();
    m_editConfirm.ResetToolTip();
}

void CChangePINDialog::OnTimer(UINT_PTR id)
{
    ScopedFunctionLog log(L"CChangePINDialog::OnTimer");
    // Only our own timer keeps the card alive, not a timer message anyone posts.
    if (id == kKeepAliveTimer && m_pfnTimerCallback)
        m_pfnTimerCallback(m_pTimerArgument);
}

void CChangePINDialog::OnMove(int x, int y)
{
    CBaseDialog::OnMove(x, y);
    ResetToolTip();
}

void CChangePINDialog::OnDestroy()
{
    if (m_pPoliciesDlg) {
        m_pPoliciesDlg.reset();
    }
    CBaseDialog::OnDestroy();
}
