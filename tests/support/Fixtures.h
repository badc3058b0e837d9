#pragma once
// Fixtures shared by the test programs: registry values set for one test and
// restored after it, capture of the lines the log service receives, and the
// folders of the build tree.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The policy and installation keys the library reads.
inline constexpr const wchar_t* kPolicyKey = L"Software\\Policies\\Quellon\\Velkor";
inline constexpr const wchar_t* kInstallKey = L"SOFTWARE\\Quellon\\Velkor";

// Sets values under HKEY_LOCAL_MACHINE (64-bit view) in Wine's real registry
// and puts back what was there, or removes them, when it goes away.
class RegistryFixture {
public:
    RegistryFixture() = default;
    RegistryFixture(const RegistryFixture&) = delete;
    RegistryFixture& operator=(const RegistryFixture&) = delete;
    ~RegistryFixture();

    void SetDword(const std::wstring& key, const std::wstring& name, DWORD value);
    void SetString(const std::wstring& key, const std::wstring& name, const std::wstring& value);
    void SetRaw(const std::wstring& key, const std::wstring& name, DWORD type, const void* data, DWORD bytes);
    void Remove(const std::wstring& key, const std::wstring& name);

private:
    struct Saved {
        std::wstring key;
        std::wstring name;
        bool existed;
        DWORD type;
        std::vector<BYTE> data;
    };
    void Save(const std::wstring& key, const std::wstring& name);
    std::vector<Saved> m_saved;
};

// Sets the desktop's work area (where the taskbar is not) and puts the old
// one back when it goes away.
class ScopedWorkArea {
public:
    explicit ScopedWorkArea(const RECT& area);
    ~ScopedWorkArea();
    ScopedWorkArea(const ScopedWorkArea&) = delete;
    ScopedWorkArea& operator=(const ScopedWorkArea&) = delete;
    bool Applied() const { return m_bApplied; }

private:
    RECT m_rcSaved = {};
    bool m_bApplied = false;
};

// Dispatches this thread's messages until `done` holds or `timeoutMs` has
// passed, calling `each` after every message and every wake-up (at least
// every 5 ms). Returns whether `done` held.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs,
                       const std::function<void(const MSG*)>& each = {});

struct LogLine {
    int level;
    std::wstring tag;
    std::wstring text;
};

// Captures every line logged in this process while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    bool Has(int level, const std::wstring& text) const;
    // Lines whose text contains `part`.
    size_t Count(const std::wstring& part) const;

private:
    std::vector<LogLine> Lines() const;
};

// The folder of the running test program (the build's bin/), with a
// trailing backslash.
std::wstring BinDirectory();
// build/test-artifacts/NAME+SUFFIX, for screenshots of failed tests (the
// characters a file name cannot hold in `name` made '_').
std::wstring ArtifactPath(std::string name, const std::wstring& suffix);
// A new empty folder under the temporary folder, removed by the caller.
std::wstring MakeTempDirectory();
void RemoveDirectoryTree(const std::wstring& path);

// A private shared data cache (the per-card notification dates) for this
// process and the processes it starts, while it lives.
class DataCacheFolder {
public:
    DataCacheFolder() : m_dir(MakeTempDirectory()) { SetEnvironmentVariableW(L"VELKOR_DATA_CACHE", m_dir.c_str()); }
    ~DataCacheFolder()
    {
        SetEnvironmentVariableW(L"VELKOR_DATA_CACHE", nullptr);
        RemoveDirectoryTree(m_dir);
    }
    DataCacheFolder(const DataCacheFolder&) = delete;
    DataCacheFolder& operator=(const DataCacheFolder&) = delete;
    const std::wstring& Dir() const { return m_dir; }

private:
    std::wstring m_dir;
};

// Text of string `id` in `module`, loaded independently of the library.
std::wstring ResourceString(HMODULE module, UINT id);

// Waits until `window`'s thread (of this process) has taken from its queue
// every message posted to it before this call; false past `deadline`, or
// once the window is hidden (ended) when `untilHidden`.
bool WaitForQueueDrained(HWND window, ULONGLONG deadline, bool pumpThisThread = false, bool untilHidden = false);

// Runs bin/hostile_sender.exe against `window` and its descendants: another
// process posting and sending every message below WM_USER and the library's
// registered ones with boundary and random values (seeded by `seed`).
// `controlBudget`, when not negative, caps the messages aimed at the
// descendants (picked at random; the window itself takes the whole stream).
// With VELKOR_SOAK=1 every pair of values goes at every window. Returns how
// many messages it tried, once the window's thread has taken every one from
// its queue; negative when it failed, the window was gone before it
// finished, or its thread did not get through the messages in time.
// VELKOR_HOSTILE_MESSAGES=FIRST-LAST sends only that range of messages.
// With `pumpThisThread`, the calling thread handles its own windows'
// messages meanwhile (for windows it owns).
long SendHostileTraffic(HWND window, unsigned seed, long controlBudget = -1, bool pumpThisThread = false);
