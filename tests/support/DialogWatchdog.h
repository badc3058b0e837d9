#pragma once
// Ends a test run that waits for a dialog nobody will close. Tests drive
// every dialog they open to its end within seconds; a fault that leaves one
// open (a button that no longer closes it, a holder that never found it)
// would otherwise hold the test until ctest's time-out. The watchdog names
// the dialog, saves the screen and ends the program with its own exit code.
#include <windows.h>

#include <string>

// Exit code of a run ended by the watchdog (a distinct low byte, as the
// crash codes).
inline constexpr UINT kDialogLeftOpenExitCode = 0xC7;

// Watches the visible dialogs of this process, from the first wait for a
// window on: one open for longer than `maxOpenMs` ends the run. Only tests
// that drive dialogs are watched; a watching thread beside a test that
// loads and unloads the library has been seen to hang it under Wine.
void StartDialogWatchdog(DWORD maxOpenMs);
// Ends the watch. It must not outlive the test: a thread still running when
// the process exits may be cut off holding a lock that the exit needs.
void StopDialogWatchdog();

// While one lives, dialogs are held open on purpose (another program is
// sending them messages, with a deadline of its own): none counts as left
// open, and each is timed afresh once the last hold ends.
class HoldingDialogs {
public:
    HoldingDialogs();
    ~HoldingDialogs();
    HoldingDialogs(const HoldingDialogs&) = delete;
    HoldingDialogs& operator=(const HoldingDialogs&) = delete;
};

// A holder gave up waiting for `what`: the test has failed, so dialogs still
// open will not be closed by it and are given only a short grace.
void ReportMissedDialog(const std::wstring& what);
