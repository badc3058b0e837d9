#include "carddata/PKCSTLVBuffer.h"

#include "carddata/CGctlvException.h"

#include <cstring>
#include <stdexcept>

namespace {

// Where the failures say they were raised: the lines are those the
// middleware's own buffer reports, so that logs of both read alike.
constexpr const wchar_t* kSourceFile = L"Sources\\qlpkcstlvbuffer";
constexpr int kTagLine = 20;
constexpr int kLengthLine = 34;
constexpr int kValueLine = 48;
constexpr int kTooLongLine = 62;
constexpr size_t kFieldBytes = 4;

[[noreturn]] void Raise(const wchar_t* message, int line)
{
    throw new CGctlvException(CGctlvException::GCTLV_INVALID_BUFFER_FORMAT, message, kSourceFile, line);
}

void AppendField(WipingBytes& buffer, uint32_t field)
{
    for (int shift = 0; shift < 32; shift += 8)
        buffer.push_back(static_cast<unsigned char>(field >> shift));
}

} // namespace

PKCSTLVBuffer::PKCSTLVBuffer(const unsigned char* data, size_t size)
{
    if (data && size)
        m_buffer.assign(data, data + size);
}

PKCSTLVBuffer::~PKCSTLVBuffer()
{
    // The allocator wipes what it frees; this also covers the bytes past
    // the size that a removal left in the capacity.
    SecureWipe(m_buffer.data(), m_buffer.capacity());
    WipingBytes().swap(m_buffer);
}

void PKCSTLVBuffer::ReadField(size_t& offset, uint32_t* field, const wchar_t* message, int line) const
{
    if (field)
        *field = 0;
    // Written so that no offset, however large, wraps around.
    if (offset > m_buffer.size() || m_buffer.size() - offset < kFieldBytes)
        Raise(message, line);
    uint32_t value = 0;
    for (size_t i = 0; i < kFieldBytes; ++i)
        value |= static_cast<uint32_t>(m_buffer[offset + i]) << (8 * i);
    if (field)
        *field = value;
    offset += kFieldBytes;
}

void PKCSTLVBuffer::ReadTag(size_t& offset, uint32_t* tag) const
{
    ReadField(offset, tag, L"Invalid format while parsing PKCS TLV tag", kTagLine);
}

void PKCSTLVBuffer::ReadLength(size_t& offset, uint32_t* length) const
{
    ReadField(offset, length, L"Invalid format while parsing PKCS TLV length", kLengthLine);
}

void PKCSTLVBuffer::CheckWhole() const
{
    Element unused{};
    Find(0, unused, true);
}

bool PKCSTLVBuffer::Find(uint32_t tag, Element& found, bool wholeBuffer) const
{
    size_t offset = 0;
    while (offset < m_buffer.size()) {
        Element element{offset, 0, 0};
        uint32_t elementTag = 0;
        uint32_t length = 0;
        ReadTag(offset, &elementTag);
        ReadLength(offset, &length);
        // A length past the end is refused before any offset is computed
        // from it, so that no sum overflows, not even with 32-bit sizes.
        if (length > m_buffer.size() - offset)
            Raise(L"Invalid format while parsing PKCS TLV value", kValueLine);
        element.valueStart = offset;
        element.end = offset + length;
        if (elementTag == tag && !wholeBuffer) {
            found = element;
            return true;
        }
        offset = element.end;
    }
    return false;
}

bool PKCSTLVBuffer::RemoveTag(uint32_t tag)
{
    Element element{};
    if (m_buffer.empty() || !Find(tag, element))
        return false;
    const size_t removed = element.end - element.start;
    std::memmove(m_buffer.data() + element.start, m_buffer.data() + element.end, m_buffer.size() - element.end);
    const size_t kept = m_buffer.size() - removed;
    // The removed value may be a secret: the bytes left behind the new end
    // are wiped now, not when the storage goes.
    SecureWipe(m_buffer.data() + kept, removed);
    m_buffer.resize(kept);
    return true;
}

bool PKCSTLVBuffer::GetValue(uint32_t tag, WipingBytes& value) const
{
    value.clear();
    Element element{};
    if (!Find(tag, element))
        return false;
    value.assign(m_buffer.begin() + static_cast<std::ptrdiff_t>(element.valueStart),
                 m_buffer.begin() + static_cast<std::ptrdiff_t>(element.end));
    return true;
}

void PKCSTLVBuffer::AddTLV(uint32_t tag, const WipingBytes& value)
{
    // Through a 64-bit variable: a 32-bit build's size can never exceed the
    // field, and a direct comparison would be one the compiler rejects.
    const uint64_t size = value.size();
    if (size > 0xFFFFFFFFull)
        Raise(L"Invalid format while adding a PKCS TLV value: too long for its length field", kTooLongLine);
    RemoveTag(tag);
    // An element cut short before the new one would swallow it: the whole
    // buffer must parse before anything is appended.
    CheckWhole();
    if (value.size() > m_buffer.max_size() - m_buffer.size() - 2 * kFieldBytes)
        throw std::length_error("PKCS TLV buffer too long");
    m_buffer.reserve(m_buffer.size() + value.size() + 2 * kFieldBytes);
    AppendField(m_buffer, tag);
    AppendField(m_buffer, static_cast<uint32_t>(value.size()));
    m_buffer.insert(m_buffer.end(), value.begin(), value.end());
}
