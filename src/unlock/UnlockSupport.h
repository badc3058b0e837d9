#pragma once
// Small pieces the unlock dialogs share.
#include "SecStr.h"
#include "afxwin.h"
#include "base/VelkorExports.h"

// `text` with "-" after every fourth character, never at the end
// ("0123456789ABCDEF" becomes "0123-4567-89AB-CDEF").
VKGUI_API CSecStr GroupByFour(const CSecStr& text);

// Makes control `id` of `dialog` bold with a font kept in `font`.
void MakeHeadingBold(CWnd& dialog, int id, CFont& font);

// Sets the dialog's small icon from the resource module, loaded into `icon`
// unless it already holds one; `icon` must outlive the dialog's window.
void SetSmallIcon(CWnd& dialog, UINT iconId, CIcon& icon);
