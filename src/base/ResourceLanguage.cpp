#include "ResourceLanguage.h"

namespace {

// "de-DE" for 0x0407; empty when the system has no name for it.
WipingWString LocaleName(LANGID language)
{
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    int n = LCIDToLocaleName(MAKELCID(language, SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0);
    return n > 1 ? WipingWString(name, static_cast<size_t>(n - 1)) : WipingWString();
}

} // namespace

std::vector<WipingWString> ResourceModuleCandidates(LANGID language, const wchar_t* folder, const wchar_t* module)
{
    const WipingWString base = WipingWString(folder) + L"\\";
    std::vector<WipingWString> paths;
    if (PRIMARYLANGID(language) != LANG_ENGLISH && PRIMARYLANGID(language) != LANG_NEUTRAL) {
        const LANGID mainVariant = MAKELANGID(PRIMARYLANGID(language), SUBLANG_DEFAULT);
        for (LANGID variant : {language, mainVariant}) {
            WipingWString name = LocaleName(variant);
            if (name.empty())
                continue;
            WipingWString path = base + name + L"\\" + module;
            bool known = false;
            for (const WipingWString& p : paths)
                known = known || p == path;
            if (!known)
                paths.push_back(path);
        }
    }
    paths.push_back(base + module);
    return paths;
}
