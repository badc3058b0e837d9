#pragma once
// The "VkProgressBar" window class: an endless activity bar whose group of
// blocks runs from left to right and starts again. A global class of the
// host process, so that dialogs of any module can place the control in
// their templates. Drawn with the desktop theme when there is one, with
// system colours otherwise.
#include <windows.h>

inline constexpr const wchar_t* kProgressBarClass = L"VkProgressBar";

// The control's messages; the results are in parentheses.
inline constexpr UINT PBM_VKGETINTERVAL = WM_USER + 0;   // (timer period in ms)
inline constexpr UINT PBM_VKSETINTERVAL = WM_USER + 1;   // wParam: period in ms (1)
inline constexpr UINT PBM_VKGETBLOCKCOUNT = WM_USER + 2; // (blocks in the group)
inline constexpr UINT PBM_VKSETBLOCKCOUNT = WM_USER + 3; // wParam: 1 to 20 (1, or 0 when out of range)

// A window style bit that asks for the plain drawing even under a theme.
inline constexpr DWORD kProgressBarPlainStyle = 0x8000;

void RegisterProgressBarClass();
void UnregisterProgressBarClass();
LRESULT CALLBACK ProgressBarWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
