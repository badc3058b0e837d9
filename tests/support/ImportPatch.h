#pragma once
// While it lives, one function that a loaded module imports from a DLL is
// replaced by another in that module's import table, so that a test sees
// what the module hands the system (the block it frees, the topic it opens).
#include <windows.h>

class ImportPatch {
public:
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    // The function the module imported; null when it imports no such name.
    void* Original() const { return m_pOriginal; }

private:
    void Write(void* value);
    void** m_ppSlot = nullptr;
    void* m_pOriginal = nullptr;
};
