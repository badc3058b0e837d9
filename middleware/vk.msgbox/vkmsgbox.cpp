#include "vkmsgbox.h"

#include "afxwin.h"

#include <commctrl.h>

#include <cwchar>
#include <string>

namespace {

constexpr UINT_PTR kGuardId = 0x564B4D42; // 'VKMB'
// The box being shown on this thread, and the hook that catches its creation.
thread_local HWND t_hBox = nullptr;
thread_local HHOOK t_hCreateHook = nullptr;

bool IsUsable(HWND button)
{
    return button && IsWindowEnabled(button) && IsWindowVisible(button);
}

// A command chooses only when it names one of the box's buttons that the
// holder can press, as the button itself or a key for it sends it.
bool IsHoldersChoice(HWND box, WPARAM wParam, LPARAM lParam)
{
    const int id = LOWORD(wParam);
    HWND button = GetDlgItem(box, id);
    const HWND sender = reinterpret_cast<HWND>(lParam);
    if (HIWORD(wParam) != BN_CLICKED || (sender && sender != button))
        return false;
    // Escape dismisses a box whose one button is OK, though it has no Cancel to press.
    const bool dismissed = id == IDCANCEL && !IsUsable(button) && IsUsable(GetDlgItem(box, IDOK));
    return IsUsable(button) || dismissed;
}

LRESULT CALLBACK BoxGuard(HWND box, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    // Posted ones were already turned into WM_NULL by the queue hook.
    if (CWnd::IsForged(msg, wParam, lParam) || (msg == WM_COMMAND && !IsHoldersChoice(box, wParam, lParam)))
        return 0;
    if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(box, BoxGuard, id);
    return DefSubclassProc(box, msg, wParam, lParam);
}

// The box is the first dialog window this thread creates during the call;
// its buttons and texts drop forged messages as the framework's controls do.
LRESULT CALLBACK CatchBox(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        HWND created = reinterpret_cast<HWND>(wParam);
        wchar_t className[8] = {};
        if (!t_hBox && GetClassNameW(created, className, 8) && wcscmp(className, L"#32770") == 0) {
            if (SetWindowSubclass(created, BoxGuard, kGuardId, 0))
                t_hBox = created;
        } else if (t_hBox) {
            CWnd::Guard(created);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// What reaches the box through the queue was posted by someone.
LRESULT CALLBACK DropForged(int code, WPARAM removal, LPARAM lParam)
{
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && msg && t_hBox && msg->hwnd && (msg->hwnd == t_hBox || IsChild(t_hBox, msg->hwnd)) &&
        CWnd::IsForgedInQueue(*msg)) {
        msg->message = WM_NULL;
        msg->wParam = 0;
        msg->lParam = 0;
    }
    return CallNextHookEx(nullptr, code, removal, lParam);
}

// Watches the box a call shows on this thread for as long as the call runs.
class BoxWatch {
public:
    BoxWatch()
    {
        if (t_hCreateHook)
            return; // a box inside a box: the outer watch goes on
        m_bOwner = true;
        t_hBox = nullptr;
        t_hCreateHook = SetWindowsHookExW(WH_CBT, CatchBox, nullptr, GetCurrentThreadId());
        m_hQueueHook = SetWindowsHookExW(WH_GETMESSAGE, DropForged, nullptr, GetCurrentThreadId());
    }
    ~BoxWatch()
    {
        if (!m_bOwner)
            return;
        if (m_hQueueHook)
            UnhookWindowsHookEx(m_hQueueHook);
        if (t_hCreateHook)
            UnhookWindowsHookEx(t_hCreateHook);
        t_hCreateHook = nullptr;
        t_hBox = nullptr;
    }
    BoxWatch(const BoxWatch&) = delete;
    BoxWatch& operator=(const BoxWatch&) = delete;

private:
    bool m_bOwner = false;
    HHOOK m_hQueueHook = nullptr;
    // Tells the guards which messages another thread sent.
    CWnd::WatchedThread m_senders;
};

constexpr DWORD kNoErrorNumber = 0xFFFFFFFF;
constexpr const wchar_t* kProduct = L"Velkor";

std::wstring Compose(DWORD code, const wchar_t* text)
{
    std::wstring message = text ? text : L"";
    if (code != kNoErrorNumber) {
        wchar_t number[32];
        _snwprintf(number, 31, L"\r\n\r\n(Error 0x%08X)", code);
        number[31] = L'\0';
        message += number;
    }
    return message;
}

int Show(HWND parent, DWORD code, const wchar_t* text, const wchar_t* reader, UINT style, DWORD helpTopic)
{
    std::wstring caption = kProduct;
    if (reader && *reader) {
        caption += L" - ";
        caption += reader;
    }
    std::wstring message = Compose(code, text);
    if ((style & MB_ICONMASK) == 0)
        style |= (style & MB_TYPEMASK) == MB_OK ? MB_ICONERROR : MB_ICONWARNING;
    MSGBOXPARAMSW params = {};
    params.cbSize = sizeof(params);
    params.hwndOwner = parent && IsWindow(parent) ? parent : nullptr;
    params.lpszText = message.c_str();
    params.lpszCaption = caption.c_str();
    params.dwStyle = style | MB_SETFOREGROUND | (params.hwndOwner ? 0 : MB_TOPMOST);
    params.dwContextHelpId = helpTopic;
    // Another program may post or send the box anything: only the holder chooses.
    BoxWatch watch;
    return MessageBoxIndirectW(&params);
}

} // namespace

int VKErrMesDisplayEx(DWORD code, const wchar_t* text, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    return Show(nullptr, code, text, nullptr, MB_OK, 0);
}

int VKErrMesDisplayExWithParentParamAndReaderAndHelp(HWND parent, DWORD code, const wchar_t* text,
                                                     DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR,
                                                     const wchar_t* reader, UINT style, DWORD helpTopic)
{
    return Show(parent, code, text, reader, style, helpTopic);
}
