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

std::wstring CardWorldBuilder::FieldOf(const std::wstring& card, const std::wstring& key)
{
    wchar_t value[256] = {};
    return mwctlCardField(card.c_str(), key.c_str(), value, 256) ? value : L"(none)";
}

std::wstring CardWorldBuilder::File(const std::wstring& name, const std::vector<unsigned char>& bytes)
{
    FILE* out = _wfopen((m_dir + name).c_str(), L"wb");
    if (out) {
        fwrite(bytes.data(), 1, bytes.size(), out);
        fclose(out);
    }
    return L"@" + name;
}

namespace {

std::wstring CertificatePath(const std::wstring& name)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    dir = dir.substr(0, dir.find_last_of(L"\\/") + 1);
    return dir + L"certs\\" + name + (name.find(L'.') == std::wstring::npos ? L".der" : L"");
}

} // namespace

std::wstring CardWorldBuilder::Certificate(const std::wstring& name)
{
    return L"@" + CertificatePath(name);
}

std::vector<unsigned char> CardWorldBuilder::CertificateBytes(const std::wstring& name)
{
    std::vector<unsigned char> bytes;
    FILE* in = _wfopen(CertificatePath(name).c_str(), L"rb");
    if (!in)
        return bytes;
    unsigned char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof(chunk), in)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    fclose(in);
    return bytes;
}
