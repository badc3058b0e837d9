// Feeds the PIN rules arbitrary PINs and rule records: no input may read
// outside the strings or overflow.
#include "policies/PinRules.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PwdRuleArgs record{};
    if (size < sizeof(record))
        return 0;
    std::memcpy(&record, data, sizeof(record));
    data += sizeof(record);
    size -= sizeof(record);

    // The rest is four PINs of 16-bit characters, as a Windows host types
    // them, split at zero characters.
    std::wstring pins[4];
    size_t which = 0;
    for (size_t i = 0; i + 1 < size && which < 4; i += 2) {
        const wchar_t ch = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
        if (ch == 0)
            ++which;
        else
            pins[which] += ch;
    }
    IsPinWeak(pins[0].c_str(), pins[0].size());
    IsAlphaPinWeak(pins[0].c_str(), pins[0].size());
    const ActiveRules rules = ActiveRules::From(&record);
    rules.OptionalRowCount();
    CheckPinRules(rules, pins[1].c_str(), pins[0].c_str(), pins[2].c_str(), pins[3].c_str());
    CheckPinRules(rules, nullptr, nullptr, nullptr, nullptr);
    return 0;
}
