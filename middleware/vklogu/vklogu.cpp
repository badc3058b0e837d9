// Logging service stand-in. Writes each line to the file named by VELKOR_LOG
// (when set, read at the first call) and keeps lines in memory while a test
// captures them.
#include "vklog_control.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct CapturedLine {
    int level;
    std::wstring tag;
    std::wstring text;
};

constexpr size_t kLineChars = 2048;
constexpr size_t kMaxCaptured = 100000;

std::mutex g_lock;
bool g_fileChecked = false;
HANDLE g_file = INVALID_HANDLE_VALUE;
bool g_capturing = false;
std::vector<CapturedLine> g_captured;

void OpenLogFileOnce()
{
    if (g_fileChecked)
        return;
    g_fileChecked = true;
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(L"VELKOR_LOG", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    g_file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void WriteToFile(const wchar_t* tag, int level, const wchar_t* text)
{
    if (g_file == INVALID_HANDLE_VALUE)
        return;
    SYSTEMTIME t;
    GetLocalTime(&t);
    wchar_t line[kLineChars + 128];
    int n = _snwprintf(line, _countof(line) - 1, L"%04u-%02u-%02u %02u:%02u:%02u.%03u [%5lu] %-8s %2d %s\r\n",
                       t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                       GetCurrentThreadId(), tag, level, text);
    line[_countof(line) - 1] = L'\0';
    if (n < 0)
        n = static_cast<int>(wcslen(line));
    // A line cut at the end of its buffer must not end in half a surrogate pair.
    if (n > 0 && IS_HIGH_SURROGATE(line[n - 1]))
        --n;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line, n, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    bytes = WideCharToMultiByte(CP_UTF8, 0, line, n, utf8.data(), bytes, nullptr, nullptr);
    DWORD written = 0;
    if (bytes > 0)
        WriteFile(g_file, utf8.data(), static_cast<DWORD>(bytes), &written, nullptr);
}

void CopyOut(const std::wstring& s, wchar_t* out, size_t chars)
{
    if (!out || chars == 0)
        return;
    size_t n = s.size() < chars - 1 ? s.size() : chars - 1;
    wmemcpy(out, s.data(), n);
    out[n] = L'\0';
}

} // namespace

extern "C" void vklogLog(const wchar_t* tag, int level, const wchar_t* format, ...)
{
    wchar_t text[kLineChars];
    if (format) {
        va_list args;
        va_start(args, format);
        // The Windows C runtime's formatter: %s is a wide string here.
        int n = _vsnwprintf(text, kLineChars - 1, format, args);
        va_end(args);
        if (n < 0)
            text[kLineChars - 1] = L'\0';
    } else {
        wcscpy(text, L"(no format)");
    }
    text[kLineChars - 1] = L'\0';
    // A text cut at kLineChars keeps whole characters: no half surrogate pair.
    if (size_t length = wcslen(text); length > 0 && IS_HIGH_SURROGATE(text[length - 1]))
        text[length - 1] = L'\0';
    if (!tag)
        tag = L"";

    std::lock_guard<std::mutex> hold(g_lock);
    OpenLogFileOnce();
    WriteToFile(tag, level, text);
    if (g_capturing && g_captured.size() < kMaxCaptured)
        g_captured.push_back({level, tag, text});
}

extern "C" void vklogCaptureStart()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_captured.clear();
    g_capturing = true;
}

extern "C" void vklogCaptureStop()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_capturing = false;
}

extern "C" size_t vklogCaptureCount()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_captured.size();
}

extern "C" bool vklogCaptureGet(size_t index, int* level, wchar_t* tag, size_t tagChars,
                                wchar_t* text, size_t textChars)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (index >= g_captured.size())
        return false;
    const CapturedLine& line = g_captured[index];
    if (level)
        *level = line.level;
    CopyOut(line.tag, tag, tagChars);
    CopyOut(line.text, text, textChars);
    return true;
}
