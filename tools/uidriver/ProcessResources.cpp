#include "ProcessResources.h"

#include "ScopedGdi.h"

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

// Wine's GDI and USER handles carry the table index in their low word and a
// reuse count in the high word, and Wine resolves a handle whose high word
// is 0 by its index alone: every live entry answers a probe of its index.
constexpr UINT_PTR kHandleIndexEnd = 0x10000;
// USER entries sit at even values from 0x20 upwards.
constexpr UINT_PTR kFirstUserHandle = 0x20;

// Live GDI objects of every kind (DCs, fonts, brushes, pens, bitmaps,
// regions, palettes), the stock objects included; `drawing` counts those
// that are neither DCs nor regions.
DWORD ProbeGdiObjects(DWORD& drawing)
{
    DWORD count = 0;
    drawing = 0;
    for (UINT_PTR index = 1; index < kHandleIndexEnd; ++index) {
        switch (GetObjectType(reinterpret_cast<HGDIOBJ>(index))) {
        case 0:
            continue;
        case OBJ_PEN:
        case OBJ_EXTPEN:
        case OBJ_BRUSH:
        case OBJ_FONT:
        case OBJ_BITMAP:
        case OBJ_PAL:
            ++drawing;
            break;
        default:
            break;
        }
        ++count;
    }
    return count;
}

// Icons and cursors: the USER entries that describe themselves as one. The
// bitmaps the answer copies out are freed at once.
DWORD ProbeIcons()
{
    DWORD count = 0;
    for (UINT_PTR index = kFirstUserHandle; index < kHandleIndexEnd; index += 2) {
        ICONINFO info = {};
        if (!GetIconInfo(reinterpret_cast<HICON>(index), &info))
            continue;
        ++count;
        ScopedGdiObject<HBITMAP> mask(info.hbmMask);
        ScopedGdiObject<HBITMAP> color(info.hbmColor);
    }
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
    // GDI first: the icon probe makes and frees bitmaps of its own.
    r.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    r.drawingObjects = r.gdiObjects;
    if (r.gdiObjects == 0) // Wine keeps no count
        r.gdiObjects = ProbeGdiObjects(r.drawingObjects);
    r.icons = ProbeIcons();
    r.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (r.userObjects == 0) // Wine keeps no count; menus, hooks and the like stay unseen
        r.userObjects = r.windows + r.icons;
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory)))
        r.privateBytes = memory.PrivateUsage;
    if (r.privateBytes == 0)
        r.privateBytes = CountPrivateBytes();
    return r;
}
