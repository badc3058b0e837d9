#pragma once
// What the process holds, for tests and benchmarks that check nothing grows.
// Under Wine GetGuiResources, GetProcessHandleCount and the private usage
// answer 0, so windows are counted by enumeration, handles from the
// system's handle list and private bytes page by page.
#include <windows.h>

struct ProcessResources {
    DWORD windows;      // windows of this process, top-level, child and message-only
    DWORD handles;      // kernel handles
    DWORD userObjects;  // as GetGuiResources reports them (0 under Wine)
    DWORD gdiObjects;   // as GetGuiResources reports them (0 under Wine)
    SIZE_T privateBytes;
};

ProcessResources MeasureProcess();
