#include "CardWorld.h"

#include "CardData.h"

#include "WipingAllocator.h"
#include "vklogu.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace {

constexpr const wchar_t* kTag = L"VKMWCTL";
// A world larger than this is not a card world.
constexpr LONGLONG kMaxWorldBytes = 64LL << 20;

std::wstring Trim(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos)
        return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
    return text;
}

// The file as text: UTF-16 with a byte order mark, UTF-8 with one, else the
// ANSI code page. False when it cannot be read.
bool ReadText(const std::wstring& path, std::wstring& text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size = {};
    std::vector<char> bytes;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= kMaxWorldBytes;
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ok = bytes.empty() || (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                               read == bytes.size());
    }
    CloseHandle(file);
    if (!ok)
        return false;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / sizeof(wchar_t));
        return true;
    }
    UINT codePage = CP_ACP;
    size_t skip = 0;
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF) {
        codePage = CP_UTF8;
        skip = 3;
    }
    const int length = static_cast<int>(bytes.size() - skip);
    if (length == 0) {
        text.clear();
        return true;
    }
    const int chars = MultiByteToWideChar(codePage, 0, bytes.data() + skip, length, nullptr, 0);
    if (chars <= 0)
        return false;
    text.resize(static_cast<size_t>(chars));
    MultiByteToWideChar(codePage, 0, bytes.data() + skip, length, text.data(), chars);
    return true;
}

// A card date written relative to the day the world is read: "today",
// "today+N" or "today-N" days become that local date as YYYYMMDD, so that a
// world keeps a card that expires soon whenever it is used. Other texts stay.
std::wstring RelativeCardDate(const std::wstring& text)
{
    if (text.compare(0, 5, L"today") != 0)
        return text;
    long days = 0;
    if (text.size() > 5) {
        if ((text[5] != L'+' && text[5] != L'-') || text.size() == 6 ||
            text.find_first_not_of(L"0123456789", 6) != std::wstring::npos || text.size() > 11)
            return text;
        days = std::wcstol(text.c_str() + 6, nullptr, 10) * (text[5] == L'-' ? -1 : 1);
    }
    SYSTEMTIME local;
    GetLocalTime(&local);
    FILETIME file;
    SystemTimeToFileTime(&local, &file);
    ULARGE_INTEGER ticks{{file.dwLowDateTime, file.dwHighDateTime}};
    ticks.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(days) * 864000000000LL);
    file = {ticks.LowPart, ticks.HighPart};
    FileTimeToSystemTime(&file, &local);
    wchar_t date[16] = {};
    swprintf(date, 16, L"%04u%02u%02u", local.wYear, local.wMonth, local.wDay);
    return date;
}

bool IsHex(const std::wstring& text)
{
    return !text.empty() && text.size() % 2 == 0 &&
           std::all_of(text.begin(), text.end(), [](wchar_t c) { return iswxdigit(c) != 0; });
}

// A decimal number from 0 to kMaxWorldCount.
bool IsCount(const std::wstring& text)
{
    if (text.empty() || text.size() > 3 || !std::all_of(text.begin(), text.end(), [](wchar_t c) { return iswdigit(c); }))
        return false;
    return _wtoi(text.c_str()) <= kMaxWorldCount;
}

// A comma-separated list of at most kMaxWorldCount decimal numbers.
bool IsNumberList(const std::wstring& text)
{
    size_t items = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(L',', start);
        const std::wstring item = Trim(text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
        if (item.empty() || item.size() > 9 || !std::all_of(item.begin(), item.end(), [](wchar_t c) { return iswdigit(c); }))
            return false;
        if (++items > static_cast<size_t>(kMaxWorldCount))
            return false;
        if (comma == std::wstring::npos)
            break;
        start = comma + 1;
    }
    return true;
}

struct Section {
    std::wstring name;
    int line = 0;
    // key -> (value, line); the first of a repeated key counts, as with the
    // profile API.
    std::map<std::wstring, std::pair<std::wstring, int>> keys;
    std::vector<std::wstring> order;
};

} // namespace

std::wstring WorldCard::Field(const std::wstring& key, const std::wstring& fallback) const
{
    auto found = fields.find(key);
    return found == fields.end() ? fallback : found->second;
}

int WorldCard::Count(const std::wstring& key, int fallback) const
{
    auto found = fields.find(key);
    return found == fields.end() || found->second.empty() ? fallback : _wtoi(found->second.c_str());
}

namespace {

// The FASC-N fields of a world card: key, digits, default.
struct FascnKey {
    const wchar_t* key;
    std::string Fascn::*field;
    size_t digits;
};
constexpr FascnKey kFascnKeys[] = {
    {L"CHUID.Agency", &Fascn::agency, 4},         {L"CHUID.System", &Fascn::system, 4},
    {L"CHUID.Credential", &Fascn::credential, 6}, {L"CHUID.Series", &Fascn::series, 1},
    {L"CHUID.Issue", &Fascn::issue, 1},           {L"CHUID.Person", &Fascn::person, 10},
    {L"CHUID.OrgCategory", &Fascn::category, 1},  {L"CHUID.OrgIdentifier", &Fascn::organization, 4},
    {L"CHUID.Association", &Fascn::association, 1},
};

// The CHUID elements written as text.
struct TextKey {
    const wchar_t* key;
    uint32_t tag;
};
constexpr TextKey kChuidTextKeys[] = {
    {L"CHUID.Expiration", kChuidExpiration},
    {L"CHUID.AgencyCode", kChuidAgencyCode},
    {L"CHUID.Organization", kChuidOrganization},
    {L"CHUID.DUNS", kChuidDuns},
};

// Text of single-byte characters as bytes; false for a wider character.
bool SingleBytes(const std::wstring& text, CardBytes& bytes)
{
    bytes.clear();
    for (wchar_t ch : text) {
        if (ch > 0xFF)
            return false;
        bytes.push_back(static_cast<uint8_t>(ch));
    }
    return true;
}

} // namespace

bool WorldCard::HasChuid() const
{
    auto first = fields.lower_bound(L"CHUID.");
    return first != fields.end() && first->first.compare(0, 6, L"CHUID.") == 0;
}

bool WorldCard::ChuidBytes(WipingBytes& bytes, std::wstring& fault) const
{
    std::map<uint32_t, CardBytes> elements;
    bool hasFascn = false;
    Fascn fascn;
    for (const FascnKey& key : kFascnKeys) {
        auto found = fields.find(key.key);
        hasFascn = hasFascn || found != fields.end();
        const std::wstring digits = found == fields.end() ? std::wstring(key.digits, L'0') : found->second;
        if (digits.size() != key.digits || !std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
            fault = std::wstring(key.key) + L" is not " + std::to_wstring(key.digits) + L" decimal digits";
            return false;
        }
        fascn.*key.field = std::string(digits.begin(), digits.end());
    }
    if (hasFascn)
        EncodeFascn(fascn, elements[kChuidFascn]);
    for (const TextKey& key : kChuidTextKeys) {
        auto found = fields.find(key.key);
        if (found != fields.end() && !SingleBytes(found->second, elements[key.tag])) {
            fault = std::wstring(key.key) + L" holds a character that is not a single byte";
            return false;
        }
    }
    auto guid = fields.find(L"CHUID.GUID");
    if (guid != fields.end()) {
        if (guid->second.size() != 32 || !IsHex(guid->second)) {
            fault = L"CHUID.GUID is not 32 hexadecimal digits";
            return false;
        }
        CardBytes& value = elements[kChuidGuid];
        for (size_t i = 0; i < 32; i += 2)
            value.push_back(static_cast<uint8_t>(wcstoul(guid->second.substr(i, 2).c_str(), nullptr, 16)));
    }
    const CardBytes encoded = EncodeChuid(elements);
    bytes.assign(encoded.begin(), encoded.end());
    return true;
}

bool WorldCard::DemographicBytes(int n, WipingBytes& bytes, std::wstring& fault) const
{
    const std::wstring prefix = L"Demographic." + std::to_wstring(n) + L".";
    CardBytes container;
    for (auto it = fields.lower_bound(prefix); it != fields.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        const std::wstring tag = it->first.substr(prefix.size());
        if (tag == L"Label" || tag == L"Data")
            continue;
        CardBytes value;
        if (tag.empty() || tag.size() > 3 || !std::all_of(tag.begin(), tag.end(), [](wchar_t c) { return iswdigit(c); }) ||
            _wtoi(tag.c_str()) > 0xFF) {
            fault = it->first + L" names no tag from 0 to 255";
            return false;
        }
        if (!SingleBytes(it->second, value) || !AppendSimpleTlv(container, static_cast<uint8_t>(_wtoi(tag.c_str())), value)) {
            fault = it->first + L" is not a value of at most 65535 single-byte characters";
            return false;
        }
    }
    bytes.assign(container.begin(), container.end());
    return true;
}

void CardWorld::Clear()
{
    // The old world's PINs and keys do not stay behind in freed memory.
    for (auto& [name, card] : cards)
        for (auto& [key, value] : card.fields)
            SecureWipe(value.data(), value.size() * sizeof(wchar_t));
    readers.clear();
    cards.clear();
}

bool CardWorld::Load(const std::wstring& path)
{
    Clear();
    folder = path.substr(0, path.find_last_of(L"\\/") + 1);
    std::wstring text;
    if (!ReadText(path, text)) {
        vklogLog(kTag, VKLOG_ERROR, L"CardWorld: cannot read %s (0x%x)", path.c_str(), GetLastError());
        return false;
    }
    std::vector<Section> sections;
    auto wipeSections = [&sections] {
        for (Section& section : sections)
            for (auto& [key, entry] : section.keys)
                SecureWipe(entry.first.data(), entry.first.size() * sizeof(wchar_t));
    };
    auto reject = [&](int line, const std::wstring& why) {
        vklogLog(kTag, VKLOG_ERROR, L"CardWorld: %s line %d: %s; the world is not served", path.c_str(), line,
                 why.c_str());
        SecureWipe(text.data(), text.size() * sizeof(wchar_t));
        wipeSections();
        Clear();
        return false;
    };

    std::map<std::wstring, int> seen; // section name without case -> line
    int lineNumber = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        line = Trim(line);
        if (line.empty() || line[0] == L';' || line[0] == L'#')
            continue;
        if (line[0] == L'[') {
            const size_t close = line.find(L']');
            if (close == std::wstring::npos)
                return reject(lineNumber, L"a section name without its closing bracket");
            Section section;
            section.name = Trim(line.substr(1, close - 1));
            section.line = lineNumber;
            auto [at, fresh] = seen.emplace(Lower(section.name), lineNumber);
            if (!fresh)
                return reject(lineNumber, L"section [" + section.name + L"] again (first at line " +
                                              std::to_wstring(at->second) + L")");
            sections.push_back(std::move(section));
            continue;
        }
        const size_t equals = line.find(L'=');
        if (sections.empty() || equals == std::wstring::npos) {
            vklogLog(kTag, VKLOG_INFO, L"CardWorld: %s line %d: neither a section nor a key, ignored", path.c_str(),
                     lineNumber);
            continue;
        }
        Section& section = sections.back();
        const std::wstring key = Trim(line.substr(0, equals));
        if (section.keys.emplace(key, std::make_pair(Trim(line.substr(equals + 1)), lineNumber)).second)
            section.order.push_back(key);
        SecureWipe(line.data(), line.size() * sizeof(wchar_t));
    }
    SecureWipe(text.data(), text.size() * sizeof(wchar_t));

    for (Section& section : sections) {
        auto value = [&section](const wchar_t* key) -> const std::pair<std::wstring, int>* {
            for (const auto& [name, entry] : section.keys)
                if (_wcsicmp(name.c_str(), key) == 0)
                    return &entry;
            return nullptr;
        };
        if (_wcsnicmp(section.name.c_str(), L"Reader ", 7) == 0) {
            WorldReader reader;
            reader.name = section.name.substr(7);
            if (auto card = value(L"Card"))
                reader.card = card->first;
            const auto* state = value(L"State");
            if (!state || state->first.empty())
                reader.state = reader.card.empty() ? kReaderEmpty : kReaderCardPresent;
            else if (_wcsicmp(state->first.c_str(), L"card") == 0)
                reader.state = kReaderCardPresent;
            else if (_wcsicmp(state->first.c_str(), L"empty") == 0)
                reader.state = kReaderEmpty;
            else if (_wcsicmp(state->first.c_str(), L"unavailable") == 0)
                reader.state = kReaderUnavailable;
            else
                return reject(state->second, L"reader state \"" + state->first + L"\" is none of card, empty, unavailable");
            readers.push_back(std::move(reader));
        } else if (_wcsnicmp(section.name.c_str(), L"Card ", 5) == 0) {
            WorldCard card;
            card.name = section.name.substr(5);
            for (const std::wstring& key : section.order) {
                const auto& [fieldText, line] = section.keys.at(key);
                if (key == L"Identifier" && !IsHex(fieldText))
                    return reject(line, L"the identifier is not an even number of hexadecimal digits");
                if ((key == L"PINCredentials" || key == L"PKICredentials") && !IsCount(fieldText))
                    return reject(line, key + L" is not a number from 0 to " + std::to_wstring(kMaxWorldCount));
                if (key == L"DataObjects" && !fieldText.empty() && !IsNumberList(fieldText))
                    return reject(line, L"DataObjects is not a list of at most " + std::to_wstring(kMaxWorldCount) +
                                            L" numbers");
                if (key == L"Demographics" && !IsCount(fieldText))
                    return reject(line, L"Demographics is not a number from 0 to " + std::to_wstring(kMaxWorldCount));
                const bool isDate = key == L"CHUID.Expiration" || key.compare(0, 12, L"Demographic.") == 0;
                card.fields[key] = isDate ? RelativeCardDate(fieldText) : fieldText;
            }
            // The card data its fields describe must encode.
            std::wstring fault;
            WipingBytes bytes;
            if (card.HasChuid() && !card.ChuidBytes(bytes, fault))
                return reject(section.line, L"card " + card.name + L": " + fault);
            for (int i = 1, n = card.Count(L"Demographics", 0); i <= n; ++i)
                if (!card.DemographicBytes(i, bytes, fault))
                    return reject(section.line, L"card " + card.name + L": " + fault);
            cards[card.name] = std::move(card);
        }
    }
    wipeSections();
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
