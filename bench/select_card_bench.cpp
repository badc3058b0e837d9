// The select-card dialog with 16 readers while 1,000 reader events arrive:
// how long from an event to the list showing it (median and worst), and
// what the process holds before and after (windows, handles, GDI objects).
#include "BenchFigures.h"
#include "ProcessResources.h"
#include "UiDriver.h"
#include "base/VelkorExports.h"
#include "mwctl_control.h"
#include "pinrc_ids.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kReaders = 16;
constexpr int kEvents = 1000;
constexpr int kWarmUp = 50;

bool WriteWorld(const std::wstring& path)
{
    std::string text = "[Card bench]\nIdentifier=BE0C\nPIN=123456\n";
    for (int i = 0; i < kReaders; ++i)
        text += "\n[Reader Bench Reader " + std::to_string(i) + "]\n" + (i == 3 ? "Card=bench\n" : "State=empty\n");
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file)
        return false;
    const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    fclose(file);
    return written;
}

int ListCount(HWND dialog)
{
    return static_cast<int>(SendDlgItemMessageW(dialog, IDC_SELECT_CARD_LIST, CB_GETCOUNT, 0, 0));
}

// Adds or removes one extra reader: `count` events, each timed from its
// cause to the list showing one reader more or less.
std::vector<double> Churn(HWND dialog, int count)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        const bool adding = i % 2 == 0;
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        if (adding)
            mwctlAddReader(L"Bench Extra Reader");
        else
            mwctlRemoveReader(L"Bench Extra Reader");
        const int expected = kReaders + (adding ? 1 : 0);
        if (!uidriver::WaitUntil([&] { return ListCount(dialog) == expected; }, 10000)) {
            printf("select_card_bench: the list did not follow event %d\n", i);
            return {};
        }
        times.push_back(MsSince(start));
    }
    return times;
}

void Json(const char* metric, double value, const char* unit)
{
    printf("{\"bench\":\"select_card\",\"metric\":\"%s\",\"value\":%.3f,\"unit\":\"%s\"}\n", metric, value, unit);
    fflush(stdout);
}

} // namespace

int main()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring world = std::wstring(temp) + L"select_card_bench.ini";
    if (!WriteWorld(world) || !mwctlLoadWorld(world.c_str())) {
        printf("select_card_bench: the card world could not be served\n");
        return 1;
    }
    const DWORD thread = GetCurrentThreadId();
    bool measured = false;
    std::thread driver([&] {
        HWND dialog = uidriver::WaitForDialogWith(thread, IDC_SELECT_CARD_LIST);
        if (!dialog || !uidriver::WaitIdle(dialog))
            return;
        Churn(dialog, kWarmUp);
        const ProcessResources before = MeasureProcess();
        const std::vector<double> times = Churn(dialog, kEvents);
        const ProcessResources after = MeasureProcess();
        if (!times.empty()) {
            const Spread spread = SpreadOf(times);
            Json("event_to_list_median_ms", spread.median, "ms");
            Json("event_to_list_worst_ms", spread.max, "ms");
            Json("window_growth", static_cast<double>(after.windows) - before.windows, "windows");
            Json("handle_growth", static_cast<double>(after.handles) - before.handles, "handles");
            Json("gdi_growth", static_cast<double>(after.gdiObjects) - before.gdiObjects, "objects");
            measured = true;
        }
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    wchar_t* name = nullptr;
    int length = 0;
    ShowQLSelectCard(nullptr, &name, &length);
    free(name);
    driver.join();
    DeleteFileW(world.c_str());
    return measured ? 0 : 1;
}
