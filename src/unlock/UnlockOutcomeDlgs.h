#pragma once
// The dialogs that report how an unlock or a PIN initialization ended.
#include "events/DetectCardRemovedDlg.h"
#include "events/VKDelegateSubscriberWorkstationLocked.h"

// The operation failed: a heading and a message. Mode 1 speaks of a
// connection or PIN-initialization failure, mode 0 of an unlock failure.
class VKGUI_CLASS CUnlockFailedDlg : public CSecureDialog {
public:
    CUnlockFailedDlg(CWnd* parent, const wchar_t* message, int mode);
    INT_PTR DoModal() override;
    virtual void OnContextualHelp();

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    VKDelegateSubscriberWorkstationLocked m_workstationLocked;
    CSecStr m_sMessage;
    CFont m_fontBold;
    int m_nMode;
    CIcon m_hIcon;
    CIcon m_hLargeIcon;
};

// The card is unlocked.
class VKGUI_CLASS CUnlockSuccessDlg : public CSecureDialog {
public:
    explicit CUnlockSuccessDlg(CWnd* parent = nullptr);
    INT_PTR DoModal() override;

protected:
    BOOL OnInitDialog() override;

private:
    CFont m_fontBold;
    CIcon m_hIcon;
};

// Unlocking is not possible here; where to turn instead. It ends when the
// card leaves its reader or the workstation locks.
class VKGUI_CLASS CUnlockInitToolDlg : public VKDetectCardRemovedDlg {
public:
    CUnlockInitToolDlg(CWnd* parent, const wchar_t* readerName, int flag);
    INT_PTR DoModal() override;
    void OnContextualHelp() override;

protected:
    BOOL OnInitDialog() override;

private:
    VKDelegateSubscriberWorkstationLocked m_workstationLocked;
    int m_nFlag;
};
