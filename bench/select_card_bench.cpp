// The select-card dialog with 16 readers while 1,000 reader events arrive:
// how long from an event to the list showing it (median and worst), and
// what the process holds before and after (windows, handles, GDI objects).
// Then the same with 5,000 readers and 20 events: the work per event must
// stay linear in the readers.
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

constexpr int kWarmUp = 50;

bool WriteWorld(const std::wstring& path, int readers)
{
    std::string text = "[Card bench]\nIdentifier=BE0C\nPIN=123456\n";
    for (int i = 0; i < readers; ++i)
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
std::vector<double> Churn(HWND dialog, int readers, int count)
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
        const int expected = readers + (adding ? 1 : 0);
        if (!uidriver::WaitUntil([&] { return ListCount(dialog) == expected; }, 60000)) {
            printf("select_card_bench: the list did not follow event %d\n", i);
            return {};
        }
        times.push_back(MsSince(start));
    }
    return times;
}

void Json(const std::string& metric, double value, const char* unit)
{
    printf("{\"bench\":\"select_card\",\"metric\":\"%s\",\"value\":%.3f,\"unit\":\"%s\"}\n", metric.c_str(), value,
           unit);
    fflush(stdout);
}

// Opens the dialog on a world of `readers` readers and times `events`
// events after a warm-up; the resource figures only when asked.
bool Measure(int readers, int events, bool resources)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring world = std::wstring(temp) + L"select_card_bench.ini";
    if (!WriteWorld(world, readers) || !mwctlLoadWorld(world.c_str())) {
        printf("select_card_bench: the card world could not be served\n");
        return false;
    }
    const DWORD thread = GetCurrentThreadId();
    bool measured = false;
    std::thread driver([&] {
        HWND dialog = uidriver::WaitForDialogWith(thread, IDC_SELECT_CARD_LIST, 60000);
        if (!dialog || !uidriver::WaitIdle(dialog, 60000))
            return;
        Churn(dialog, readers, resources ? kWarmUp : 2);
        const ProcessResources before = resources ? MeasureProcess() : ProcessResources{};
        const std::vector<double> times = Churn(dialog, readers, events);
        if (!times.empty()) {
            const std::string prefix = "readers_" + std::to_string(readers) + "_event_to_list_";
            const Spread spread = SpreadOf(times);
            Json(prefix + "median_ms", spread.median, "ms");
            Json(prefix + "worst_ms", spread.max, "ms");
            if (resources) {
                const ProcessResources after = MeasureProcess();
                Json("window_growth", static_cast<double>(after.windows) - before.windows, "windows");
                Json("handle_growth", static_cast<double>(after.handles) - before.handles, "handles");
                Json("gdi_growth", static_cast<double>(after.gdiObjects) - before.gdiObjects, "objects");
            }
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
    return measured;
}

} // namespace

int main()
{
    const bool sixteen = Measure(16, 1000, true);
    const bool many = Measure(5000, 20, false);
    return sixteen && many ? 0 : 1;
}
