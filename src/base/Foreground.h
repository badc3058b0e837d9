#pragma once
// How the library's windows come to the front. The middleware often calls
// from a process the card holder is not using (a background service, a
// console program), which the system does not let take the foreground by a
// plain request; every dialog and popup goes through these instead.
#include <windows.h>

// Makes `window` (or, for a child, its top-level window), a window of the
// calling thread, the foreground window with the keyboard in it, even when
// another process holds the foreground. Whether it is in front now.
bool TakeForeground(HWND window);

// TakeForeground, then makes the window top-most (not moved, not sized),
// where it stays while it is open.
void BringToFront(HWND window);
