#pragma once
// VKByteArray: bytes read from hexadecimal text, to compare card identifiers.
#include "VKData.h"
#include "WipingAllocator.h"
#include "base/VelkorExports.h"

class VKGUI_CLASS VKByteArray {
public:
    VKByteArray() = default;
    // Either letter case; "NULL" (any case) gives an empty array, and so
    // does a null text, an odd length or a character that is not a
    // hexadecimal digit (those are logged).
    explicit VKByteArray(const wchar_t* hex);
    // A card identifier as the controller serves it: its bytes, or their
    // hexadecimal text (read as above).
    explicit VKByteArray(const VKData& value);

    const WipingBytes& Bytes() const { return m_bytes; }
    bool IsEmpty() const { return m_bytes.empty(); }
    bool operator==(const VKByteArray& other) const { return m_bytes == other.m_bytes; }
    bool operator!=(const VKByteArray& other) const { return !(*this == other); }

private:
    WipingBytes m_bytes;
};
