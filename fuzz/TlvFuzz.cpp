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
        WipingBytes again;
        if (!buffer.GetValue(tag, again) || again != value)
            __builtin_trap();
    } catch (CGctlvException* raised) {
        std::unique_ptr<CGctlvException> owned(raised);
        if (raised->getID() != CGctlvException::GCTLV_INVALID_BUFFER_FORMAT)
            __builtin_trap();
    }
    return 0;
}
