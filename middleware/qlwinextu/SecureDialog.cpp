#include "SecureDialog.h"

#include "WipingAllocator.h"

#include <cwchar>

void WipeEditText(HWND edit)
{
    if (!edit || !IsWindow(edit))
        return;
    int length = GetWindowTextLengthW(edit);
    if (length > 0) {
        // Writing a text of the same length reuses the control's buffer, so
        // the old characters are overwritten rather than left behind.
        WipingWString filler(static_cast<size_t>(length), L'*');
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(filler.c_str()));
    }
    SendMessageW(edit, EM_EMPTYUNDOBUFFER, 0, 0);
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
}


BOOL CSecureDialog::OnInitDialogSecure()
{
    return CDialog::OnInitDialog();
}

void CSecureDialog::OnDestroy()
{
    if (m_hWnd) {
        // Only this dialog's own edits: a page inside it wipes its own, and
        // their notifications go to the page, not here.
        m_bWipingEdits = true;
        for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            wchar_t className[16] = {};
            GetClassNameW(child, className, 16);
            if (_wcsicmp(className, L"Edit") == 0)
                WipeEditText(child);
        }
        m_bWipingEdits = false;
    }
    CDialog::OnDestroy();
}

LRESULT CSecureDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (m_bWipingEdits && msg == WM_COMMAND && (HIWORD(wParam) == EN_CHANGE || HIWORD(wParam) == EN_UPDATE))
        return 0;
    return CDialog::WindowProc(msg, wParam, lParam);
}

namespace {

void ReadText(HWND control, CSecStr& value)
{
    int length = control ? ::GetWindowTextLengthW(control) : 0;
    if (length <= 0) {
        value.Empty();
        return;
    }
    int copied = ::GetWindowTextW(control, value.GetBuffer(length), length + 1);
    value.ReleaseBuffer(copied > 0 ? copied : 0);
}

} // namespace

void CSecureDialog::DDX_TextSecure(CDataExchange* dx, int id, CSecStr& value)
{
    if (!dx || !dx->m_pDlgWnd)
        return;
    HWND control = dx->m_pDlgWnd->GetDlgItemHwnd(id);
    if (!control)
        return;
    if (dx->m_bSaveAndValidate)
        ReadText(control, value);
    else
        ::SetWindowTextW(control, value);
}

CSecStr CSecureDialog::ReadEdit(int id) const
{
    CSecStr text;
    ReadText(GetDlgItemHwnd(id), text);
    return text;
}
