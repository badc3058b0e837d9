// The PIN rules as plain checks: weak PINs, digits only, and every rule's
// verdict for a PIN typed against a rule record.
#include "policies/PinRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool Weak(const std::wstring& pin)
{
    return IsPinWeak(pin.c_str(), pin.size());
}

// Characters whose codes step by `step` modulo 256 from `first`.
std::wstring Progression(wchar_t first, int step, size_t length)
{
    std::wstring pin;
    int code = first;
    for (size_t i = 0; i < length; ++i) {
        pin += static_cast<wchar_t>(code & 0xFF);
        code += step;
    }
    return pin;
}

TEST(WeakPin, ShortPinsAndArithmeticProgressionsAreWeak)
{
    struct Case {
        std::wstring pin;
        bool weak;
    };
    const Case cases[] = {
        {L"", true},       {L"7", true},       {L"42", true},      {L"aaa", true},     {L"1111", true},
        {L"1234", true},   {L"4321", true},    {L"abcd", true},    {L"2468", true},    {L"1357", true},
        {L"9753", true},   {L"1243", false},   {L"0909", false},   {L"1123", false},   {L"12345678", true},
        {L"12345679", false}, {L"A1b2", false}, {L"zyxw", true},   {L"1112", false},   {L"8642", true},
        // Very long PINs are judged whole.
        {std::wstring(10000, L'5'), true}, {std::wstring(9999, L'5') + L'6', false},
    };
    for (const Case& c : cases) {
        const std::wstring shown = c.pin.substr(0, 12);
        EXPECT_EQ(c.weak, Weak(c.pin)) << std::string(shown.begin(), shown.end()) << " (" << c.pin.size() << ")";
    }
    EXPECT_TRUE(IsPinWeak(nullptr, 4));
}

TEST(WeakPin, ProgressionsWrapModulo256InBothDirections)
{
    for (int step : {1, -1, 2, -2, 3, 7, -7, 128, 255}) {
        for (wchar_t first : {L'\x01', L'0', L'\xFE'}) {
            std::wstring pin = Progression(first, step, 6);
            EXPECT_TRUE(Weak(pin)) << "step " << step << " from " << static_cast<int>(first);
            std::wstring broken = pin;
            broken[4] = static_cast<wchar_t>((broken[4] + 1) & 0xFF);
            EXPECT_FALSE(Weak(broken)) << "step " << step << " broken";
        }
    }
    // Only the low byte of each character counts.
    EXPECT_TRUE(Weak(std::wstring{L'\x0131', L'\x0232', L'\x0033'}));
    EXPECT_TRUE(Weak(std::wstring{L'\x0141', L'A', L'\x0241'}));
}

TEST(AlphaPin, AnyCharacterOtherThanADigitCounts)
{
    struct Case {
        std::wstring pin;
        bool alpha;
    };
    const Case cases[] = {
        {L"", false},   {L"0123456789", false}, {L"12a4", true}, {L" 123", true},   {L"123-", true},
        {L"12:4", true},   {L"A123", true},   {L"\x0660", true}, // an Arabic-Indic zero is not one of "0" to "9"
        {std::wstring(10000, L'9'), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.alpha, IsAlphaPinWeak(c.pin.c_str(), c.pin.size())) << c.pin.size();
    EXPECT_FALSE(IsAlphaPinWeak(nullptr, 3));
}

constexpr RuleState H = RuleState::Hidden;
constexpr RuleState S = RuleState::Satisfied;
constexpr RuleState V = RuleState::Violated;

// A PIN of 10,000 characters, measured, not cut.
const std::wstring kLongPin(10000, L'3');

struct VerdictCase {
    const char* name;
    PwdRuleArgs rules;
    const wchar_t* current;
    const wchar_t* fresh;
    const wchar_t* confirm;
    RuleState min, max, same, weak, alpha, confirmation;
    bool holds;
};

void PrintTo(const VerdictCase& c, std::ostream* out)
{
    *out << c.name;
}

class RuleVerdictsTest : public testing::TestWithParam<VerdictCase> {};

TEST_P(RuleVerdictsTest, EachRowStandsAsTheRulesSay)
{
    const VerdictCase& c = GetParam();
    ActiveRules active = ActiveRules::From(&c.rules);
    RuleVerdicts v = CheckPinRules(active, c.current, c.fresh, c.fresh, c.confirm);
    EXPECT_EQ(c.min, v.minLength);
    EXPECT_EQ(c.max, v.maxLength);
    EXPECT_EQ(c.same, v.samePin);
    EXPECT_EQ(c.weak, v.weakPin);
    EXPECT_EQ(c.alpha, v.alphanumeric);
    EXPECT_EQ(c.confirmation, v.confirmation);
    EXPECT_EQ(c.holds, v.allHold);
}

// Rule records: {numeric only, weak allowed, prevent same, min, max, disable cancel}.
INSTANTIATE_TEST_SUITE_P(
    Table, RuleVerdictsTest,
    testing::Values(
        VerdictCase{"NoRulesButConfirmation", {0, 1, 0, -1, -1, 0}, L"", L"x", L"x", H, H, H, H, H, S, true},
        VerdictCase{"AtTheMinimum", {0, 1, 0, 4, -1, 0}, L"", L"1290", L"1290", S, H, H, H, H, S, true},
        VerdictCase{"BelowTheMinimum", {0, 1, 0, 4, -1, 0}, L"", L"129", L"129", V, H, H, H, H, S, false},
        VerdictCase{"AtTheMaximum", {0, 1, 0, 4, 8, 0}, L"", L"12904817", L"12904817", S, S, H, H, H, S, true},
        VerdictCase{"AboveTheMaximum", {0, 1, 0, 4, 8, 0}, L"", L"129048173", L"129048173", S, V, H, H, H, S,
                    false},
        VerdictCase{"NegativeMinimumOutOfReach", {0, 1, 0, -5, -1, 0}, L"", L"1290", L"1290", V, H, H, H, H, S,
                    false},
        VerdictCase{"WeakRefused", {0, 0, 0, -1, -1, 0}, L"", L"2468", L"2468", H, H, H, V, H, S, false},
        VerdictCase{"StrongAccepted", {0, 0, 0, -1, -1, 0}, L"", L"2649", L"2649", H, H, H, S, H, S, true},
        VerdictCase{"EmptyIsWeak", {0, 0, 0, -1, -1, 0}, L"", L"", L"", H, H, H, V, H, S, false},
        VerdictCase{"DigitsOnlyRefusesLetters", {1, 1, 0, -1, -1, 0}, L"", L"12a4", L"12a4", H, H, H, H, V, S,
                    false},
        VerdictCase{"DigitsOnlyTakesTheEmptyPin", {1, 1, 0, -1, -1, 0}, L"", L"", L"", H, H, H, H, S, S, true},
        VerdictCase{"SameAsCurrentRefused", {0, 1, 1, -1, -1, 0}, L"5930", L"5930", L"5930", H, H, V, H, H, S,
                    false},
        VerdictCase{"EmptyEqualsEmpty", {0, 1, 1, -1, -1, 0}, L"", L"", L"", H, H, V, H, H, S, false},
        VerdictCase{"SameDiffersInCase", {0, 1, 1, -1, -1, 0}, L"abcX", L"abcx", L"abcx", H, H, S, H, H, S, true},
        VerdictCase{"ConfirmationDiffersInCase", {0, 1, 0, -1, -1, 0}, L"", L"Pin9", L"pin9", H, H, H, H, H, V,
                    false},
        VerdictCase{"NoConfirmationYet", {0, 1, 0, -1, -1, 0}, L"", L"5930", L"", H, H, H, H, H, V, false},
        VerdictCase{"EverythingAtOnce", {1, 0, 1, 4, 8, 1}, L"1111", L"5930", L"5930", S, S, S, S, S, S, true},
        VerdictCase{"TenThousandCharactersAboveTheMaximum", {0, 1, 0, 4, 9999, 0}, L"", kLongPin.c_str(),
                    kLongPin.c_str(), S, V, H, H, H, S, false},
        VerdictCase{"TenThousandCharactersAtTheMaximum", {0, 1, 0, 4, 10000, 0}, L"", kLongPin.c_str(),
                    kLongPin.c_str(), S, S, H, H, H, S, true},
        VerdictCase{"EverythingWrong", {1, 0, 1, 4, 8, 0}, L"aaa", L"aaa", L"aab", V, S, V, V, V, V, false}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(RuleVerdicts, WithoutARuleRecordOnlyTheConfirmationApplies)
{
    ActiveRules none = ActiveRules::From(nullptr);
    EXPECT_EQ(0, none.OptionalRowCount());
    RuleVerdicts v = CheckPinRules(none, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(H, v.minLength);
    EXPECT_EQ(S, v.confirmation);
    EXPECT_TRUE(v.allHold);
}

} // namespace
