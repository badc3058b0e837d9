#include "CardWorld.h"

#include "WipingAllocator.h"

#include <windows.h>

namespace {

constexpr DWORD kBufferChars = 1 << 16;

// The names of a profile list (sections or keys), in file order.
std::vector<std::wstring> SplitNulList(const std::vector<wchar_t>& buffer)
{
    std::vector<std::wstring> names;
    for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1)
        names.emplace_back(p);
    return names;
}

std::wstring ReadValue(const std::wstring& path, const std::wstring& section, const std::wstring& key)
{
    std::vector<wchar_t> value(kBufferChars);
    GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", value.data(), kBufferChars, path.c_str());
    return value.data();
}

int StateFromText(const std::wstring& text)
{
    if (_wcsicmp(text.c_str(), L"card") == 0)
        return kReaderCardPresent;
    if (_wcsicmp(text.c_str(), L"unavailable") == 0)
        return kReaderUnavailable;
    return kReaderEmpty;
}

} // namespace

std::wstring WorldCard::Field(const std::wstring& key, const std::wstring& fallback) const
{
    auto found = fields.find(key);
    return found == fields.end() ? fallback : found->second;
}

bool CardWorld::Load(const std::wstring& path)
{
    // The old world's PINs and keys do not stay behind in freed memory.
    for (auto& [name, card] : cards)
        for (auto& [key, value] : card.fields)
            SecureWipe(value.data(), value.size() * sizeof(wchar_t));
    readers.clear();
    cards.clear();
    folder = path.substr(0, path.find_last_of(L"\\/") + 1);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    std::vector<wchar_t> buffer(kBufferChars);
    GetPrivateProfileSectionNamesW(buffer.data(), kBufferChars, path.c_str());
    for (const std::wstring& section : SplitNulList(buffer)) {
        if (section.rfind(L"Reader ", 0) == 0) {
            WorldReader reader;
            reader.name = section.substr(7);
            reader.card = ReadValue(path, section, L"Card");
            std::wstring state = ReadValue(path, section, L"State");
            reader.state = state.empty() ? (reader.card.empty() ? kReaderEmpty : kReaderCardPresent) : StateFromText(state);
            readers.push_back(reader);
        } else if (section.rfind(L"Card ", 0) == 0) {
            WorldCard card;
            card.name = section.substr(5);
            std::vector<wchar_t> keys(kBufferChars);
            GetPrivateProfileStringW(section.c_str(), nullptr, L"", keys.data(), kBufferChars, path.c_str());
            for (const std::wstring& key : SplitNulList(keys))
                card.fields[key] = ReadValue(path, section, key);
            cards[card.name] = card;
        }
    }
    return true;
}

WorldReader* CardWorld::FindReader(const std::wstring& name)
{
    for (WorldReader& reader : readers)
        if (reader.name == name)
            return &reader;
    return nullptr;
}

const WorldCard* CardWorld::CardIn(const WorldReader& reader) const
{
    if (reader.state != kReaderCardPresent)
        return nullptr;
    auto found = cards.find(reader.card);
    return found == cards.end() ? nullptr : &found->second;
}
