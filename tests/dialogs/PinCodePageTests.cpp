// The PIN goes back whole in the system code page, whatever that code page
// is. This program runs once per code page: ctest starts it under a Unix
// locale built into the build tree, from which Wine derives the process's
// code page, and names the code page it must find in VELKOR_EXPECTED_ACP.
#include "Fixtures.h"
#include "PinPromptDriver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct CodePageCase {
    UINT codePage;
    const char* name;
    const wchar_t* typed;
    std::string bytes;
};

// Characters of each code page, and characters it lacks: those come back as
// its default character "?", never as a look-alike letter.
const CodePageCase kCases[] = {
    {1252, "digits and letters", L"4711ab", "4711ab"},
    {1252, "Western letters", L"\u00e4\u00f6\u00fc\u00df\u20ac", "\xe4\xf6\xfc\xdf\x80"},
    {1252, "Japanese", L"1\u3042", "1?"},
    {1252, "letters with a look-alike", L"\u0101\uff21", "??"},
    {932, "four kana are eight bytes", L"\u3042\u3044\u3046\u3048", "\x82\xa0\x82\xa2\x82\xa4\x82\xa6"},
    {932, "a lone kana keeps both bytes", L"\u3042", "\x82\xa0"},
    {932, "kanji, half-width kana and digits", L"1\u4e2d\uff71" L"2", "1\x92\x86\xb1" "2"},
    {932, "Western letters", L"\u00e4\u00f6" L"12", "??12"},
    {936, "Chinese and digits", L"\u4e2d\u6587" L"12", "\xd6\xd0\xce\xc4" "12"},
    {936, "kana", L"\u3042\u3044", "\xa4\xa2\xa4\xa4"},
    {936, "letters the code page lacks", L"\u00bd\u00e4" L"9", "??9"},
    {0, "a character beyond 16 bits", L"7\U0001F600", "7??"},
};

UINT ExpectedCodePage()
{
    const char* value = std::getenv("VELKOR_EXPECTED_ACP");
    return value ? static_cast<UINT>(std::strtoul(value, nullptr, 10)) : 0;
}

TEST(PinPromptCodePage, HandsBackEveryCharacterWhole)
{
    const UINT codePage = GetACP();
    ASSERT_NE(0u, ExpectedCodePage()) << "VELKOR_EXPECTED_ACP names the code page this run is for";
    ASSERT_EQ(ExpectedCodePage(), codePage) << "the process does not run with the code page of its locale";

    RegistryFixture registry;
    registry.Remove(L"Software\\Policies\\Quellon\\Velkor\\PINPolicies", L"PreventSmallPINEntry");
    registry.Remove(L"Software\\Policies\\Quellon\\Velkor\\PINPolicies", L"EnableLargePINEntry");
    int tried = 0;
    for (const CodePageCase& c : kCases) {
        if (c.codePage != codePage && c.codePage != 0)
            continue;
        ++tried;
        PinAnswer answer = AskPin([&](HWND dialog) {
            uidriver::Type(PinEdit(dialog), c.typed);
            Press(dialog, IDOK);
        });
        ASSERT_EQ(0, answer.result) << c.name;
        ASSERT_NE(nullptr, answer.pin) << c.name;
        EXPECT_EQ(c.bytes, std::string(answer.pin, static_cast<size_t>(answer.length))) << c.name;
        EXPECT_EQ('\0', answer.pin[answer.length]) << c.name << ": the bytes end in a zero byte";
        FreeGetPinBuffer(answer.pin, static_cast<unsigned>(answer.length));
    }
    EXPECT_GE(tried, 4) << "code page " << codePage << " has cases of its own";
}

} // namespace
