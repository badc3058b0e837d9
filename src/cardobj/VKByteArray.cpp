#include "cardobj/VKByteArray.h"

#include "CConverter.h"

VKByteArray::VKByteArray(const wchar_t* hex)
{
    if (hex)
        m_bytes = CConverter::HexToBin(CSecStr(hex));
}
