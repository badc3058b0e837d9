#pragma once
// A card holder with nothing but a keyboard: keys go to the control that has
// the focus in a dialog running on another thread, through that dialog's own
// message loop (and so through IsDialogMessage), and each call returns once
// the loop has handled them.
#include <windows.h>

#include <string>
#include <vector>

// The control that has the keyboard focus on `dialog`'s thread (null when none).
HWND FocusedControl(HWND dialog);
// Its id (0 when none has the focus).
int FocusedId(HWND dialog);

// Presses and releases `key` (VK_TAB, VK_DOWN, VK_RETURN, VK_ESCAPE...).
void PressKey(HWND dialog, UINT key);
// Alt and `letter`: the access key of a label or button.
void PressAccessKey(HWND dialog, wchar_t letter);
// Types `text` into the focused control, a character at a time.
void TypeKeys(HWND dialog, const std::wstring& text);

// The ids of the controls Tab visits from the focused one until the focus
// comes back to it (or after 40 presses), the focused one first.
std::vector<int> TabOrder(HWND dialog);

// What keeps a holder from reaching `dialog`'s fields by their access keys,
// among its visible controls (pages included): a letter that more than one
// control has, and a label of a field (a text ending in ':' just before an
// edit, a list or a combo box the holder can tab to) that has none.
std::vector<std::wstring> AccessKeyProblems(HWND dialog);
