// wine-keeper: holds the Wine desktop open between test programs. Without a
// client, Wine closes the desktop about a second after the last program
// exits and starts it again for the next one, which costs every test
// process most of a second, and the desktop process started by a test holds
// that test's output open. scripts/wine-run starts one keeper per prefix,
// before any program, and waits for the file named on the command line: it
// is written once the desktop runs. Ending the wineserver ends the keeper.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR readyFile, int)
{
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, L"Local\\VelkorWineKeeper");
    if (!stop || GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;
    // A window of this process makes it a client of the desktop.
    HWND window = CreateWindowExW(0, L"STATIC", L"wine-keeper", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (readyFile && *readyFile) {
        HANDLE ready = CreateFileW(readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (ready != INVALID_HANDLE_VALUE)
            CloseHandle(ready);
    }
    WaitForSingleObject(stop, INFINITE);
    DestroyWindow(window);
    return 0;
}
