#include "cardobj/VKCertificateBlob.h"

#include "CertificateProperties.h"

#include <windows.h>

#include <cwchar>

VKCertificateBlob::VKCertificateBlob(const WipingBytes& der) : m_der(der)
{
    Parse();
}

VKCertificateBlob::VKCertificateBlob(const VKCertificateBlob& source) : m_der(source.m_der)
{
    Parse();
}

VKCertificateBlob& VKCertificateBlob::operator=(const VKCertificateBlob& source)
{
    if (this != &source) {
        m_der = source.m_der;
        Parse();
    }
    return *this;
}

VKCertificateBlob::~VKCertificateBlob()
{
    delete m_pProperties;
}

void VKCertificateBlob::Parse()
{
    delete m_pProperties;
    m_pProperties = m_der.empty() ? nullptr : vkParseCertificate(m_der.data(), m_der.size());
}

CSecStr VKCertificateBlob::GetSubjectName() const
{
    return CSecStr(m_pProperties ? m_pProperties->GetSubjectName() : L"");
}

CSecStr VKCertificateBlob::GetIssuerName() const
{
    return CSecStr(m_pProperties ? m_pProperties->GetIssuerName() : L"");
}

CSecStr VKCertificateBlob::GetEmail() const
{
    return CSecStr(m_pProperties ? m_pProperties->GetEmail() : L"");
}

bool VKCertificateBlob::IsSelfIssued() const
{
    return m_pProperties && wcscmp(m_pProperties->GetSubjectDN(), m_pProperties->GetIssuerDN()) == 0;
}

int64_t VKCertificateBlob::GetStartTime() const
{
    return m_pProperties ? m_pProperties->GetNotBefore() : -1;
}

int64_t VKCertificateBlob::GetExpirationTime() const
{
    return m_pProperties ? m_pProperties->GetNotAfter() : -1;
}

CSecStr VKCertificateBlob::GetCertDate(int64_t time, bool longForm)
{
    static const wchar_t* const kDays[] = {L"Sunday", L"Monday", L"Tuesday", L"Wednesday", L"Thursday", L"Friday",
                                           L"Saturday"};
    static const wchar_t* const kMonths[] = {L"January", L"February", L"March",     L"April",   L"May",      L"June",
                                             L"July",    L"August",   L"September", L"October", L"November", L"December"};
    // Seconds since 1970 as the 100-nanosecond ticks since 1601 of a FILETIME.
    constexpr int64_t kEpochSeconds = 11644473600LL;
    constexpr int64_t kLastSeconds = 0x7FFFFFFFFFFFFFFFLL / 10000000LL - kEpochSeconds;
    SYSTEMTIME utc = {};
    if (time < 0 || time > kLastSeconds)
        return CSecStr(L"Invalid Date");
    const uint64_t ticks = static_cast<uint64_t>(time + kEpochSeconds) * 10000000ULL;
    FILETIME file = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    if (!FileTimeToSystemTime(&file, &utc) || utc.wDayOfWeek > 6 || utc.wMonth < 1 || utc.wMonth > 12)
        return CSecStr(L"Invalid Date");
    wchar_t text[96];
    if (!longForm) {
        swprintf(text, 96, L"%02u/%02u/%04u", utc.wMonth, utc.wDay, utc.wYear);
    } else {
        const unsigned hour12 = utc.wHour % 12 == 0 ? 12 : utc.wHour % 12;
        swprintf(text, 96, L"%ls, %ls %02u, %04u, %02u:%02u:%02u %ls GMT", kDays[utc.wDayOfWeek], kMonths[utc.wMonth - 1],
                 utc.wDay, utc.wYear, hour12, utc.wMinute, utc.wSecond, utc.wHour < 12 ? L"AM" : L"PM");
    }
    return CSecStr(text);
}

bool VKCertificateBlob::GetKeyUsage(unsigned& usage) const
{
    usage = 0;
    return m_pProperties && m_pProperties->GetKeyUsage(usage);
}

bool VKCertificateBlob::IsForFileEncryption() const
{
    return m_pProperties && m_pProperties->HasExtendedKeyUsage(kOidFileEncryption);
}

bool VKCertificateBlob::IsForSecureEmail() const
{
    return m_pProperties && m_pProperties->HasExtendedKeyUsage(kOidSecureEmail);
}

bool VKCertificateBlob::IsSmartCardLogon() const
{
    return m_pProperties && m_pProperties->IsSmartCardLogon();
}

unsigned VKCertificateBlob::GetPublicKeyBits() const
{
    return m_pProperties ? m_pProperties->GetPublicKeyBits() : 0;
}
