#pragma once
// What a screen reader learns of the library's own controls. The system
// builds the standard accessible object of a window (its place, parent,
// neighbours, focus); a control that draws itself says on top of it what
// the system cannot know: its name, role, value and state.
#include <windows.h>

#include <oleacc.h>

#include <string>

struct AccessibleFacts {
    std::wstring m_sName; // empty: the standard object's name
    long m_nRole = 0;     // 0: the standard object's role
    bool m_bHasValue = false;
    std::wstring m_sValue;
    long m_nStateAdded = 0;
    // A secret's field: protected, no value, and no name taken from its text.
    bool m_bProtected = false;
    // A control whose action is a click at one point of it (a link): the
    // action's name, empty for none, and the point in client coordinates.
    std::wstring m_sDefaultAction;
    POINT m_ptAction = {};
};

// The answer to WM_GETOBJECT: for the window's client object, the standard
// object with `facts` laid over it; 0 for any other object (the system then
// answers as usual).
LRESULT AnswerGetObject(HWND window, WPARAM wParam, LPARAM lParam, const AccessibleFacts& facts);
