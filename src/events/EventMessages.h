#pragma once
// Registered window messages that carry card and reader events to windows.
// Each is registered once when the library is loaded; every module that
// registers the same name gets the same id.
#include <windows.h>

extern const UINT g_uCardRemovedEvent;  // "VKCardRemovedEvent"
extern const UINT g_uCardInsertedEvent; // "VKCardInsertedEvent"
extern const UINT g_uReaderInsEvent;    // "VKReaderInsEvent"
extern const UINT g_uReaderRemEvent;    // "VKReaderRemEvent"

// True when `msg` is the registered message `registered` (which is 0 if its
// registration failed, and then matches nothing).
inline bool IsRegisteredMessage(UINT msg, UINT registered)
{
    return registered != 0 && msg == registered;
}
