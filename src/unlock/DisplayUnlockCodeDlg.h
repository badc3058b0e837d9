#pragma once
// The unlock code display: a dialog that shows the card's backup unlock
// code, grouped for reading, in a page with the box by which the holder asks
// never to see it again. The dialog owns the page; both wipe their copies
// of the code when they go.
#include "dialogs/BaseDialog.h"
#include "events/DetectCardRemovedDlg.h"

#include <memory>

class VKGUI_CLASS CDisplayUCChild : public CBaseDialog {
public:
    CDisplayUCChild(int backgroundFlag, RECT* position, CSecStr unlockCode, CWnd* parent);
    ~CDisplayUCChild() override;
    // TRUE when the "never show again" box is ticked.
    BOOL IsNeverDisplayChecked() const;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    void OnDestroy() override;

private:
    CSecStr m_sUnlockCode;
};

class VKGUI_CLASS CDisplayUnlockCodeDlg : public VKDetectCardRemovedDlg {
public:
    CDisplayUnlockCodeDlg(CWnd* parent, const wchar_t* unlockCode, const wchar_t* readerName, int backgroundFlag);
    ~CDisplayUnlockCodeDlg() override;
    INT_PTR DoModal() override;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnDestroy() override;

private:
    std::unique_ptr<CDisplayUCChild> m_pDisplayUCChild;
    int m_nBackgroundFlag;
    CSecStr m_sUnlockCode;
    CIcon m_hIcon;
    HWND m_hWndPropertyOwner = nullptr;
};

// The get and remove callbacks DisplayUnlockCode is given.
using GetUnlockCodeCallback = int (*)(void* context, CSecStr* code);
using RemoveUnlockCodeCallback = int (*)(void* context);
