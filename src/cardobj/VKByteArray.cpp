#include "cardobj/VKByteArray.h"

#include "cardobj/FailureMap.h"

#include "CConverter.h"
#include "vklogu.h"

#include <cwchar>

VKByteArray::VKByteArray(const wchar_t* hex)
{
    if (hex && _wcsicmp(hex, L"NULL") == 0)
        return;
    if (hex)
        m_bytes = CConverter::HexToBin(CSecStr(hex));
    // An even number of hexadecimal digits, none at all included, is the
    // only text that gives bytes; anything else is logged.
    if (!hex || (m_bytes.empty() && *hex))
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKByteArray(TCHAR *) failed, invalid data format given: %s",
                 hex ? hex : L"(null)");
}

VKByteArray::VKByteArray(const VKData& value)
{
    if (value.GetKind() == VKData::Kind::Bytes)
        m_bytes = value.GetBytes();
    else
        *this = VKByteArray(value.GetKind() == VKData::Kind::String ? value.GetString().GetString() : nullptr);
}
