// GCC 12 under the sanitizers warns inside libstdc++'s regex automaton
// (std::function members "may be used uninitialized"): not our code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "CPattern.h"

#include <cwchar>

namespace {

std::wstring Widen(const char* text)
{
    std::wstring wide;
    for (; text && *text; ++text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return wide;
}

std::regex_constants::syntax_option_type Syntax()
{
    auto syntax = std::regex_constants::ECMAScript;
#if defined(__GLIBCXX__)
    // libstdc++ otherwise matches by backtracking with one level of recursion
    // per character: ".*" over a long text overflows the stack. Its
    // automaton matcher keeps the depth to the expression's size.
    syntax |= std::regex_constants::__polynomial;
#endif
    return syntax;
}

} // namespace

bool CPattern::Compile(const wchar_t* expression)
{
    m_pRegex.reset();
    m_sLastError.clear();
    if (!expression) {
        m_sLastError = L"no expression";
        return false;
    }
    try {
        m_pRegex = std::make_shared<const std::wregex>(expression, Syntax());
        return true;
    } catch (const std::exception& e) {
        m_sLastError = L"bad expression: " + Widen(e.what());
    } catch (...) {
        m_sLastError = L"bad expression";
    }
    return false;
}

CPattern::Result CPattern::MatchWhole(const wchar_t* text) const
{
    if (!m_pRegex) {
        m_sLastError = L"no valid expression";
        return Failed;
    }
    const wchar_t* begin = text ? text : L"";
    try {
        return std::regex_match(begin, begin + std::wcslen(begin), *m_pRegex) ? Match : NoMatch;
    } catch (const std::exception& e) {
        m_sLastError = L"matching failed: " + Widen(e.what());
    } catch (...) {
        m_sLastError = L"matching failed";
    }
    return Failed;
}
