#include "DataCacheClient.h"

#include <windows.h>
#include <shlobj.h>

namespace {

constexpr DWORD kMagic = 0x43444B56; // "VKDC"

// Store, compartment and name become folder and file names: letters,
// digits, braces and dashes only, so that no name can leave the cache.
bool SafeName(const std::wstring& name)
{
    if (name.empty() || name.size() > 120)
        return false;
    for (wchar_t c : name)
        if (!iswalnum(c) && c != L'{' && c != L'}' && c != L'-' && c != L'_')
            return false;
    return true;
}

std::wstring Root()
{
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(L"VELKOR_DATA_CACHE", path, MAX_PATH);
    if (n && n < MAX_PATH)
        return std::wstring(path) + L"\\";
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path) != S_OK)
        return std::wstring();
    return std::wstring(path) + L"\\Quellon\\Velkor\\DataCache\\";
}

void CreateFolders(const std::wstring& path)
{
    for (size_t i = 3; i < path.size(); ++i)
        if (path[i] == L'\\')
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

std::wstring FileOf(const std::wstring& store, const std::wstring& compartment, const std::wstring& name)
{
    std::wstring root = Root();
    if (root.empty() || !SafeName(store) || !SafeName(compartment) || !SafeName(name))
        return std::wstring();
    return root + store + L"\\" + compartment + L"\\" + name + L".bin";
}

} // namespace

long DataCacheClient::GetData(const std::wstring& store, const std::wstring& compartment, const std::wstring& name,
                              std::vector<uint64_t>& values)
{
    values.clear();
    std::wstring file = FileOf(store, compartment, name);
    if (file.empty())
        return kDataCacheBadName;
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return kDataCacheNotFound;
    DWORD header[2] = {};
    DWORD read = 0;
    long status = kDataCacheIoError;
    if (ReadFile(h, header, sizeof(header), &read, nullptr) && read == sizeof(header) && header[0] == kMagic &&
        header[1] <= 1024) {
        values.resize(header[1]);
        DWORD bytes = header[1] * sizeof(uint64_t);
        if (bytes == 0 || (ReadFile(h, values.data(), bytes, &read, nullptr) && read == bytes))
            status = 0;
        else
            values.clear();
    }
    CloseHandle(h);
    return status;
}

long DataCacheClient::SetData(const std::wstring& store, const std::wstring& compartment, const std::wstring& name,
                              const std::vector<uint64_t>& values)
{
    std::wstring file = FileOf(store, compartment, name);
    if (file.empty() || values.size() > 1024)
        return kDataCacheBadName;
    CreateFolders(file);
    // Written beside the value, then moved over it in one step.
    std::wstring temporary = file + L"." + std::to_wstring(GetCurrentProcessId()) + L".new";
    HANDLE h = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return kDataCacheIoError;
    DWORD header[2] = {kMagic, static_cast<DWORD>(values.size())};
    DWORD written = 0;
    bool ok = WriteFile(h, header, sizeof(header), &written, nullptr) && written == sizeof(header);
    DWORD bytes = static_cast<DWORD>(values.size() * sizeof(uint64_t));
    if (ok && bytes)
        ok = WriteFile(h, values.data(), bytes, &written, nullptr) && written == bytes;
    ok = FlushFileBuffers(h) && ok;
    CloseHandle(h);
    if (!ok || !MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return kDataCacheIoError;
    }
    return 0;
}
