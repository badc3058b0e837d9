#include "CrashGuard.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <exception>

namespace {

// Written by the test thread, read by a crashing thread: a fixed buffer
// needs no allocation and no lock at crash time.
char g_context[256] = "";

// The report goes straight to the handle: the crashed thread may hold the
// C runtime's stream locks.
void Report(const char* text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(strlen(text)), &written, nullptr);
}

// "module+0xoffset" for a code address, or "?" when no module holds it.
void DescribeAddress(const void* address, char* out, size_t size)
{
    HMODULE module = nullptr;
    char path[MAX_PATH] = "?";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<const char*>(address), &module) &&
        GetModuleFileNameA(module, path, MAX_PATH)) {
        const char* name = strrchr(path, '\\');
        snprintf(out, size, "%s+0x%llx", name ? name + 1 : path,
                 static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(address) -
                                                 reinterpret_cast<ULONG_PTR>(module)));
        return;
    }
    snprintf(out, size, "?");
}

[[noreturn]] void ReportAndEnd(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD* record = pointers ? pointers->ExceptionRecord : nullptr;
    char where[MAX_PATH + 32];
    char access[96] = "";
    char text[1024];
    if (record) {
        DescribeAddress(record->ExceptionAddress, where, sizeof(where));
        if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
            const ULONG_PTR kind = record->ExceptionInformation[0];
            snprintf(access, sizeof(access), ", %s %p", kind == 0 ? "reading" : kind == 8 ? "executing" : "writing",
                     reinterpret_cast<void*>(record->ExceptionInformation[1]));
        }
        snprintf(text, sizeof(text), "crash: unhandled exception 0x%08lX at %p (%s)%s on thread %lu during %s\n",
                 static_cast<unsigned long>(record->ExceptionCode), record->ExceptionAddress, where, access,
                 GetCurrentThreadId(), g_context[0] ? g_context : "start-up or shut-down");
    } else {
        snprintf(text, sizeof(text), "crash: unhandled exception on thread %lu\n", GetCurrentThreadId());
    }
    Report(text);
    // Ends every thread now, before the system's own handling starts a
    // debugger that may report a different exit code.
    TerminateProcess(GetCurrentProcess(), kUnhandledExceptionExitCode);
    for (;;)
        ExitProcess(kUnhandledExceptionExitCode);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers)
{
    ReportAndEnd(pointers);
}

bool IsFault(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case STATUS_HEAP_CORRUPTION:
    case STATUS_STACK_BUFFER_OVERRUN:
        return true;
    default:
        return false;
    }
}

// Whether `address` lies in a module of the system rather than in ours.
bool IsInSystemModule(const void* address)
{
    HMODULE module = nullptr;
    wchar_t path[MAX_PATH] = {};
    wchar_t windows[MAX_PATH] = {};
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<const wchar_t*>(address), &module) ||
        !GetModuleFileNameW(module, path, MAX_PATH))
        return false;
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    return length > 0 && length < MAX_PATH && _wcsnicmp(path, windows, length) == 0;
}

// Sees every exception first. A fault in our own code (or at an address no
// module holds, as a call through a freed object makes) is a crash even
// where the system would swallow it: Wine drops exceptions raised in a
// window procedure that handles a message sent from another thread, and
// the sender then waits forever. Faults inside system modules may be ones
// the system expects and handles itself, so those are left to the
// unhandled-exception filter.
LONG WINAPI OnFirstChance(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD* record = pointers ? pointers->ExceptionRecord : nullptr;
    if (record && IsFault(record->ExceptionCode) && !IsInSystemModule(record->ExceptionAddress))
        ReportAndEnd(pointers);
    return EXCEPTION_CONTINUE_SEARCH;
}

[[noreturn]] void OnTerminate()
{
    char what[512] = "no exception";
    if (std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& e) {
            snprintf(what, sizeof(what), "exception \"%s\"", e.what());
        } catch (...) {
            snprintf(what, sizeof(what), "an exception of unknown type");
        }
    }
    char text[1024];
    snprintf(text, sizeof(text), "crash: std::terminate with %s on thread %lu during %s\n", what, GetCurrentThreadId(),
             g_context[0] ? g_context : "start-up or shut-down");
    Report(text);
    TerminateProcess(GetCurrentProcess(), kTerminateExitCode);
    for (;;)
        ExitProcess(kTerminateExitCode);
}

} // namespace

void InstallCrashGuard()
{
    static PVOID firstChance = AddVectoredExceptionHandler(1, OnFirstChance);
    (void)firstChance;
    SetUnhandledExceptionFilter(OnUnhandledException);
    std::set_terminate(OnTerminate);
}

void SetCrashContext(const char* context)
{
    snprintf(g_context, sizeof(g_context), "%s", context ? context : "");
}

const char* CrashContext()
{
    return g_context;
}
