#pragma once
// VKByteArray: bytes read from hexadecimal text, to compare card identifiers.
#include "WipingAllocator.h"
#include "frame/VelkorExports.h"

class VKGUI_CLASS VKByteArray {
public:
    VKByteArray() = default;
    // Either letter case; a null text, an odd length or a character that is
    // not a hexadecimal digit gives an empty array.
    explicit VKByteArray(const wchar_t* hex);

    const WipingBytes& Bytes() const { return m_bytes; }
    bool IsEmpty() const { return m_bytes.empty(); }
    bool operator==(const VKByteArray& other) const { return m_bytes == other.m_bytes; }
    bool operator!=(const VKByteArray& other) const { return !(*this == other); }

private:
    WipingBytes m_bytes;
};
