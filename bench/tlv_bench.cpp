// How long parsing a 64 KiB PKCS TLV buffer takes on this machine: the walk
// to its last element, for small elements (the worst case: most headers)
// and for one large one. Prints one JSON line per shape, times in
// microseconds (the median of many runs).
#include "carddata/PKCSTLVBuffer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr size_t kBufferBytes = 64 * 1024;

double MedianMicroseconds(const PKCSTLVBuffer& buffer, uint32_t lastTag)
{
    std::vector<double> runs;
    WipingBytes value;
    for (int i = 0; i < 301; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!buffer.GetValue(lastTag, value))
            return -1;
        const auto stop = std::chrono::steady_clock::now();
        runs.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
    }
    std::nth_element(runs.begin(), runs.begin() + 150, runs.end());
    return runs[150];
}

void Measure(const char* shape, size_t valueBytes)
{
    PKCSTLVBuffer buffer;
    uint32_t tag = 0;
    while (buffer.size() + 8 + valueBytes <= kBufferBytes)
        buffer.AddTLV(++tag, WipingBytes(valueBytes, 0x5A));
    std::printf("{\"bench\":\"tlv_parse_64k\",\"shape\":\"%s\",\"bytes\":%zu,\"elements\":%u,\"median_us\":%.2f}\n",
                shape, buffer.size(), tag, MedianMicroseconds(buffer, tag));
}

} // namespace

int main()
{
    Measure("8-byte values", 8);
    Measure("one value", kBufferBytes - 8);
    return 0;
}
