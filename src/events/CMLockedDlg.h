#pragma once
// CCMLockedDlg: tells the holder that the card's card manager is blocked,
// with the administrator's message when a policy sets one. It grows to fit
// the message and ends when the card leaves its reader.
#include "events/DetectCardRemovedDlg.h"

class VKGUI_CLASS CCMLockedDlg : public VKDetectCardRemovedDlg {
public:
    CCMLockedDlg(CWnd* parent, const wchar_t* readerName);

    INT_PTR DoModal() override;
    void OnContextualHelp() override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    // Gives the message the height it needs, OK right below it, and the
    // dialog the same margin below OK as above the message.
    void AdjustWindow();

private:
    CSecStr m_sMessage;
};
