#include "ProcessResources.h"

#include <psapi.h>
#include <winternl.h>

#include <vector>

namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};

struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};

DWORD CountHandles()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count)
        return count;
    using Query = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return 0;
    std::vector<BYTE> buffer(1 << 16);
    NTSTATUS status;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), nullptr)) ==
           kInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status < 0)
        return 0;
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    const DWORD self = GetCurrentProcessId();
    count = 0;
    for (ULONG i = 0; i < list->count; ++i)
        if (list->entries[i].ownerPid == self)
            ++count;
    return count;
}

BOOL CALLBACK CountChild(HWND, LPARAM context)
{
    ++*reinterpret_cast<DWORD*>(context);
    return TRUE;
}

void CountTree(HWND window, DWORD& count)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId())
        return;
    ++count;
    EnumChildWindows(window, CountChild, reinterpret_cast<LPARAM>(&count));
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM context)
{
    CountTree(window, *reinterpret_cast<DWORD*>(context));
    return TRUE;
}

DWORD CountWindows()
{
    DWORD count = 0;
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
    for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
         window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr))
        CountTree(window, count);
    return count;
}

// Committed private memory, page by page (Wine reports no PrivateUsage).
SIZE_T CountPrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (auto* address = static_cast<BYTE*>(nullptr); VirtualQuery(address, &region, sizeof(region)) == sizeof(region);
         address = static_cast<BYTE*>(region.BaseAddress) + region.RegionSize)
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
    return total;
}

} // namespace

ProcessResources MeasureProcess()
{
    ProcessResources r = {};
    r.windows = CountWindows();
    r.handles = CountHandles();
    r.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    r.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory)))
        r.privateBytes = memory.PrivateUsage;
    if (r.privateBytes == 0)
        r.privateBytes = CountPrivateBytes();
    return r;
}
