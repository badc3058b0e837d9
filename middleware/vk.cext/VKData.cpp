#include "VKData.h"

void VKData::Clear()
{
    m_kind = Kind::Empty;
    m_sText.Empty();
    m_nValue = 0;
    m_bytes.clear();
}

void VKData::SetString(const wchar_t* text)
{
    Clear();
    m_kind = Kind::String;
    m_sText = text;
}

void VKData::SetUInt(uint32_t value)
{
    Clear();
    m_kind = Kind::UInt;
    m_nValue = value;
}

void VKData::SetBool(bool value)
{
    Clear();
    m_kind = Kind::Bool;
    m_nValue = value ? 1 : 0;
}

void VKData::SetBytes(const WipingBytes& bytes)
{
    Clear();
    m_kind = Kind::Bytes;
    m_bytes = bytes;
}
