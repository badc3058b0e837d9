#pragma once
// Test control of the toast stand-in: whether the system offers toasts,
// what the holder answers, and a record of every toast shown. The library
// never includes this header.
#include "ToastManager.h"

#include <cstddef>

extern "C" {
// Toasts offered (qlIsWinRTSupported) and managers made. Off at start, as
// on a desktop without a toast service.
QLWINEXTU_API void qlToastSetAvailable(bool available);
// Offered, but making a manager fails (null).
QLWINEXTU_API void qlToastSetCreateFails(bool fails);
// What Show returns: -1 for a toast that could not be shown. 2 at start.
QLWINEXTU_API void qlToastSetAnswer(int answer);
QLWINEXTU_API void qlToastSetUIMode(int mode);
// Back to the state at start, forgetting the toasts shown.
QLWINEXTU_API void qlToastReset();
// Toasts shown (Show or ShowNoWait) since the last reset.
QLWINEXTU_API size_t qlToastShownCount();
// Copies toast `index` out; false when there is no such toast. Buffers are
// always terminated; a longer text is cut.
QLWINEXTU_API bool qlToastGetShown(size_t index, wchar_t* title, size_t titleChars, wchar_t* text, size_t textChars);
}
