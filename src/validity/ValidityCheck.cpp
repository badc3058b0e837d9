// ShowValidityCheckDialog: whether the card in one reader, or one of its
// certificates, expires within the configured windows; if so the holder is
// told, and the date before which the holder does not want to be reminded
// again is kept per card in the shared data cache.
#include "base/ExceptionBarrier.h"
#include "base/Log.h"
#include "base/VelkorExports.h"
#include "carddata/VKDemographicDataList.h"
#include "carddata/VKPIVCardholderUniqueIdentifier.h"
#include "cardobj/LayerResult.h"
#include "cardobj/VKCardCertificateStore.h"
#include "cardobj/VKCardManagement.h"
#include "validity/CardDate.h"
#include "validity/ExpiryDecision.h"
#include "validity/VKExpiryNotificationInfo.h"

#include "qlreg.h"

#include <ctime>
#include <memory>

namespace {

constexpr const wchar_t* kCardValidityKey = L"Software\\Policies\\Quellon\\Velkor\\Notifications\\CardValidity";
constexpr DWORD kDefaultCheckDays = 60;
constexpr DWORD kDefaultGraceDays = 5;
constexpr int kCardholderExpirationTag = 0x3D;
constexpr const wchar_t* kTimeFormat = L"%Y-%m-%d %H:%M:%S";

DWORD ReadDays(const wchar_t* name, DWORD fallback)
{
    DWORD value = 0;
    return qlRegReadDWORDValueEx(HKEY_LOCAL_MACHINE, kCardValidityKey, name, &value, KEY_WOW64_64KEY) == 0 ? value
                                                                                                          : fallback;
}

std::wstring TimeText(int64_t time)
{
    return LocalTimeText(time, kTimeFormat);
}

void ApplyCardDate(ExpiryDecision& decision, int64_t expiry)
{
    vklogLog(kGuiTag, VKLOG_INFO, L"ShowValidityCheckDialog: Card Expiration date in the CHUID is %s.",
             TimeText(expiry).c_str());
    decision.ApplyCardDate(expiry);
}

// The card's own date, from its CHUID, else (a CAC card) from its
// cardholder data; true when the certificates must stand in for it.
bool ReadCardDate(const VKReader& reader, VKCardManagement& card, ExpiryDecision& decision)
{
    const bool isCac = card.IsCACCard();
    if (!isCac && !card.IsPIVCard())
        return false;
    vklogLog(kGuiTag, VKLOG_INFO,
             L"ShowValidityCheckDialog: Card is CAC or PIV: Retrieve the card expiration date from the CHUID.");
    VKPIVCardholderUniqueIdentifier chuid(reader);
    bool silent = true;
    if (chuid.Load(silent) == kLayerOk) {
        // A CHUID without a usable date leaves the card without one: its
        // certificates say nothing about the card itself.
        const int64_t expiry =
            CardDateToTime(chuid.GetRawValue(VKPIVCardholderUniqueIdentifier::kChuidExpirationDate).GetString());
        if (expiry != kNoTime)
            ApplyCardDate(decision, expiry);
        return false;
    }
    if (!isCac)
        return false;
    vklogLog(kGuiTag, VKLOG_INFO,
             L"ShowValidityCheckDialog: No CHUID but the Card is CAC: Check expiration from the Cardholder buffer.");
    VKDemographicDataList groups(reader);
    std::unique_ptr<VKDemographicInfo> item(
        groups.GetDemographicInfo(silent, CSecStr(L"Cardholder information"), kCardholderExpirationTag));
    const int64_t expiry = item ? CardDateToTime(item->GetValue().GetString()) : kNoTime;
    if (expiry == kNoTime) {
        vklogLog(kGuiTag, VKLOG_INFO,
                 L"ShowValidityCheckDialog: Cardholder buffer inaccessible: Use the first certificate expiration date.");
        return true;
    }
    ApplyCardDate(decision, expiry);
    return false;
}

void ReadCertificates(const VKReader& reader, ExpiryDecision& decision, VKExpiryNotificationInfo& info,
                      bool listCertificates)
{
    VKCardCertificateStore store(reader);
    // A store that loads only in part still gives the certificates it read.
    if (int status = store.LoadFromPhysicalStore())
        vklogLog(kGuiTag, VKLOG_INFO, L"ShowValidityCheckDialog: the certificates were read with result %d", status);
    VKCertificateStore::Position position = store.GetFirstCertificatePosition();
    while (position) {
        const VKCertificate* certificate = store.GetNextCertificate(position);
        if (!certificate)
            break;
        if (certificate->bSkip)
            continue;
        const int64_t expiry = certificate->GetExpirationTime();
        const bool inWindow = decision.ApplyCertificate(expiry);
        vklogLog(kGuiTag, VKLOG_INFO, L"ShowValidityCheckDialog: Cert Expiration date is %s.", TimeText(expiry).c_str());
        if (listCertificates && inWindow)
            info.AddCertificateExpiryNotificationInfo(certificate->GetLabel(), expiry);
    }
}

} // namespace

extern "C" int ShowValidityCheckDialog(HWND hParent, const wchar_t* pszReaderName, HANDLE hCancelEvent,
                                       BOOL bCheckCard, BOOL bCheckCertificates)
try {
    ScopedFunctionLog log(L"ShowValidityCheckDialog");
    if (!pszReaderName || !*pszReaderName) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShowValidityCheckDialog: Bad parameters");
        return 2;
    }
    VKReader reader(pszReaderName);
    VKConnection connection;
    if (int status = reader.Connect(connection)) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShowValidityCheckDialog: the reader could not be connected (%d)", status);
        return 2;
    }
    VKCardManagement card(reader);
    VKExpiryNotificationInfo info(CSecStr(pszReaderName), hCancelEvent);
    const int64_t displayDate = card.GetDisplayNotificationDate();
    if (displayDate == kNoTime)
        vklogLog(kGuiTag, VKLOG_INFO, L"ShowValidityCheckDialog: DisplayNotificationDate is not set");
    else
        vklogLog(kGuiTag, VKLOG_INFO, L"ShowValidityCheckDialog: DisplayNotificationDate is set to %s",
                 TimeText(displayDate).c_str());

    const DWORD checkDays = ReadDays(L"ValidityCheckPeriod", kDefaultCheckDays);
    const DWORD graceDays = ReadDays(L"ExpirationNotificationPeriod", kDefaultGraceDays);
    vklogLog(kGuiTag, VKLOG_INFO, L"ShowValidityCheckDialog: Expiry time is %d day%s.", static_cast<int>(checkDays),
             checkDays == 1 ? L"" : L"s");
    vklogLog(kGuiTag, VKLOG_INFO, L"ShowValidityCheckDialog: Expiry notification period is %d day%s.",
             static_cast<int>(graceDays), graceDays == 1 ? L"" : L"s");
    info.SetNbDaysForNotificationDelay(static_cast<int>(checkDays));

    ExpiryDecision decision(_time64(nullptr), checkDays, graceDays);
    info.SetMustDisplayCardExpiry(0, kNoTime);
    const bool useCertificateFallback = bCheckCard && ReadCardDate(reader, card, decision);
    if (bCheckCertificates || useCertificateFallback) {
        ReadCertificates(reader, decision, info, bCheckCertificates != FALSE);
        if (useCertificateFallback)
            decision.ApplyCertificateFallback();
    }
    info.SetMustDisplayCardExpiry(decision.MustDisplayCard() ? 1 : 0, decision.CardExpiry());

    if (decision.MustPrompt(displayDate)) {
        vklogLog(kGuiTag, VKLOG_INFO, L"ShowValidityCheckDialog: We have to prompt for at least one object.");
        int updatedDays = 0;
        int dontRemindMe = 0;
        DisplayCardExpiryNotificationEx(hParent, info, &updatedDays, &dontRemindMe);
        vklogLog(kGuiTag, VKLOG_INFO,
                 L"ShowValidityCheckDialog: DisplayCardExpiryNotification returned nUpdatedExpirationDays=%d and "
                 L"DontRemindMe=%s",
                 updatedDays, dontRemindMe ? L"TRUE" : L"FALSE");
        const int64_t store = decision.DateToStore(updatedDays, dontRemindMe == 1);
        if (store != kNoTime) {
            if (dontRemindMe == 1 && decision.Now() > decision.Earliest()) {
                vklogLog(kGuiTag, VKLOG_INFO, L"ShowValidityCheckDialog: The user has selected \"Do not remind me\" "
                                              L"after the expiration date");
                vklogLog(kGuiTag, VKLOG_INFO, L"ShowValidityCheckDialog: Then DisplayNotificationDate must be "
                                              L"postponed to the end of the period");
            } else {
                vklogLog(kGuiTag, VKLOG_INFO, L"ShowValidityCheckDialog: The user has changed the date until which he "
                                              L"doesn't want to be notified.");
                vklogLog(kGuiTag, VKLOG_INFO, L"ShowValidityCheckDialog: Then DisplayNotificationDate must be updated");
            }
            if (int status = card.SetDisplayNotificationDate(store))
                vklogLog(kGuiTag, VKLOG_ERROR, L"ShowValidityCheckDialog: the date could not be stored (%d)", status);
        }
    }
    reader.Disconnect();
    return 1;
} catch (...) {
    return ExceptionFailure(kGuiTag, L"ShowValidityCheckDialog", 2);
}
