#include "Fixtures.h"

#include "DialogWatchdog.h"
#include "vklog_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <filesystem>

namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;

} // namespace

RegistryFixture::~RegistryFixture()
{
    // Newest first, so that a value set twice ends as it was at the start.
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, it->key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | kView, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            continue;
        if (it->existed)
            RegSetValueExW(key, it->name.c_str(), 0, it->type, it->data.data(), static_cast<DWORD>(it->data.size()));
        else
            RegDeleteValueW(key, it->name.c_str());
        RegCloseKey(key);
    }
}

void RegistryFixture::Save(const std::wstring& key, const std::wstring& name)
{
    Saved saved{key, name, false, 0, {}};
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | kView, &handle) == ERROR_SUCCESS) {
        DWORD bytes = 0;
        if (RegQueryValueExW(handle, name.c_str(), nullptr, &saved.type, nullptr, &bytes) == ERROR_SUCCESS) {
            saved.data.resize(bytes);
            saved.existed = RegQueryValueExW(handle, name.c_str(), nullptr, &saved.type, saved.data.data(),
                                             &bytes) == ERROR_SUCCESS;
        }
        RegCloseKey(handle);
    }
    m_saved.push_back(std::move(saved));
}

void RegistryFixture::SetRaw(const std::wstring& key, const std::wstring& name, DWORD type, const void* data,
                             DWORD bytes)
{
    Save(key, name);
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                             KEY_SET_VALUE | kView, nullptr, &handle, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(handle, name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes));
    RegCloseKey(handle);
}

void RegistryFixture::SetDword(const std::wstring& key, const std::wstring& name, DWORD value)
{
    SetRaw(key, name, REG_DWORD, &value, sizeof(value));
}

void RegistryFixture::SetString(const std::wstring& key, const std::wstring& name, const std::wstring& value)
{
    SetRaw(key, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void RegistryFixture::Remove(const std::wstring& key, const std::wstring& name)
{
    Save(key, name);
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE | kView, &handle) == ERROR_SUCCESS) {
        RegDeleteValueW(handle, name.c_str());
        RegCloseKey(handle);
    }
}

LogCapture::LogCapture()
{
    vklogCaptureStart();
}

LogCapture::~LogCapture()
{
    vklogCaptureStop();
}

std::vector<LogLine> LogCapture::Lines() const
{
    std::vector<LogLine> lines;
    size_t count = vklogCaptureCount();
    for (size_t i = 0; i < count; ++i) {
        int level = 0;
        wchar_t tag[64];
        static wchar_t text[4096];
        if (vklogCaptureGet(i, &level, tag, 64, text, 4096))
            lines.push_back({level, tag, text});
    }
    return lines;
}

bool LogCapture::Has(int level, const std::wstring& text) const
{
    for (const LogLine& line : Lines())
        if (line.level == level && line.text == text)
            return true;
    return false;
}

size_t LogCapture::Count(const std::wstring& part) const
{
    size_t n = 0;
    for (const LogLine& line : Lines())
        if (line.text.find(part) != std::wstring::npos)
            ++n;
    return n;
}

std::wstring BinDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::wstring ArtifactPath(std::string name, const std::wstring& suffix)
{
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':')
            c = '_';
    const std::wstring bin = BinDirectory();
    const std::wstring build = bin.substr(0, bin.find_last_of(L"\\/", bin.size() - 2) + 1);
    return build + L"test-artifacts\\" + std::wstring(name.begin(), name.end()) + suffix;
}

std::wstring MakeTempDirectory()
{
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    for (unsigned attempt = 0;; ++attempt) {
        std::wstring dir = std::wstring(base) + L"vktest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                           std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(attempt);
        if (CreateDirectoryW(dir.c_str(), nullptr))
            return dir + L"\\";
    }
}

void RemoveDirectoryTree(const std::wstring& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path), ignored);
}

std::wstring ResourceString(HMODULE module, UINT id)
{
    const wchar_t* text = nullptr;
    int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

namespace {

// Handles this thread's messages while another program throws its own at them.
void DispatchForeignMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        // DispatchMessage would call a forged timer message's lParam (Wine
        // does not check it): the framework's hook drops them for the
        // library's windows, and this loop does for the caller's own.
        if ((msg.message == WM_TIMER || msg.message == 0x0118) && msg.lParam)
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A message posted after all others: its retrieval means the queue before it
// is empty. Each wait posts one with a number of its own.
constexpr WPARAM kDrainMarker = 0x56444D4B; // 'VDMK'
std::atomic<LPARAM> g_lastMarkerPosted{0};
std::atomic<LPARAM> g_lastMarkerSeen{0};

LRESULT CALLBACK SeeDrainMarker(int code, WPARAM removal, LPARAM lParam)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && removal == PM_REMOVE && msg && msg->message == WM_NULL && msg->wParam == kDrainMarker)
        g_lastMarkerSeen = msg->lParam;
    return CallNextHookEx(nullptr, code, removal, lParam);
}

} // namespace

bool WaitForQueueDrained(HWND window, ULONGLONG deadline, bool pumpThisThread, bool untilHidden)
{
    DWORD process = 0;
    const DWORD thread = GetWindowThreadProcessId(window, &process);
    if (!thread || process != GetCurrentProcessId())
        return true;
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, SeeDrainMarker, nullptr, thread);
    if (!hook)
        return false;
    const LPARAM marker = ++g_lastMarkerPosted;
    const bool posted = PostMessageW(window, WM_NULL, kDrainMarker, marker) != FALSE;
    while (posted && g_lastMarkerSeen != marker && !(untilHidden && !IsWindowVisible(window)) &&
           GetTickCount64() < deadline) {
        // A wait with a short time-out, not a pause: the marker is seen on another thread.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        if (pumpThisThread)
            DispatchForeignMessages();
    }
    UnhookWindowsHookEx(hook);
    return g_lastMarkerSeen == marker;
}

long SendHostileTraffic(HWND window, unsigned seed, long controlBudget, bool pumpThisThread)
{
    std::wstring command = L"\"" + BinDirectory() + L"hostile_sender.exe\" " +
                           std::to_wstring(reinterpret_cast<INT_PTR>(window)) + L" " + std::to_wstring(seed);
    // The long run, every pair of values for every message, when asked for.
    wchar_t soak[8] = {};
    const bool everyPair = GetEnvironmentVariableW(L"VELKOR_SOAK", soak, 8) && soak[0] == L'1';
    if (everyPair)
        command += L" soak";
    else
        command += L" " + std::to_wstring(controlBudget);
    // Only the messages of a range, to find which one a fault needs.
    wchar_t range[64] = {};
    const DWORD rangeLength = GetEnvironmentVariableW(L"VELKOR_HOSTILE_MESSAGES", range, 64);
    if (rangeLength > 0 && rangeLength < 64)
        command += L" " + std::wstring(range);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    HoldingDialogs hold;
    DWORD code = static_cast<DWORD>(-1);
    // A deadline, not a pause: the sender ends as soon as it has tried all.
    // The long run sends a few hundred thousand messages at a dialog, which
    // a loaded machine takes minutes to handle (and as long to work through).
    const ULONGLONG waitMs = everyPair ? 900000 : 120000;
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    DWORD waited = WAIT_TIMEOUT;
    while (GetTickCount64() < deadline) {
        const DWORD left = static_cast<DWORD>(deadline - GetTickCount64());
        waited = pumpThisThread ? MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, left, QS_ALLINPUT)
                                : WaitForSingleObject(process.hProcess, left);
        if (waited != WAIT_OBJECT_0 + 1)
            break;
        DispatchForeignMessages();
    }
    if (waited == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, static_cast<UINT>(-1));
    CloseHandle(process.hProcess);
    // The sender posts far faster than a dialog handles messages: it is done
    // when the window's thread has taken the last of them from its queue.
    if (static_cast<int>(code) > 0 && !WaitForQueueDrained(window, GetTickCount64() + waitMs, pumpThisThread))
        return -3;
    return static_cast<long>(static_cast<int>(code));
}

ScopedWorkArea::ScopedWorkArea(const RECT& area)
{
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &m_rcSaved, 0);
    RECT copy = area;
    m_bApplied = SystemParametersInfoW(SPI_SETWORKAREA, 0, &copy, 0) != FALSE;
}

ScopedWorkArea::~ScopedWorkArea()
{
    if (m_bApplied)
        SystemParametersInfoW(SPI_SETWORKAREA, 0, &m_rcSaved, 0);
}

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs,
                       const std::function<void(const MSG*)>& each)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        // A wait with a short time-out, not a pause: samples keep coming
        // while timers are due.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 5)),
                                  QS_ALLINPUT);
        MSG msg;
        bool any = false;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            any = true;
            DispatchMessageW(&msg);
            if (each)
                each(&msg);
            if (done())
                return true;
        }
        if (!any && each)
            each(nullptr);
    }
}
