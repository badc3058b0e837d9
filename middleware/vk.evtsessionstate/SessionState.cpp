// Session-state stand-in. By default it asks the system whether the input
// desktop can be opened: while the workstation is locked the secure desktop
// has the input and opening it is refused.
#include "SessionState_control.h"

#include <atomic>

namespace {

std::atomic<int> g_mode{static_cast<int>(VKSessionStateMode::System)};

bool InputDesktopRefused()
{
    HDESK desktop = OpenInputDesktop(0, FALSE, DESKTOP_SWITCHDESKTOP);
    if (!desktop)
        return GetLastError() == ERROR_ACCESS_DENIED;
    CloseDesktop(desktop);
    return false;
}

} // namespace

VKEventGetWorkstationState::VKEventGetWorkstationState() = default;

int VKEventGetWorkstationState::GetSessionState(int* state)
{
    if (!state)
        return ERROR_INVALID_PARAMETER;
    switch (static_cast<VKSessionStateMode>(g_mode.load())) {
    case VKSessionStateMode::Unlocked:
        *state = 1;
        return 0;
    case VKSessionStateMode::Locked:
        *state = 0;
        return 0;
    case VKSessionStateMode::Unavailable:
        return ERROR_SERVICE_NOT_ACTIVE;
    case VKSessionStateMode::System:
    default:
        *state = InputDesktopRefused() ? 0 : 1;
        return 0;
    }
}

extern "C" void vkSessionStateSetMode(VKSessionStateMode mode)
{
    g_mode = static_cast<int>(mode);
}
