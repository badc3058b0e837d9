// wine-keeper: holds the Wine desktop open between test programs. Without a
// client, Wine closes the desktop about a second after the last program
// exits and starts it again for the next one, which costs every test
// process most of a second. scripts/wine-run starts one keeper per prefix;
// ending the wineserver ends it.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, L"Local\\VelkorWineKeeper");
    if (!stop || GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;
    // A window of this process makes it a client of the desktop.
    HWND window = CreateWindowExW(0, L"STATIC", L"wine-keeper", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    WaitForSingleObject(stop, INFINITE);
    DestroyWindow(window);
    return 0;
}
