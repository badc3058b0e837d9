#include "validity/VKExpiryNotificationInfo.h"

#include <stdexcept>

VKExpiryNotificationInfo::VKExpiryNotificationInfo(CSecStr sReaderName, HANDLE hCancelEvent)
    : m_sReaderName(sReaderName), m_hCancelEvent(hCancelEvent)
{
}

VKExpiryNotificationInfo::~VKExpiryNotificationInfo()
{
    for (VKCertificateExpiryNotificationInfo* entry : m_certificates)
        delete entry;
}

void VKExpiryNotificationInfo::SetMustDisplayCardExpiry(int bDisplay, __int64 tExpiry)
{
    m_bMustDisplayCard = bDisplay;
    m_tCardExpiry = tExpiry;
}

int VKExpiryNotificationInfo::MustDisplayCardExpiry(CTime& tExpiry) const
{
    tExpiry = CTime(m_tCardExpiry);
    return m_bMustDisplayCard;
}

void VKExpiryNotificationInfo::SetNbDaysForNotificationDelay(int days)
{
    m_nDelayDays = days;
}

void VKExpiryNotificationInfo::AddCertificateExpiryNotificationInfo(CSecStr sLabel, __int64 tExpiry)
{
    size_t position = 0;
    while (position < m_certificates.size() && m_certificates[position]->m_tExpiry < tExpiry)
        ++position;
    auto* entry = new VKCertificateExpiryNotificationInfo{sLabel, tExpiry};
    try {
        m_certificates.insert(m_certificates.begin() + static_cast<std::ptrdiff_t>(position), entry);
    } catch (...) {
        delete entry;
        throw;
    }
}

int VKExpiryNotificationInfo::GetNbCertExpiryNotificationInfo() const
{
    return static_cast<int>(m_certificates.size());
}

VKCertificateExpiryNotificationInfo* VKExpiryNotificationInfo::GetCertificateExpiryNotificationInfo(int i) const
{
    if (i < 0)
        throw std::invalid_argument("VKExpiryNotificationInfo: negative certificate index");
    return static_cast<size_t>(i) < m_certificates.size() ? m_certificates[static_cast<size_t>(i)] : nullptr;
}
