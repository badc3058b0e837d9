#pragma once
// The middleware's workstation session-state service.
#include <windows.h>

#ifdef VKSESSIONSTATE_BUILD
#define VKSESSIONSTATE_API __declspec(dllexport)
#else
#define VKSESSIONSTATE_API __declspec(dllimport)
#endif

class VKSESSIONSTATE_API VKEventGetWorkstationState {
public:
    VKEventGetWorkstationState();
    // Sets *state to 0 when the workstation is locked and 1 when it is not;
    // returns 0 when it could tell, else an error code and *state is left
    // as it was.
    int GetSessionState(int* state);
};
