#include "carddata/CodeTables.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

namespace {

struct CodeEntry {
    const char* key;
    unsigned number;
};

struct DemographicEntry {
    const char* table;
    const char* group;
    const char* key;
    unsigned number;
};

#include "CodeTableData.inc"

// Every key of the tables is short ASCII: a longer or wider one is in none.
constexpr size_t kLongestKey = 15;

bool Narrow(std::wstring_view wide, std::string& narrow)
{
    if (wide.size() > kLongestKey)
        return false;
    narrow.clear();
    for (wchar_t ch : wide) {
        if (ch <= 0 || ch > 0x7E)
            return false;
        narrow += static_cast<char>(ch);
    }
    return true;
}

template <size_t N>
unsigned Find(const CodeEntry (&table)[N], const std::string& key)
{
    const auto* found = std::lower_bound(std::begin(table), std::end(table), key,
                                         [](const CodeEntry& e, const std::string& k) { return k.compare(e.key) > 0; });
    return found != std::end(table) && key == found->key ? found->number : 0;
}

} // namespace

unsigned FascnCodeString(FascnTable table, std::wstring_view key)
{
    std::string narrow;
    if (!Narrow(key, narrow))
        return 0;
    switch (table) {
    case FascnTable::Agency:
        return Find(kAgencyCodes, narrow);
    case FascnTable::State:
        return Find(kStateCodes, narrow);
    case FascnTable::Country:
        return Find(kCountryCodes, narrow);
    }
    return 0;
}

unsigned DemographicCodeString(std::string_view table, std::wstring_view group, std::wstring_view key)
{
    std::string narrowGroup;
    std::string narrowKey;
    if (!Narrow(group, narrowGroup) || !Narrow(key, narrowKey))
        return 0;
    auto order = [](const DemographicEntry& e, std::string_view t, std::string_view g, std::string_view k) {
        if (int c = t.compare(e.table))
            return c > 0;
        if (int c = g.compare(e.group))
            return c > 0;
        return k.compare(e.key) > 0;
    };
    const auto* found = std::lower_bound(std::begin(kDemographicCodes), std::end(kDemographicCodes), 0,
                                         [&](const DemographicEntry& e, int) {
                                             return order(e, table, narrowGroup, narrowKey);
                                         });
    if (found == std::end(kDemographicCodes) || table != found->table || narrowGroup != found->group ||
        narrowKey != found->key)
        return 0;
    return found->number;
}
