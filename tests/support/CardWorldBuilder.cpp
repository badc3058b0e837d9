#include "CardWorldBuilder.h"

#include "ChildProcess.h"
#include "Fixtures.h"
#include "mwctl_control.h"

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
    const std::wstring text = L"\xFEFF" + m_text;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    return WriteWholeFile(m_path, {bytes, bytes + text.size() * sizeof(wchar_t)}) && mwctlLoadWorld(m_path.c_str());
}

std::wstring CardWorldBuilder::FieldOf(const std::wstring& card, const std::wstring& key)
{
    wchar_t value[256] = {};
    return mwctlCardField(card.c_str(), key.c_str(), value, 256) ? value : L"(none)";
}

std::wstring CardWorldBuilder::File(const std::wstring& name, const std::vector<unsigned char>& bytes)
{
    WriteWholeFile(m_dir + name, bytes);
    return L"@" + name;
}

namespace {

std::wstring CertificatePath(const std::wstring& name)
{
    return BinDirectory() + L"certs\\" + name + (name.find(L'.') == std::wstring::npos ? L".der" : L"");
}

} // namespace

std::wstring CardWorldBuilder::Certificate(const std::wstring& name)
{
    return L"@" + CertificatePath(name);
}

std::vector<unsigned char> CardWorldBuilder::CertificateBytes(const std::wstring& name)
{
    return ReadWholeFile(CertificatePath(name));
}
