#include "ImportPatch.h"

#include <cstring>

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    if (!base)
        return;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress && entry->Name; ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<void**>(base + entry->FirstThunk);
        for (size_t i = 0; names[i].u1.AddressOfData; ++i) {
            if (IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal))
                continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                m_ppSlot = &slots[i];
                m_pOriginal = slots[i];
                Write(replacement);
                return;
            }
        }
    }
}

ImportPatch::~ImportPatch()
{
    if (m_ppSlot)
        Write(m_pOriginal);
}

void ImportPatch::Write(void* value)
{
    DWORD protection = 0;
    VirtualProtect(m_ppSlot, sizeof(void*), PAGE_READWRITE, &protection);
    *m_ppSlot = value;
    VirtualProtect(m_ppSlot, sizeof(void*), protection, &protection);
}
