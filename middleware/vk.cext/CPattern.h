#pragma once
// CPattern: a regular expression (ECMAScript syntax) matched against a whole
// text. A bad expression, or a text the matcher cannot take, gives a defined
// answer, never an exception.
#include <memory>
#include <regex>
#include <string>

class CPattern {
public:
    enum Result { NoMatch = 0, Match = 1, Failed = -1 };

    CPattern() = default;
    explicit CPattern(const wchar_t* expression) { Compile(expression); }

    // False (and no expression kept) for a null or malformed expression;
    // LastError() then says why.
    bool Compile(const wchar_t* expression);
    bool IsValid() const { return m_pRegex != nullptr; }
    // Whether the whole of `text` (null reads as empty) matches; Failed
    // without a valid expression or when matching gave up.
    Result MatchWhole(const wchar_t* text) const;
    const std::wstring& LastError() const { return m_sLastError; }

private:
    std::shared_ptr<const std::wregex> m_pRegex;
    mutable std::wstring m_sLastError;
};
