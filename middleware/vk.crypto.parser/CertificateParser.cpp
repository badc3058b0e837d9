// The certificate parser: every field comes from the system's certificate
// API (crypt32), decoded once when the certificate is parsed.
#include "CertificateProperties.h"

#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// 100-nanosecond intervals from 1601 to 1970.
constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;

int64_t Seconds(const FILETIME& time)
{
    const int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return (ticks - kUnixEpochInFileTime) / 10000000LL;
}

struct ContextDeleter {
    void operator()(PCCERT_CONTEXT context) const { CertFreeCertificateContext(context); }
};
using CertificateContext = std::unique_ptr<const CERT_CONTEXT, ContextDeleter>;

// An extension decoded by the system into a block it allocates; null when
// the certificate lacks it or it cannot be decoded.
template <class Decoded>
std::unique_ptr<Decoded, decltype(&LocalFree)> DecodeExtension(PCCERT_CONTEXT context, const char* oid,
                                                                LPCSTR structType)
{
    std::unique_ptr<Decoded, decltype(&LocalFree)> decoded(nullptr, &LocalFree);
    const CERT_INFO* info = context->pCertInfo;
    PCERT_EXTENSION extension = CertFindExtension(oid, info->cExtension, info->rgExtension);
    if (!extension)
        return decoded;
    void* block = nullptr;
    DWORD size = 0;
    if (CryptDecodeObjectEx(kEncoding, structType, extension->Value.pbData, extension->Value.cbData,
                            CRYPT_DECODE_ALLOC_FLAG, nullptr, &block, &size))
        decoded.reset(static_cast<Decoded*>(block));
    return decoded;
}

std::wstring NameString(PCCERT_CONTEXT context, DWORD type, DWORD flags, void* typeParameter = nullptr)
{
    // The first call sizes the text, the second fills it.
    DWORD chars = CertGetNameStringW(context, type, flags, typeParameter, nullptr, 0);
    if (chars <= 1)
        return std::wstring();
    std::wstring text(chars, L'\0');
    chars = CertGetNameStringW(context, type, flags, typeParameter, text.data(), chars);
    text.resize(chars ? chars - 1 : 0);
    return text;
}

std::wstring DistinguishedName(const CERT_NAME_BLOB& name)
{
    CERT_NAME_BLOB blob = name;
    DWORD chars = CertNameToStrW(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, nullptr, 0);
    if (chars <= 1)
        return std::wstring();
    std::wstring text(chars, L'\0');
    chars = CertNameToStrW(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, text.data(), chars);
    text.resize(chars ? chars - 1 : 0);
    return text;
}

class CertificateProperties : public ICertificateProperties {
public:
    explicit CertificateProperties(PCCERT_CONTEXT context)
    {
        const CERT_INFO* info = context->pCertInfo;
        m_subject = NameString(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0);
        m_issuer = NameString(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG);
        m_subjectDN = DistinguishedName(info->Subject);
        m_issuerDN = DistinguishedName(info->Issuer);
        m_notBefore = Seconds(info->NotBefore);
        m_notAfter = Seconds(info->NotAfter);

        if (auto usage = DecodeExtension<CRYPT_BIT_BLOB>(context, szOID_KEY_USAGE, X509_KEY_USAGE)) {
            m_hasKeyUsage = true;
            m_keyUsage = usage->cbData ? usage->pbData[0] : 0;
        }
        if (auto usages = DecodeExtension<CERT_ENHKEY_USAGE>(context, szOID_ENHANCED_KEY_USAGE, X509_ENHANCED_KEY_USAGE)) {
            m_hasExtendedKeyUsage = true;
            for (DWORD i = 0; i < usages->cUsageIdentifier; ++i)
                m_extendedKeyUsages.emplace_back(usages->rgpszUsageIdentifier[i]);
        }
        if (auto names = DecodeExtension<CERT_ALT_NAME_INFO>(context, szOID_SUBJECT_ALT_NAME2, X509_ALTERNATE_NAME)) {
            for (DWORD i = 0; i < names->cAltEntry && m_email.empty(); ++i)
                if (names->rgAltEntry[i].dwAltNameChoice == CERT_ALT_NAME_RFC822_NAME && names->rgAltEntry[i].pwszRfc822Name)
                    m_email = names->rgAltEntry[i].pwszRfc822Name;
        }
        if (auto constraints = DecodeExtension<CERT_BASIC_CONSTRAINTS2_INFO>(context, szOID_BASIC_CONSTRAINTS2,
                                                                            X509_BASIC_CONSTRAINTS2))
            m_isAuthority = constraints->fCA != FALSE;
        // The API takes the key information as writable although it only reads it.
        m_keyBits = CertGetPublicKeyLength(kEncoding, const_cast<PCERT_PUBLIC_KEY_INFO>(&info->SubjectPublicKeyInfo));
    }

    const wchar_t* GetSubjectName() const override { return m_subject.c_str(); }
    const wchar_t* GetIssuerName() const override { return m_issuer.c_str(); }
    const wchar_t* GetSubjectDN() const override { return m_subjectDN.c_str(); }
    const wchar_t* GetIssuerDN() const override { return m_issuerDN.c_str(); }
    int64_t GetNotBefore() const override { return m_notBefore; }
    int64_t GetNotAfter() const override { return m_notAfter; }
    bool GetKeyUsage(unsigned& usage) const override
    {
        usage = m_keyUsage;
        return m_hasKeyUsage;
    }
    bool HasExtendedKeyUsage(const char* oid) const override
    {
        if (!oid)
            return false;
        for (const std::string& usage : m_extendedKeyUsages)
            if (usage == oid)
                return true;
        return false;
    }
    bool HasExtendedKeyUsageExtension() const override { return m_hasExtendedKeyUsage; }
    const wchar_t* GetEmail() const override { return m_email.c_str(); }
    bool IsSmartCardLogon() const override { return HasExtendedKeyUsage(kOidSmartCardLogon); }
    bool IsCertificateAuthority() const override { return m_isAuthority; }
    unsigned GetPublicKeyBits() const override { return m_keyBits; }
    bool vkIsCertOKForSetAsDefault(int64_t now) const override
    {
        if (now < m_notBefore || now > m_notAfter || m_isAuthority)
            return false;
        if (m_hasKeyUsage && !(m_keyUsage & kKeyUsageDigitalSignature))
            return false;
        return !m_hasExtendedKeyUsage || IsSmartCardLogon() || HasExtendedKeyUsage(kOidClientAuthentication);
    }

private:
    std::wstring m_subject, m_issuer, m_subjectDN, m_issuerDN, m_email;
    int64_t m_notBefore = 0;
    int64_t m_notAfter = 0;
    bool m_hasKeyUsage = false;
    unsigned m_keyUsage = 0;
    bool m_hasExtendedKeyUsage = false;
    std::vector<std::string> m_extendedKeyUsages;
    bool m_isAuthority = false;
    unsigned m_keyBits = 0;
};

} // namespace

extern "C" ICertificateProperties* vkParseCertificate(const unsigned char* der, size_t size)
{
    // The certificate API takes a 32-bit length: anything longer is no card
    // certificate.
    if (!der || size == 0 || size > 0x7FFFFFFF)
        return nullptr;
    try {
        CertificateContext context(CertCreateCertificateContext(kEncoding, der, static_cast<DWORD>(size)));
        if (!context)
            return nullptr;
        return new CertificateProperties(context.get());
    } catch (...) {
        return nullptr;
    }
}
