#include "validity/ExpiryDecision.h"

ExpiryDecision::ExpiryDecision(int64_t now, uint32_t checkDays, uint32_t graceDays)
    : m_tNow(now), m_uCheckDays(checkDays), m_tCheck(static_cast<uint32_t>(checkDays * 86400u)),
      m_tGrace(static_cast<uint32_t>(graceDays * 86400u))
{
}

bool ExpiryDecision::InWindow(int64_t expiry) const
{
    return expiry - m_tCheck < m_tNow && m_tNow < expiry + m_tGrace;
}

void ExpiryDecision::ApplyCardDate(int64_t expiry)
{
    if (m_tNow < expiry + m_tGrace)
        m_tEarliest = expiry;
    if (InWindow(expiry)) {
        m_bDisplayCard = true;
        m_tCardExpiry = expiry;
    }
}

bool ExpiryDecision::ApplyCertificate(int64_t expiry)
{
    if ((m_tEarliest == kNoTime || expiry < m_tEarliest) && m_tNow < expiry + m_tGrace)
        m_tEarliest = expiry;
    return InWindow(expiry);
}

void ExpiryDecision::ApplyCertificateFallback()
{
    if (m_tEarliest != kNoTime && InWindow(m_tEarliest)) {
        m_bDisplayCard = true;
        m_tCardExpiry = m_tEarliest;
    }
}

bool ExpiryDecision::MustPrompt(int64_t displayNotificationDate) const
{
    if (displayNotificationDate != kNoTime && m_tNow < displayNotificationDate)
        return false;
    return m_tEarliest != kNoTime && m_tNow > m_tEarliest - m_tCheck;
}

int64_t ExpiryDecision::DateToStore(int updatedDays, bool dontRemindMe) const
{
    if (!dontRemindMe && updatedDays < 0)
        return kNoTime;
    if (m_tNow > m_tEarliest && dontRemindMe)
        return m_tEarliest + m_tGrace;
    if (updatedDays != static_cast<int64_t>(m_uCheckDays) && updatedDays != -1)
        return m_tEarliest - static_cast<int64_t>(updatedDays) * kSecondsPerDay;
    return kNoTime;
}
