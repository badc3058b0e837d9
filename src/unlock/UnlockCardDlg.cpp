#include "unlock/UnlockCardDlg.h"

#include "base/Dpi.h"
#include "base/Foreground.h"
#include "base/HelpTopic.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "base/NotifyEvent.h"
#include "base/VelkorExports.h"
#include "cardobj/LayerResult.h"
#include "events/EventMessages.h"
#include "events/VKDelegateSubscriberCardRemoved.h"
#include "policies/VKPoliciesDlg.h"
#include "unlock/UnlockOutcomeDlgs.h"
#include "unlock/UnlockSupport.h"

#include "pinrc_ids.h"
#include "qlreg.h"

#include <initializer_list>
#include <new>

namespace {

constexpr UINT kDisplayPolicies = WM_USER + 1;
constexpr UINT_PTR kKeepAliveTimer = 1;
// What the static mode takes away when there is no challenge to show.
constexpr int kChallengeSectionHeight = 100;
constexpr int kUnlockCodeDigits = 16;
constexpr int kUnlockRefused = kLayerAccessDenied;


} // namespace

CUnlockCardDlg::CUnlockCardDlg(CWnd* parent, PwdRuleArgs* rules, void* context, UnlockCallback unlockCallback,
                               ChallengeCallback challengeCallback, const wchar_t* readerName,
                               UnlockTimerCallback timerCallback, void* timerContext, int timerPeriod)
    : CVKActivatedDlg(IDD_UNLOCK_CARD, parent), m_pContext(context), m_workstationLocked(this),
      m_sReaderName(readerName), m_bNumericOnly(rules ? rules->bNumericOnly : 0),
      m_bWeakPINAllowed(rules ? rules->bWeakPINAllowed : 1), m_nMinPINLen(rules ? rules->nMinPINLen : -1),
      m_nMaxPINLen(rules ? rules->nMaxPINLen : -1), m_pfnUnlock(unlockCallback), m_pfnChallenge(challengeCallback),
      m_pfnTimer(timerCallback), m_pTimerContext(timerContext), m_nTimerPeriod(timerPeriod)
{
}

CUnlockCardDlg::~CUnlockCardDlg() = default;

INT_PTR CUnlockCardDlg::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

BOOL CUnlockCardDlg::OnInitDialog()
{
    ScopedFunctionLog log(L"CUnlockCardDlg::OnInitDialog");
    OnInitDialogSecure();
    SetSmallIcon(*this, IDI_UNLOCK, m_hIcon);
    MakeHeadingBold(*this, IDC_OUTCOME_HEADING, m_fontBold);
    m_editNewPin.SubclassDlgItem(IDC_UNLOCK_NEW_PIN_EDIT, this);
    m_editConfirm.SubclassDlgItem(IDC_UNLOCK_CONFIRM_EDIT, this);

    wchar_t phone[257] = {};
    DWORD size = sizeof(phone) - sizeof(wchar_t);
    LONG status = qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Quellon\\Velkor\\Notifications",
                                         L"ContactTel", phone, &size, KEY_WOW64_64KEY);
    if (status == 0)
        vklogLog(kGuiTag, VKLOG_INFO, L"CUnlockCardDlg::OnInitDialog: ContactTel = %s", phone);
    else
        vklogLog(kGuiTag, VKLOG_INFO, L"CUnlockCardDlg::OnInitDialog: ContactTel not read (0x%x)", status);
    CSecStr contact;
    if (status != 0 || !phone[0])
        contact = LoadResourceString(IDS_HELPDESK_DEFAULT);
    else
        contact.Format(LoadResourceString(IDS_HELPDESK_WITH_PHONE), phone);
    ::SetWindowTextW(GetDlgItemHwnd(IDC_HELPDESK_TEXT), contact);

    ShowChallenge();
    m_pCardRemoved.reset(new (std::nothrow) VKDelegateSubscriberCardRemoved(this, g_uCardRemovedEvent, m_sReaderName));

    ::SendMessageW(GetDlgItemHwnd(IDC_UNLOCK_NEW_PIN_EDIT), EM_SETPASSWORDCHAR, L'*', 0);
    ::SendMessageW(GetDlgItemHwnd(IDC_UNLOCK_CONFIRM_EDIT), EM_SETPASSWORDCHAR, L'*', 0);
    if (m_pfnTimer && m_nTimerPeriod != 0)
        SetTimer(kKeepAliveTimer, static_cast<UINT>(m_nTimerPeriod));
    PostMessage(kDisplayPolicies);
    SetFocus();
    BringToFront(m_hWnd);
    return TRUE;
}

void CUnlockCardDlg::ShowChallenge()
{
    CSecStr challenge;
    if (m_pfnChallenge && m_pfnChallenge(m_pContext, challenge) == 0) {
        vklogLog(kGuiTag, VKLOG_INFO, L"Unlock challenge response");
        CSecStr grouped = GroupByFour(challenge);
        ::SetWindowTextW(GetDlgItemHwnd(IDC_CHALLENGE_TEXT), grouped);
        return;
    }
    vklogLog(kGuiTag, VKLOG_INFO, L"Unlock static");
    for (int id : {IDC_CHALLENGE_LABEL, IDC_HELPDESK_TEXT, IDC_CHALLENGE_LABEL2, IDC_CHALLENGE_TEXT})
        ::ShowWindow(GetDlgItemHwnd(id), SW_HIDE);
    for (int id : {IDC_UNLOCK_STEP_CODE, IDC_UNLOCK_STEP_CODE_TEXT, IDC_UNLOCK_CODE_LABEL, IDC_UNLOCK_CODE_EDIT,
                   IDC_UNLOCK_NEW_PIN_LABEL, IDC_UNLOCK_CODE_LABEL2, IDC_UNLOCK_CONFIRM_LABEL, IDC_UNLOCK_STEP_PIN,
                   IDC_UNLOCK_NEW_PIN_EDIT, IDC_UNLOCK_CONFIRM_EDIT, IDC_UNLOCK_POLICIES_PLACEHOLDER, IDOK, IDCANCEL})
        MoveUpWindow(id, kChallengeSectionHeight);
    RECT r;
    GetWindowRect(&r);
    vklogLog(kGuiTag, VKLOG_DETAIL, L"WindowRect (left=%d,top=%d,right=%d,bottom=%d)", r.left, r.top, r.right,
             r.bottom);
    if (SetWindowPos(nullptr, 0, 0, r.right - r.left, r.bottom - r.top - kChallengeSectionHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
        vklogLog(kGuiTag, VKLOG_DETAIL, L"SetWindowPos succeeded");
    else
        vklogLog(kGuiTag, VKLOG_DETAIL, L"SetWindowPos failed (GetLastError=%ld)", GetLastError());
}

void CUnlockCardDlg::MoveUpWindow(int id, int dy)
{
    OffsetChild(GetDlgItemHwnd(id), -dy);
}

bool CUnlockCardDlg::CreatePoliciesPanel()
{
    if (!m_pStaticPolicies) {
        HWND placeholder = GetDlgItemHwnd(IDC_UNLOCK_POLICIES_PLACEHOLDER);
        if (!placeholder)
            return false;
        RECT spot = ChildRect(placeholder);
        PwdRuleArgs record = {m_bNumericOnly, m_bWeakPINAllowed, 0, m_nMinPINLen, m_nMaxPINLen, 0};
        m_pStaticPolicies.reset(new (std::nothrow) VKPoliciesDlg(&record, 0, &spot, this, 10, 3, 6));
        if (!m_pStaticPolicies || !m_pStaticPolicies->LocCreate(this)) {
            m_pStaticPolicies.reset();
            return false;
        }
        // The panel takes the width of the new-PIN label, and the dialog
        // grows by the panel's height.
        RECT label = ChildRect(GetDlgItemHwnd(IDC_UNLOCK_NEW_PIN_LABEL));
        const int width = label.right - label.left;
        RECT panel;
        m_pStaticPolicies->GetWindowRect(&panel);
        m_pStaticPolicies->SetWindowPos(nullptr, 0, 0, width, panel.bottom - panel.top,
                                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        HWND box = m_pStaticPolicies->GetDlgItemHwnd(IDC_RULES_HEADER);
        int h = panel.bottom - panel.top;
        if (box) {
            RECT b;
            ::GetWindowRect(box, &b);
            ::SetWindowPos(box, nullptr, 0, 0, width, b.bottom - b.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            h = b.bottom - b.top;
        }
        if (h > 0) {
            GrowWindow(m_hWnd, 0, h);
            MoveUpWindow(IDOK, -h);
            MoveUpWindow(IDCANCEL, -h);
        }
        m_pStaticPolicies->SetWindowPos(HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return true;
}

LRESULT CUnlockCardDlg::OnDisplayPINPolicies()
{
    if (!CreatePoliciesPanel())
        return 0;
    // What was typed before the panel came is judged now, not forgotten.
    OnChangeEdit();
    m_pStaticPolicies->ShowWindow(SW_SHOW);
    ::UpdateWindow(m_hWnd);
    return 0;
}

bool CUnlockCardDlg::IsWellFormedUnlockCode(const CSecStr& code)
{
    int digits = 0;
    for (int i = 0; i < code.GetLength(); ++i) {
        const wchar_t c = code.GetAt(i);
        if (c == L'-')
            continue;
        const bool hex = (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
        if (!hex)
            return false;
        ++digits;
    }
    return digits == kUnlockCodeDigits;
}

void CUnlockCardDlg::OnChangeEdit()
{
    // The panel judges the new PIN. It is asked for by a posted message, and
    // text can arrive first (sent by another thread, which the dialog
    // answers before its posted messages): it is made now then, so that a
    // PIN typed early is judged like any other.
    CreatePoliciesPanel();
    CSecStr newPin = ReadEdit(IDC_UNLOCK_NEW_PIN_EDIT);
    CSecStr confirm = ReadEdit(IDC_UNLOCK_CONFIRM_EDIT);
    bool ok = false;
    if (m_pStaticPolicies) {
        const bool rulesHold = m_pStaticPolicies->VerifyAndUpdatePolicies(CSecStr(), newPin, newPin, confirm);
        if (rulesHold) {
            CSecStr code = ReadEdit(IDC_UNLOCK_CODE_EDIT);
            ok = IsWellFormedUnlockCode(code);
            code.Empty();
        }
        m_pStaticPolicies->RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    newPin.Empty();
    confirm.Empty();
    ::EnableWindow(GetDlgItemHwnd(IDOK), ok);
}

BOOL CUnlockCardDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) == EN_CHANGE) {
        switch (LOWORD(wParam)) {
        case IDC_UNLOCK_CONFIRM_EDIT:
        case IDC_UNLOCK_NEW_PIN_EDIT:
        case IDC_UNLOCK_CODE_EDIT:
            OnChangeEdit();
            return TRUE;
        default:
            break;
        }
    }
    if (LOWORD(wParam) == IDC_UNLOCK_NEW_PIN_LABEL && HIWORD(wParam) == BN_CLICKED)
        return TRUE; // the label's click does nothing
    return CVKActivatedDlg::OnCommand(wParam, lParam);
}

void CUnlockCardDlg::ShowFailure(const CSecStr& text)
{
    CUnlockFailedDlg(this, text, 0).DoModal();
}

void CUnlockCardDlg::OnOK()
{
    if (!::IsWindowEnabled(GetDlgItemHwnd(IDOK)))
        return;
    CSecStr newPin = ReadEdit(IDC_UNLOCK_NEW_PIN_EDIT);
    CSecStr confirm = ReadEdit(IDC_UNLOCK_CONFIRM_EDIT);
    CSecStr code = ReadEdit(IDC_UNLOCK_CODE_EDIT);
    if (newPin.Compare(confirm) != 0) {
        MessageBoxW(m_hWnd, LoadResourceString(IDS_UNLOCK_CONFIRM_MISMATCH), L"Velkor", MB_ICONINFORMATION);
        return;
    }
    code.Remove(L'-');
    const int status = m_pfnUnlock ? m_pfnUnlock(m_pContext, code, newPin) : kUnlockRefused;
    code.Empty();
    newPin.Empty();
    confirm.Empty();
    if (status == 0) {
        m_pCardRemoved.reset();
        CUnlockSuccessDlg(this).DoModal();
        NotifyEvent(kEventCardUnlocked, m_sReaderName, reinterpret_cast<WPARAM>(m_hWnd));
        EndDialog(IDOK);
    } else if (status == kUnlockRefused) {
        ShowFailure(LoadResourceString(IDS_UNLOCK_WRONG_CODE));
    } else {
        CSecStr text;
        text.Format(LoadResourceString(IDS_UNLOCK_ERROR), GetErrorString(status));
        ShowFailure(text);
    }
}

void CUnlockCardDlg::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CUnlockCardDlg::OnTimer(UINT_PTR id)
{
    // Only our own timer keeps the card alive, not a timer message anyone posts.
    if (id == kKeepAliveTimer && m_pfnTimer)
        m_pfnTimer(m_pTimerContext);
}

void CUnlockCardDlg::OnMove(int x, int y)
{
    CVKActivatedDlg::OnMove(x, y);
    m_editNewPin.ResetToolTip();
    m_editConfirm.ResetToolTip();
}

void CUnlockCardDlg::OnDestroy()
{
    CVKActivatedDlg::OnDestroy();
    m_pCardRemoved.reset();
    m_fontBold.DeleteObject();
}

bool CUnlockCardDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == kDisplayPolicies) {
        result = OnDisplayPINPolicies();
        return true;
    }
    if (IsRegisteredMessage(msg, g_uCardRemovedEvent)) {
        OnCancel();
        result = 0;
        return true;
    }
    return CVKActivatedDlg::OnMessage(msg, wParam, lParam, result);
}

void CUnlockCardDlg::OnContextualHelp()
{
    DoDisplayTopic(kHelpUnlock);
}
