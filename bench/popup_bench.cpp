// The popup alert's timing and cost: (a) how long each phase (slide or fade
// in, wait, slide or fade out) takes on the real window against its
// configured length, beside a taskbar on the right and at the bottom;
// (b) the CPU time the process uses while a popup waits; (c) what the
// process holds before and after 1,000 popups shown and closed through the
// blocking entry point.
#include "ProcessResources.h"
#include "base/VelkorExports.h"
#include "popup/PopupAlert.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kTimedRuns = 5;
constexpr int kPopups = 1000;
constexpr int kWarmUp = 20;
constexpr DWORD kWaitSeconds = 1;
constexpr DWORD kIdleWaitSeconds = 4;
constexpr DWORD kIdleMeasureMs = 2000;
const wchar_t* const kCardAlertKey = L"Software\\Policies\\Quellon\\Velkor\\Notifications\\SmartCardPresenceWarning";

HHOOK g_showHook = nullptr;

void Json(const char* metric, double value, const char* unit)
{
    printf("{\"bench\":\"popup\",\"metric\":\"%s\",\"value\":%.3f,\"unit\":\"%s\"}\n", metric, value, unit);
    fflush(stdout);
}

double NowMs()
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void SetWaitSeconds(DWORD seconds)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kCardAlertKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, L"Duration", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seconds), sizeof(seconds));
    RegCloseKey(key);
}

void RemoveWaitSetting()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCardAlertKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"Duration");
        RegCloseKey(key);
    }
}

// Dispatches this thread's messages until `done`, sleeping in the wait for
// the next one; returns how many were dispatched.
int Pump(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    int dispatched = 0;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
            ++dispatched;
            if (done())
                return dispatched;
        }
    }
    return dispatched;
}

struct Phases {
    double appear;
    double wait;
    double disappear;
    UINT appearPeriod;
    UINT disappearPeriod;
};

// One popup through its three phases; the clock reads the popup's state
// after every message its thread handles.
Phases TimePhases(const RECT& work)
{
    SystemParametersInfoW(SPI_SETWORKAREA, 0, const_cast<RECT*>(&work), 0);
    SetCursorPos(0, 0);
    CPopupAlert popup;
    popup.Create(nullptr);
    popup.InitWindow(nullptr, DIALOG_POPUP_CARD_ALERT, GetCurrentThreadId());
    const double shown = NowMs();
    popup.Show();
    Pump([&] { return popup.GetAnimStatus() == IDT_WAITING; }, 10000);
    const double waiting = NowMs();
    Pump([&] { return popup.GetAnimStatus() == IDT_DISAPPEARING; }, 10000);
    const double leaving = NowMs();
    Pump([&] { return popup.GetCloseCount() > 0; }, 10000);
    const double hidden = NowMs();
    // The first tick of leaving comes one period after the wait ended: it
    // belongs to the leaving phase.
    const double firstTick = popup.m_nDisappearPeriod;
    return {waiting - shown, leaving - waiting - firstTick, hidden - leaving + firstTick, popup.m_nAppearPeriod,
            popup.m_nDisappearPeriod};
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void MeasurePhases(const char* side, const RECT& work)
{
    std::vector<double> appear, wait, disappear;
    Phases last = {};
    for (int i = 0; i < kTimedRuns; ++i) {
        last = TimePhases(work);
        appear.push_back(last.appear);
        wait.push_back(last.wait);
        disappear.push_back(last.disappear);
    }
    char name[96];
    // A fade takes one disappear period per percent point of opacity.
    snprintf(name, sizeof(name), "%s_configured_disappear", side);
    Json(name, strcmp(side, "fade_bottom") == 0 ? 90.0 * last.disappearPeriod : 500.0, "ms");
    snprintf(name, sizeof(name), "%s_appear_median", side);
    Json(name, Median(appear), "ms");
    snprintf(name, sizeof(name), "%s_wait_median", side);
    Json(name, Median(wait), "ms");
    snprintf(name, sizeof(name), "%s_disappear_median", side);
    Json(name, Median(disappear), "ms");
    snprintf(name, sizeof(name), "%s_appear_period", side);
    Json(name, last.appearPeriod, "ms");
    snprintf(name, sizeof(name), "%s_disappear_period", side);
    Json(name, last.disappearPeriod, "ms");
}

double ProcessCpuMs()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

// A popup that waits: the CPU the whole process uses meanwhile, and the
// messages its thread is woken for.
void MeasureIdleWait(const RECT& work)
{
    SystemParametersInfoW(SPI_SETWORKAREA, 0, const_cast<RECT*>(&work), 0);
    SetWaitSeconds(kIdleWaitSeconds);
    CPopupAlert popup;
    popup.Create(nullptr);
    popup.InitWindow(nullptr, DIALOG_POPUP_CARD_ALERT, GetCurrentThreadId());
    popup.Show();
    Pump([&] { return popup.GetAnimStatus() == IDT_WAITING; }, 10000);
    // Let what the appearance left behind (painting) pass first.
    Pump([] { return false; }, 200);
    const double cpuBefore = ProcessCpuMs();
    const int woken = Pump([] { return false; }, kIdleMeasureMs);
    const double cpuAfter = ProcessCpuMs();
    Json("waiting_cpu_ms_per_second", (cpuAfter - cpuBefore) * 1000.0 / kIdleMeasureMs, "ms");
    Json("waiting_messages_per_second", woken * 1000.0 / kIdleMeasureMs, "count");
    popup.Hide(kPopupClosed);
    Pump([] { return false; }, 50);
    SetWaitSeconds(kWaitSeconds);
}

// Closes each popup as soon as it is shown, through its close link's message.
LRESULT CALLBACK CloseOnShow(int code, WPARAM wParam, LPARAM lParam)
{
    auto* message = reinterpret_cast<CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_SHOWWINDOW && message->wParam && !GetParent(message->hwnd))
        PostMessageW(message->hwnd, WM_POPUPALERT_CLICKED, 0, 0);
    return CallNextHookEx(g_showHook, code, wParam, lParam);
}

void OnePopup(int i)
{
    static const int kCodes[] = {1000, 1001, 1003};
    ShowPopupWindow(kCodes[i % 3], nullptr, TRUE, 0);
}

} // namespace

int main()
{
    RECT saved = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved, 0);
    const int cx = GetSystemMetrics(SM_CXSCREEN);
    const int cy = GetSystemMetrics(SM_CYSCREEN);
    const RECT right = {0, 0, cx - 40, cy};
    const RECT bottom = {0, 0, cx, cy - 40};
    SetWaitSeconds(kWaitSeconds);
    Json("configured_appear", 500, "ms");
    Json("configured_wait", kWaitSeconds * 1000.0, "ms");
    MeasurePhases("slide_right", right);
    MeasurePhases("fade_bottom", bottom);
    MeasureIdleWait(bottom);

    g_showHook = SetWindowsHookExW(WH_CALLWNDPROCRET, CloseOnShow, nullptr, GetCurrentThreadId());
    for (int i = 0; i < kWarmUp; ++i)
        OnePopup(i);
    const ProcessResources before = MeasureProcess();
    for (int i = 0; i < kPopups; ++i)
        OnePopup(i);
    const ProcessResources after = MeasureProcess();
    UnhookWindowsHookEx(g_showHook);
    Json("windows_before", before.windows, "count");
    Json("windows_after_1000", after.windows, "count");
    Json("handles_before", before.handles, "count");
    Json("handles_after_1000", after.handles, "count");
    Json("user_objects_before", before.userObjects, "count");
    Json("user_objects_after_1000", after.userObjects, "count");
    Json("gdi_objects_before", before.gdiObjects, "count");
    Json("gdi_objects_after_1000", after.gdiObjects, "count");
    Json("private_bytes_before", static_cast<double>(before.privateBytes), "bytes");
    Json("private_bytes_after_1000", static_cast<double>(after.privateBytes), "bytes");
    RemoveWaitSetting();
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);
    return 0;
}
