#include "ResourceLanguage.h"

namespace {

constexpr const wchar_t* kModuleName = L"vk.velkor.gui.pinrc.dll";

// "de-DE" for 0x0407; empty when the system has no name for it.
WipingWString LocaleName(LANGID language)
{
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    int n = LCIDToLocaleName(MAKELCID(language, SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0);
    return n > 1 ? WipingWString(name, static_cast<size_t>(n - 1)) : WipingWString();
}

} // namespace

std::vector<WipingWString> ResourceModuleCandidates(LANGID language)
{
    std::vector<WipingWString> paths;
    if (PRIMARYLANGID(language) != LANG_ENGLISH && PRIMARYLANGID(language) != LANG_NEUTRAL) {
        const LANGID mainVariant = MAKELANGID(PRIMARYLANGID(language), SUBLANG_DEFAULT);
        for (LANGID folder : {language, mainVariant}) {
            WipingWString name = LocaleName(folder);
            if (name.empty())
                continue;
            WipingWString path = L"Resources\\" + name + L"\\" + kModuleName;
            bool known = false;
            for (const WipingWString& p : paths)
                known = known || p == path;
            if (!known)
                paths.push_back(path);
        }
    }
    paths.push_back(WipingWString(L"Resources\\") + kModuleName);
    return paths;
}
