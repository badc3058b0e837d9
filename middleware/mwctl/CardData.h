#pragma once
// The card data the simulated controller decodes for the layer, as a card's
// middleware does: the cardholder unique identifier (CHUID: BER-TLV elements
// with the FASC-N inside) and the CAC demographic containers (simple TLV:
// one-byte tag, one-byte length or 0xFF and two bytes). Plain C++ with
// every read bounded by the buffer, so it also builds natively for the
// sanitizers and the fuzzers.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

using CardBytes = std::vector<uint8_t>;

enum class CardDataFault {
    None,
    Empty,           // no byte at all
    TruncatedTag,    // the buffer ends inside a tag
    TruncatedLength, // the buffer ends inside a length
    UnsupportedForm, // an indefinite length, one of more than 32 bits, a tag of more than 4 bytes
    LengthPastEnd,   // a value that runs past the end of the buffer
    TrailingBytes,   // bytes after the CHUID's closing element
    RepeatedTag,     // a CHUID element twice
    BadFascn,        // a FASC-N that is not 25 bytes of valid characters
};

// A fault as the controller's failure message says it.
const char* CardDataFaultText(CardDataFault fault);

// CHUID element tags.
enum ChuidTag : uint32_t {
    kChuidFascn = 0x30,
    kChuidAgencyCode = 0x31,
    kChuidOrganization = 0x32,
    kChuidDuns = 0x33,
    kChuidGuid = 0x34,
    kChuidExpiration = 0x35,
    kChuidSignature = 0x3E,
    kChuidErrorDetection = 0xFE,
};

// The elements of a CHUID by tag. `where` receives the offset of a fault.
CardDataFault ParseChuid(const uint8_t* data, size_t size, std::map<uint32_t, CardBytes>& elements, size_t& where);
// A CHUID of these elements (single-byte tags), closed by an empty error
// detection element.
CardBytes EncodeChuid(const std::map<uint32_t, CardBytes>& elements);

// The FASC-N's fields, as decimal digits.
struct Fascn {
    std::string agency;       // 4
    std::string system;       // 4
    std::string credential;   // 6
    std::string series;       // 1
    std::string issue;        // 1
    std::string person;       // 10
    std::string category;     // 1
    std::string organization; // 4
    std::string association;  // 1
};

// 25 bytes of 40 five-bit characters (four bits of a digit, least
// significant first, and odd parity) with their separators and the
// longitudinal check; false for anything else.
bool DecodeFascn(const CardBytes& bytes, Fascn& fascn);
// False when a field is not digits of its length.
bool EncodeFascn(const Fascn& fascn, CardBytes& bytes);

// The value of `tag` in a simple-TLV container. Every element is checked,
// also those after the wanted one; `found` says whether the tag was there.
CardDataFault FindSimpleTlv(const uint8_t* data, size_t size, uint8_t tag, CardBytes& value, bool& found,
                            size_t& where);
// Appends one element; false (and nothing appended) for a value over 65535 bytes.
bool AppendSimpleTlv(CardBytes& out, uint8_t tag, const CardBytes& value);
