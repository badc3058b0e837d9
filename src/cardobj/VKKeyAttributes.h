#pragma once
// Key attribute records of a certificate's key pair: the key size in bits
// and the key usage bits, each a 4-byte integer that the card stores most
// significant byte first and the record keeps in the machine's order.
// VKPublicKeyAttributes and VKPrivateKeyAttributes share the layout;
// VKPrivateKeyBlob carries key bytes for an import, unread.
#include "WipingAllocator.h"
#include "base/VelkorExports.h"

#include <cstdint>

// Reverses `length` bytes in place: 0 done, 1 for a null buffer, 2 for a
// length below 1.
VKGUI_API int ReverseBytes(unsigned char* buffer, long length);

class VKGUI_CLASS VKKeyAttributes {
public:
    VKKeyAttributes() = default;
    // A record shorter than its fields leaves the missing ones 0.
    explicit VKKeyAttributes(const WipingBytes& cardRecord);
    virtual ~VKKeyAttributes() = default;

    // The record as the card holds it.
    const WipingBytes& GetBytes() const { return m_cardRecord; }
    uint32_t GetKeySize() const { return m_nKeySize; }
    uint32_t GetKeyUsage() const { return m_nKeyUsage; }

private:
    WipingBytes m_cardRecord;
    uint32_t m_nKeySize = 0;
    uint32_t m_nKeyUsage = 0;
};

class VKGUI_CLASS VKPublicKeyAttributes : public VKKeyAttributes {
public:
    using VKKeyAttributes::VKKeyAttributes;
};

class VKGUI_CLASS VKPrivateKeyAttributes : public VKKeyAttributes {
public:
    using VKKeyAttributes::VKKeyAttributes;
};

class VKGUI_CLASS VKPrivateKeyBlob {
public:
    VKPrivateKeyBlob() = default;
    explicit VKPrivateKeyBlob(const WipingBytes& key) : m_key(key) {}
    const WipingBytes& GetBytes() const { return m_key; }

private:
    WipingBytes m_key;
};
