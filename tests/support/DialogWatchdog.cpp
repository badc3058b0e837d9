#include "DialogWatchdog.h"

#include "CrashGuard.h"
#include "Fixtures.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kGraceAfterMissMs = 2000;

std::atomic<DWORD> g_maxOpenMs{0};
std::atomic<bool> g_bStop{false};
std::atomic<int> g_nHolds{0};
std::thread g_watcher;
std::mutex g_lock;

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

// The caption as the window manager keeps it: a dialog stuck inside a
// message never answers one asking for its text.
std::wstring CaptionOf(HWND window)
{
    wchar_t caption[256] = {};
    InternalGetWindowText(window, caption, 256);
    return caption;
}

[[noreturn]] void EndRun(HWND dialog, DWORD openMs)
{
    const std::string context = CrashContext();
    const std::wstring shot = ArtifactPath(context.empty() ? "run" : context, L".left-open.bmp");
    uidriver::SaveScreenshot(nullptr, shot);
    fprintf(stderr,
            "dialog left open: \"%s\" (class %s, thread %lu) was still open after %lu ms during %s; nobody was "
            "going to close it. Screen saved as %s\n",
            Narrow(CaptionOf(dialog)).c_str(), Narrow(uidriver::ClassOf(dialog)).c_str(),
            GetWindowThreadProcessId(dialog, nullptr), openMs, context.empty() ? "the run" : context.c_str(),
            Narrow(shot).c_str());
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kDialogLeftOpenExitCode);
    for (;;)
        ExitProcess(kDialogLeftOpenExitCode);
}

void Watch()
{
    std::vector<std::pair<HWND, ULONGLONG>> open;
    while (!g_bStop) {
        const ULONGLONG now = GetTickCount64();
        auto dialogs = uidriver::TopLevelWindows([](HWND w) { return uidriver::ClassOf(w) == L"#32770"; });
        std::vector<std::pair<HWND, ULONGLONG>> still;
        for (HWND dialog : dialogs) {
            ULONGLONG since = now;
            for (const auto& seen : open)
                if (seen.first == dialog && g_nHolds.load() == 0)
                    since = seen.second;
            still.emplace_back(dialog, since);
            if (now - since > g_maxOpenMs.load())
                EndRun(dialog, static_cast<DWORD>(now - since));
        }
        open = std::move(still);
        Sleep(100);
    }
}

void OnWaitBegins()
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_watcher.joinable())
        g_watcher = std::thread(Watch);
}

} // namespace

void StartDialogWatchdog(DWORD maxOpenMs)
{
    StopDialogWatchdog();
    g_maxOpenMs = maxOpenMs;
    g_bStop = false;
    uidriver::SetMissedWindowHandler(ReportMissedDialog);
    uidriver::SetWaitBeginsHandler(OnWaitBegins);
}

void StopDialogWatchdog()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_bStop = true;
    if (g_watcher.joinable())
        g_watcher.join();
}

HoldingDialogs::HoldingDialogs()
{
    ++g_nHolds;
}

HoldingDialogs::~HoldingDialogs()
{
    --g_nHolds;
}

void ReportMissedDialog(const std::wstring& what)
{
    ADD_FAILURE() << "waited in vain for " << Narrow(what);
    if (g_maxOpenMs.load() > kGraceAfterMissMs)
        g_maxOpenMs = kGraceAfterMissMs;
}
