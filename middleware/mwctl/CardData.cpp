#include "CardData.h"

namespace {

constexpr size_t kFascnBytes = 25;
constexpr size_t kFascnCharacters = 40;
constexpr uint8_t kStartSentinel = 0x0B;
constexpr uint8_t kFieldSeparator = 0x0D;
constexpr uint8_t kEndSentinel = 0x0F;
// Simple TLV: a length byte of 0xFF announces two bytes of length.
constexpr uint8_t kLongLength = 0xFF;

// FASC-N layout: each field's length in characters, or 0 for a separator
// (kFieldSeparator) where the standard puts one.
struct FascnPart {
    std::string Fascn::*field;
    size_t digits;
    bool separatorAfter;
};
constexpr FascnPart kFascnParts[] = {
    {&Fascn::agency, 4, true},     {&Fascn::system, 4, true},   {&Fascn::credential, 6, true},
    {&Fascn::series, 1, true},     {&Fascn::issue, 1, true},    {&Fascn::person, 10, false},
    {&Fascn::category, 1, false},  {&Fascn::organization, 4, false}, {&Fascn::association, 1, false},
};

uint8_t WithParity(uint8_t value)
{
    int ones = 0;
    for (int bit = 0; bit < 4; ++bit)
        ones += (value >> bit) & 1;
    // Four data bits least significant first, then the bit that makes the
    // count of ones odd.
    uint8_t character = 0;
    for (int bit = 0; bit < 4; ++bit)
        character = static_cast<uint8_t>(character | (((value >> bit) & 1) << (4 - bit)));
    return static_cast<uint8_t>(character | (ones % 2 == 0 ? 1 : 0));
}

// The five-bit character at `index` of the packed FASC-N.
uint8_t CharacterAt(const CardBytes& bytes, size_t index)
{
    uint8_t character = 0;
    for (size_t bit = index * 5; bit < index * 5 + 5; ++bit)
        character = static_cast<uint8_t>(character << 1 | ((bytes[bit / 8] >> (7 - bit % 8)) & 1));
    return character;
}

// A character's value, or -1 when its parity is wrong.
int ValueOf(uint8_t character)
{
    uint8_t value = 0;
    for (int bit = 0; bit < 4; ++bit)
        value = static_cast<uint8_t>(value | (((character >> (4 - bit)) & 1) << bit));
    return WithParity(value) == character ? value : -1;
}

// Reads a BER length at `offset`; advances it.
CardDataFault ReadBerLength(const uint8_t* data, size_t size, size_t& offset, size_t& length)
{
    if (offset >= size)
        return CardDataFault::TruncatedLength;
    const uint8_t first = data[offset++];
    uint64_t value = first;
    if (first >= 0x80) {
        const size_t count = first & 0x7F;
        if (count == 0 || count > 4)
            return CardDataFault::UnsupportedForm;
        if (count > size - offset)
            return CardDataFault::TruncatedLength;
        value = 0;
        for (size_t i = 0; i < count; ++i)
            value = value << 8 | data[offset++];
    }
    if (value > size - offset)
        return CardDataFault::LengthPastEnd;
    length = static_cast<size_t>(value);
    return CardDataFault::None;
}

} // namespace

const char* CardDataFaultText(CardDataFault fault)
{
    switch (fault) {
    case CardDataFault::None:
        return "well formed";
    case CardDataFault::Empty:
        return "empty";
    case CardDataFault::TruncatedTag:
        return "cut short inside a tag";
    case CardDataFault::TruncatedLength:
        return "cut short inside a length";
    case CardDataFault::UnsupportedForm:
        return "a tag or length of an unsupported form";
    case CardDataFault::LengthPastEnd:
        return "a value longer than the data";
    case CardDataFault::TrailingBytes:
        return "bytes after its last element";
    case CardDataFault::RepeatedTag:
        return "an element twice";
    case CardDataFault::BadFascn:
        return "a FASC-N that does not decode";
    }
    return "malformed";
}

CardDataFault ParseChuid(const uint8_t* data, size_t size, std::map<uint32_t, CardBytes>& elements, size_t& where)
{
    elements.clear();
    where = 0;
    if (!data || size == 0)
        return CardDataFault::Empty;
    size_t offset = 0;
    while (offset < size) {
        where = offset;
        uint32_t tag = data[offset++];
        // A tag whose low five bits are all set goes on in the next bytes,
        // each with its top bit set but the last; at most three of them.
        if ((tag & 0x1F) == 0x1F) {
            size_t more = 0;
            do {
                if (offset >= size)
                    return CardDataFault::TruncatedTag;
                if (++more > 3)
                    return CardDataFault::UnsupportedForm;
                tag = tag << 8 | data[offset];
            } while (data[offset++] & 0x80);
        }
        size_t length = 0;
        const CardDataFault fault = ReadBerLength(data, size, offset, length);
        if (fault != CardDataFault::None)
            return fault;
        if (!elements.emplace(tag, CardBytes(data + offset, data + offset + length)).second)
            return CardDataFault::RepeatedTag;
        offset += length;
        if (tag == kChuidErrorDetection && offset < size) {
            where = offset;
            return CardDataFault::TrailingBytes;
        }
    }
    return CardDataFault::None;
}

CardBytes EncodeChuid(const std::map<uint32_t, CardBytes>& elements)
{
    CardBytes out;
    auto append = [&out](uint32_t tag, const CardBytes& value) {
        out.push_back(static_cast<uint8_t>(tag));
        const size_t length = value.size();
        if (length < 0x80) {
            out.push_back(static_cast<uint8_t>(length));
        } else if (length <= 0xFF) {
            out.push_back(0x81);
            out.push_back(static_cast<uint8_t>(length));
        } else {
            out.push_back(0x82);
            out.push_back(static_cast<uint8_t>(length >> 8));
            out.push_back(static_cast<uint8_t>(length));
        }
        out.insert(out.end(), value.begin(), value.end());
    };
    for (const auto& [tag, value] : elements)
        if (tag != kChuidErrorDetection && tag <= 0xFF && value.size() <= 0xFFFF)
            append(tag, value);
    append(kChuidErrorDetection, CardBytes());
    return out;
}

bool DecodeFascn(const CardBytes& bytes, Fascn& fascn)
{
    fascn = Fascn();
    if (bytes.size() != kFascnBytes)
        return false;
    int values[kFascnCharacters];
    uint8_t check = 0;
    for (size_t i = 0; i < kFascnCharacters; ++i) {
        values[i] = ValueOf(CharacterAt(bytes, i));
        if (values[i] < 0)
            return false;
        if (i + 1 < kFascnCharacters)
            check = static_cast<uint8_t>(check ^ values[i]);
    }
    if (values[0] != kStartSentinel || values[kFascnCharacters - 2] != kEndSentinel ||
        values[kFascnCharacters - 1] != check)
        return false;
    size_t at = 1;
    Fascn decoded;
    for (const FascnPart& part : kFascnParts) {
        for (size_t i = 0; i < part.digits; ++i, ++at) {
            if (values[at] > 9)
                return false;
            (decoded.*part.field) += static_cast<char>('0' + values[at]);
        }
        if (part.separatorAfter && values[at++] != kFieldSeparator)
            return false;
    }
    fascn = decoded;
    return true;
}

bool EncodeFascn(const Fascn& fascn, CardBytes& bytes)
{
    uint8_t values[kFascnCharacters];
    size_t at = 0;
    values[at++] = kStartSentinel;
    for (const FascnPart& part : kFascnParts) {
        const std::string& digits = fascn.*part.field;
        if (digits.size() != part.digits)
            return false;
        for (char digit : digits) {
            if (digit < '0' || digit > '9')
                return false;
            values[at++] = static_cast<uint8_t>(digit - '0');
        }
        if (part.separatorAfter)
            values[at++] = kFieldSeparator;
    }
    values[at++] = kEndSentinel;
    uint8_t check = 0;
    for (size_t i = 0; i < at; ++i)
        check = static_cast<uint8_t>(check ^ values[i]);
    values[at++] = check;
    bytes.assign(kFascnBytes, 0);
    for (size_t i = 0; i < kFascnCharacters; ++i) {
        const uint8_t character = WithParity(values[i]);
        for (size_t bit = 0; bit < 5; ++bit)
            if (character >> (4 - bit) & 1)
                bytes[(i * 5 + bit) / 8] = static_cast<uint8_t>(bytes[(i * 5 + bit) / 8] | 0x80 >> ((i * 5 + bit) % 8));
    }
    return true;
}

CardDataFault FindSimpleTlv(const uint8_t* data, size_t size, uint8_t tag, CardBytes& value, bool& found,
                            size_t& where)
{
    value.clear();
    found = false;
    where = 0;
    if (!data || size == 0)
        return CardDataFault::Empty;
    size_t offset = 0;
    while (offset < size) {
        where = offset;
        const uint8_t elementTag = data[offset++];
        if (offset >= size)
            return CardDataFault::TruncatedLength;
        size_t length = data[offset++];
        if (length == kLongLength) {
            if (size - offset < 2)
                return CardDataFault::TruncatedLength;
            length = static_cast<size_t>(data[offset] | data[offset + 1] << 8);
            offset += 2;
        }
        if (length > size - offset)
            return CardDataFault::LengthPastEnd;
        if (elementTag == tag && !found) {
            value.assign(data + offset, data + offset + length);
            found = true;
        }
        offset += length;
    }
    return CardDataFault::None;
}

bool AppendSimpleTlv(CardBytes& out, uint8_t tag, const CardBytes& value)
{
    if (value.size() > 0xFFFF)
        return false;
    out.push_back(tag);
    if (value.size() < kLongLength) {
        out.push_back(static_cast<uint8_t>(value.size()));
    } else {
        out.push_back(kLongLength);
        out.push_back(static_cast<uint8_t>(value.size() & 0xFF));
        out.push_back(static_cast<uint8_t>(value.size() >> 8));
    }
    out.insert(out.end(), value.begin(), value.end());
    return true;
}
