// Looks arbitrary keys up in every code table: 16-bit characters as a
// Windows caller passes them, the first byte choosing table and group size.
#include "carddata/CodeTables.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::wstring key;
    for (size_t i = 1; i + 1 < size; i += 2)
        key += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    FascnCodeString(static_cast<FascnTable>(data[0] % 3), key);
    static const char* const kTables[] = {"D1", "D10", "D12", "D16", "", "D12\xff"};
    const size_t split = data[0] % (key.size() + 1);
    DemographicCodeString(kTables[data[0] % 6], std::wstring_view(key).substr(0, split),
                          std::wstring_view(key).substr(split));
    return 0;
}
