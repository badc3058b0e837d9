#pragma once
// vk.crypto.parser: what the middleware's certificate parser reads from a
// DER certificate (names, dates, key usages, e-mail, key size), through the
// system's certificate API. The card layer asks it; it never parses X.509
// itself.
#include <cstddef>
#include <cstdint>

#ifdef VKCRYPTO_BUILD
#define VKCRYPTO_API __declspec(dllexport)
#else
#define VKCRYPTO_API __declspec(dllimport)
#endif

// Key usage bits of the first byte of the key usage extension.
enum CertificateKeyUsage : unsigned {
    kKeyUsageDigitalSignature = 0x80,
    kKeyUsageNonRepudiation = 0x40,
    kKeyUsageKeyEncipherment = 0x20,
    kKeyUsageDataEncipherment = 0x10,
    kKeyUsageKeyAgreement = 0x08,
    kKeyUsageKeyCertSign = 0x04,
    kKeyUsageCrlSign = 0x02,
};

// Extended key usages the card layer asks about.
inline constexpr const char* kOidFileEncryption = "1.3.6.1.4.1.311.10.3.4";
inline constexpr const char* kOidSecureEmail = "1.3.6.1.5.5.7.3.4";
inline constexpr const char* kOidSmartCardLogon = "1.3.6.1.4.1.311.20.2.2";
inline constexpr const char* kOidClientAuthentication = "1.3.6.1.5.5.7.3.2";

// One parsed certificate. Texts belong to the object and live as long as it.
class ICertificateProperties {
public:
    virtual ~ICertificateProperties() = default;
    // The common name (or the most telling name part) of the subject and of
    // the issuer.
    virtual const wchar_t* GetSubjectName() const = 0;
    virtual const wchar_t* GetIssuerName() const = 0;
    // The whole distinguished names, as "CN=..., O=..., C=...".
    virtual const wchar_t* GetSubjectDN() const = 0;
    virtual const wchar_t* GetIssuerDN() const = 0;
    // Seconds since 1970 (UTC).
    virtual int64_t GetNotBefore() const = 0;
    virtual int64_t GetNotAfter() const = 0;
    // False when the certificate has no key usage extension; else the
    // CertificateKeyUsage bits in `usage`.
    virtual bool GetKeyUsage(unsigned& usage) const = 0;
    // False also when there is no extended key usage extension.
    virtual bool HasExtendedKeyUsage(const char* oid) const = 0;
    virtual bool HasExtendedKeyUsageExtension() const = 0;
    // The rfc822Name of the subject's alternative names; empty when none.
    virtual const wchar_t* GetEmail() const = 0;
    virtual bool IsSmartCardLogon() const = 0;
    // The basic constraints say it is a certificate authority.
    virtual bool IsCertificateAuthority() const = 0;
    // Bits of the public key (its modulus for RSA); 0 when unknown.
    virtual unsigned GetPublicKeyBits() const = 0;
    // Fit to be the card's default certificate: valid at `now` (seconds since
    // 1970), not a certificate authority, usable for signing (no key usage
    // extension, or one with digital signature), and for logging on or
    // client authentication when it names extended key usages at all.
    virtual bool vkIsCertOKForSetAsDefault(int64_t now) const = 0;
};

extern "C" {
// The certificate in `der`, or null when the bytes are not one. The caller
// deletes the object.
VKCRYPTO_API ICertificateProperties* vkParseCertificate(const unsigned char* der, size_t size);
}
