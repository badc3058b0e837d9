// DisplayCardExpiryNotification and its Ex form: the expiry notification
// shown to the holder, preceded by toasts on a desktop in touch mode, where
// the dialog is not seen until the holder switches to the desktop.
#include "base/ExceptionBarrier.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "base/VelkorExports.h"
#include "validity/CardDate.h"
#include "validity/CardExpiryNotifyDlg.h"

#include "ToastManager.h"
#include "pinrc_ids.h"

#include <ctime>
#include <memory>
#include <vector>

namespace {

struct ToastDeleter {
    void operator()(CToastManager* toast) const
    {
        toast->Withdraw();
        qlDeleteToastManager(toast);
    }
};
using OwnedToast = std::unique_ptr<CToastManager, ToastDeleter>;

OwnedToast ShowToast(UINT textId, const wchar_t* fallback)
{
    CSecStr text = LoadResourceString(textId);
    if (text.IsEmpty())
        text = fallback;
    OwnedToast toast(qlCreateToastManager(L"", text, false));
    if (!toast) {
        vklogLog(kGuiTag, VKLOG_INFO, L"DisplayCardExpiryNotificationEx: no toast could be made");
        return toast;
    }
    toast->ShowNoWait();
    return toast;
}

bool SomethingHasExpired(const VKExpiryNotificationInfo& info, __int64 now)
{
    CTime card;
    info.MustDisplayCardExpiry(card);
    if (card.GetTime() < now)
        return true;
    for (int i = 0, n = info.GetNbCertExpiryNotificationInfo(); i < n; ++i)
        if (info.GetCertificateExpiryNotificationInfo(i)->m_tExpiry < now)
            return true;
    return false;
}

} // namespace

extern "C" int DisplayCardExpiryNotificationEx(HWND hParent, VKExpiryNotificationInfo& info,
                                               int* pnUpdatedExpirationDays, int* pbDontRemindMe)
try {
    vklogLog(kGuiTag, VKLOG_ENTRY, L"DisplayCardExpiryNotificationEx");
    if (!pnUpdatedExpirationDays || !pbDontRemindMe) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"DisplayCardExpiryNotificationEx: Bad parameters");
        return IDCANCEL;
    }
    CTime unused;
    if (!info.MustDisplayCardExpiry(unused) && info.GetNbCertExpiryNotificationInfo() == 0) {
        vklogLog(kGuiTag, VKLOG_EXIT, L"DisplayCardExpiryNotificationEx (%d)", IDCANCEL);
        return IDCANCEL;
    }
    const __int64 now = _time64(nullptr);
    const bool expired = SomethingHasExpired(info, now);

    std::vector<OwnedToast> toasts;
    const int mode = qlGetUIMode();
    if (mode == 2 || mode == 3) {
        if (info.MustDisplayCardExpiry(unused))
            toasts.push_back(ShowToast(IDS_TOAST_CARD_EXPIRY,
                                       L"Your smart card has expired or will expire soon. Please switch to the Desktop "
                                       L"to access the Card Expiration window."));
        if (info.GetNbCertExpiryNotificationInfo() > 0)
            toasts.push_back(ShowToast(IDS_TOAST_CERT_EXPIRY,
                                       L"Some of your credentials have expired or will expire soon. Please switch to "
                                       L"the Desktop to access the Credential Expiration window."));
    }

    CWnd owner(hParent);
    CCardExpiryNotifyDlg dialog(hParent ? &owner : nullptr, info);
    const int result = static_cast<int>(dialog.DoModal());
    if (result == IDOK) {
        *pbDontRemindMe = dialog.DontRemindMe();
        const int days = _wtoi(dialog.Days().GetString());
        *pnUpdatedExpirationDays = days == info.GetNbDaysForNotificationDelay() ? -1 : days;
    } else {
        *pbDontRemindMe = expired ? dialog.DontRemindMe() : 0;
        *pnUpdatedExpirationDays = -1;
    }
    toasts.clear();
    vklogLog(kGuiTag, VKLOG_EXIT, L"DisplayCardExpiryNotificationEx (%d)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kGuiTag, L"DisplayCardExpiryNotificationEx", int{IDCANCEL});
}

extern "C" int DisplayCardExpiryNotification(HWND hParent, VKExpiryNotificationInfo* pInfo)
try {
    vklogLog(kGuiTag, VKLOG_ENTRY, L"DisplayCardExpiryNotification");
    int days = -1;
    if (!pInfo) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"DisplayCardExpiryNotification: Bad parameters");
    } else {
        int updated = 0;
        int dontRemind = 0;
        if (DisplayCardExpiryNotificationEx(hParent, *pInfo, &updated, &dontRemind) == IDOK)
            days = updated;
    }
    vklogLog(kGuiTag, VKLOG_EXIT, L"DisplayCardExpiryNotification (%d)", days);
    return days;
} catch (...) {
    return ExceptionFailure(kGuiTag, L"DisplayCardExpiryNotification", -1);
}
