#pragma once
// The library's exported plain functions, as a caller declares them. The
// names are undecorated; a caller that loads the library at run time looks
// them up by these names.
#include <windows.h>

#ifdef VKGUI_BUILD
#define VKGUI_API __declspec(dllexport)
#define VKGUI_CLASS __declspec(dllexport)
#else
#define VKGUI_API __declspec(dllimport)
#define VKGUI_CLASS __declspec(dllimport)
#endif

extern "C" {
// Puts the library's classes and resources on the caller's framework chain.
VKGUI_API void InitGUIDll();
// Sets the text the PIN prompt shows instead of its own; null clears it.
VKGUI_API void SetPinPromptString(const wchar_t* prompt);
// Text of a card layer result code. Always the same static buffer; a code
// without a text returns the buffer unchanged.
VKGUI_API const wchar_t* GetErrorString(int code);
// Zeroes `length` bytes of a PIN buffer handed out by the library, then frees it.
VKGUI_API void FreeGetPinBuffer(void* buffer, unsigned int length);
VKGUI_API void FreeReaderNameBuffer();
// Warns that one PIN try is left: 0 when the holder goes on, -1 otherwise.
VKGUI_API int DisplayLastPINTry(const wchar_t* reader);

// Asks for the PIN of the card in `reader`. 0 when the holder confirmed:
// *pin is then a buffer of *pinLength bytes in the system code page (null
// for an empty PIN), followed by a zero byte that the length leaves out,
// which the caller releases with FreeGetPinBuffer. A character may take more
// than one byte (two for Japanese or Chinese on code pages 932 and 936); one
// that the code page lacks comes as the code page's default character ("?"),
// never as a look-alike letter. -1 when
// the holder cancelled, the card left, the workstation is locked or another
// prompt is open. The callback is called every `timerPeriod` ms while the
// dialog is open (0: never).
VKGUI_API int GetPINFromUser(HWND parent, const wchar_t* reader, int lastTry, int minLength, int maxLength,
                             char** pin, int* pinLength, void(CALLBACK* timerCallback)(void*),
                             void* timerArgument, unsigned int timerPeriod);
// Asks for the current PIN (unless `askCurrentPin` is false) and a new PIN
// typed twice, checked live against the PIN rules. 0: the PINs are in the
// caller's buffers, which must hold 128 wide characters each (a PIN field
// takes at most 127), with their lengths. -1: cancelled, card removed,
// workstation locked, or the rules of a page already open do not hold.
VKGUI_API int GetChangePINInfoFromUser(int numericOnly, int weakPINAllowed, int minLength, int maxLength,
                                       int firstUse, int lastTry, wchar_t* newPin, int* newPinLength,
                                       wchar_t* currentPin, int* currentPinLength, const wchar_t* reader,
                                       HWND parent, bool askCurrentPin, void(CALLBACK* timerCallback)(void*),
                                       void* timerArgument, unsigned int timerPeriod);
// Unlocks the blocked card in `readerName` (or in a copy of `reader` when
// given) by challenge and response with a new PIN. 1 when unlocked, 2 when
// cancelled, the card left, the workstation locked or the reader could not
// be reached, -1 when the dialog cannot be shown. When the card may not be
// unlocked here, the holder is sent to the unlock tool instead and the
// result is that notice's: 1 also when the holder confirmed it, although
// nothing was unlocked.
VKGUI_API int ShowUnlockDialog(HWND parent, const wchar_t* readerName, class VKReader* reader);
// Shows the backup unlock code of the card in `readerName`; 1 when the
// holder had it removed (or the card has none), else 0.
VKGUI_API int ShowUnlockCode(HWND parent, const wchar_t* readerName);
// The same with the caller's callbacks: getCode(context, code) fetches the
// code into `code` and answers 0 or a card layer result code;
// removeCode(context) removes it.
VKGUI_API int DisplayUnlockCode(class CWnd* parent, void* context, int (*getCode)(void* context, class CSecStr* code),
                                int (*removeCode)(void* context), const wchar_t* readerName);
// Asks the holder to allow one use of a key that needs approval each time:
// 0 when allowed, -1 otherwise (also when it cannot be shown).
VKGUI_API int ShowPINAlwaysPrompt(HWND parent, const wchar_t* reader);

// Shows a popup near the notification area. Request codes 0 to 3 show the
// library's popup of that type (no reader, card alert, one-time password,
// auto-update) and return at once unless `bWait`; 1000 to 1003 show the same
// types in a popup of their own and always wait. With `nParentMode` 1 the
// desktop shell window is the popup's owner. 1 when the holder chose to
// proceed, 2 when the popup closed otherwise or nothing was shown, or the
// answer of the system toast shown instead.
VKGUI_API int ShowPopupWindow(int iWndType, HWND hParent, BOOL bWait, int nParentMode);
// The no-reader popup; returns at once.
VKGUI_API void ShowAlertPopup(HWND hParent);
// The auto-update popup; waits and returns 1 when the holder chose to update.
VKGUI_API int ShowAutoUpdateStartPopup(HWND hParent);
// The one-time password popup: a progress bar while `pfnWorker` runs on a
// thread of its own with the popup's window handle, then the text the worker
// hands over with CPopupAlert::PostOtpText. Waits until the popup closes.
VKGUI_API void ShowOTPAlertPopup(HWND hParent, const wchar_t* pszMessage, LPTHREAD_START_ROUTINE pfnWorker,
                                 const wchar_t* pszReader);

// Lets the holder pick a reader. 1 OK: *ppReaderName is a buffer from the
// run-time heap (free it with free) holding the reader's name without a
// terminator, *pnReaderNameLength its length in characters. 2 cancelled,
// -1 when the buffer cannot be had or an output pointer is null.
VKGUI_API int ShowQLSelectCard(HWND hParent, wchar_t** ppReaderName, int* pnReaderNameLength);
// Tells the holder the card's card manager is blocked: a toast where the
// desktop has them, else a dialog that ends when the card leaves readerName.
VKGUI_API void ShowCMLockedDlg(HWND parent, const wchar_t* readerName);
// The about box; returns its modal result. The second argument is unused.
VKGUI_API int ShowAbout(int backgroundFlag, int reserved, const wchar_t* text);

// Checks the card in `pszReaderName` and, when the card or one of its
// certificates expires within the configured windows, tells the holder.
// `hCancelEvent`, signalled from any thread, closes the notification. 1 when
// the reader could be connected, 2 otherwise.
VKGUI_API int ShowValidityCheckDialog(HWND hParent, const wchar_t* pszReaderName, HANDLE hCancelEvent, BOOL bCheckCard,
                                      BOOL bCheckCertificates);
// Shows the expiry notification the record describes: 1 (OK) or 2 (cancelled,
// or nothing to show, or a null output). On OK *pnUpdatedExpirationDays is
// the days the holder chose (-1 when equal to the record's delay); otherwise
// -1. *pbDontRemindMe is the holder's do-not-remind-me choice (after a
// cancel, only when something has expired).
VKGUI_API int DisplayCardExpiryNotificationEx(HWND hParent, class VKExpiryNotificationInfo& info,
                                              int* pnUpdatedExpirationDays, int* pbDontRemindMe);
// The days the holder confirmed, or -1 (not confirmed, or unchanged).
VKGUI_API int DisplayCardExpiryNotification(HWND hParent, class VKExpiryNotificationInfo* pInfo);
}
