#include "unlock/DisplayUnlockCodeDlg.h"

#include "base/Dpi.h"
#include "base/Foreground.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "unlock/UnlockSupport.h"

#include "pinrc_ids.h"

#include <new>

namespace {
constexpr const wchar_t* kWindowProperty = L"DisplayUCodeWnd";
}

CDisplayUCChild::CDisplayUCChild(int backgroundFlag, RECT* position, CSecStr unlockCode, CWnd* parent)
    : CBaseDialog(IDD_UNLOCK_CODE_PAGE, backgroundFlag, position, parent), m_sUnlockCode(unlockCode)
{
    unlockCode.Empty();
}

CDisplayUCChild::~CDisplayUCChild()
{
    HidePinFromMemory(m_sUnlockCode);
    if (m_hWnd)
        DestroyWindow();
}

void CDisplayUCChild::DoDataExchange(CDataExchange* dx)
{
    DDX_TextSecure(dx, IDC_UNLOCK_CODE_TEXT, m_sUnlockCode);
}

BOOL CDisplayUCChild::IsNeverDisplayChecked() const
{
    HWND box = m_hWnd ? GetDlgItemHwnd(IDC_NEVER_DISPLAY) : nullptr;
    return box && ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CDisplayUCChild::OnDestroy()
{
    CBaseDialog::OnDestroy();
    HidePinFromMemory(m_sUnlockCode);
}

CDisplayUnlockCodeDlg::CDisplayUnlockCodeDlg(CWnd* parent, const wchar_t* unlockCode, const wchar_t* readerName,
                                             int backgroundFlag)
    : VKDetectCardRemovedDlg(IDD_DISPLAY_UNLOCK_CODE, parent, readerName), m_nBackgroundFlag(backgroundFlag),
      m_sUnlockCode(unlockCode)
{
}

CDisplayUnlockCodeDlg::~CDisplayUnlockCodeDlg()
{
    m_sUnlockCode.Empty();
}

INT_PTR CDisplayUnlockCodeDlg::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

BOOL CDisplayUnlockCodeDlg::OnInitDialog()
{
    VKDetectCardRemovedDlg::OnInitDialog();
    if (!g_hResourceModule)
        vklogLog(kGuiTag, VKLOG_ERROR, L"g_hResInstance is NULL");
    SetSmallIcon(*this, IDI_UNLOCK, m_hIcon);
    m_hWndPropertyOwner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (m_hWndPropertyOwner)
        ::SetPropW(m_hWndPropertyOwner, kWindowProperty, m_hWnd);

    RECT placeholder = {};
    if (HWND spot = GetDlgItemHwnd(IDC_UNLOCK_CODE_PLACEHOLDER)) {
        ::GetWindowRect(spot, &placeholder);
        ScreenToClient(&placeholder);
    }
    m_pDisplayUCChild.reset(new (std::nothrow) CDisplayUCChild(m_nBackgroundFlag, &placeholder, m_sUnlockCode, this));
    if (!m_pDisplayUCChild) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"m_pDisplayUCChild NULL");
    } else if (!m_pDisplayUCChild->LocCreate(this)) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"LocCreate Failed");
    } else {
        m_pDisplayUCChild->ShowWindow(SW_SHOW);
        m_pDisplayUCChild->RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    BringToFront(m_hWnd);
    return TRUE;
}

void CDisplayUnlockCodeDlg::OnOK()
{
    // Without a page there is no box the holder could have ticked: the code
    // must then stay on the card.
    const bool neverAgain = m_pDisplayUCChild && m_pDisplayUCChild->IsNeverDisplayChecked();
    EndDialog(neverAgain ? IDOK : IDCANCEL);
}

void CDisplayUnlockCodeDlg::OnDestroy()
{
    if (m_hWndPropertyOwner)
        ::RemovePropW(m_hWndPropertyOwner, kWindowProperty);
    VKDetectCardRemovedDlg::OnDestroy();
}
