#include "afxwin.h"

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
    return CreateDialogIndirectParamW(instance, dialogTemplate, owner, DialogProc,
                                      reinterpret_cast<LPARAM>(this));
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
    // Messages before WM_INITDIALOG (WM_SETFONT among them) get the default
    // handling; afterwards everything goes through the bound object first.
    if (msg != WM_INITDIALOG)
        return FALSE;
    CDialog* self = reinterpret_cast<CDialog*>(lParam);
    if (!self || self->m_bBound || !self->Bind(hWnd))
        return TRUE;
    CurrentMessage saved = self->m_current;
    self->m_current = {msg, wParam, lParam};
    BOOL result = TRUE;
    try {
        result = self->OnInitDialog();
    } catch (...) {
        OutputDebugStringW(L"afx: exception in OnInitDialog\n");
    }
    self->m_current = saved;
    return result;
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
