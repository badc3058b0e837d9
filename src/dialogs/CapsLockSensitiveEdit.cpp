#include "dialogs/CapsLockSensitiveEdit.h"

#include "base/AccessibleOverlay.h"
#include "base/LibraryState.h"
#include "base/Log.h"

#include "pinrc_ids.h"

#include <cwchar>

namespace {

constexpr DWORD kBalloonStyle = WS_POPUP | TTS_BALLOON | TTS_NOPREFIX;
// The balloon points at this spot of the edit, as if the mouse were there.
constexpr int kPointerOffset = 5;
// Above this distance from the top of the screen a balloon would hide the
// caption, so it goes below the edit instead.
constexpr int kMinimumTop = 55;
constexpr int kMaxTipWidth = 300;
constexpr int kSystemTextChars = 1040;

// Only Windows 2000 (NT 5.0) has password edits without a caps-lock balloon.
bool SystemLacksCapsLockBalloon()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(&version))
        return false;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 5 &&
           version.dwMinorVersion == 0;
}

void InitCommonControlClasses(DWORD classes)
{
    INITCOMMONCONTROLSEX init = {sizeof(init), classes};
    InitCommonControlsEx(&init);
}

void LoadText(UINT id, wchar_t* out, const wchar_t* fallback)
{
    CSecStr text = LoadResourceString(id);
    wcsncpy(out, text.IsEmpty() ? fallback : text.GetString(), CCapsLockSensitiveEdit::kTextChars - 1);
    out[CCapsLockSensitiveEdit::kTextChars - 1] = L'\0';
}

extern "C" IMAGE_DOS_HEADER __ImageBase;

} // namespace

CCapsLockSensitiveEdit::CCapsLockSensitiveEdit()
{
    m_bOwnBalloon = SystemLacksCapsLockBalloon();
    InitCommonControlClasses(ICC_BAR_CLASSES);
    LoadText(IDS_CAPSLOCK_TITLE, m_szTitle, L"Caps Lock is On");
    LoadText(IDS_CAPSLOCK_PIN_TEXT, m_szPinText,
             L"Having Caps Lock on may cause you to enter your PIN incorrectly.\r\n\r\n"
             L"You should press Caps Lock to turn it off before entering your PIN.");
    LoadText(IDS_CAPSLOCK_PASSWORD_TEXT, m_szPasswordText,
             L"Having Caps Lock on may cause you to enter your password incorrectly.\r\n\r\n"
             L"You should press Caps Lock to turn it off before entering your password.");
}

CCapsLockSensitiveEdit::~CCapsLockSensitiveEdit()
{
    if (m_hBalloon && ::IsWindow(m_hBalloon)) {
        // The balloon must not call back into a dead object.
        SetWindowLongPtrW(m_hBalloon, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hBalloon);
    }
}

void CCapsLockSensitiveEdit::SetMode(bool pin)
{
    m_bPinMode = pin;
}

void CCapsLockSensitiveEdit::ResetToolTip()
{
    if (m_hBalloon)
        ::SendMessageW(m_hBalloon, TTM_ACTIVATE, FALSE, 0);
}

void CCapsLockSensitiveEdit::CheckCapsLockMessage()
{
    if (!m_bOwnBalloon)
        return;
    // Positive means toggled on and not held down at this moment.
    if (m_bHasFocus && GetKeyState(VK_CAPITAL) > 0) {
        if (!m_hBalloon)
            CreateBalloon();
        if (!m_hBalloon)
            return;
        ::SendMessageW(m_hBalloon, TTM_ACTIVATE, TRUE, 0);
        MSG relay = {};
        relay.hwnd = m_hWnd;
        relay.message = WM_MOUSEMOVE;
        relay.lParam = MAKELPARAM(kPointerOffset, kPointerOffset);
        ::SendMessageW(m_hBalloon, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relay));
    } else if (m_hBalloon) {
        ::SendMessageW(m_hBalloon, TTM_ACTIVATE, FALSE, 0);
    }
}

void CCapsLockSensitiveEdit::CreateBalloon()
{
    InitCommonControlClasses(0xFF);
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(&__ImageBase);
    m_hBalloon = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, kBalloonStyle, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr, instance, nullptr);
    if (!m_hBalloon) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CCapsLockSensitiveEdit::CheckCapsLockMessage: no balloon (%lu)",
                 GetLastError());
        return;
    }
    SetWindowLongPtrW(m_hBalloon, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_pfnBalloonPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(m_hBalloon, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BalloonProc)));
    ::SetWindowPos(m_hBalloon, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    RECT client;
    ::GetClientRect(m_hWnd, &client);
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = m_hWnd;
    tool.uId = 0;
    tool.rect = {0, 0, client.right, client.bottom};
    tool.hinst = instance;
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    ::SendMessageW(m_hBalloon, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(m_hBalloon, TTM_SETDELAYTIME, TTDT_INITIAL, 0);
    ::SendMessageW(m_hBalloon, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
    ::SendMessageW(m_hBalloon, TTM_SETTITLEW, TTI_WARNING, reinterpret_cast<LPARAM>(m_szTitle));
}

LRESULT CALLBACK CCapsLockSensitiveEdit::BalloonProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* edit = reinterpret_cast<CCapsLockSensitiveEdit*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!edit || !edit->m_pfnBalloonPrevious)
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    switch (msg) {
    case WM_MOUSEMOVE:
        // The real mouse must not make the balloon hide or move.
        return 0;
    case TTM_WINDOWFROMPOINT:
        // The control looks up the window under the mouse before it shows;
        // pretend the mouse is on the edit, wherever it really is.
        if (auto* point = reinterpret_cast<POINT*>(lParam); point && edit->m_hWnd) {
            RECT r;
            ::GetWindowRect(edit->m_hWnd, &r);
            point->x = r.left + kPointerOffset;
            point->y = r.top + kPointerOffset;
        }
        break;
    default:
        break;
    }
    return CallWindowProcW(edit->m_pfnBalloonPrevious, hWnd, msg, wParam, lParam);
}

void CCapsLockSensitiveEdit::PlaceBalloon()
{
    RECT balloon;
    RECT edit;
    ::GetWindowRect(m_hBalloon, &balloon);
    ::GetWindowRect(m_hWnd, &edit);
    int w = balloon.right - balloon.left;
    int h = balloon.bottom - balloon.top;
    // The balloon sits above the edit unless that would take it too close to
    // the top of the screen; then it hangs from the edit's lower part.
    int y = edit.top - h + 4;
    if (y < kMinimumTop)
        y = edit.bottom - 8;
    int x = edit.left;
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    if (x < 0)
        x = 0;
    else if (x + w > screenWidth)
        x = screenWidth - w;
    ::SetWindowPos(m_hBalloon, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CCapsLockSensitiveEdit::AdoptSystemBalloon(HWND tooltip, WPARAM toolId)
{
    if (!tooltip || tooltip == m_hSystemBalloon)
        return;
    m_hSystemBalloon = tooltip;
    m_bSystemBalloonSeen = true;
    wchar_t text[kSystemTextChars] = {};
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = m_hWnd;
    tool.uId = toolId;
    tool.lpszText = text;
    ::SendMessageW(tooltip, TTM_GETTEXTW, kSystemTextChars, reinterpret_cast<LPARAM>(&tool));
    // Only the system's caps-lock balloon is taken over; its text is then
    // asked of this edit each time it shows.
    CSecStr systemStart = LoadResourceString(IDS_CAPSLOCK_SYSTEM_TEXT_START);
    if (systemStart.IsEmpty() ||
        wcsncmp(text, systemStart, static_cast<size_t>(systemStart.GetLength())) != 0)
        return;
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    ::SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool CCapsLockSensitiveEdit::IsOwnTooltip(HWND window) const
{
    if (!window)
        return false;
    if (window == m_hBalloon)
        return true;
    // The system's balloon is a tooltip the edit made on this thread.
    if (!::IsWindow(window) || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId())
        return false;
    wchar_t className[32] = {};
    return GetClassNameW(window, className, 32) > 0 && _wcsicmp(className, TOOLTIPS_CLASSW) == 0;
}

BOOL CCapsLockSensitiveEdit::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    // The framework passes only notifications sent on this thread; of those,
    // only the balloons' concern the edit.
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header || !result || !IsOwnTooltip(header->hwndFrom))
        return CEdit::OnNotify(wParam, lParam, result);
    if (header->code == TTN_SHOW) {
        if (m_bOwnBalloon && m_hBalloon) {
            PlaceBalloon();
            *result = 1;
            return TRUE;
        }
        AdoptSystemBalloon(header->hwndFrom, wParam);
    } else if (header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        info->lpszText = m_bPinMode ? m_szPinText : m_szPasswordText;
        info->hinst = nullptr;
        info->uFlags = TTF_DI_SETITEM;
        info->lParam = 0;
        if (m_hSystemBalloon)
            ::RedrawWindow(m_hSystemBalloon, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    return CEdit::OnNotify(wParam, lParam, result);
}

void CCapsLockSensitiveEdit::OnSetFocus(HWND oldFocus)
{
    CEdit::OnSetFocus(oldFocus);
    m_bHasFocus = true;
    CheckCapsLockMessage();
}

void CCapsLockSensitiveEdit::OnKillFocus(HWND newFocus)
{
    CEdit::OnKillFocus(newFocus);
    m_bHasFocus = false;
    CheckCapsLockMessage();
}

bool CCapsLockSensitiveEdit::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg != WM_GETOBJECT)
        return false;
    AccessibleFacts facts;
    facts.m_bProtected = true;
    // The field's label is the static just before it; the standard object
    // is not asked, so that nothing of the typed text is ever read out.
    HWND label = ::GetWindow(m_hWnd, GW_HWNDPREV);
    wchar_t className[16] = {};
    if (label && ::GetClassNameW(label, className, ARRAYSIZE(className)) && _wcsicmp(className, L"Static") == 0) {
        wchar_t text[kTextChars] = {};
        ::GetWindowTextW(label, text, ARRAYSIZE(text));
        for (const wchar_t* c = text; *c; ++c)
            if (*c != L'&' || c[1] == L'&')
                facts.m_sName += *c;
    }
    result = AnswerGetObject(m_hWnd, wParam, lParam, facts);
    return result != 0;
}

void CCapsLockSensitiveEdit::OnKeyUp(UINT key, UINT repeat, UINT flags)
{
    if (key == VK_CAPITAL)
        CheckCapsLockMessage();
    else if (key != VK_BACK && key != VK_TAB && key != VK_SHIFT && m_hBalloon)
        ::SendMessageW(m_hBalloon, TTM_ACTIVATE, FALSE, 0);
    CEdit::OnKeyUp(key, repeat, flags);
}
