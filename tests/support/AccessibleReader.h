#pragma once
// What a screen reader learns of a window: its client object, asked for
// through AccessibleObjectFromWindow as a screen reader asks.
#include <windows.h>

#include <oleacc.h>

#include <string>

struct AccessibleView {
    bool found = false; // the window answered with an accessible object
    std::wstring name;
    long role = 0;
    long state = 0;
    HRESULT valueResult = E_FAIL; // what get_accValue answered
    std::wstring value;
    std::wstring defaultAction;
    HRESULT actionResult = E_FAIL; // what accDoDefaultAction answered, when asked to act
};

// With `act`, the reader also does the object's default action, as a
// screen reader user does on a link or a button.
AccessibleView ReadAccessible(HWND window, bool act = false);
