#pragma once
// Finds what a card holder could not read in a dialog: texts that do not fit
// their controls at the dialog's font and the display's DPI, controls that
// stand outside the dialog, and controls that cover one another.
#include <windows.h>

#include <string>
#include <vector>

// One line per problem, naming the control by its id and text. Pages and
// panels inside the dialog are checked too.
std::vector<std::wstring> LayoutProblems(HWND dialog);
