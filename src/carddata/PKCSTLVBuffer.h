#pragma once
// PKCSTLVBuffer: several values packed into the one value of a card data
// object, as tag-length-value elements back to back: a 4-byte tag and a
// 4-byte length, both least significant byte first, then the value. No
// header, padding or terminator; the empty buffer holds no element. Its
// storage is wiped whenever it is released. A buffer that cannot be parsed
// raises CGctlvException* (GCTLV_INVALID_BUFFER_FORMAT).
#include "WipingAllocator.h"

#include <cstddef>
#include <cstdint>

class PKCSTLVBuffer {
public:
    PKCSTLVBuffer() = default;
    // The bytes of a buffer read from a card, copied as they are: they are
    // parsed only when asked, and every read checks its bounds.
    PKCSTLVBuffer(const unsigned char* data, size_t size);
    virtual ~PKCSTLVBuffer();
    PKCSTLVBuffer(const PKCSTLVBuffer&) = default;
    PKCSTLVBuffer& operator=(const PKCSTLVBuffer&) = default;

    // Replaces the element with `tag`, if any, by a new one at the end. A
    // buffer that does not parse to its end, or a value longer than a length
    // field can tell, raises the exception and nothing is appended.
    void AddTLV(uint32_t tag, const WipingBytes& value);
    // Removes the first element with `tag`; true when there was one.
    bool RemoveTag(uint32_t tag);
    // The value of the first element with `tag`; false, and `value` empty,
    // when there is none.
    bool GetValue(uint32_t tag, WipingBytes& value) const;

    // Read one 4-byte field at `offset` and move `offset` past it; raise
    // the exception (and leave `offset` as it was) when fewer than 4 bytes
    // are left. The output is 0 unless the read succeeded.
    void ReadTag(size_t& offset, uint32_t* tag) const;
    void ReadLength(size_t& offset, uint32_t* length) const;

    const unsigned char* begin() const { return m_buffer.data(); }
    const unsigned char* end() const { return m_buffer.data() + m_buffer.size(); }
    size_t size() const { return m_buffer.size(); }
    const WipingBytes& Bytes() const { return m_buffer; }

private:
    struct Element {
        size_t start;      // of its tag
        size_t valueStart; // after its length
        size_t end;        // after its value
    };
    // The first element with `tag`, walking from the start; false when the
    // buffer ends first. Raises the exception for a field cut short or a
    // value that runs past the end of the buffer.
    bool Find(uint32_t tag, Element& found, bool wholeBuffer = false) const;
    // Walks every element; raises the exception where one is cut short.
    void CheckWhole() const;
    void ReadField(size_t& offset, uint32_t* field, const wchar_t* message, int line) const;

    WipingBytes m_buffer;
};
