#include "LoadLibrarySync.h"

#include <cwchar>
#include <mutex>
#include <string>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

std::mutex g_loaderLock;

bool IsRelative(const wchar_t* path)
{
    if (path[0] == L'\\' || path[0] == L'/')
        return false;
    return !(path[0] && path[1] == L':');
}

std::wstring OwnDirectory()
{
    wchar_t self[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::wstring();
    std::wstring dir(self, n);
    size_t slash = dir.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : dir.substr(0, slash + 1);
}

} // namespace

CMWException::CMWException(DWORD error, const wchar_t* path) : m_dwError(error), m_szPath{}
{
    if (path)
        wcsncpy(m_szPath, path, MAX_PATH - 1);
}

DWORD LoadLibrarySync(const wchar_t* path, HMODULE* module, DWORD flags)
{
    if (!path || !*path || !module) {
        SetLastError(ERROR_INVALID_PARAMETER);
        throw new CMWException(ERROR_INVALID_PARAMETER, path);
    }
    std::wstring full = IsRelative(path) ? OwnDirectory() + path : std::wstring(path);
    std::lock_guard<std::mutex> hold(g_loaderLock);
    HMODULE loaded = LoadLibraryExW(full.c_str(), nullptr, flags | LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!loaded) {
        DWORD error = GetLastError();
        throw new CMWException(error, full.c_str());
    }
    *module = loaded;
    return ERROR_SUCCESS;
}

void LoadLibrariesSync(const std::vector<std::pair<const wchar_t*, HMODULE*>>& modules, HANDLE mutex)
{
    if (mutex)
        WaitForSingleObject(mutex, INFINITE);
    CMWException* first = nullptr;
    for (const auto& [path, handle] : modules) {
        if (!handle || *handle)
            continue;
        try {
            LoadLibrarySync(path, handle, 0);
        } catch (CMWException* e) {
            if (first)
                delete e;
            else
                first = e;
        }
    }
    if (mutex)
        ReleaseMutex(mutex);
    if (first) {
        SetLastError(first->GetError());
        throw first;
    }
}
