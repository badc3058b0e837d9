#pragma once
// Makes a crash anywhere in a test program fail the run. An exception that
// no code handles, on any thread, and std::terminate are reported on stderr
// (what happened, where, on which thread, during which test) and end the
// process at once with an exit code of their own, so that nothing between
// the crash and the shell can turn it into a success.
#include <windows.h>

// Exit codes of a crashed test program. Only the low byte of an exit code
// reaches a POSIX shell through Wine, so each is a distinct low byte.
inline constexpr UINT kUnhandledExceptionExitCode = 0xC5;
inline constexpr UINT kTerminateExitCode = 0xC6;

// Installs the handlers; calling it again puts them back if something
// replaced them.
void InstallCrashGuard();

// Names what the program is doing (the running test), for the report.
void SetCrashContext(const char* context);
// What SetCrashContext named last.
const char* CrashContext();
