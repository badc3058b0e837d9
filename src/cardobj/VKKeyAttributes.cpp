#include "cardobj/VKKeyAttributes.h"

#include <algorithm>
#include <cstring>

int ReverseBytes(unsigned char* buffer, long length)
{
    if (!buffer)
        return 1;
    if (length < 1)
        return 2;
    std::reverse(buffer, buffer + length);
    return 0;
}

namespace {

// The 4-byte integer at `offset` of the card's record, or 0 when the record
// is shorter.
uint32_t CardInteger(const WipingBytes& record, size_t offset)
{
    if (record.size() < offset + sizeof(uint32_t))
        return 0;
    unsigned char bytes[sizeof(uint32_t)];
    std::memcpy(bytes, record.data() + offset, sizeof(bytes));
    // The card's order is the opposite of ours: most significant first.
    ReverseBytes(bytes, sizeof(bytes));
    uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof(value));
    return value;
}

} // namespace

VKKeyAttributes::VKKeyAttributes(const WipingBytes& cardRecord)
    : m_cardRecord(cardRecord), m_nKeySize(CardInteger(cardRecord, 0)), m_nKeyUsage(CardInteger(cardRecord, 4))
{
}
