#include "popup/ProgressBar.h"

void RegisterProgressBarClass()
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_GLOBALCLASS;
    wc.lpfnWndProc = ProgressBarWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kProgressBarClass;
    RegisterClassExW(&wc);
}

void UnregisterProgressBarClass()
{
    UnregisterClassW(kProgressBarClass, GetModuleHandleW(nullptr));
}

LRESULT CALLBACK ProgressBarWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}
