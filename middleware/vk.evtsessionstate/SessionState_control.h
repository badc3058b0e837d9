#pragma once
// Test control of the session-state service. The library never includes
// this header.
#include "SessionState.h"

enum class VKSessionStateMode : int {
    // Asks the system (the default).
    System = 0,
    Unlocked = 1,
    Locked = 2,
    // The service cannot tell: GetSessionState fails.
    Unavailable = 3,
};

extern "C" VKSESSIONSTATE_API void vkSessionStateSetMode(VKSessionStateMode mode);
