// The pattern matcher: whole-text matches, and defined answers for bad
// expressions and texts a backtracking matcher could not take.
#include "CPattern.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const wchar_t* kLinkPattern = L".*<.*href\\s*=.*>.*";

TEST(Pattern, MatchesTheWholeTextOfAnyLengthAndRefusesBadExpressions)
{
    static const struct {
        const wchar_t* expression;
        const wchar_t* text;
        CPattern::Result result;
    } cases[] = {
        {kLinkPattern, L"Call <a href=\"x\">us</a>", CPattern::Match},
        {kLinkPattern, L"line\n<a href=x>", CPattern::NoMatch}, // "." stops at a line break
        {kLinkPattern, L"<A HREF = x>", CPattern::NoMatch},
        {kLinkPattern, L"no link here", CPattern::NoMatch},
        {kLinkPattern, nullptr, CPattern::NoMatch},
        {L"ab", L"xaby", CPattern::NoMatch}, // a part is not the whole
        {L"a.c", L"abc", CPattern::Match},
        {L"", L"", CPattern::Match},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.result, CPattern(c.expression).MatchWhole(c.text)) << c.expression << " on " << (c.text ? c.text : L"null");
    // A text of 100,000 characters, which a backtracking matcher could not take.
    const CPattern link(kLinkPattern);
    std::wstring text(100000, L'a');
    EXPECT_EQ(CPattern::NoMatch, link.MatchWhole(text.c_str()));
    text += L"<a href=x>";
    EXPECT_EQ(CPattern::Match, link.MatchWhole(text.c_str()));
    // Bad expressions answer Failed, with a reason.
    for (const wchar_t* bad : {static_cast<const wchar_t*>(nullptr), L"(", L"[a-", L"a{2,1}", L"*"}) {
        CPattern pattern(bad);
        EXPECT_FALSE(pattern.IsValid()) << (bad ? bad : L"null");
        EXPECT_EQ(CPattern::Failed, pattern.MatchWhole(L"text"));
        EXPECT_FALSE(pattern.LastError().empty());
    }
    EXPECT_EQ(CPattern::Failed, CPattern().MatchWhole(L""));
}

} // namespace
