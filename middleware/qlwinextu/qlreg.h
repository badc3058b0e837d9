#pragma once
// Registry readers of the windowing-extension module. Both return 0 when the
// value was read and a Win32 error code otherwise; `access` is added to the
// key's access rights (0x100 reads the 64-bit view).
#include <windows.h>

// Reads a REG_SZ or REG_EXPAND_SZ value into `buffer`, whose size in bytes is
// given in *sizeBytes and replaced by the bytes written. The text is always
// terminated; a value that does not fit gives ERROR_MORE_DATA. A null
// `buffer` asks only for the value's size in bytes, stored in *sizeBytes.
LONG qlRegReadStringValueEx(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                            wchar_t* buffer, DWORD* sizeBytes, REGSAM access);

// Reads a REG_DWORD value.
LONG qlRegReadDWORDValueEx(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                           DWORD* value, REGSAM access);
