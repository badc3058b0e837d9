#pragma once
// The change-PIN dialog of the layout tests: every rule that the policies
// shown allow, painted, looked at by `look`, then cancelled.
#include "UiDriver.h"

#include "base/VelkorExports.h"

#include <windows.h>

#include <functional>
#include <thread>

inline void LookAtChangePin(const std::function<void(HWND frame)>& look)
{
    std::thread holder = uidriver::ActOnDialog([&](HWND frame) {
        uidriver::WaitPainted(frame);
        look(frame);
        PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
    });
    wchar_t fresh[128];
    wchar_t current[128];
    int freshLength = 0;
    int currentLength = 0;
    GetChangePINInfoFromUser(1, 0, 4, 8, 0, 0, fresh, &freshLength, current, &currentLength, L"R", nullptr, true,
                             nullptr, nullptr, 0);
    holder.join();
}
