#include "unlock/UnlockSupport.h"

#include "base/Dpi.h"
#include "base/LibraryState.h"

CSecStr GroupByFour(const CSecStr& text)
{
    CSecStr grouped;
    for (int i = 0; i < text.GetLength(); ++i) {
        if (i > 0 && i % 4 == 0)
            grouped += L'-';
        grouped += text.GetAt(i);
    }
    return grouped;
}

void MakeHeadingBold(CWnd& dialog, int id, CFont& font)
{
    HWND heading = dialog.GetDlgItemHwnd(id);
    if (!heading)
        return;
    LOGFONTW lf = {};
    HFONT current = reinterpret_cast<HFONT>(::SendMessageW(heading, WM_GETFONT, 0, 0));
    if (!current || !GetObjectW(current, sizeof(lf), &lf))
        return;
    lf.lfWeight = FW_BOLD;
    lf.lfWidth = 0;
    if (font.CreateFontIndirect(&lf))
        ::SendMessageW(heading, WM_SETFONT, reinterpret_cast<WPARAM>(font.GetSafeHandle()), TRUE);
}

void SetSmallIcon(CWnd& dialog, UINT iconId, CIcon& icon)
{
    if (!g_hResourceModule)
        return;
    if (!icon)
        icon.Attach(LoadIconForDpi(g_hResourceModule, iconId, 16, DpiOf(dialog.m_hWnd)));
    if (icon)
        dialog.SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon.GetSafeHandle()));
}
