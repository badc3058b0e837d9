// The yardstick of the attach benchmark: a DLL that does nothing, built with
// the library's compiler and flags, so that what it costs is the loader's.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
