#include "dialogs/PINAlwaysPromptDlg.h"

#include "base/Dpi.h"
#include "base/Foreground.h"
#include "base/HelpTopic.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "dialogs/PinPromptSupport.h"

#include "pinrc_ids.h"

CPINAlwaysPromptDlg::CPINAlwaysPromptDlg(CWnd* parent, const wchar_t* reader)
    : VKDetectCardRemovedDlg(IDD_PIN_ALWAYS, parent, reader), m_workstationLocked(this)
{
    ScopedFunctionLog log(L"CPINAlwaysPromptDlg");
    vklogLog(kGuiTag, VKLOG_INFO, L"CPINAlwaysPromptDlg: pParent = %x, Reader = %s",
             HandleBits(parent ? parent->m_hWnd : nullptr), m_sReaderName.GetString());
}

INT_PTR CPINAlwaysPromptDlg::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

void CPINAlwaysPromptDlg::OnModalStep(ModalStep step, HINSTANCE instance, HWND owner)
{
    LogModalStep(L"CPINAlwaysPromptDlg", *this, step, instance, owner);
}

BOOL CPINAlwaysPromptDlg::OnInitDialog()
{
    VKDetectCardRemovedDlg::OnInitDialog();
    InsertBrandingBitmap(*this, m_banners, L"CPINAlwaysPromptDlg");
    BringToFront(m_hWnd);
    return TRUE;
}

void CPINAlwaysPromptDlg::OnContextualHelp()
{
    vklogLog(kGuiTag, VKLOG_DETAIL, L"CPINAlwaysPromptDlg::OnContextualHelp");
    DoDisplayTopic(kHelpPin);
}
