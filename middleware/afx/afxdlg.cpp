#include "afxwin.h"

namespace {

// The dialog whose window this thread is creating. Its window is the one
// that reaches DialogProc first while this is set; nothing a message
// carries ever names the object.
thread_local CDialog* t_pDialogBeingCreated = nullptr;

BOOL CALLBACK GuardChild(HWND child, LPARAM)
{
    CWnd::Guard(child);
    return TRUE;
}

} // namespace

CDialog::~CDialog()
{
    // A modeless dialog deleted while its window lives takes the window along,
    // so that no message reaches a dead object.
    if (m_hWnd && IsBound() && !m_bModal) {
        HWND hWnd = UnsubclassWindow();
        ::DestroyWindow(hWnd);
    }
}

LPCDLGTEMPLATEW CDialog::LoadDialogTemplate(HINSTANCE instance, UINT templateId)
{
    if (!instance)
        return nullptr;
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(templateId), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (!found)
        return nullptr;
    HGLOBAL loaded = LoadResource(instance, found);
    if (!loaded)
        return nullptr;
    return static_cast<LPCDLGTEMPLATEW>(LockResource(loaded));
}

HWND CDialog::CreateIndirect(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner)
{
    if (m_bBound)
        return nullptr;
    // A page created while this dialog initializes sets its own and puts
    // this one back.
    CDialog* outer = t_pDialogBeingCreated;
    t_pDialogBeingCreated = this;
    m_bInitialized = false;
    WatchedThread watched;
    HWND hWnd = CreateDialogIndirectParamW(instance, dialogTemplate, owner, DialogProc, 0);
    t_pDialogBeingCreated = outer;
    return hWnd;
}

HWND CDialog::CreateModalWindow(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner)
{
    OnModalStep(ModalStep::CreatingWithOwner, instance, owner);
    HWND hWnd = CreateIndirect(instance, dialogTemplate, owner);
    if (!hWnd && owner) {
        OnModalStep(ModalStep::RetryingWithoutOwner, instance, owner);
        hWnd = CreateIndirect(instance, dialogTemplate, nullptr);
    }
    if (hWnd)
        OnModalStep(ModalStep::Created, instance, owner);
    return hWnd;
}

INT_PTR CDialog::DoModal()
{
    return DoModalFrom(AfxGetResourceHandle());
}

INT_PTR CDialog::DoModalFrom(HINSTANCE instance)
{
    LPCDLGTEMPLATEW dialogTemplate = LoadDialogTemplate(instance, m_nIDHelp);
    if (!dialogTemplate)
        return -1;
    return RunModal(instance, dialogTemplate);
}

INT_PTR CDialog::RunModal(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate)
{
    if (!dialogTemplate || m_hWnd)
        return -1;
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    bool ownerDisabled = false;
    if (owner && ::IsWindow(owner) && owner != GetDesktopWindow() && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, FALSE);
        ownerDisabled = true;
    }

    m_bModal = true;
    m_bEndModal = false;
    m_nModalResult = -1;
    HWND hWnd = nullptr;
    try {
        hWnd = CreateModalWindow(instance, dialogTemplate, owner);
    } catch (...) {
        // A failure of the framework during the run ends it as -1.
        hWnd = nullptr;
        m_nModalResult = -1;
    }
    if (hWnd) {
        if (!::IsWindowVisible(hWnd) && !m_bEndModal)
            ::ShowWindow(hWnd, SW_SHOWNORMAL);
        MSG msg;
        while (!m_bEndModal && m_hWnd) {
            BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                // WM_QUIT ends the run; put it back for the caller's own loop.
                PostQuitMessage(static_cast<int>(msg.wParam));
                m_nModalResult = -1;
                break;
            }
            if (got == -1)
                break;
            if (!m_hWnd || !IsDialogMessageW(m_hWnd, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (m_hWnd)
            ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                           SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    if (ownerDisabled)
        ::EnableWindow(owner, TRUE);
    if (owner && hWnd && GetActiveWindow() == hWnd)
        ::SetActiveWindow(owner);
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
    m_bModal = false;
    return m_nModalResult;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_nIDHelp = templateId;
    m_pParentWnd = parent;
    HINSTANCE instance = AfxGetResourceHandle();
    LPCDLGTEMPLATEW dialogTemplate = LoadDialogTemplate(instance, templateId);
    if (!dialogTemplate)
        return FALSE;
    return CreateIndirect(instance, dialogTemplate, parent ? parent->m_hWnd : nullptr) != nullptr;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // The dialog box procedure sees its first message (WM_SETFONT, or
    // WM_INITDIALOG for a template without a font) inside the creation call
    // on this thread: that binds the window to the dialog being created.
    // Later messages reach the bound object before this procedure.
    CDialog* self = t_pDialogBeingCreated;
    if ((msg != WM_SETFONT && msg != WM_INITDIALOG) || !self || self->m_bBound ||
        IsFromAnotherThread(msg, wParam, lParam))
        return FALSE;
    if (!self->Bind(hWnd))
        return FALSE;
    t_pDialogBeingCreated = nullptr;
    if (msg != WM_INITDIALOG)
        return FALSE;
    CurrentMessage saved = self->m_current;
    self->m_current = {msg, wParam, lParam};
    BOOL result = self->InitOnce();
    self->m_current = saved;
    return result;
}

BOOL CDialog::InitOnce()
{
    if (m_bInitialized)
        return FALSE;
    m_bInitialized = true;
    BOOL result = TRUE;
    try {
        result = OnInitDialog();
    } catch (...) {
        OutputDebugStringW(L"afx: exception in OnInitDialog\n");
    }
    // The controls are all there now; those the dialog did not bind drop
    // forged messages as the bound ones do.
    if (m_hWnd)
        EnumChildWindows(m_hWnd, GuardChild, 0);
    return result;
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        // The window's own WM_INITDIALOG comes once, inside its creation; a
        // later one (posted by anyone) is dropped.
        return InitOnce();
    case WM_COMMAND:
        if (!IsCommandFromUsableControl(wParam, lParam))
            return 0;
        break;
    default:
        break;
    }
    return CWnd::WindowProc(msg, wParam, lParam);
}

bool CDialog::IsCommandFromUsableControl(WPARAM wParam, LPARAM lParam) const
{
    HWND sender = reinterpret_cast<HWND>(lParam);
    // A control notifies its own parent, naming itself; a handle that is not
    // one of our windows is not a control's notification.
    if (sender && !::IsChild(m_hWnd, sender))
        return false;
    HWND named = sender ? sender : ::GetDlgItem(m_hWnd, LOWORD(wParam));
    if (!named)
        return true;
    // Clicks and commands without a sender act; a control the card holder
    // cannot use (disabled, or hidden) cannot have asked for the action.
    // Other notifications (an edit's change) only report state and pass.
    const bool acts = !sender || HIWORD(wParam) == BN_CLICKED;
    const bool usable = ::IsWindowEnabled(named) && (::GetWindowLongPtrW(named, GWL_STYLE) & WS_VISIBLE);
    return !acts || usable;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    if (!m_hWnd)
        return FALSE;
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::EndDialog(int result)
{
    m_nModalResult = result;
    if (m_bModal) {
        m_bEndModal = true;
        // Wakes the modal loop if it is waiting for a message.
        if (m_hWnd)
            PostMessage(WM_NULL);
    } else if (m_hWnd) {
        ::EndDialog(m_hWnd, result);
    }
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) == BN_CLICKED || lParam == 0) {
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOK();
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        default:
            break;
        }
    }
    return CWnd::OnCommand(wParam, lParam);
}

void CDialog::PostNcDestroy()
{
    if (m_bModal)
        m_bEndModal = true;
}
