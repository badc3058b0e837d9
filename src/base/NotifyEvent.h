#pragma once
#include <windows.h>

// Events the library reports to the smart card agent and the user console.
enum NotifiedEvent : int {
    kEventPinInitialized = 78945,
    kEventCardUnlocked = 78946,
};

// Tells the smart card agent ("VkTrayHandlerClass") and the user console
// ("VKUserConsoleCL"), when they run, that `eventId` happened on `reader`:
// WM_COPYDATA with the event id as the data word and the reader name,
// terminator included, as the data. Delivery is synchronous.
void NotifyEvent(int eventId, const wchar_t* reader, WPARAM senderWindow);
