#pragma once
// Error message boxes of the middleware. Both show a real message box and
// return its result (IDOK, IDCANCEL...), or 0 when it could not be shown.
#include <windows.h>

// `code` 0xFFFFFFFF means the text stands alone (no error number is shown).
// `style` takes the MB_ button and icon flags; 0 means a plain OK box with
// an error icon. a1..a3 are reserved.
int VKErrMesDisplayEx(DWORD code, const wchar_t* text, DWORD_PTR a1, DWORD_PTR a2, DWORD_PTR a3);

// As above, with an owner window, the reader the message is about (shown in
// the caption), the box style and a help topic kept as the box's context
// help id. a1..a4 are reserved.
int VKErrMesDisplayExWithParentParamAndReaderAndHelp(HWND parent, DWORD code, const wchar_t* text,
                                                     DWORD_PTR a1, DWORD_PTR a2, DWORD_PTR a3,
                                                     DWORD_PTR a4, const wchar_t* reader,
                                                     UINT style, DWORD helpTopic);
