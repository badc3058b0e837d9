// Feeds the PKCS TLV buffer arbitrary card bytes: every lookup, removal and
// addition either works or raises its own exception, and none reads or
// moves a byte outside the buffer.
#include "carddata/CGctlvException.h"
#include "carddata/PKCSTLVBuffer.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first byte picks the tag to look for, so that found and missing
    // tags are both met.
    const uint32_t tag = size ? data[0] % 20 : 0;
    PKCSTLVBuffer buffer(data, size);
    try {
        WipingBytes value;
        const bool found = buffer.GetValue(tag, value);
        const size_t before = buffer.size();
        if (buffer.RemoveTag(tag) != found || (found && buffer.size() != before - value.size() - 8))
            __builtin_trap();
        buffer.AddTLV(tag, value);
        // What was added is whole and last, and the buffer parses to its end
        // (a buffer not built here may hold the tag more than once).
        size_t offset = 0, last = 0;
        while (offset < buffer.size()) {
            uint32_t length = 0;
            last = offset;
            buffer.ReadTag(offset, nullptr);
            buffer.ReadLength(offset, &length);
            offset += length;
        }
        WipingBytes tail(buffer.begin() + last + 8, buffer.end());
        if (offset != buffer.size() || tail != value)
            __builtin_trap();
    } catch (CGctlvException* raised) {
        std::unique_ptr<CGctlvException> owned(raised);
        if (raised->getID() != CGctlvException::GCTLV_INVALID_BUFFER_FORMAT)
            __builtin_trap();
    }
    return 0;
}
