#pragma once
// VKCertificateBlob: a DER certificate from the card and what the
// middleware's certificate parser reads from it. A blob the parser cannot
// read keeps its bytes and answers "unknown" (no names, no dates).
#include "SecStr.h"
#include "WipingAllocator.h"
#include "base/VelkorExports.h"

#include <cstdint>

class ICertificateProperties;

class VKGUI_CLASS VKCertificateBlob {
public:
    VKCertificateBlob() = default;
    explicit VKCertificateBlob(const WipingBytes& der);
    VKCertificateBlob(const VKCertificateBlob& source);
    VKCertificateBlob& operator=(const VKCertificateBlob& source);
    ~VKCertificateBlob();

    bool IsParsed() const { return m_pProperties != nullptr; }
    const WipingBytes& GetBytes() const { return m_der; }
    // The parser's view, or null when it could not read the bytes.
    const ICertificateProperties* GetProperties() const { return m_pProperties; }

    CSecStr GetSubjectName() const;
    CSecStr GetIssuerName() const;
    // The rfc822Name of the subject's alternative names, or empty.
    CSecStr GetEmail() const;
    // The subject's distinguished name equals the issuer's.
    bool IsSelfIssued() const;
    // Seconds since 1970 (UTC); -1 when unknown.
    int64_t GetStartTime() const;
    int64_t GetExpirationTime() const;
    // A time as "%m/%d/%Y" or, long, "%A, %B %d, %Y, %I:%M:%S %p GMT", in
    // UTC and English; "Invalid Date" for -1 or a time out of range.
    static CSecStr GetCertDate(int64_t time, bool longForm);
    // False without a key usage extension.
    bool GetKeyUsage(unsigned& usage) const;
    bool IsForFileEncryption() const;
    bool IsForSecureEmail() const;
    bool IsSmartCardLogon() const;
    unsigned GetPublicKeyBits() const;

private:
    void Parse();
    WipingBytes m_der;
    ICertificateProperties* m_pProperties = nullptr;
};
