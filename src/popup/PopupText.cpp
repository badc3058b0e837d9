#include "popup/PopupText.h"

#include <cwctype>

bool HasLinkMarkup(const wchar_t* text)
{
    // Whether the text has '<', later "href" (in any case), optional white
    // space and '=', and later '>': a link the holder would be led to. One
    // pass, however long the text, and line breaks hide nothing.
    if (!text)
        return false;
    const wchar_t* p = text;
    while (*p && *p != L'<')
        ++p;
    if (!*p)
        return false;
    for (++p; *p; ++p) {
        if (std::towlower(p[0]) != L'h' || std::towlower(p[1]) != L'r' || std::towlower(p[2]) != L'e' ||
            std::towlower(p[3]) != L'f')
            continue;
        const wchar_t* q = p + 4;
        while (*q && std::iswspace(*q))
            ++q;
        if (*q != L'=')
            continue;
        for (++q; *q; ++q)
            if (*q == L'>')
                return true;
        return false;
    }
    return false;
}

void ExpandLineBreaks(CSecStr& text)
{
    text.Replace(L"\\n", L"\n");
}
