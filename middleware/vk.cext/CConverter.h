#pragma once
// CConverter: conversions between byte arrays and their textual forms.
#include "SecStr.h"
#include "WipingAllocator.h"

class CConverter {
public:
    // Two uppercase hexadecimal digits per byte.
    static CSecStr BinToHex(const WipingBytes& bytes);
    // Hexadecimal digits of either case to bytes; an odd length or another
    // character gives no bytes.
    static WipingBytes HexToBin(const CSecStr& hex);
    // The text in the system's ANSI code page, without a terminator.
    static WipingBytes StringToMBCSByteArray(const CSecStr& text);
};
