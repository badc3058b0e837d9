#pragma once
// Module loading of the security-module common services.
#include <windows.h>

#include <utility>
#include <vector>

// Thrown (as a pointer the catcher deletes) when a module cannot be loaded.
class CMWException {
public:
    CMWException(DWORD error, const wchar_t* path);
    DWORD GetError() const { return m_dwError; }
    const wchar_t* GetPath() const { return m_szPath; }

private:
    DWORD m_dwError;
    wchar_t m_szPath[MAX_PATH];
};

// Loads `path` into *module. A relative path is taken from the directory of
// the module that calls (the one these services are linked into). The loader
// is serialized across threads. Throws CMWException* on failure, with the
// system's last error left as the loader set it.
DWORD LoadLibrarySync(const wchar_t* path, HMODULE* module, DWORD flags);

// Loads every (path, handle) of the list whose handle is still null, as
// LoadLibrarySync does, holding `mutex` (when given) meanwhile. Modules that
// load are kept even when another fails; the first failure is then thrown.
void LoadLibrariesSync(const std::vector<std::pair<const wchar_t*, HMODULE*>>& modules, HANDLE mutex);
