// Feeds the demographic decoding arbitrary containers and values: the
// simple-TLV search (tag from the first byte), then the date rule and the
// description rules on the rest read as characters.
#include "CardData.h"
#include "carddata/DemographicRules.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    CardBytes value;
    bool found = false;
    size_t where = 0;
    FindSimpleTlv(data + 1, size - 1, data[0], value, found, where);
    const std::wstring text(data + 1, data + size);
    std::wstring formatted;
    FormatCardDate(text, formatted);
    DescriptionRuleOf(data[0]);
    DemographicLabelString(data[0]);
    return 0;
}
