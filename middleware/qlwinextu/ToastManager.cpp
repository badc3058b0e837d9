#include "ToastManager.h"

// This platform has no toast service: every request falls back to the
// caller's dialog, and the UI is always the desktop.
CToastManager* qlCreateToastManager(const wchar_t*, const wchar_t*, bool)
{
    return nullptr;
}

void qlDeleteToastManager(CToastManager* manager)
{
    delete manager;
}

bool qlIsWinRTSupported()
{
    return false;
}

int qlGetUIMode()
{
    return 1;
}
