#include "CConverter.h"

#include <windows.h>

namespace {

int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

} // namespace

CSecStr CConverter::BinToHex(const WipingBytes& bytes)
{
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    CSecStr hex;
    wchar_t* out = hex.GetBuffer(static_cast<int>(bytes.size() * 2));
    for (size_t i = 0; i < bytes.size(); ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    hex.ReleaseBuffer(static_cast<int>(bytes.size() * 2));
    return hex;
}

WipingBytes CConverter::HexToBin(const CSecStr& hex)
{
    WipingBytes bytes;
    const int length = hex.GetLength();
    if (length % 2 != 0)
        return bytes;
    bytes.reserve(static_cast<size_t>(length / 2));
    for (int i = 0; i < length; i += 2) {
        int high = HexValue(hex.GetAt(i));
        int low = HexValue(hex.GetAt(i + 1));
        if (high < 0 || low < 0) {
            bytes.clear();
            return bytes;
        }
        bytes.push_back(static_cast<unsigned char>(high << 4 | low));
    }
    return bytes;
}

WipingBytes CConverter::StringToMBCSByteArray(const CSecStr& text)
{
    WipingBytes bytes;
    if (text.IsEmpty())
        return bytes;
    int size = WideCharToMultiByte(CP_ACP, 0, text, text.GetLength(), nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return bytes;
    bytes.resize(static_cast<size_t>(size));
    int written = WideCharToMultiByte(CP_ACP, 0, text, text.GetLength(), reinterpret_cast<char*>(bytes.data()), size,
                                      nullptr, nullptr);
    bytes.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return bytes;
}
