#include "dialogs/ChangePINDialogMain.h"

#include "base/Dpi.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "dialogs/PinPromptSupport.h"
#include "events/EventMessages.h"
#include "events/VKDelegateSubscriberCardRemoved.h"

#include "pinrc_ids.h"

#include <new>

namespace {

// The page's layout of the policy panel: top margin, indent, row spacing.
constexpr int kPanelTopMargin = 15;
constexpr int kPanelLeftIndent = 0;
constexpr int kPanelRowSpacing = 6;


} // namespace

CChangePINDialogMain::CChangePINDialogMain(CWnd* parent, const PwdRuleArgs& rules, bool askCurrentPin,
                                           const wchar_t* reader, ChangePinTimerCallback timerCallback,
                                           void* timerArgument, unsigned int timerPeriod)
    : CSecureDialog(IDD_CHANGE_PIN, parent), m_rules(rules), m_bAskCurrentPin(askCurrentPin), m_sReaderName(reader),
      m_pfnTimerCallback(timerCallback), m_pTimerArgument(timerArgument), m_uTimerPeriod(timerPeriod),
      m_workstationLocked(this)
{
}

CChangePINDialogMain::~CChangePINDialogMain() = default;

INT_PTR CChangePINDialogMain::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

void CChangePINDialogMain::OnModalStep(ModalStep step, HINSTANCE instance, HWND owner)
{
    LogModalStep(L"CChangePINDialogMain", *this, step, instance, owner);
}

BOOL CChangePINDialogMain::OnInitDialog()
{
    ScopedFunctionLog log(L"CChangePINDialogMain::OnInitDialog");
    OnInitDialogSecure();
    vklogLog(kGuiTag, VKLOG_DETAIL, L"Loading icon...");
    m_hIcon.Attach(LoadIconForDpi(g_hResourceModule, IDI_CARD, 16, DpiOf(m_hWnd)));
    if (m_hIcon)
        SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon.GetSafeHandle()));

    m_okButton.m_hWnd = GetDlgItemHwnd(IDOK);
    if (m_rules.bDisableCancel)
        ::EnableWindow(GetDlgItemHwnd(IDCANCEL), FALSE);

    RECT placeholder = ChildRect(GetDlgItemHwnd(IDC_PAGE_PLACEHOLDER));
    m_pPage.reset(new (std::nothrow)
        CChangePINDialog(0, 0, m_bAskCurrentPin, &placeholder, &m_rules, &m_okButton, this, kPanelTopMargin,
                         kPanelLeftIndent, kPanelRowSpacing, m_pfnTimerCallback, m_pTimerArgument,
                         static_cast<int>(m_uTimerPeriod)));
    if (m_pPage && m_pPage->LocCreate(this)) {
        m_pPage->ShowWindow(SW_SHOW);
        ::UpdateWindow(m_pPage->m_hWnd);
        // The frame closes up under the page, which sized itself to its rules.
        m_pPage->FitOwnerToPage(placeholder);
        m_pPage->SetFocus();
    } else {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CChangePINDialogMain::OnInitDialog: the page could not be created");
    }
    CSecStr title = LoadResourceString(IDS_CHANGE_PIN_TITLE);
    if (!title.IsEmpty())
        ::SetWindowTextW(m_hWnd, title);
    ::UpdateWindow(m_hWnd);
    m_pCardRemoved.reset(new (std::nothrow) VKDelegateSubscriberCardRemoved(this, g_uCardRemovedEvent, m_sReaderName));
    // The page put the focus where typing starts.
    return FALSE;
}

bool CChangePINDialogMain::CancelAllowed() const
{
    HWND cancel = GetDlgItemHwnd(IDCANCEL);
    return !m_rules.bDisableCancel && (!cancel || ::IsWindowEnabled(cancel));
}

void CChangePINDialogMain::OnOK()
{
    // Enter reaches here even while OK is disabled.
    if (!::IsWindowEnabled(GetDlgItemHwnd(IDOK)))
        return;
    CSecureDialog::OnOK();
}

void CChangePINDialogMain::OnCancel()
{
    if (CancelAllowed())
        CSecureDialog::OnCancel();
}

void CChangePINDialogMain::OnClose()
{
    // The workstation lock closes the dialog even when cancelling is not allowed.
    EndDialog(IDCANCEL);
}

void CChangePINDialogMain::OnMove(int x, int y)
{
    CSecureDialog::OnMove(x, y);
    if (m_pPage)
        m_pPage->ResetToolTip();
}

void CChangePINDialogMain::OnDestroy()
{
    m_pCardRemoved.reset();
    CSecureDialog::OnDestroy();
}

bool CChangePINDialogMain::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (IsRegisteredMessage(msg, g_uCardRemovedEvent)) {
        m_rules.bDisableCancel = 0;
        EndDialog(IDCANCEL);
        result = 0;
        return true;
    }
    // The close box asks to cancel; only the lock's WM_CLOSE must always close.
    if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        if (CancelAllowed())
            EndDialog(IDCANCEL);
        result = 0;
        return true;
    }
    return CSecureDialog::OnMessage(msg, wParam, lParam, result);
}
