#include "dialogs/BaseDialog.h"

#include "base/LibraryState.h"
#include "base/Log.h"

#include "WipingAllocator.h"

CBaseDialog::CBaseDialog(unsigned int templateId, int backgroundFlag, RECT* position, CWnd* parent)
    : CSecureDialog(templateId, parent), m_nBackgroundFlag(backgroundFlag)
{
    if (position) {
        m_nLeft = position->left;
        m_nTop = position->top;
    }
    m_brBackground.CreateSolidBrush(GetSysColor(COLOR_WINDOW));
}

CBaseDialog::~CBaseDialog() = default;

void CBaseDialog::DoDataExchange(CDataExchange*)
{
}

BOOL CBaseDialog::OnInitDialog()
{
    ScopedFunctionLog log(L"CBaseDialog::OnInitDialog");
    OnInitDialogSecure();
    SetWindowPos(nullptr, m_nLeft, m_nTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

HBRUSH CBaseDialog::OnCtlColor(CDC* dc, CWnd* control, UINT kind)
{
    if (!m_nBackgroundFlag)
        return CSecureDialog::OnCtlColor(dc, control, kind);
    dc->SetBkColor(GetSysColor(COLOR_WINDOW));
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(GetSysColor(COLOR_WINDOWTEXT));
    return m_brBackground;
}

void CBaseDialog::OnSysColorChange()
{
    CSecureDialog::OnSysColorChange();
    m_brBackground.DeleteObject();
    m_brBackground.CreateSolidBrush(GetSysColor(COLOR_WINDOW));
}

void CBaseDialog::ResizeDlg(unsigned int controlId, int dx, int dy)
{
    ScopedFunctionLog log(L"CBaseDialog::ResizeDlg");
    HWND target = controlId ? GetDlgItemHwnd(static_cast<int>(controlId)) : m_hWnd;
    if (!target) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CBaseDialog::ResizeDlg: no control %u", controlId);
        return;
    }
    GrowWindow(target, -dx, -dy);
    ::RedrawWindow(target, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

int CBaseDialog::LocCreate(CWnd* parent)
{
    ScopedResourceModule resources(g_hResourceModule);
    return Create(m_nIDHelp, parent); // the template the page was built with
}

void CBaseDialog::FitOwnerToPage(const RECT& placeholder)
{
    HWND owner = ::GetParent(m_hWnd);
    const int dy = ChildRect(m_hWnd).bottom - placeholder.bottom;
    for (int id : {IDCANCEL, IDOK}) {
        HWND button = ::GetDlgItem(owner, id);
        OffsetChild(button, dy);
        ::RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    GrowWindow(owner, 0, dy);
}

void CBaseDialog::HidePinFromMemory(CSecStr& pin)
{
    ScopedFunctionLog log(L"CBaseDialog::HidePinFromMemory");
    if (pin.IsEmpty())
        return;
    int length = pin.GetLength();
    SecureWipe(pin.GetBuffer(length), static_cast<size_t>(length) * sizeof(wchar_t));
    pin.ReleaseBuffer(0);
    pin.Empty();
}
