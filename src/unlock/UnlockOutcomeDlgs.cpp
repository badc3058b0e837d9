#include "unlock/UnlockOutcomeDlgs.h"

#include "base/Dpi.h"
#include "base/Foreground.h"
#include "base/HelpTopic.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "unlock/UnlockSupport.h"

#include "pinrc_ids.h"

CUnlockFailedDlg::CUnlockFailedDlg(CWnd* parent, const wchar_t* message, int mode)
    : CSecureDialog(IDD_UNLOCK_FAILED, parent), m_workstationLocked(this), m_sMessage(message), m_nMode(mode)
{
}

INT_PTR CUnlockFailedDlg::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

BOOL CUnlockFailedDlg::OnInitDialog()
{
    OnInitDialogSecure();
    MakeHeadingBold(*this, IDC_OUTCOME_HEADING, m_fontBold);
    if (m_nMode != 1) {
        SetSmallIcon(*this, IDI_UNLOCK, m_hIcon);
    } else {
        CSecStr title = LoadResourceString(IDS_PIN_INIT_FAILED_TITLE);
        if (!title.IsEmpty())
            ::SetWindowTextW(m_hWnd, title);
        CSecStr heading = LoadResourceString(IDS_PIN_INIT_FAILED_HEADING);
        if (!heading.IsEmpty())
            ::SetWindowTextW(GetDlgItemHwnd(IDC_OUTCOME_HEADING), heading);
        if (m_hLargeIcon.LoadIcon(g_hResourceModule, IDI_PIN_INIT, 0, 0))
            ::SendMessageW(GetDlgItemHwnd(IDC_FAILED_ICON), STM_SETICON,
                           reinterpret_cast<WPARAM>(m_hLargeIcon.GetSafeHandle()), 0);
        SetSmallIcon(*this, IDI_PIN_INIT, m_hIcon);
    }
    ::SetWindowTextW(GetDlgItemHwnd(IDC_FAILED_MESSAGE), m_sMessage);
    BringToFront(m_hWnd);
    return TRUE;
}

bool CUnlockFailedDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == WM_NCLBUTTONDOWN && wParam == HTHELP) {
        OnContextualHelp();
        result = 0;
        return true;
    }
    return CSecureDialog::OnMessage(msg, wParam, lParam, result);
}

void CUnlockFailedDlg::OnContextualHelp()
{
    DoDisplayTopic(kHelpUnlock, L"CUnlockFailedDlg::OnContextualHelp");
}

CUnlockSuccessDlg::CUnlockSuccessDlg(CWnd* parent) : CSecureDialog(IDD_UNLOCK_SUCCESS, parent)
{
}

INT_PTR CUnlockSuccessDlg::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

BOOL CUnlockSuccessDlg::OnInitDialog()
{
    OnInitDialogSecure();
    SetSmallIcon(*this, IDI_UNLOCK, m_hIcon);
    MakeHeadingBold(*this, IDC_OUTCOME_HEADING, m_fontBold);
    BringToFront(m_hWnd);
    return TRUE;
}

CUnlockInitToolDlg::CUnlockInitToolDlg(CWnd* parent, const wchar_t* readerName, int flag)
    : VKDetectCardRemovedDlg(IDD_UNLOCK_TOOL, parent, readerName), m_workstationLocked(this), m_nFlag(flag)
{
}

INT_PTR CUnlockInitToolDlg::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

BOOL CUnlockInitToolDlg::OnInitDialog()
{
    VKDetectCardRemovedDlg::OnInitDialog();
    if (m_nFlag == 0) {
        CSecStr heading = LoadResourceString(IDS_UNLOCK_TOOL_HEADING);
        if (!heading.IsEmpty())
            ::SetWindowTextW(GetDlgItemHwnd(IDC_OUTCOME_HEADING), heading);
    }
    BringToFront(m_hWnd);
    return TRUE;
}

void CUnlockInitToolDlg::OnContextualHelp()
{
    DoDisplayTopic(kHelpUnlock);
}
