#include "events/CMLockedDlg.h"

#include "ScopedGdi.h"
#include "ToastManager.h"
#include "base/Dpi.h"
#include "base/ExceptionBarrier.h"
#include "base/Foreground.h"
#include "base/HelpTopic.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "dialogs/PinPromptSupport.h"
#include "qlreg.h"

#include "pinrc_ids.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr const wchar_t* kPolicyKey = L"Software\\Policies\\Quellon\\Velkor\\Notifications\\BlockedCardManager";
constexpr const wchar_t* kMessageValue = L"BlockedCardManagerMessage";
constexpr REGSAM kRegistry64 = 0x100;
constexpr int kDefaultTextHeight = 64;

CSecStr StringOr(UINT id, const wchar_t* fallback)
{
    CSecStr text = LoadResourceString(id);
    return text.IsEmpty() ? CSecStr(fallback) : text;
}

// The administrator's message, or empty when the policy sets none.
CSecStr PolicyMessage()
{
    CSecStr message;
    DWORD size = 0;
    LONG status = qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, kPolicyKey, kMessageValue, nullptr, &size, kRegistry64);
    if (status != ERROR_SUCCESS) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CCMLockedDlg::CCMLockedDlg: qlRegReadStringValueEx(%s, %s) failed with error code 0x%x",
                 kPolicyKey, kMessageValue, static_cast<unsigned>(status));
        return message;
    }
    if (size == 0)
        return message;
    // Room for the value as stored and a terminator it may lack, zeroed, and
    // zeroed again before it is freed.
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    status = qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, kPolicyKey, kMessageValue, buffer.data(), &bytes, kRegistry64);
    if (status == ERROR_SUCCESS) {
        message = buffer.data();
        vklogLog(kGuiTag, VKLOG_INFO, L"CCMLockedDlg::CCMLockedDlg: qlRegReadStringValueEx(%s, %s) succeeded",
                 kPolicyKey, kMessageValue);
    } else {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CCMLockedDlg::CCMLockedDlg: qlRegReadStringValueEx(%s, %s) failed with error code 0x%x",
                 kPolicyKey, kMessageValue, static_cast<unsigned>(status));
    }
    SecureZeroMemory(buffer.data(), buffer.size() * sizeof(wchar_t));
    return message;
}

RECT ChildRectOf(HWND dialog, int id)
{
    RECT r = {};
    HWND child = ::GetDlgItem(dialog, id);
    if (child) {
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    }
    return r;
}

} // namespace

CCMLockedDlg::CCMLockedDlg(CWnd* parent, const wchar_t* readerName)
    : VKDetectCardRemovedDlg(IDD_CM_LOCKED, parent, readerName)
{
    ScopedFunctionLog log(L"CCMLockedDlg::CCMLockedDlg");
    m_sMessage = PolicyMessage();
    if (m_sMessage.IsEmpty()) {
        vklogLog(kGuiTag, VKLOG_INFO, L"CCMLockedDlg::CCMLockedDlg: calling LoadString");
        if (!g_hResourceModule || !m_sMessage.LoadStringW(g_hResourceModule, IDS_CM_LOCKED_DEFAULT))
            vklogLog(kGuiTag, VKLOG_ERROR, L"CCMLockedDlg::CCMLockedDlg: LoadString failed with error code 0x%x",
                     static_cast<unsigned>(::GetLastError()));
        vklogLog(kGuiTag, VKLOG_INFO, L"CCMLockedDlg::CCMLockedDlg: LoadString called");
    }
}

INT_PTR CCMLockedDlg::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

void CCMLockedDlg::DoDataExchange(CDataExchange* dx)
{
    DDX_TextSecure(dx, IDC_CM_LOCKED_MESSAGE, m_sMessage);
}

BOOL CCMLockedDlg::OnInitDialog()
{
    ScopedFunctionLog log(L"CCMLockedDlg::OnInitDialog");
    VKDetectCardRemovedDlg::OnInitDialog();
    BringToFront(m_hWnd);
    AdjustWindow();
    return TRUE;
}

void CCMLockedDlg::AdjustWindow()
{
    RECT window = {};
    RECT client = {};
    ::GetWindowRect(m_hWnd, &window);
    ::GetClientRect(m_hWnd, &client);
    const int frame = (window.bottom - window.top) - (client.bottom - client.top);
    const RECT ok = ChildRectOf(m_hWnd, IDOK);
    const int okHeight = ok.bottom - ok.top;
    HWND text = GetDlgItemHwnd(IDC_CM_LOCKED_MESSAGE);
    const RECT message = ChildRectOf(m_hWnd, IDC_CM_LOCKED_MESSAGE);
    const int width = message.right - message.left;

    int height = kDefaultTextHeight;
    ScopedGetDC dc(text);
    if (text && dc.Get()) {
        ScopedSelectObject font(dc, reinterpret_cast<HFONT>(::SendMessageW(text, WM_GETFONT, 0, 0)));
        SIZE extent = {};
        if (width > 0 && ::GetTextExtentPoint32W(dc, m_sMessage, m_sMessage.GetLength() + 1, &extent)) {
            height = (extent.cx / width + 1) * extent.cy;
            // Words wrap whole and the message may break lines of its own:
            // the wrapped text can need more lines than its width suggests.
            RECT wrapped = {0, 0, width, 0};
            ::DrawTextW(dc, m_sMessage, m_sMessage.GetLength(), &wrapped,
                        DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
            height = std::max(height, static_cast<int>(wrapped.bottom));
        }
    }
    const int messageBottom = message.top + height;
    ::MoveWindow(text, message.left, message.top, width, height, TRUE);
    ::MoveWindow(GetDlgItemHwnd(IDOK), ok.left, messageBottom, ok.right - ok.left, okHeight, TRUE);
    int top = window.top;
    const int newHeight = frame + message.top + messageBottom + okHeight;
    // A long message must not push OK off the screen: the box moves up as far
    // as the work area allows.
    RECT work = {};
    if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) && top + newHeight > work.bottom)
        top = std::max(static_cast<int>(work.top), static_cast<int>(work.bottom) - newHeight);
    ::SetWindowPos(m_hWnd, nullptr, window.left, top, window.right - window.left, newHeight,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void CCMLockedDlg::OnContextualHelp()
{
    vklogLog(kGuiTag, VKLOG_DETAIL, L"CCMLockedDlg::OnContextualHelp");
    DoDisplayTopic(kHelpCardManagerLocked);
}

extern "C" void ShowCMLockedDlg(HWND parent, const wchar_t* readerName)
try {
    ScopedFunctionLog log(L"ShowCMLockedDlg");
    const CSecStr title = StringOr(IDS_CM_LOCKED_TOAST_TITLE, L"Card Manager Blocked");
    const CSecStr text = StringOr(IDS_CM_LOCKED_TOAST_TEXT,
                                  L"Your smart card\u2019s Card Manager is blocked. Please contact your administrator.");
    if (CToastManager* toast = qlCreateToastManager(title, text, true)) {
        toast->Show();
        qlDeleteToastManager(toast);
        return;
    }
    CWnd owner(parent);
    CCMLockedDlg dialog(parent ? &owner : nullptr, readerName ? readerName : L"");
    const INT_PTR result = dialog.DoModal();
    vklogLog(kGuiTag, result == -1 ? VKLOG_ERROR : VKLOG_INFO, L"ShowCMLockedDlg: dialog returned %d",
             static_cast<int>(result));
} catch (...) {
    ExceptionFailure(kGuiTag, L"ShowCMLockedDlg", 0);
}
