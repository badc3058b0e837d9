#include "unlock/ResetCardDialog.h"

#include "base/Dpi.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "events/EventMessages.h"
#include "events/VKDelegateSubscriberCardRemoved.h"
#include "unlock/UnlockSupport.h"

#include "pinrc_ids.h"

#include <initializer_list>
#include <new>

namespace {

constexpr UINT_PTR kKeepAliveTimer = 1;
// Puts the focus in the page's active field once the frame is up.
constexpr UINT kFocusActiveField = WM_USER + 1;
constexpr int kChallengeControls[] = {IDC_RESET_CHALLENGE_LABEL, IDC_RESET_CHALLENGE_LABEL2, IDC_RESET_CHALLENGE_TEXT,
                                      IDC_RESET_RESPONSE_EDIT, IDC_RESET_HELPDESK_LABEL, IDC_RESET_RESPONSE_LABEL};

} // namespace

CResetCardDialog::CResetCardDialog(int backgroundFlag, RECT* position, CButton* okButton, CWnd* parent,
                                   ResetTimerCallback timerCallback, void* timerContext, int period)
    : CBaseDialog(IDD_RESET_PAGE, backgroundFlag, position, parent), m_pOkButton(okButton),
      m_pfnTimer(timerCallback), m_pTimerContext(timerContext), m_nPeriod(period)
{
}

CResetCardDialog::~CResetCardDialog()
{
    if (m_hWnd)
        DestroyWindow();
}

void CResetCardDialog::DoDataExchange(CDataExchange* dx)
{
    DDX_Control(dx, IDC_RESET_RESPONSE_EDIT, m_editResponse);
    DDX_Control(dx, IDC_RESET_PIN_EDIT, m_editPin);
    DDX_Control(dx, IDC_RESET_STATIC_CODE_EDIT, m_editStaticCode);
}

BOOL CResetCardDialog::OnInitDialog()
{
    CBaseDialog::OnInitDialog();
    ::SetWindowTextW(GetDlgItemHwnd(IDC_RESET_PIN_EDIT), L"");
    ::SetWindowTextW(GetDlgItemHwnd(IDC_RESET_RESPONSE_EDIT), L"");
    ::SetFocus(GetDlgItemHwnd(IDC_RESET_STATIC_CODE_EDIT));
    ::SendMessageW(GetDlgItemHwnd(IDC_RESET_PIN_RADIO), BM_SETCHECK, BST_CHECKED, 0);
    m_bPinOption = 1;
    return TRUE;
}

int CResetCardDialog::ActiveEdit() const
{
    if (m_bPinOption)
        return IDC_RESET_PIN_EDIT;
    return m_bChallengeMode ? IDC_RESET_RESPONSE_EDIT : IDC_RESET_STATIC_CODE_EDIT;
}

CSecStr CResetCardDialog::GetPin()
{
    return m_hWnd ? ReadEdit(ActiveEdit()) : CSecStr();
}

void CResetCardDialog::OnRadioClicked()
{
    auto enable = [this](int id, bool on) { ::EnableWindow(GetDlgItemHwnd(id), on); };
    const bool pinChosen = ::SendMessageW(GetDlgItemHwnd(IDC_RESET_PIN_RADIO), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (pinChosen) {
        if (m_bChallengeMode) {
            for (int id : kChallengeControls)
                enable(id, false);
        } else {
            enable(IDC_RESET_STATIC_CODE_EDIT, false);
        }
        enable(IDC_RESET_PIN_EDIT, true);
        ::SetFocus(GetDlgItemHwnd(IDC_RESET_PIN_EDIT));
        m_bPinOption = 1;
    } else {
        if (m_bChallengeMode) {
            for (int id : kChallengeControls)
                enable(id, true);
            ::SetFocus(GetDlgItemHwnd(IDC_RESET_RESPONSE_EDIT));
        } else {
            enable(IDC_RESET_STATIC_CODE_EDIT, true);
            ::SetFocus(GetDlgItemHwnd(IDC_RESET_STATIC_CODE_EDIT));
        }
        enable(IDC_RESET_PIN_EDIT, false);
        m_bPinOption = 0;
    }
    OnCheckOkButton();
}

void CResetCardDialog::OnCheckOkButton()
{
    if (!m_pOkButton || !m_pOkButton->m_hWnd)
        return;
    HWND active = GetDlgItemHwnd(ActiveEdit());
    ::EnableWindow(m_pOkButton->m_hWnd, active && ::GetWindowTextLengthW(active) > 0);
}

void CResetCardDialog::CheckWindow(bool clear)
{
    const int active = ActiveEdit();
    for (int id : {IDC_RESET_PIN_EDIT, IDC_RESET_RESPONSE_EDIT, IDC_RESET_STATIC_CODE_EDIT})
        if (id != active || clear)
            WipeEditText(GetDlgItemHwnd(id));
    ::SetFocus(GetDlgItemHwnd(active));
    OnCheckOkButton();
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CResetCardDialog::DisablePIN()
{
    WipeEditText(GetDlgItemHwnd(IDC_RESET_PIN_EDIT));
    ::EnableWindow(GetDlgItemHwnd(IDC_RESET_PIN_EDIT), FALSE);
    ::SendMessageW(GetDlgItemHwnd(IDC_RESET_PIN_RADIO), BM_SETCHECK, BST_UNCHECKED, 0);
    ::EnableWindow(GetDlgItemHwnd(IDC_RESET_PIN_RADIO), FALSE);
    ::SendMessageW(GetDlgItemHwnd(IDC_RESET_CODE_RADIO), BM_SETCHECK, BST_CHECKED, 0);
    ::EnableWindow(GetDlgItemHwnd(IDC_RESET_CODE_RADIO), TRUE);
    m_bPinOption = 0;
    OnRadioClicked();
}

void CResetCardDialog::SetChallenge(CSecStr challenge)
{
    CheckWindow(true);
    ::SendMessageW(GetDlgItemHwnd(IDC_RESET_PIN_RADIO), BM_SETCHECK, BST_CHECKED, 0);
    ::EnableWindow(GetDlgItemHwnd(IDC_RESET_PIN_RADIO), TRUE);
    ::SendMessageW(GetDlgItemHwnd(IDC_RESET_CODE_RADIO), BM_SETCHECK, BST_UNCHECKED, 0);
    ::EnableWindow(GetDlgItemHwnd(IDC_RESET_CODE_RADIO), TRUE);
    OnRadioClicked();
    if (!challenge.IsEmpty()) {
        m_bChallengeMode = 1;
        // Always four groups: what lies beyond sixteen characters is not shown.
        CSecStr shown = challenge.Left(4) + L"-" + challenge.Mid(4, 4) + L"-" + challenge.Mid(8, 4) + L"-" +
                        challenge.Mid(12, 4);
        ::SetWindowTextW(GetDlgItemHwnd(IDC_RESET_CHALLENGE_TEXT), shown);
        ::ShowWindow(GetDlgItemHwnd(IDC_RESET_STATIC_CODE_EDIT), SW_HIDE);
        for (int id : kChallengeControls)
            ::ShowWindow(GetDlgItemHwnd(id), SW_SHOW);
    } else {
        m_bChallengeMode = 0;
        ::ShowWindow(GetDlgItemHwnd(IDC_RESET_STATIC_CODE_EDIT), SW_SHOW);
        for (int id : kChallengeControls)
            ::ShowWindow(GetDlgItemHwnd(id), SW_HIDE);
    }
    HidePinFromMemory(challenge);
}

void CResetCardDialog::StartTimer()
{
    if (m_pfnTimer && m_nPeriod != 0 && m_hWnd)
        SetTimer(kKeepAliveTimer, static_cast<UINT>(m_nPeriod));
}

void CResetCardDialog::StopTimer()
{
    if (m_pfnTimer && m_nPeriod != 0 && m_hWnd)
        KillTimer(kKeepAliveTimer);
}

void CResetCardDialog::OnTimer(UINT_PTR id)
{
    // Only our own timer keeps the card alive, not a timer message anyone posts.
    if (id == kKeepAliveTimer && m_pfnTimer)
        m_pfnTimer(m_pTimerContext);
}

void CResetCardDialog::ResetToolTip()
{
    m_editResponse.ResetToolTip();
    m_editPin.ResetToolTip();
    m_editStaticCode.ResetToolTip();
}

void CResetCardDialog::OnMove(int x, int y)
{
    CBaseDialog::OnMove(x, y);
    ResetToolTip();
}

BOOL CResetCardDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const int id = LOWORD(wParam);
    if (HIWORD(wParam) == BN_CLICKED && (id == IDC_RESET_PIN_RADIO || id == IDC_RESET_CODE_RADIO)) {
        OnRadioClicked();
        return TRUE;
    }
    if (HIWORD(wParam) == EN_CHANGE &&
        (id == IDC_RESET_PIN_EDIT || id == IDC_RESET_RESPONSE_EDIT || id == IDC_RESET_STATIC_CODE_EDIT)) {
        OnCheckOkButton();
        return TRUE;
    }
    return CBaseDialog::OnCommand(wParam, lParam);
}

CResetCardDialogMain::CResetCardDialogMain(int backgroundFlag, CWnd* parent, int reserved1, int reserved2,
                                           int reserved3, const wchar_t* readerName, ResetTimerCallback timerCallback,
                                           void* timerContext, int period)
    : CSecureDialog(IDD_RESET_FRAME, parent), m_nReserved{reserved1, reserved2, reserved3},
      m_nBackgroundFlag(backgroundFlag), m_pfnTimer(timerCallback), m_pTimerContext(timerContext), m_nPeriod(period),
      m_sReaderName(readerName)
{
}

CResetCardDialogMain::~CResetCardDialogMain()
{
    StopDetectingRemoveEvent();
}

INT_PTR CResetCardDialogMain::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

BOOL CResetCardDialogMain::OnInitDialog()
{
    OnInitDialogSecure();
    vklogLog(kGuiTag, VKLOG_DETAIL, L"Loading icon...");
    SetSmallIcon(*this, IDI_CARD, m_hIcon);
    m_okButton.m_hWnd = GetDlgItemHwnd(IDOK);
    RECT placeholder = ChildRect(GetDlgItemHwnd(IDC_RESET_PAGE_PLACEHOLDER));
    m_pPage.reset(new (std::nothrow) CResetCardDialog(m_nBackgroundFlag, &placeholder, &m_okButton, this, m_pfnTimer,
                                                  m_pTimerContext, m_nPeriod));
    if (m_pPage && m_pPage->LocCreate(this)) {
        m_pPage->ShowWindow(SW_SHOW);
        m_pPage->RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        m_pPage->FitOwnerToPage(placeholder);
    }
    CSecStr title = LoadResourceString(IDS_CHANGE_PIN_TITLE);
    if (!title.IsEmpty())
        ::SetWindowTextW(m_hWnd, title);
    m_pCardRemoved.reset(new (std::nothrow) VKDelegateSubscriberCardRemoved(this, g_uCardRemovedEvent, m_sReaderName));
    if (m_pPage)
        m_pPage->StartTimer();
    // The frame returns TRUE, as does a host's frame built on it once it has
    // set the challenge, and the dialog manager then gives the focus to the
    // frame's first tab stop (Cancel, while OK waits for an entry). The
    // holder starts in the field the page made active instead.
    PostMessage(kFocusActiveField);
    return TRUE;
}

void CResetCardDialogMain::OnDestroy()
{
    if (m_pPage)
        m_pPage->StopTimer();
    StopDetectingRemoveEvent();
    CSecureDialog::OnDestroy();
}

void CResetCardDialogMain::StopDetectingRemoveEvent()
{
    m_pCardRemoved.reset();
}

void CResetCardDialogMain::OnMove(int x, int y)
{
    CSecureDialog::OnMove(x, y);
    if (m_pPage)
        m_pPage->ResetToolTip();
}

CSecStr CResetCardDialogMain::GetPin()
{
    return m_pPage ? m_pPage->GetPin() : CSecStr();
}

bool CResetCardDialogMain::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == kFocusActiveField) {
        // Anyone may post this; it only moves the focus to where the holder types.
        if (m_pPage && m_pPage->m_hWnd)
            if (HWND field = ::GetDlgItem(m_pPage->m_hWnd, m_pPage->ActiveEdit()); ::IsWindowEnabled(field))
                ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
        result = 0;
        return true;
    }
    if (IsRegisteredMessage(msg, g_uCardRemovedEvent)) {
        EndDialog(IDCANCEL);
        result = 0;
        return true;
    }
    return CSecureDialog::OnMessage(msg, wParam, lParam, result);
}
