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
#include "BenchFigures.h"
#include "ProcessResources.h"
#include "SessionState_control.h"
#include "base/VelkorExports.h"
#include "pinrc_ids.h"

#include <windows.h>

#include <string>
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
    PrintMachineLoad("pin_prompt");
    PrintSpread("pin_prompt", "prompt_ready", prompt);
    PrintSpread("pin_prompt", "bare_dialog_ready", bare);
    PrintRatio("pin_prompt", "ready_ratio", prompt, bare);

    ProcessResources before = MeasureProcess();
    for (int i = 0; i < kPrompts; ++i)
        OnePrompt();
    ProcessResources after = MeasureProcess();
    const struct {
        const char* metric;
        double before;
        double after;
        const char* unit;
    } counts[] = {
        {"windows", static_cast<double>(before.windows), static_cast<double>(after.windows), "count"},
        {"handles", static_cast<double>(before.handles), static_cast<double>(after.handles), "count"},
        {"icons", static_cast<double>(before.icons), static_cast<double>(after.icons), "count"},
        {"user_objects", static_cast<double>(before.userObjects), static_cast<double>(after.userObjects), "count"},
        {"gdi_objects", static_cast<double>(before.gdiObjects), static_cast<double>(after.gdiObjects), "count"},
        {"private_bytes", static_cast<double>(before.privateBytes), static_cast<double>(after.privateBytes), "bytes"},
    };
    for (const auto& count : counts) {
        PrintCount("pin_prompt", (std::string(count.metric) + "_before").c_str(), count.before, count.unit);
        PrintCount("pin_prompt", (std::string(count.metric) + "_after_1000").c_str(), count.after, count.unit);
    }
    UnhookWindowsHookEx(g_messageHook);
    UnhookWindowsHookEx(g_showHook);
    return 0;
}
