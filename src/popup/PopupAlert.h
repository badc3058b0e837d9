#pragma once
// CPopupAlert: the skinned, always-on-top popup that slides in beside the
// taskbar, shows an icon, a message and up to three links, waits and leaves
// again. It owns its skin, region, fonts, child controls and card-removal
// subscribers. The library keeps one for the whole process, created at
// attach; blocking requests make short-lived ones of their own.
#include "SecStr.h"
#include "afxwin.h"
#include "base/VelkorExports.h"

#include <atomic>
#include <memory>

class CCardRemoved;
class CHtmlText;
class VKDelegateSubscriberCardRemoved;

// Messages of the popup, in the application range.
inline constexpr UINT WM_POPUPALERT_CLICKED = WM_USER + 200;         // close link (1224)
inline constexpr UINT WM_POPUPALERT_CLOSED = WM_USER + 201;          // result to parent and thread (1225)
inline constexpr UINT WM_POPUPALERT_HELPCLICKED = WM_USER + 202;     // help link (1226)
inline constexpr UINT WM_SHOWHELPTOPIC = WM_USER + 203;              // help topic to the agent (1227)
inline constexpr UINT WM_POPUPALERT_OTPOK = WM_USER + 204;           // one-time password text (1228)
inline constexpr UINT WM_POPUPALERT_PROCEEDCLICKED = WM_USER + 205;  // proceed link (1229)

// Popup types.
enum PopupType : int {
    DIALOG_POPUP_NO_READER = 0,
    DIALOG_POPUP_CARD_ALERT = 1,
    DIALOG_POPUP_CARD_OTP = 2,
    DIALOG_POPUP_AUTOUPDATE_START = 3,
};

// Animation states; each drives the timer of the same number.
enum PopupAnimStatus : int {
    IDT_HIDDEN = 0,
    IDT_APPEARING = 1,
    IDT_WAITING = 2,
    IDT_DISAPPEARING = 3,
};

// Results reported with WM_POPUPALERT_CLOSED.
inline constexpr UINT kPopupProceed = 1;
inline constexpr UINT kPopupClosed = 2;

class VKGUI_CLASS CPopupAlert : public CWnd {
public:
    CPopupAlert();
    ~CPopupAlert() override;
    CPopupAlert(const CPopupAlert&) = delete;
    CPopupAlert& operator=(const CPopupAlert&) = delete;

    int Create(HWND hParent);
    bool InitWindow(HWND hParent, int iWndType, DWORD dwParentThreadID);
    void Show();
    // Hides at once and reports `nResult`. From another thread (the event
    // service's) the request is carried over to the popup's own thread.
    void Hide(UINT nResult);
    int SetSkin(UINT nBitmapID, bool bCloseLink, bool bHelpLink, short red, short green, short blue);
    int SetSkin(const wchar_t* pszBitmapFile, short red, short green, short blue);
    void SetTextFont(const wchar_t* pszFace, int nPointSize, int nTextStyle, int nLinkStyle);
    void SetTextColor(COLORREF crText, COLORREF crLink);
    void SetTextRect(RECT rc);
    void SetReader(const wchar_t* reader);
    void SetMessage(const wchar_t* message);
    // Adds a progress bar and starts a worker thread running `pfn` with the
    // popup's window handle; the worker reports its text with PostOtpText.
    void SetThreadRoutine(DWORD(WINAPI* pfn)(void*));

    // How a worker hands the popup its one-time password text: a copy is
    // posted with WM_POPUPALERT_OTPOK. The popup takes only texts posted
    // this way; any other lParam of that message is neither read nor freed.
    // False when the popup is gone (nothing is left behind then).
    static bool PostOtpText(HWND popup, const wchar_t* text);

    int GetAnimStatus() const { return m_nAnimStatus; }
    // The result of the popup's last closing; 0 until it first closes.
    UINT GetLastResult() const { return m_nLastResult; }
    // How often the popup has closed (each closing reports a result).
    UINT GetCloseCount() const { return m_nCloseCount; }

    static CSecStr m_sWndClass;

    HWND m_hWndParent = nullptr;
    CFont m_fontText;
    CFont m_fontLink;
    COLORREF m_crText = 0xFFFFFF;
    COLORREF m_crLink = 0xB59285;
    CBitmap m_bmpBackground;
    HRGN m_hRegion = nullptr;
    CRect m_rcText;
    int m_nWidth = 0;
    int m_nHeight = 0;
    CRect m_rcProceedLink;
    CRect m_rcCloseLink;
    CRect m_rcBottom;
    CSecStr m_sText;
    int m_nAnimStatus = IDT_HIDDEN;
    UINT m_nAppearDuration = 0;
    UINT m_nWaitDuration = 0;
    UINT m_nDisappearDuration = 0;
    UINT m_nAppearPeriod = 0;
    UINT m_nDisappearPeriod = 0;
    DWORD m_dwParentThreadID = 0;
    CPoint m_ptStart;
    CPoint m_ptCurrent;
    int m_nDirection = 0;
    int m_nStep = 2;
    int m_nBottomMargin = 30;
    int m_nLinkAreaHeight = 48;
    int m_iWndType = 0;
    BYTE m_nAlphaPercent = 90;
    BYTE m_nCurrentAlpha = 90;
    bool m_bHasBeenCreated = false;
    CSecStr m_sMessage;
    CSecStr m_sReader;
    HWND m_hProgressBar = nullptr;
    wchar_t* m_pPendingOtpText = nullptr;
    VKDelegateSubscriberCardRemoved* m_pReaderSubscriber = nullptr;
    CCardRemoved* m_pCardRemovedSubscriber = nullptr;
    bool m_bAutoUpdate = false;
    std::unique_ptr<CHtmlText> m_pMessageCtrl;
    std::unique_ptr<CHtmlText> m_pProceedLinkCtrl;
    std::unique_ptr<CHtmlText> m_pCloseLinkCtrl;
    std::unique_ptr<CHtmlText> m_pHelpLinkCtrl;
    std::unique_ptr<CHtmlText> m_pCaptionCtrl;
    bool m_bDisplayHelp = true;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;
    void PostNcDestroy() override;
    int OnCreate();
    BOOL OnEraseBkgnd(HDC dc);
    LRESULT OnNcHitTest();
    LRESULT OnCardEvent(WPARAM wParam, LPARAM lParam);
    LRESULT OnPopupAlertClicked(WPARAM wParam, LPARAM lParam);
    LRESULT OnPopupAlertHelpClicked(WPARAM wParam, LPARAM lParam);
    LRESULT OnPopupAlertProceedClicked(WPARAM wParam, LPARAM lParam);
    LRESULT OnOtpOk(WPARAM wParam, LPARAM pszText);

private:
    int PrepareBackgroundBitmap(UINT nBitmapID, bool bCloseLink, bool bHelpLink, bool bAutoUpdate);
    HRGN GenerateRegion(HBITMAP hBitmap, BYTE red, BYTE green, BYTE blue);
    // Takes the popup's size and its text, link and bottom areas from
    // `skin`, and its shape from the skin's transparent colour.
    void FitToSkin(HBITMAP skin, int linkBottomInset, short red, short green, short blue);
    static BYTE* Get24BitPixels(HBITMAP hBitmap, WORD* pwWidth, WORD* pwHeight);
    void SetAnimStatusToWaiting();
    static bool IsPointOnArea(const POINT* point, const RECT* rect);
    bool GetRegistryParameters(CSecStr& csText, DWORD* pdwDuration, int iWndType);
    void HideOnOwnThread(UINT nResult);
    void PlaceWindow();
    void SetOpacity(BYTE percent);
    bool IsCursorOverWindow() const;
    void BeginPhase(UINT durationMs, int ticks);
    int TicksDue();
    void ApplyRegion(HRGN region);
    void DeleteChildren();
    void DeleteCardRemovedSubscriber();
    void DeleteReaderSubscriber();
    void DiscardPendingOtpText();
    bool IsLinkUsable(const std::unique_ptr<CHtmlText>& link, UINT msg, WPARAM wParam, LPARAM lParam) const;
    std::unique_ptr<CHtmlText> MakeLink(UINT linkMessage, const CRect& rect, const CSecStr& text, bool visible);
    std::unique_ptr<CHtmlText> MakeMessageControl(const CRect& rect, const wchar_t* text, COLORREF color);

    // `pixels` at 96 DPI, at the DPI of the popup's window.
    int Scaled(int pixels) const;
    // The skin as loaded, at the size it takes at the popup's DPI.
    HBITMAP ScaledSkin(HBITMAP loaded) const;

    DWORD m_dwWindowThread = 0;
    // The DPI the popup's window is drawn at, taken when it is created.
    UINT m_nDpi = USER_DEFAULT_SCREEN_DPI;
    CIcon m_hIcon;
    CFont m_fontControls;
    CFont m_fontCaption;
    // A hide asked for from another thread, carried over by kHideRequest;
    // 0 when none is pending.
    std::atomic<UINT> m_nPendingHide{0};
    UINT m_nLastResult = 0;
    UINT m_nCloseCount = 0;
    // When the current phase began, how long it lasts in how many ticks,
    // and how many have been taken: timers fire no faster than every 10 ms,
    // so a phase catches up on the steps it is owed instead of stretching.
    DWORD m_dwPhaseStart = 0;
    UINT m_nPhaseMs = 0;
    int m_nPhaseTicks = 0;
    int m_nTicksDone = 0;
    bool m_bWorkerAnswered = false;

    friend class CPopupAlertTestAccess;
};
