#pragma once
// The "VkProgressBar" window class: a global class of the host process, so
// that dialogs of any module can place the control in their templates.
#include <windows.h>

inline constexpr const wchar_t* kProgressBarClass = L"VkProgressBar";

void RegisterProgressBarClass();
void UnregisterProgressBarClass();
LRESULT CALLBACK ProgressBarWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
