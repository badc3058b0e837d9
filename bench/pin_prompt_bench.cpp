// The PIN prompt's cost: (a) the time from the call to a dialog ready for
// input, against a bare DialogBoxParamW of the same template from the same
// resource module; (b) what the process holds before and after 1,000
// prompts opened and cancelled.
//
// "Ready" is measured the same way for both: once the dialog has been shown
// (a bare dialog box shows itself only when its queue first runs empty), a
// marker posted to it comes back through the thread's message loop, so the
// loop runs and everything queued before is handled; the dialog is then
// painted at once and the clock stops.
#include "ProcessResources.h"
#include "SessionState_control.h"
#include "base/VelkorExports.h"
#include "pinrc_ids.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr UINT kMarker = WM_APP + 0x3A7;
constexpr int kTimedRuns = 60;
constexpr int kWarmUp = 20;
constexpr int kPrompts = 1000;

LARGE_INTEGER g_start;
double g_readyMs = 0;
HHOOK g_showHook = nullptr;
HHOOK g_messageHook = nullptr;

double MsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LRESULT CALLBACK AfterShow(int code, WPARAM wParam, LPARAM lParam)
{
    auto* message = reinterpret_cast<CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_SHOWWINDOW && message->wParam && !GetParent(message->hwnd))
        PostMessageW(message->hwnd, kMarker, 0, 0);
    return CallNextHookEx(g_showHook, code, wParam, lParam);
}

LRESULT CALLBACK OnMessage(int code, WPARAM wParam, LPARAM lParam)
{
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == kMarker) {
        RedrawWindow(message->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        g_readyMs = MsSince(g_start);
        PostMessageW(message->hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        message->message = WM_NULL;
    }
    return CallNextHookEx(g_messageHook, code, wParam, lParam);
}

INT_PTR CALLBACK BareDialog(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

double OnePrompt()
{
    char* pin = nullptr;
    int length = 0;
    QueryPerformanceCounter(&g_start);
    GetPINFromUser(nullptr, L"Bench Reader", 0, 4, 8, &pin, &length, nullptr, nullptr, 0);
    return g_readyMs;
}

double OneBareDialog(HMODULE resources)
{
    QueryPerformanceCounter(&g_start);
    DialogBoxParamW(resources, MAKEINTRESOURCEW(IDD_ENTER_PIN), nullptr, BareDialog, 0);
    return g_readyMs;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Json(const char* metric, double value, const char* unit)
{
    printf("{\"bench\":\"pin_prompt\",\"metric\":\"%s\",\"value\":%.3f,\"unit\":\"%s\"}\n", metric, value, unit);
}

} // namespace

int main()
{
    vkSessionStateSetMode(VKSessionStateMode::Unlocked);
    HMODULE resources = GetModuleHandleW(L"vk.velkor.gui.pinrc.dll");
    g_showHook = SetWindowsHookExW(WH_CALLWNDPROCRET, AfterShow, nullptr, GetCurrentThreadId());
    g_messageHook = SetWindowsHookExW(WH_GETMESSAGE, OnMessage, nullptr, GetCurrentThreadId());
    if (!resources || !g_showHook || !g_messageHook) {
        fprintf(stderr, "pin_prompt_bench: cannot run (resources %p)\n", static_cast<void*>(resources));
        return 1;
    }

    std::vector<double> prompt;
    std::vector<double> bare;
    for (int i = 0; i < kWarmUp; ++i) {
        OnePrompt();
        OneBareDialog(resources);
    }
    // Interleaved, so that both see the same machine.
    for (int i = 0; i < kTimedRuns; ++i) {
        prompt.push_back(OnePrompt());
        bare.push_back(OneBareDialog(resources));
    }
    const double promptMs = Median(prompt);
    const double bareMs = Median(bare);
    Json("prompt_ready_median", promptMs, "ms");
    Json("bare_dialog_ready_median", bareMs, "ms");
    Json("ready_ratio", promptMs / bareMs, "ratio");

    ProcessResources before = MeasureProcess();
    for (int i = 0; i < kPrompts; ++i)
        OnePrompt();
    ProcessResources after = MeasureProcess();
    Json("windows_before", before.windows, "count");
    Json("windows_after_1000", after.windows, "count");
    Json("handles_before", before.handles, "count");
    Json("handles_after_1000", after.handles, "count");
    Json("icons_before", before.icons, "count");
    Json("icons_after_1000", after.icons, "count");
    Json("user_objects_before", before.userObjects, "count");
    Json("user_objects_after_1000", after.userObjects, "count");
    Json("gdi_objects_before", before.gdiObjects, "count");
    Json("gdi_objects_after_1000", after.gdiObjects, "count");
    Json("private_bytes_before", static_cast<double>(before.privateBytes), "bytes");
    Json("private_bytes_after_1000", static_cast<double>(after.privateBytes), "bytes");
    UnhookWindowsHookEx(g_messageHook);
    UnhookWindowsHookEx(g_showHook);
    return 0;
}
