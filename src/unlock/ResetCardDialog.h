#pragma once
// The reset card dialogs, for host modules that ask the holder for the PIN
// or for an unlock code: CResetCardDialog is the page with the fields (a
// host may place it in a dialog of its own), CResetCardDialogMain a modal
// frame around one page that sizes itself to it, keeps a card transaction
// alive through the page's timer and ends when the card leaves its reader.
#include "dialogs/BaseDialog.h"
#include "dialogs/CapsLockSensitiveEdit.h"

#include <memory>

class VKDelegateSubscriberCardRemoved;

using ResetTimerCallback = void(CALLBACK*)(void* context);

class VKGUI_CLASS CResetCardDialog : public CBaseDialog {
public:
    CResetCardDialog(int backgroundFlag = 0, RECT* position = nullptr, CButton* okButton = nullptr,
                     CWnd* parent = nullptr, ResetTimerCallback timerCallback = nullptr, void* timerContext = nullptr,
                     int period = 0);
    ~CResetCardDialog() override;

    // Shows `challenge` (in four groups of four) to be answered, or, when it
    // is empty, asks for a static unlock code; the PIN option is selected.
    void SetChallenge(CSecStr challenge);
    // Leaves only the unlock code to be typed.
    void DisablePIN();
    void CheckWindow(bool clear);
    // The text of the active edit: the PIN, the response or the static code.
    CSecStr GetPin();
    void StartTimer();
    void StopTimer();
    void ResetToolTip();

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR id) override;
    void OnMove(int x, int y) override;

private:
    friend class CResetCardDialogMain;
    void OnRadioClicked();
    void OnCheckOkButton();
    int ActiveEdit() const;

    CCapsLockSensitiveEdit m_editResponse;
    CCapsLockSensitiveEdit m_editPin;
    CCapsLockSensitiveEdit m_editStaticCode;
    CButton* m_pOkButton;
    int m_bChallengeMode = 1;
    ResetTimerCallback m_pfnTimer;
    void* m_pTimerContext;
    int m_nPeriod;
    int m_bPinOption = 0;
};

class VKGUI_CLASS CResetCardDialogMain : public CSecureDialog {
public:
    CResetCardDialogMain(int backgroundFlag, CWnd* parent, int reserved1, int reserved2, int reserved3,
                         const wchar_t* readerName, ResetTimerCallback timerCallback, void* timerContext, int period);
    ~CResetCardDialogMain() override;
    INT_PTR DoModal() override;
    CSecStr GetPin();
    CResetCardDialog* Page() const { return m_pPage.get(); }
    void StopDetectingRemoveEvent();

protected:
    BOOL OnInitDialog() override;
    void OnDestroy() override;
    void OnMove(int x, int y) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    std::unique_ptr<CResetCardDialog> m_pPage;
    CButton m_okButton;
    int m_nReserved[3];
    int m_nBackgroundFlag;
    ResetTimerCallback m_pfnTimer;
    void* m_pTimerContext;
    int m_nPeriod;
    std::unique_ptr<VKDelegateSubscriberCardRemoved> m_pCardRemoved;
    CSecStr m_sReaderName;
    CIcon m_hIcon;
};
