#include "CrashGuard.h"

#include <cstdio>
#include <cstring>
#include <exception>

namespace {

// Written by the test thread, read by a crashing thread: a fixed buffer
// needs no allocation and no lock at crash time.
char g_context[256] = "";

const char* Context()
{
    return g_context[0] ? g_context : "start-up or shut-down";
}

// The report goes straight to the handle: the crashed thread may hold the
// C runtime's stream locks. Every thread ends now, before the system's own
// handling starts a debugger that may report a different exit code.
[[noreturn]] void ReportAndExit(const char* text, UINT exitCode)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), exitCode);
    for (;;)
        ExitProcess(exitCode);
}

// The image that holds `address`, or null. Read from the address space
// alone: the loader's lock may be held by the thread that faulted, or by
// one that waits for it.
const unsigned char* ImageOf(const void* address)
{
    MEMORY_BASIC_INFORMATION region = {};
    if (!VirtualQuery(address, &region, sizeof(region)) || region.Type != MEM_IMAGE)
        return nullptr;
    return static_cast<const unsigned char*>(region.AllocationBase);
}

// The name an image gives itself in its export directory; the program's
// own has none.
const char* ImageName(const unsigned char* image)
{
    if (!image)
        return "?";
    if (image == reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr)))
        return "the test program";
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& exports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (!exports.VirtualAddress || !exports.Size)
        return "?";
    const auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(image + exports.VirtualAddress);
    return directory->Name ? reinterpret_cast<const char*>(image + directory->Name) : "?";
}

// "module+0xoffset" for a code address, or "?" when no image holds it.
void DescribeAddress(const void* address, char* out, size_t size)
{
    const unsigned char* image = ImageOf(address);
    if (!image) {
        snprintf(out, size, "?");
        return;
    }
    snprintf(out, size, "%s+0x%llx", ImageName(image),
             static_cast<unsigned long long>(static_cast<const unsigned char*>(address) - image));
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
                 GetCurrentThreadId(), Context());
    } else {
        snprintf(text, sizeof(text), "crash: unhandled exception on thread %lu\n", GetCurrentThreadId());
    }
    ReportAndExit(text, kUnhandledExceptionExitCode);
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

// Whether `address` lies in a module of the system rather than in ours:
// Wine marks its own modules in their headers.
bool IsInSystemModule(const void* address)
{
    static const char kWineBuiltin[] = "Wine builtin DLL";
    const unsigned char* image = ImageOf(address);
    return image && memcmp(image + 0x40, kWineBuiltin, sizeof(kWineBuiltin) - 1) == 0;
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
             Context());
    ReportAndExit(text, kTerminateExitCode);
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
