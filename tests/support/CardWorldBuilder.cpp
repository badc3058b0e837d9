#include "CardWorldBuilder.h"

#include "Fixtures.h"
#include "mwctl_control.h"

#include <cstdio>

CardWorldBuilder::CardWorldBuilder() : m_dir(MakeTempDirectory()), m_path(m_dir + L"world.ini")
{
}

CardWorldBuilder::~CardWorldBuilder()
{
    RemoveDirectoryTree(m_dir);
}

CardWorldBuilder& CardWorldBuilder::Reader(const std::wstring& name, const std::wstring& state,
                                           const std::wstring& card)
{
    m_text += L"[Reader " + name + L"]\r\nState=" + state + L"\r\n";
    if (!card.empty())
        m_text += L"Card=" + card + L"\r\n";
    m_text += L"\r\n";
    return *this;
}

CardWorldBuilder& CardWorldBuilder::Card(const std::wstring& name,
                                         std::vector<std::pair<std::wstring, std::wstring>> fields)
{
    m_text += L"[Card " + name + L"]\r\n";
    for (const auto& [key, value] : fields)
        m_text += key + L"=" + value + L"\r\n";
    m_text += L"\r\n";
    return *this;
}

bool CardWorldBuilder::Serve()
{
    // The profile API reads UTF-16 files that start with a byte order mark.
    FILE* out = _wfopen(m_path.c_str(), L"wb");
    if (!out)
        return false;
    const wchar_t bom = 0xFEFF;
    fwrite(&bom, sizeof(bom), 1, out);
    fwrite(m_text.data(), sizeof(wchar_t), m_text.size(), out);
    fclose(out);
    return mwctlLoadWorld(m_path.c_str());
}
