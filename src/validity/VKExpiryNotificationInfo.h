#pragma once
// VKExpiryNotificationInfo: what the expiry notification shows: the card's
// own expiry, when it is to be shown, and the certificates about to expire,
// kept in ascending order of expiry and owned by the record; with the
// reader, the caller's cancel event and the reminder delay the caller
// takes as the default.
#include "SecStr.h"
#include "afxtime.h"
#include "afxwin.h"
#include "base/VelkorExports.h"

#include <vector>

struct VKGUI_CLASS VKCertificateExpiryNotificationInfo {
    CSecStr m_sLabel;
    __int64 m_tExpiry = 0;
};

class VKGUI_CLASS VKExpiryNotificationInfo {
public:
    VKExpiryNotificationInfo(CSecStr sReaderName, HANDLE hCancelEvent);
    ~VKExpiryNotificationInfo();
    VKExpiryNotificationInfo(const VKExpiryNotificationInfo&) = delete;
    VKExpiryNotificationInfo& operator=(const VKExpiryNotificationInfo&) = delete;

    void SetMustDisplayCardExpiry(int bDisplay, __int64 tExpiry);
    // The flag; the card's expiry is copied to `tExpiry`.
    int MustDisplayCardExpiry(CTime& tExpiry) const;
    void SetNbDaysForNotificationDelay(int days);
    int GetNbDaysForNotificationDelay() const { return m_nDelayDays; }
    // Inserted after every entry that expires earlier: among equal expiries
    // the newest comes first.
    void AddCertificateExpiryNotificationInfo(CSecStr sLabel, __int64 tExpiry);
    int GetNbCertExpiryNotificationInfo() const;
    // Null when `i` is not below the count; a negative `i` throws
    // std::invalid_argument.
    VKCertificateExpiryNotificationInfo* GetCertificateExpiryNotificationInfo(int i) const;
    HANDLE GetCancelEvent() const { return m_hCancelEvent; }
    CSecStr GetReaderName() const { return m_sReaderName; }

private:
    int m_bMustDisplayCard = 0;
    __int64 m_tCardExpiry = 0;
    std::vector<VKCertificateExpiryNotificationInfo*> m_certificates;
    CSecStr m_sReaderName;
    HANDLE m_hCancelEvent;
    int m_nDelayDays = -1;
};
