#include "SecStr.h"
#include "TestFrameworkDialogs.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

std::wstring S(const CSecStr& s)
{
    return std::wstring(s.GetString(), static_cast<size_t>(s.GetLength()));
}

TEST(SecStr, ConstructionFillingInPlaceAndModuleStrings)
{
    EXPECT_EQ(L"", S(CSecStr()));
    EXPECT_EQ(L"", S(CSecStr(static_cast<const wchar_t*>(nullptr))));
    EXPECT_EQ(L"", S(CSecStr(static_cast<const char*>(nullptr))));
    EXPECT_EQ(L"1234", S(CSecStr(L"1234")));
    EXPECT_EQ(L"abc", S(CSecStr("abc")));
    EXPECT_EQ(L"ab", S(CSecStr(L"abcdef", 2)));
    EXPECT_EQ(L"", S(CSecStr(L"abc", -3)));
    EXPECT_STREQ(L"", CSecStr()) << "an empty string reads as L\"\", never null";
    // The buffer can be filled in place.
    CSecStr filled(L"ab");
    wchar_t* buffer = filled.GetBuffer(10);
    ASSERT_NE(nullptr, buffer);
    wcscpy(buffer, L"0123456789");
    filled.ReleaseBuffer();
    EXPECT_EQ(L"0123456789", S(filled));
    buffer = filled.GetBuffer();
    filled.ReleaseBuffer(4);
    EXPECT_EQ(L"0123", S(filled));
    EXPECT_EQ(L'\0', buffer[5]) << "what lies past the new end is wiped";
    filled.ReleaseBuffer(99);
    EXPECT_EQ(L"0123", S(filled)) << "a length past the storage is measured instead";
    // Strings of a module.
    CSecStr loaded(L"old");
    EXPECT_TRUE(loaded.LoadStringW(GetModuleHandleW(nullptr), IDS_FRAMEWORK_TEXT));
    EXPECT_EQ(L"Insert your card", S(loaded));
    EXPECT_FALSE(loaded.LoadStringW(GetModuleHandleW(nullptr), 9999));
    EXPECT_TRUE(loaded.IsEmpty());
    loaded = L"old";
    EXPECT_FALSE(loaded.LoadStringW(nullptr, IDS_FRAMEWORK_TEXT));
    EXPECT_TRUE(loaded.IsEmpty());
}

std::wstring Num(int n)
{
    return std::to_wstring(n);
}

// Each operation runs on a fresh string made from its input.
TEST(SecStr, OperationsGiveTheExpectedText)
{
    const struct {
        const char* name;
        const wchar_t* input;
        std::function<std::wstring(CSecStr&)> run;
        std::wstring expected;
    } cases[] = {
        {"FindChar", L"12-34-56", [](CSecStr& s) { return Num(s.Find(L'-')); }, L"2"},
        {"FindCharFrom", L"12-34-56", [](CSecStr& s) { return Num(s.Find(L'-', 3)); }, L"5"},
        {"FindCharMissing", L"123", [](CSecStr& s) { return Num(s.Find(L'x')); }, L"-1"},
        {"FindCharPastEnd", L"123", [](CSecStr& s) { return Num(s.Find(L'1', 10)); }, L"-1"},
        {"FindText", L"reader one", [](CSecStr& s) { return Num(s.Find(L"one")); }, L"7"},
        {"FindNull", L"abc", [](CSecStr& s) { return Num(s.Find(nullptr)); }, L"-1"},
        {"FindInEmpty", L"", [](CSecStr& s) { return Num(s.Find(L"a")); }, L"-1"},
        {"Mid", L"0123456789", [](CSecStr& s) { return S(s.Mid(3, 4)); }, L"3456"},
        {"MidToEnd", L"0123456789", [](CSecStr& s) { return S(s.Mid(7)); }, L"789"},
        {"MidTooLong", L"0123", [](CSecStr& s) { return S(s.Mid(2, 100)); }, L"23"},
        {"MidPastEnd", L"0123", [](CSecStr& s) { return S(s.Mid(9, 2)); }, L""},
        {"MidNegative", L"0123", [](CSecStr& s) { return S(s.Mid(-5, 2)); }, L"01"},
        {"Left", L"0123", [](CSecStr& s) { return S(s.Left(2)); }, L"01"},
        {"LeftTooMany", L"0123", [](CSecStr& s) { return S(s.Left(20)); }, L"0123"},
        {"Right", L"0123", [](CSecStr& s) { return S(s.Right(3)); }, L"123"},
        {"RightNone", L"0123", [](CSecStr& s) { return S(s.Right(0)); }, L""},
        {"ReplaceChar", L"a-b-c", [](CSecStr& s) { int n = s.Replace(L'-', L' '); return Num(n) + S(s); }, L"2a b c"},
        {"ReplaceText", L"AB CD AB", [](CSecStr& s) { int n = s.Replace(L"AB", L"xyz"); return Num(n) + S(s); },
                  L"2xyz CD xyz"},
        {"ReplaceWithNothing", L"1 2 3", [](CSecStr& s) { int n = s.Replace(L" ", L""); return Num(n) + S(s); },
                  L"2123"},
        {"ReplaceWithNull", L"1 2", [](CSecStr& s) { int n = s.Replace(L" ", nullptr); return Num(n) + S(s); },
                  L"112"},
        {"ReplaceEmptyPattern", L"abc", [](CSecStr& s) { int n = s.Replace(L"", L"x"); return Num(n) + S(s); },
                  L"0abc"},
        {"Remove", L" 12 34 ", [](CSecStr& s) { int n = s.Remove(L' '); return Num(n) + S(s); }, L"31234"},
        {"Upper", L"abCd1", [](CSecStr& s) { return S(s.MakeUpper()); }, L"ABCD1"},
        {"Lower", L"ABcD1", [](CSecStr& s) { return S(s.MakeLower()); }, L"abcd1"},
        {"TrimLeft", L" \t\r\nx y ", [](CSecStr& s) { return S(s.TrimLeft()); }, L"x y "},
        {"TrimRight", L" x y \r\n", [](CSecStr& s) { return S(s.TrimRight()); }, L" x y"},
        {"TrimLeftSet", L"0012", [](CSecStr& s) { return S(s.TrimLeft(L"0")); }, L"12"},
        {"TrimRightSet", L"12--", [](CSecStr& s) { return S(s.TrimRight(L"-")); }, L"12"},
        {"TrimAll", L"   ", [](CSecStr& s) { std::wstring t = S(s.TrimLeft()); return t + L"|" + Num(s.GetLength()); },
                  L"|0"},
        {"Append", L"ab", [](CSecStr& s) { return S(s.Append(L"cd").Append(nullptr).Append(L"efg", 2)); },
                  L"abcdef"},
        {"AppendItself", L"ab", [](CSecStr& s) { s += s; return S(s); }, L"abab"},
        {"AppendGrowsOften", L"", [](CSecStr& s) {
             for (int i = 0; i < 1000; ++i)
                 s += L'x';
             return Num(s.GetLength());
         }, L"1000"},
        {"Format", L"", [](CSecStr& s) { s.Format(L"%s has %d tries", L"PIN", 3); return S(s); }, L"PIN has 3 tries"},
        {"FormatNull", L"abc", [](CSecStr& s) { s.Format(nullptr); return S(s); }, L""},
        {"SetAtGetAt", L"abc", [](CSecStr& s) {
             s.SetAt(1, L'X');
             s.SetAt(9, L'Y');
             return S(s) + s.GetAt(0) + (s.GetAt(7) == L'\0' ? L"0" : L"?");
         }, L"aXca0"},
        {"AssignShorter", L"long secret", [](CSecStr& s) { s = L"ab"; return S(s) + Num(s.GetLength()); }, L"ab2"},
        {"AssignFromItsOwnTail", L"0123456", [](CSecStr& s) { s = s.GetString() + 3; return S(s); }, L"3456"},
        {"Compare", L"Reader", [](CSecStr& s) {
             return Num(s.Compare(L"Reader")) + Num(s.Compare(L"reader") != 0) + Num(s.CompareNoCase(L"rEADER")) +
                    Num(s == L"Reader") + Num(s != CSecStr(L"Other"));
         }, L"01011"},
        {"CompareWithNull", L"", [](CSecStr& s) { return Num(s.Compare(nullptr) <= 0); }, L"1"},
        {"Empty", L"123456", [](CSecStr& s) {
             s.Empty();
             const std::wstring emptied = Num(s.IsEmpty()) + s.GetString();
             CSecStr moved(std::move(s));
             return emptied + Num(moved.IsEmpty());
         }, L"11"},
        {"Concatenate", L"A", [](CSecStr& s) { return S(s + L"B" + CSecStr(L"C")) + S(L"Z" + s); }, L"ABCZA"},
    };
    for (const auto& c : cases) {
        CSecStr s(c.input);
        EXPECT_EQ(c.expected, c.run(s)) << c.name;
    }
}

} // namespace
