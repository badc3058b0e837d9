#include "cardobj/VKByteArray.h"

#include <cwchar>

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

VKByteArray::VKByteArray(const wchar_t* hex)
{
    if (!hex)
        return;
    const size_t length = wcslen(hex);
    if (length % 2 != 0)
        return;
    m_bytes.reserve(length / 2);
    for (size_t i = 0; i < length; i += 2) {
        int high = HexValue(hex[i]);
        int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            m_bytes.clear();
            return;
        }
        m_bytes.push_back(static_cast<unsigned char>(high << 4 | low));
    }
}
