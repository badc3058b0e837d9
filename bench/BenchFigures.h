#pragma once
// What the benchmarks print: one JSON line a figure. A timed figure gives its
// median as the value and its spread over the runs (minimum, 10th and 90th
// percentile, maximum), so that a reader sees how far the median can be
// trusted on a loaded machine: a single slow run moves the maximum, a
// machine that others keep busy moves the percentiles too.
#include <algorithm>
#include <cstdio>
#include <vector>

#include <windows.h>

inline double MsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Spread {
    double min;
    double p10;
    double median;
    double p90;
    double max;
};

inline Spread SpreadOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const size_t last = values.size() - 1;
    return {values.front(), values[last / 10], values[values.size() / 2], values[last - last / 10], values.back()};
}

inline void PrintSpread(const char* bench, const char* metric, const std::vector<double>& runs)
{
    const Spread spread = SpreadOf(runs);
    printf("{\"bench\":\"%s\",\"metric\":\"%s\",\"value\":%.3f,\"min\":%.3f,\"p10\":%.3f,\"p90\":%.3f,\"max\":%.3f,"
           "\"runs\":%zu,\"unit\":\"ms\"}\n",
           bench, metric, spread.median, spread.min, spread.p10, spread.p90, spread.max, runs.size());
    fflush(stdout); // a figure is seen as soon as it is known, even when the run is stopped later
}

// The ratio of two figures timed in the same runs, one run against its
// partner: its median and spread say more than the ratio of two medians when
// the machine's speed drifts during the benchmark.
inline void PrintRatio(const char* bench, const char* metric, const std::vector<double>& over,
                       const std::vector<double>& under)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < over.size() && i < under.size(); ++i)
        ratios.push_back(over[i] / under[i]);
    const Spread spread = SpreadOf(ratios);
    printf("{\"bench\":\"%s\",\"metric\":\"%s\",\"value\":%.3f,\"min\":%.3f,\"p10\":%.3f,\"p90\":%.3f,\"max\":%.3f,"
           "\"runs\":%zu,\"unit\":\"ratio\"}\n",
           bench, metric, spread.median, spread.min, spread.p10, spread.p90, spread.max, ratios.size());
    fflush(stdout);
}

// The host machine's load average over the last minute, where Wine shows
// the Linux file system as Z: (elsewhere nothing is printed): on a machine
// that others load, absolute times grow many times over, the ratios of
// figures timed in the same runs far less.
inline void PrintMachineLoad(const char* bench)
{
    FILE* file = _wfopen(L"Z:\\proc\\loadavg", L"r");
    double load = 0;
    if (file && fscanf(file, "%lf", &load) == 1)
        printf("{\"bench\":\"%s\",\"metric\":\"machine_load_1min\",\"value\":%.2f,\"unit\":\"processes\"}\n", bench,
               load);
    if (file)
        fclose(file);
}

inline void PrintCount(const char* bench, const char* metric, double value, const char* unit)
{
    printf("{\"bench\":\"%s\",\"metric\":\"%s\",\"value\":%.0f,\"unit\":\"%s\"}\n", bench, metric, value, unit);
}
