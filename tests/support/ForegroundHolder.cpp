// foreground_holder.exe: another program on the desktop that holds the
// foreground, the way the card holder's editor or browser does when a
// background process of the middleware asks for the PIN. Its window (class
// "VelkorForegroundHolder") has an edit with the keyboard focus, so that keys
// typed for a prompt that stayed behind land there and can be read back. It
// runs until its window is closed.
#include <windows.h>

namespace {

LRESULT CALLBACK HolderProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SETFOCUS:
        // Activation gives the focus back to the edit, as an editor does.
        SetFocus(GetWindow(window, GW_CHILD));
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, msg, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = HolderProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"VelkorForegroundHolder";
    if (!RegisterClassW(&windowClass))
        return 1;
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Foreground holder", WS_OVERLAPPEDWINDOW, 40, 40, 400,
                                  200, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 10, 360, 24,
                                window, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    SetFocus(edit);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
