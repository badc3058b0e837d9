#pragma once
// CCapsLockSensitiveEdit: the edit control of every PIN field. While it has
// the focus and Caps Lock is on, a warning balloon speaks of a PIN or of a
// password. On systems whose password edits show no caps-lock balloon of
// their own it shows its own balloon (which it owns); elsewhere it rewrites
// the text of the system's balloon.
#include "afxwin.h"
#include "base/VelkorExports.h"

class VKGUI_CLASS CCapsLockSensitiveEdit : public CEdit {
public:
    CCapsLockSensitiveEdit();
    ~CCapsLockSensitiveEdit() override;
    // The edit owns its balloon window: a copy would destroy it twice.
    CCapsLockSensitiveEdit(const CCapsLockSensitiveEdit&) = delete;
    CCapsLockSensitiveEdit& operator=(const CCapsLockSensitiveEdit&) = delete;

    // True speaks of a PIN (the default), false of a password.
    void SetMode(bool pin);
    // Hides the own balloon if there is one.
    void ResetToolTip();

    static constexpr int kTextChars = 260;

protected:
    void CheckCapsLockMessage();
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void OnSetFocus(HWND oldFocus) override;
    void OnKillFocus(HWND newFocus) override;
    void OnKeyUp(UINT key, UINT repeat, UINT flags) override;
    // Screen readers learn the field is protected and read its label, never its text.
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    bool m_bOwnBalloon = false;
    HWND m_hBalloon = nullptr;
    WNDPROC m_pfnBalloonPrevious = nullptr;
    bool m_bHasFocus = false;
    bool m_bSystemBalloonSeen = false;
    HWND m_hSystemBalloon = nullptr;
    wchar_t m_szTitle[kTextChars] = {};
    wchar_t m_szPinText[kTextChars] = {};
    wchar_t m_szPasswordText[kTextChars] = {};
    bool m_bPinMode = true;

private:
    bool IsOwnTooltip(HWND window) const;
    void CreateBalloon();
    void PlaceBalloon();
    void AdoptSystemBalloon(HWND tooltip, WPARAM toolId);
    static LRESULT CALLBACK BalloonProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
};
