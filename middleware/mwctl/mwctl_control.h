#pragma once
// Test control of the simulated controller: which card world it serves,
// cards and readers coming and going (with their events), failures on
// demand and the log of the calls the layer made. The library never
// includes this header.
#include <windows.h>

#include <cstddef>

#ifdef MWCTL_BUILD
#define MWCTL_API __declspec(dllexport)
#else
#define MWCTL_API __declspec(dllimport)
#endif

extern "C" {
// Serves the world in `path` (an INI file). False, and an empty world, when
// it cannot be read or holds a fault (the log names the line). Starts a new
// count of abandoned and expired transactions and of creations.
MWCTL_API bool mwctlLoadWorld(const wchar_t* path);
// Puts card `card` of the world into `reader` (its state becomes 0) and
// raises "card inserted"; false for an unknown reader or card.
MWCTL_API bool mwctlInsertCard(const wchar_t* reader, const wchar_t* card);
// Takes the card out of `reader` (state 1) and raises "card removed".
MWCTL_API bool mwctlRemoveCard(const wchar_t* reader);
// Adds an empty reader at the end, or removes one, raising the reader event.
MWCTL_API bool mwctlAddReader(const wchar_t* reader);
MWCTL_API bool mwctlRemoveReader(const wchar_t* reader);
// The `nth` controller call from now (1 for the next) throws a CException
// with `id`; 0 cancels.
MWCTL_API void mwctlFailCall(unsigned nth, int id);
// How a failure asked for with mwctlFailCallAs is thrown: as the
// controller's own CException, as the standard out-of-memory exception, or
// as an object of a type the library cannot know.
enum MwctlFailureKind : int { kMwctlCException = 0, kMwctlOutOfMemory = 1, kMwctlForeign = 2 };
// As mwctlFailCall, thrown the way `kind` says (`id` is used by CException only).
MWCTL_API void mwctlFailCallAs(unsigned nth, int id, int kind);
// Calls made since the last clear, by operation name ("ListReaders"...).
// Only the last 4096 names are kept: mwctlCallName is false for an older
// index, while mwctlCallCount still counts every call.
MWCTL_API size_t mwctlCallCount();
MWCTL_API bool mwctlCallName(size_t index, wchar_t* name, size_t chars);
// Clears the calls and the creations.
MWCTL_API void mwctlClearCalls();
// Contexts established and not yet released.
MWCTL_API size_t mwctlOpenContexts();
// A field of a card as the card holds it now (PIN, PINTries, AdminTries,
// UnlockCode...); false when the card or field does not exist.
MWCTL_API bool mwctlCardField(const wchar_t* card, const wchar_t* key, wchar_t* value, size_t chars);
// Sets a field of a card as the card holds it now; false for an unknown
// card. The world's checks do not apply: a card can be made to serve what
// no world file may hold.
MWCTL_API bool mwctlSetCardField(const wchar_t* card, const wchar_t* key, const wchar_t* value);
// Transactions begun and not yet ended: those of open contexts, and those
// still open when their context was released (which ends them).
MWCTL_API size_t mwctlOpenTransactions();
// Transactions that ended because the card's time-out passed without
// ResetTransactionTimeout.
MWCTL_API size_t mwctlExpiredTransactions();
// Moves the controller's clock forward, as if the time had passed.
MWCTL_API void mwctlAdvanceClock(unsigned milliseconds);
// Credentials created since the world was loaded or the calls cleared, in
// order, each as "type=0 refresh=ActionRefreshCmapFile
// rights=ActionGetValue:3:always;ActionImportKey:0:pin keysize=2048
// import=2048/1 state=complete": the refresh action run before the
// creation (or none), per action the access mode and the rights read at
// creation (always, pin for the card's own PIN, or ACL/ACR), the key size
// attribute, the key size and flags of the key import, the value's length
// (data credentials), primary=1 once attribute 38 was written true on it,
// and made, complete or deleted.
MWCTL_API size_t mwctlCreationCount();
MWCTL_API bool mwctlCreation(size_t index, wchar_t* text, size_t chars);
// The value written on data credential `index` of mwctlCreation: its length,
// and as much of it as fits in `bytes` (which may be null).
MWCTL_API size_t mwctlCreationValue(size_t index, unsigned char* bytes, size_t size);
// Created credential objects handed out and not yet deleted by their owner.
MWCTL_API size_t mwctlCreatedCredentialsHeld();
// Holds the `occurrence`th call named `name` from now ("Credential::GetProperty"...)
// before it does anything: `reached` is set, and the call waits until
// `release` is set (at most 30 s). Meanwhile the controller answers no other
// thread. A null name cancels.
MWCTL_API void mwctlHoldCall(const wchar_t* name, unsigned occurrence, HANDLE reached, HANDLE release);
}
