#include "carddata/DemographicRules.h"

#include <ctime>
#include <cwchar>

namespace {

constexpr int kFirstLabelledTag = 49;
constexpr int kLastLabelledTag = 82;
constexpr unsigned kLabelOffset = 9969;
constexpr size_t kDateChars = 80;

struct TagRule {
    int tag;
    DescriptionRule rule;
};

constexpr TagRule kRules[] = {
    {54, {DescriptionRule::Date}},        {56, {DescriptionRule::Table, "D1"}},
    {57, {DescriptionRule::Table, "D2"}}, {59, {DescriptionRule::Table, "D3"}},
    {60, {DescriptionRule::Date}},        {61, {DescriptionRule::Date}},
    {62, {DescriptionRule::Date}},        {63, {DescriptionRule::Date}},
    {65, {DescriptionRule::Table, "D9"}}, {66, {DescriptionRule::Table, "D10"}},
    {67, {DescriptionRule::Table, "D11"}}, {68, {DescriptionRule::Empty}},
    {69, {DescriptionRule::PayGrade, "D12"}}, {70, {DescriptionRule::Table, "D13"}},
    {71, {DescriptionRule::Table, "D14"}}, {72, {DescriptionRule::Table, "D15"}},
    {73, {DescriptionRule::Table, "D16"}}, {74, {DescriptionRule::Table, "D4"}},
    {75, {DescriptionRule::Table, "D5"}}, {76, {DescriptionRule::Table, "D6"}},
    {77, {DescriptionRule::Date}},        {78, {DescriptionRule::Date}},
    {79, {DescriptionRule::Table, "D7"}}, {80, {DescriptionRule::Table, "D8"}},
    {81, {DescriptionRule::Date}},
};

// The decimal number of `count` digits at `first`; -1 when one is not a digit.
int Number(std::wstring_view value, size_t first, size_t count)
{
    int number = 0;
    for (size_t i = first; i < first + count; ++i) {
        if (value[i] < L'0' || value[i] > L'9')
            return -1;
        number = number * 10 + (value[i] - L'0');
    }
    return number;
}

} // namespace

unsigned DemographicLabelString(int tag)
{
    return tag >= kFirstLabelledTag && tag <= kLastLabelledTag ? static_cast<unsigned>(tag) + kLabelOffset : 0;
}

DescriptionRule DescriptionRuleOf(int tag)
{
    for (const TagRule& rule : kRules)
        if (rule.tag == tag)
            return rule.rule;
    return {};
}

DateResult FormatCardDate(std::wstring_view value, std::wstring& formatted)
{
    formatted.clear();
    if (value.size() != 8)
        return DateResult::NotEightCharacters;
    const int year = Number(value, 0, 4);
    const int month = Number(value, 4, 2);
    const int day = Number(value, 6, 2);
    if (year < 1900 || year > 3000 || month < 1 || month > 12 || day < 1 || day > 31)
        return DateResult::Invalid;
    std::tm date{};
    date.tm_year = year - 1900;
    date.tm_mon = month - 1;
    date.tm_mday = day;
    wchar_t text[kDateChars + 1] = {};
    const size_t written = std::wcsftime(text, kDateChars + 1, L"%B %d, %Y", &date);
    if (written == 0)
        return DateResult::Invalid;
    formatted.assign(text, written);
    return DateResult::Formatted;
}
