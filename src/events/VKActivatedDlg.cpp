#include "events/VKActivatedDlg.h"

bool CVKActivatedDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == WM_NCLBUTTONDOWN && wParam == HTHELP) {
        OnContextualHelp();
        result = 0;
        return true;
    }
    return CSecureDialog::OnMessage(msg, wParam, lParam, result);
}
