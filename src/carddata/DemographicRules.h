#pragma once
// How a demographic tag of a CAC card is labelled and described: the label's
// string number, the rule that turns a raw value into its description, and
// the date rule. Plain C++ (no window code), also built natively.
#include <string>
#include <string_view>

// The string number of a tag's label: tag + 9969 for tags 49 to 82, else
// 0 (no label).
unsigned DemographicLabelString(int tag);

// The tag whose value chooses the group of the pay-grade table.
inline constexpr int kBranchOfServiceTag = 67;
inline constexpr int kPayGradeTag = 69;

struct DescriptionRule {
    enum Kind {
        Raw,      // the description is the raw value
        Date,     // the date rule
        Table,    // a demographic code table; an unknown key describes as empty
        PayGrade, // table D12, in the group the tag-67 value names
        Empty,    // always empty
    } kind = Raw;
    const char* table = nullptr; // "D1".."D16" for Table and PayGrade
};

DescriptionRule DescriptionRuleOf(int tag);

enum class DateResult {
    NotEightCharacters, // the value stays as it is
    Invalid,            // eight characters but no date of 1900-3000: it stays as it is
    Formatted,
};

// The date rule: eight characters read as year, month and day, each a
// decimal number; a year of 1900 to 3000, a month of 1 to 12 and a day of 1
// to 31 give the date written "%B %d, %Y" in the current C locale, in at
// most 80 characters.
DateResult FormatCardDate(std::wstring_view value, std::wstring& formatted);
