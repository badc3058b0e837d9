#pragma once
// VKData: the variant in which the middleware hands out property values: a
// string, a byte, an unsigned integer, a bool or a byte array.
#include "SecStr.h"
#include "WipingAllocator.h"

#include <cstdint>

class VKData {
public:
    enum class Kind { Empty, String, Byte, UInt, Bool, Bytes };

    VKData() = default;
    explicit VKData(const wchar_t* text) : m_kind(Kind::String), m_sText(text) {}
    explicit VKData(uint8_t value) : m_kind(Kind::Byte), m_nValue(value) {}
    explicit VKData(uint32_t value) : m_kind(Kind::UInt), m_nValue(value) {}
    explicit VKData(bool value) : m_kind(Kind::Bool), m_nValue(value ? 1 : 0) {}
    explicit VKData(const WipingBytes& bytes) : m_kind(Kind::Bytes), m_bytes(bytes) {}

    Kind GetKind() const { return m_kind; }
    bool IsEmpty() const { return m_kind == Kind::Empty; }
    // The value as each kind; another kind gives the empty or zero value.
    const CSecStr& GetString() const { return m_sText; }
    uint32_t GetUInt() const { return m_kind == Kind::String ? 0 : m_nValue; }
    bool GetBool() const { return m_nValue != 0; }
    const WipingBytes& GetBytes() const { return m_bytes; }

    void SetString(const wchar_t* text);
    void SetUInt(uint32_t value);
    void SetBool(bool value);
    void SetBytes(const WipingBytes& bytes);
    void Clear();

private:
    Kind m_kind = Kind::Empty;
    CSecStr m_sText;
    uint32_t m_nValue = 0;
    WipingBytes m_bytes;
};
