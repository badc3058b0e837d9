#pragma once
// CEnterPinDlg: asks the card holder for the PIN of the card in one reader.
// OK follows the length policy; timer 1 calls the caller's keep-alive
// callback; the dialog ends when the card leaves its reader or the
// workstation locks. It owns the PIN string (wiped when it goes), the
// branding bitmap and the workstation-locked subscriber.
#include "dialogs/CapsLockSensitiveEdit.h"
#include "dialogs/PinPromptSupport.h"
#include "events/DetectCardRemovedDlg.h"
#include "events/VKDelegateSubscriberWorkstationLocked.h"

using PinTimerCallback = void(CALLBACK*)(void*);

class CEnterPinDlg : public VKDetectCardRemovedDlg {
public:
    CEnterPinDlg(CWnd* parent, const wchar_t* reader, int minLength, int maxLength, PinTimerCallback timerCallback,
                 void* timerArgument, unsigned int timerPeriod);
    ~CEnterPinDlg() override;

    INT_PTR DoModal() override;
    CSecStr GetPinValue();

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnMove(int x, int y) override;
    void OnTimer(UINT_PTR id) override;
    void OnContextualHelp() override;
    void OnModalStep(ModalStep step, HINSTANCE instance, HWND owner) override;
    // Enables OK unless the PIN breaks a length policy that is switched on.
    void OnEnChangeEditPassword();

private:
    int m_nMinLength;
    int m_nMaxLength;
    CSecStr m_sPin;
    CCapsLockSensitiveEdit m_editPin;
    BannerBitmaps m_banners;
    VKDelegateSubscriberWorkstationLocked m_workstationLocked;
    PinTimerCallback m_pfnTimerCallback;
    void* m_pTimerArgument;
    unsigned int m_uTimerPeriod;
};
