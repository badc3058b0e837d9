#pragma once
// CCardExpiryNotifyDlg: tells the holder that the card or some of its
// certificates expire soon or have expired, and asks how many days before
// the expiry to be reminded again, or not to be reminded. Bound to the
// card's reader (it cancels when the card leaves), closed as cancelled when
// the workstation locks or the caller signals the record's cancel event,
// which a watch thread of its own waits for. It owns that thread, the stop
// event that ends it, the bold heading font and the list's image list.
#include "events/DetectCardRemovedDlg.h"
#include "events/VKDelegateSubscriberWorkstationLocked.h"
#include "validity/VKExpiryNotificationInfo.h"

#include <commctrl.h>

#include <memory>

// Waits for the record's cancel event or the dialog's stop event; posts
// Cancel to the dialog when the cancel event came first.
DWORD WINAPI DetectCancelThreadProc(LPVOID pDialog);

class VKGUI_CLASS CCardExpiryNotifyDlg : public VKDetectCardRemovedDlg {
public:
    CCardExpiryNotifyDlg(CWnd* parent, VKExpiryNotificationInfo& info);
    ~CCardExpiryNotifyDlg() override;
    INT_PTR DoModal() override;
    void OnContextualHelp() override;

    // The holder's choice once the dialog has ended.
    const CSecStr& Days() const { return m_sDays; }
    int DontRemindMe() const { return m_bDontRemindMe; }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;
    void OnDestroy() override;

private:
    struct HandleCloser {
        void operator()(HANDLE handle) const { ::CloseHandle(handle); }
    };
    using OwnedHandle = std::unique_ptr<void, HandleCloser>;
    struct ImageListDestroyer {
        void operator()(HIMAGELIST list) const { ImageList_Destroy(list); }
    };

    void StartCancelWatch();
    void StopCancelWatch();
    // Shows the card's line; false when the card has expired.
    bool ShowCardLine(__int64 now);
    // Fills the list; false when a listed certificate has expired.
    bool FillCertificateList(__int64 now, __int64& earliestValid, CSecStr& earliestText);
    void SetDaysRange(int days);
    void SetRemindDateLabel(const CSecStr& dateText);
    void EnterExpiredMode();
    void MoveControls(std::initializer_list<int> ids, int dy);
    void ResizeBy(int dy);
    int Scaled(int pixels) const;
    void OnRadioClicked();
    void OnDaysChanged();

    friend DWORD WINAPI DetectCancelThreadProc(LPVOID pDialog);

    VKExpiryNotificationInfo& m_info;
    OwnedHandle m_hCancelThread;
    OwnedHandle m_hStopEvent;
    CFont m_fontBold;
    int m_nCurrentDays = 0;
    int m_nMaxDays = 0;
    CWnd m_spin;
    CSecStr m_sDays;
    int m_bDontRemindMe = 0;
    CWnd m_list;
    std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, ImageListDestroyer> m_imageList;
    HWND m_hCardLine = nullptr;
    VKDelegateSubscriberWorkstationLocked m_workstationLocked;
};
