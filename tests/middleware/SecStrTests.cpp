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

TEST(SecStr, ConstructionFromWideNarrowAndNothing)
{
    EXPECT_EQ(L"", S(CSecStr()));
    EXPECT_EQ(L"", S(CSecStr(static_cast<const wchar_t*>(nullptr))));
    EXPECT_EQ(L"", S(CSecStr(static_cast<const char*>(nullptr))));
    EXPECT_EQ(L"1234", S(CSecStr(L"1234")));
    EXPECT_EQ(L"abc", S(CSecStr("abc")));
    EXPECT_EQ(L"ab", S(CSecStr(L"abcdef", 2)));
    EXPECT_EQ(L"", S(CSecStr(L"abc", -3)));
    EXPECT_STREQ(L"", CSecStr()) << "an empty string reads as L\"\", never null";
}

// Each case runs an operation on a fresh string made from `input`.
struct Operation {
    const char* name;
    const wchar_t* input;
    std::function<std::wstring(CSecStr&)> run;
    std::wstring expected;
};

// Names the case in test lists instead of dumping its bytes.
void PrintTo(const Operation& c, std::ostream* out)
{
    *out << c.name;
}

class SecStrOperations : public testing::TestWithParam<Operation> {};

TEST_P(SecStrOperations, GiveTheExpectedText)
{
    CSecStr s(GetParam().input);
    EXPECT_EQ(GetParam().expected, GetParam().run(s));
}

std::wstring Num(int n)
{
    return std::to_wstring(n);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SecStrOperations,
    testing::Values(
        Operation{"FindChar", L"12-34-56", [](CSecStr& s) { return Num(s.Find(L'-')); }, L"2"},
        Operation{"FindCharFrom", L"12-34-56", [](CSecStr& s) { return Num(s.Find(L'-', 3)); }, L"5"},
        Operation{"FindCharMissing", L"123", [](CSecStr& s) { return Num(s.Find(L'x')); }, L"-1"},
        Operation{"FindCharPastEnd", L"123", [](CSecStr& s) { return Num(s.Find(L'1', 10)); }, L"-1"},
        Operation{"FindText", L"reader one", [](CSecStr& s) { return Num(s.Find(L"one")); }, L"7"},
        Operation{"FindNull", L"abc", [](CSecStr& s) { return Num(s.Find(nullptr)); }, L"-1"},
        Operation{"FindInEmpty", L"", [](CSecStr& s) { return Num(s.Find(L"a")); }, L"-1"},
        Operation{"Mid", L"0123456789", [](CSecStr& s) { return S(s.Mid(3, 4)); }, L"3456"},
        Operation{"MidToEnd", L"0123456789", [](CSecStr& s) { return S(s.Mid(7)); }, L"789"},
        Operation{"MidTooLong", L"0123", [](CSecStr& s) { return S(s.Mid(2, 100)); }, L"23"},
        Operation{"MidPastEnd", L"0123", [](CSecStr& s) { return S(s.Mid(9, 2)); }, L""},
        Operation{"MidNegative", L"0123", [](CSecStr& s) { return S(s.Mid(-5, 2)); }, L"01"},
        Operation{"Left", L"0123", [](CSecStr& s) { return S(s.Left(2)); }, L"01"},
        Operation{"LeftTooMany", L"0123", [](CSecStr& s) { return S(s.Left(20)); }, L"0123"},
        Operation{"Right", L"0123", [](CSecStr& s) { return S(s.Right(3)); }, L"123"},
        Operation{"RightNone", L"0123", [](CSecStr& s) { return S(s.Right(0)); }, L""},
        Operation{"ReplaceChar", L"a-b-c", [](CSecStr& s) { int n = s.Replace(L'-', L' '); return Num(n) + S(s); }, L"2a b c"},
        Operation{"ReplaceText", L"AB CD AB", [](CSecStr& s) { int n = s.Replace(L"AB", L"xyz"); return Num(n) + S(s); },
                  L"2xyz CD xyz"},
        Operation{"ReplaceWithNothing", L"1 2 3", [](CSecStr& s) { int n = s.Replace(L" ", L""); return Num(n) + S(s); },
                  L"2123"},
        Operation{"ReplaceWithNull", L"1 2", [](CSecStr& s) { int n = s.Replace(L" ", nullptr); return Num(n) + S(s); },
                  L"112"},
        Operation{"ReplaceEmptyPattern", L"abc", [](CSecStr& s) { int n = s.Replace(L"", L"x"); return Num(n) + S(s); },
                  L"0abc"},
        Operation{"Remove", L" 12 34 ", [](CSecStr& s) { int n = s.Remove(L' '); return Num(n) + S(s); }, L"31234"},
        Operation{"Upper", L"abCd1", [](CSecStr& s) { return S(s.MakeUpper()); }, L"ABCD1"},
        Operation{"Lower", L"ABcD1", [](CSecStr& s) { return S(s.MakeLower()); }, L"abcd1"},
        Operation{"TrimLeft", L" \t\r\nx y ", [](CSecStr& s) { return S(s.TrimLeft()); }, L"x y "},
        Operation{"TrimRight", L" x y \r\n", [](CSecStr& s) { return S(s.TrimRight()); }, L" x y"},
        Operation{"TrimLeftSet", L"0012", [](CSecStr& s) { return S(s.TrimLeft(L"0")); }, L"12"},
        Operation{"TrimRightSet", L"12--", [](CSecStr& s) { return S(s.TrimRight(L"-")); }, L"12"},
        Operation{"TrimAll", L"   ", [](CSecStr& s) { std::wstring t = S(s.TrimLeft()); return t + L"|" + Num(s.GetLength()); },
                  L"|0"},
        Operation{"Append", L"ab", [](CSecStr& s) { return S(s.Append(L"cd").Append(nullptr).Append(L"efg", 2)); },
                  L"abcdef"},
        Operation{"AppendItself", L"ab",
                  [](CSecStr& s) {
                      s += s;
                      return S(s);
                  },
                  L"abab"},
        Operation{"AppendGrowsOften", L"",
                  [](CSecStr& s) {
                      for (int i = 0; i < 1000; ++i)
                          s += L'x';
                      return Num(s.GetLength());
                  },
                  L"1000"},
        Operation{"Format", L"",
                  [](CSecStr& s) {
                      s.Format(L"%s has %d tries", L"PIN", 3);
                      return S(s);
                  },
                  L"PIN has 3 tries"},
        Operation{"FormatNull", L"abc",
                  [](CSecStr& s) {
                      s.Format(nullptr);
                      return S(s);
                  },
                  L""},
        Operation{"SetAtGetAt", L"abc",
                  [](CSecStr& s) {
                      s.SetAt(1, L'X');
                      s.SetAt(9, L'Y');
                      return S(s) + s.GetAt(0) + (s.GetAt(7) == L'\0' ? L"0" : L"?");
                  },
                  L"aXca0"},
        Operation{"AssignShorter", L"long secret",
                  [](CSecStr& s) {
                      s = L"ab";
                      return S(s) + Num(s.GetLength());
                  },
                  L"ab2"},
        Operation{"AssignFromItsOwnTail", L"0123456",
                  [](CSecStr& s) {
                      s = s.GetString() + 3;
                      return S(s);
                  },
                  L"3456"},
        Operation{"Concatenate", L"A",
                  [](CSecStr& s) { return S(s + L"B" + CSecStr(L"C")) + S(L"Z" + s); }, L"ABCZA"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SecStr, CompareExactlyAndWithoutCase)
{
    CSecStr s(L"Reader");
    EXPECT_EQ(0, s.Compare(L"Reader"));
    EXPECT_NE(0, s.Compare(L"reader"));
    EXPECT_EQ(0, s.CompareNoCase(L"rEADER"));
    EXPECT_LT(CSecStr(L"").Compare(nullptr) - 1, 0);
    EXPECT_TRUE(s == L"Reader");
    EXPECT_TRUE(s != CSecStr(L"Other"));
}

TEST(SecStr, BufferCanBeFilledInPlace)
{
    CSecStr s(L"ab");
    wchar_t* buffer = s.GetBuffer(10);
    ASSERT_NE(nullptr, buffer);
    wcscpy(buffer, L"0123456789");
    s.ReleaseBuffer();
    EXPECT_EQ(L"0123456789", S(s));
    buffer = s.GetBuffer();
    s.ReleaseBuffer(4);
    EXPECT_EQ(L"0123", S(s));
    EXPECT_EQ(L'\0', buffer[5]) << "what lies past the new end is wiped";
    s.ReleaseBuffer(99);
    EXPECT_EQ(L"0123", S(s)) << "a length past the storage is measured instead";
}

TEST(SecStr, EmptyReleasesEverything)
{
    CSecStr s(L"123456");
    s.Empty();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_STREQ(L"", s);
    CSecStr moved(std::move(s));
    EXPECT_TRUE(moved.IsEmpty());
}

TEST(SecStr, LoadsStringsOfAModule)
{
    CSecStr s(L"old");
    EXPECT_TRUE(s.LoadStringW(GetModuleHandleW(nullptr), IDS_FRAMEWORK_TEXT));
    EXPECT_EQ(L"Insert your card", S(s));
    EXPECT_FALSE(s.LoadStringW(GetModuleHandleW(nullptr), 9999));
    EXPECT_TRUE(s.IsEmpty());
    s = L"old";
    EXPECT_FALSE(s.LoadStringW(nullptr, IDS_FRAMEWORK_TEXT));
    EXPECT_TRUE(s.IsEmpty());
}

} // namespace
