#include "DataCacheClient.h"

#include "vklogu.h"

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <cwctype>

namespace {

constexpr const wchar_t* kTag = L"VKSHAREDSTORE";
constexpr DWORD kMagic = 0x43444B56; // "VKDC"
constexpr DWORD kMaxValues = 1024;
// A replace that fails although every writer and reader of ours waits on
// the lock meets someone else holding the file: tried this often, then
// reported.
constexpr int kReplaceAttempts = 5;

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

// FNV-1a over the header and the values: a file cut short or overwritten
// in part does not pass for a value.
DWORD Checksum(const void* data, size_t bytes)
{
    DWORD hash = 2166136261u;
    for (size_t i = 0; i < bytes; ++i)
        hash = (hash ^ static_cast<const unsigned char*>(data)[i]) * 16777619u;
    return hash;
}

// One writer or any number of readers of a value at a time, across
// processes: a byte-range lock on "<value file>.lock", which stays in place
// (removing it would let two writers lock two different files). The system
// releases the lock of a process that dies.
//
// Wine waits for a byte-range lock held by another process by trying again
// every 100 ms, which makes contended writes crawl; a mutex named after the
// file, taken first, hands the value from one process of the session to the
// next at once and leaves the file lock uncontended but for processes of
// other sessions.
class CacheLock {
public:
    CacheLock(const std::wstring& file, bool exclusive)
    {
        if (!TakeSessionMutex(file))
            return;
        m_hFile = CreateFileW((file + L".lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (m_hFile == INVALID_HANDLE_VALUE)
            return;
        OVERLAPPED whole = {};
        m_bHeld = LockFileEx(m_hFile, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &whole) != FALSE;
    }
    ~CacheLock()
    {
        if (m_bHeld) {
            OVERLAPPED whole = {};
            UnlockFileEx(m_hFile, 0, 1, 0, &whole);
        }
        if (m_hFile != INVALID_HANDLE_VALUE)
            CloseHandle(m_hFile);
        if (m_bOwnsMutex)
            ReleaseMutex(m_hMutex);
        if (m_hMutex)
            CloseHandle(m_hMutex);
    }
    CacheLock(const CacheLock&) = delete;
    CacheLock& operator=(const CacheLock&) = delete;
    bool Held() const { return m_bHeld; }

private:
    bool TakeSessionMutex(const std::wstring& file)
    {
        uint64_t hash = 14695981039346656037ull;
        for (wchar_t c : file)
            hash = (hash ^ static_cast<uint64_t>(towlower(c))) * 1099511628211ull;
        wchar_t name[64];
        swprintf(name, 64, L"Local\\VelkorDataCache-%016llx", static_cast<unsigned long long>(hash));
        m_hMutex = CreateMutexW(nullptr, FALSE, name);
        if (!m_hMutex)
            return false;
        // A holder that died leaves the mutex abandoned: the value file is
        // whole all the same, since it is only ever replaced in one step.
        const DWORD waited = WaitForSingleObject(m_hMutex, kLockWaitMs);
        m_bOwnsMutex = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        if (!m_bOwnsMutex)
            vklogLog(kTag, VKLOG_ERROR, L"DataCacheClient: %s stayed locked for %u ms", file.c_str(), kLockWaitMs);
        return m_bOwnsMutex;
    }

    static constexpr DWORD kLockWaitMs = 30000;
    HANDLE m_hMutex = nullptr;
    bool m_bOwnsMutex = false;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    bool m_bHeld = false;
};

// Temporary files of writers that died before their replace; only the
// holder of the exclusive lock may remove them.
void RemoveLeftovers(const std::wstring& file)
{
    const std::wstring folder = file.substr(0, file.find_last_of(L'\\') + 1);
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((file + L".*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (DeleteFileW((folder + found.cFileName).c_str()))
            vklogLog(kTag, VKLOG_INFO, L"DataCacheClient: removed %s, left by a writer that did not finish", found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// A name no other writer, in this process or another, uses at the same time.
std::wstring TemporaryName(const std::wstring& file)
{
    static std::atomic<unsigned> counter{0};
    return file + L"." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(GetCurrentThreadId()) + L"." +
           std::to_wstring(++counter) + L".tmp";
}

} // namespace

long DataCacheClient::GetData(const std::wstring& store, const std::wstring& compartment, const std::wstring& name,
                              std::vector<uint64_t>& values)
{
    values.clear();
    std::wstring file = FileOf(store, compartment, name);
    if (file.empty()) {
        vklogLog(kTag, VKLOG_ERROR, L"DataCacheClient::GetData: refused a name that is empty, too long or not plain");
        return kDataCacheBadName;
    }
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        return kDataCacheNotFound;
    CacheLock lock(file, false);
    if (!lock.Held()) {
        vklogLog(kTag, VKLOG_ERROR, L"DataCacheClient::GetData: cannot lock %s (0x%x)", file.c_str(), GetLastError());
        return kDataCacheIoError;
    }
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return kDataCacheNotFound;
    LARGE_INTEGER size = {};
    std::vector<unsigned char> bytes;
    bool read = GetFileSizeEx(h, &size) && size.QuadPart <= static_cast<LONGLONG>(12 + kMaxValues * 8);
    if (read) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        read = bytes.empty() ||
               (ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size());
    }
    CloseHandle(h);
    DWORD header[2] = {};
    DWORD sum = 0;
    if (read && bytes.size() >= sizeof(header) + sizeof(sum))
        memcpy(header, bytes.data(), sizeof(header));
    const size_t payload = sizeof(header) + static_cast<size_t>(header[1]) * sizeof(uint64_t);
    if (header[0] != kMagic || header[1] > kMaxValues || bytes.size() != payload + sizeof(sum) ||
        (memcpy(&sum, bytes.data() + payload, sizeof(sum)), sum != Checksum(bytes.data(), payload))) {
        // The next write replaces it whole.
        vklogLog(kTag, VKLOG_ERROR, L"DataCacheClient::GetData: %s is damaged (%u bytes); it reads as no value",
                 file.c_str(), static_cast<unsigned>(bytes.size()));
        return kDataCacheCorrupt;
    }
    values.resize(header[1]);
    if (header[1])
        memcpy(values.data(), bytes.data() + sizeof(header), header[1] * sizeof(uint64_t));
    return 0;
}

long DataCacheClient::SetData(const std::wstring& store, const std::wstring& compartment, const std::wstring& name,
                              const std::vector<uint64_t>& values)
{
    std::wstring file = FileOf(store, compartment, name);
    if (file.empty() || values.size() > kMaxValues) {
        vklogLog(kTag, VKLOG_ERROR, L"DataCacheClient::SetData: refused a name that is empty, too long or not plain, "
                                    L"or %u values",
                 static_cast<unsigned>(values.size()));
        return kDataCacheBadName;
    }
    CreateFolders(file);
    CacheLock lock(file, true);
    if (!lock.Held()) {
        vklogLog(kTag, VKLOG_ERROR, L"DataCacheClient::SetData: cannot lock %s (0x%x)", file.c_str(), GetLastError());
        return kDataCacheIoError;
    }
    RemoveLeftovers(file);

    std::vector<unsigned char> bytes(sizeof(DWORD) * 2 + values.size() * sizeof(uint64_t));
    const DWORD header[2] = {kMagic, static_cast<DWORD>(values.size())};
    memcpy(bytes.data(), header, sizeof(header));
    if (!values.empty())
        memcpy(bytes.data() + sizeof(header), values.data(), values.size() * sizeof(uint64_t));
    const DWORD sum = Checksum(bytes.data(), bytes.size());
    bytes.insert(bytes.end(), reinterpret_cast<const unsigned char*>(&sum),
                 reinterpret_cast<const unsigned char*>(&sum) + sizeof(sum));

    // Written beside the value, then moved over it in one step: a reader
    // sees the old value or the new one, never part of either.
    const std::wstring temporary = TemporaryName(file);
    HANDLE h = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        vklogLog(kTag, VKLOG_ERROR, L"DataCacheClient::SetData: cannot create %s (0x%x)", temporary.c_str(),
                 GetLastError());
        return kDataCacheIoError;
    }
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    ok = FlushFileBuffers(h) && ok;
    CloseHandle(h);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    for (int attempt = 1; ok && attempt <= kReplaceAttempts; ++attempt) {
        if (MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return 0;
        error = GetLastError();
        vklogLog(kTag, VKLOG_INFO, L"DataCacheClient::SetData: replacing %s failed (0x%x), attempt %d of %d",
                 file.c_str(), error, attempt, kReplaceAttempts);
    }
    DeleteFileW(temporary.c_str());
    vklogLog(kTag, VKLOG_ERROR, L"DataCacheClient::SetData: the value of %s was not stored (0x%x)", file.c_str(), error);
    return kDataCacheIoError;
}
