// The exported popup requests: a system toast where the desktop offers one,
// else the skinned popup, either the library-wide one or, for blocking
// requests, one of their own that lives for the call.
#include "base/ExceptionBarrier.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "base/VelkorExports.h"
#include "popup/PopupAlert.h"

#include "ToastManager.h"
#include "WipingAllocator.h"
#include "pinrc_ids.h"

#include <memory>
#include <new>
#include <string>

namespace {

using WideText = std::basic_string<wchar_t, std::char_traits<wchar_t>, WipingAllocator<wchar_t>>;

// What ShowOTPAlertPopup leaves for the popup it asks for. Like the rest of
// the library-wide state it belongs to the caller's user-interface thread.
struct OtpParameters {
    CSecStr message;
    CSecStr reader;
    LPTHREAD_START_ROUTINE worker = nullptr;
};
OtpParameters g_otp;

struct BlockingRequest {
    int code;
    const wchar_t* name;
    int type;
};

constexpr BlockingRequest kBlockingRequests[] = {
    {1000, L"DIALOG_POPUP_CARD_ALERT_FOR_LOGOFF", DIALOG_POPUP_CARD_ALERT},
    {1001, L"DIALOG_POPUP_CARD_ALERT_FOR_NO_READER", DIALOG_POPUP_NO_READER},
    {1002, L"DIALOG_POPUP_CARD_ALERT_FOR_OTP", DIALOG_POPUP_CARD_OTP},
    {1003, L"DIALOG_POPUP_CARD_ALERT_AUTOUPDATE_START", DIALOG_POPUP_AUTOUPDATE_START},
};

const BlockingRequest* FindBlockingRequest(int code)
{
    for (const BlockingRequest& request : kBlockingRequests)
        if (request.code == code)
            return &request;
    return nullptr;
}

constexpr UINT kNoMoveNoSize = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;

// The toast of a no-reader or auto-update request: -1 when it could not be
// shown (the skinned popup stands in then), 2 when no toast manager could be
// made, otherwise the toast's answer.
int ShowToast(int type)
{
    const bool noReader = type == DIALOG_POPUP_NO_READER;
    CSecStr title = LoadResourceString(noReader ? IDS_TOAST_NO_READER_TITLE : IDS_TOAST_AUTOUPDATE_TITLE);
    CSecStr text = LoadResourceString(noReader ? IDS_TOAST_NO_READER_TEXT : IDS_TOAST_AUTOUPDATE_TEXT);
    if (title.IsEmpty())
        title = noReader ? L"Card Reader Not Detected" : L"Smart Card Update";
    if (text.IsEmpty())
        text = noReader ? L"Please make sure that your smart card reader is properly connected."
                        : L"Card Update available. Please log on to the Orvane ID Card portal to update your card.";
    const WideText wideTitle(title.GetString());
    const WideText wideText(text.GetString());
    CToastManager* toast = qlCreateToastManager(wideTitle.c_str(), wideText.c_str(), true);
    if (!toast) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShowPopupWindow: the toast manager could not be created");
        return kPopupClosed;
    }
    const int answer = toast->Show();
    qlDeleteToastManager(toast);
    vklogLog(kGuiTag, VKLOG_INFO, L"ShowPopupWindow: the toast returned %d", answer);
    return answer;
}

// With toasts the one-time password needs no popup: its worker runs alone.
void StartWorkerAlone()
{
    if (!g_otp.worker) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShowPopupWindow: no one-time password worker to start");
        return;
    }
    HANDLE thread = ::CreateThread(nullptr, 0, g_otp.worker, nullptr, 0, nullptr);
    if (thread)
        ::CloseHandle(thread);
    else
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShowPopupWindow: CreateThread failed (0x%x)", ::GetLastError());
}

// Pumps this thread's messages until `popup` reports that it closed, and
// returns how. A closing message that the popup did not send (it has not
// closed since the loop began) ends nothing; one for the parent window is
// still handed to it.
UINT RunUntilClosed(CPopupAlert& popup)
{
    const UINT closesBefore = popup.GetCloseCount();
    UINT result = kPopupClosed;
    MSG msg;
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The queue ends: the caller's own loop must see the quit too.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1)
            break;
        if (msg.message == WM_POPUPALERT_CLOSED) {
            if (msg.hwnd)
                ::DispatchMessageW(&msg);
            if (popup.GetCloseCount() != closesBefore) {
                result = popup.GetLastResult();
                break;
            }
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    // The popup tells both the parent window and this thread; the thread's
    // copy must not end a later loop.
    while (::PeekMessageW(&msg, reinterpret_cast<HWND>(-1), WM_POPUPALERT_CLOSED, WM_POPUPALERT_CLOSED, PM_REMOVE)) {
    }
    return result;
}

void ShowOwner(HWND owner, bool show)
{
    if (owner)
        ::SetWindowPos(owner, nullptr, 0, 0, 0, 0,
                       kNoMoveNoSize | SWP_NOZORDER | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

// Prepares `popup` for a request of `type` and shows it above every window,
// its owner shown first in parent mode 1; false when it could not be
// prepared.
bool PresentPopup(CPopupAlert& popup, HWND hParent, int type, int nParentMode)
{
    if (nParentMode == 1)
        ShowOwner(hParent, true);
    vklogLog(kGuiTag, VKLOG_DETAIL, L"ShowPopupWindow: GetCurrentThreadId() = %d ", ::GetCurrentThreadId());
    if (!popup.InitWindow(hParent, type, ::GetCurrentThreadId()))
        return false;
    ::SetWindowPos(popup.m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, kNoMoveNoSize);
    popup.Show();
    return true;
}

int ShowLocalPopup(int type, HWND hParent, int nParentMode)
{
    std::unique_ptr<CPopupAlert> popup(new (std::nothrow) CPopupAlert());
    if (!popup) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShowPopupWindow: failed to create pLocalAlert object");
        return kPopupClosed;
    }
    if (!popup->Create(hParent)) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShowPopupWindow: failed to create pLocalAlert window");
        return kPopupClosed;
    }
    if (type == DIALOG_POPUP_CARD_OTP) {
        popup->SetMessage(g_otp.message);
        popup->SetReader(g_otp.reader);
        popup->SetThreadRoutine(g_otp.worker);
    }
    UINT result = kPopupClosed;
    if (PresentPopup(*popup, hParent, type, nParentMode)) {
        vklogLog(kGuiTag, VKLOG_INFO, L"ShowPopupWindow: Entering GetMessage Loop");
        result = RunUntilClosed(*popup);
        vklogLog(kGuiTag, VKLOG_INFO, L"ShowPopupWindow: Leaving GetMessage Loop");
    }
    vklogLog(kGuiTag, VKLOG_INFO, L"ShowPopupWindow: calling pLocalAlert->DestroyWindow()");
    popup->DestroyWindow();
    vklogLog(kGuiTag, VKLOG_INFO, L"ShowPopupWindow: delete pLocalAlert");
    return static_cast<int>(result);
}

int ShowLibraryPopup(int type, HWND hParent, bool bWait, int nParentMode)
{
    CPopupAlert* popup = g_pPopupAlert;
    if (!popup) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShowPopupWindow: the library has no popup");
        return kPopupClosed;
    }
    if (!popup->m_bHasBeenCreated)
        popup->Create(hParent);
    if (!popup->m_bHasBeenCreated) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShowPopupWindow: the library's popup window could not be created");
        return kPopupClosed;
    }
    UINT result = kPopupClosed;
    if (PresentPopup(*popup, hParent, type, nParentMode)) {
        if (bWait) {
            vklogLog(kGuiTag, VKLOG_INFO, L"ShowPopupWindow: Entering GetMessage Default Loop");
            result = RunUntilClosed(*popup);
            vklogLog(kGuiTag, VKLOG_INFO, L"ShowPopupWindow: Leaving GetMessage Default Loop");
        }
    }
    if (nParentMode == 1) {
        ShowOwner(hParent, false);
        popup->DestroyWindow();
    }
    return static_cast<int>(result);
}

// The toast decision shared by both kinds of request: -1 to go on with the
// skinned popup, else the request's result.
int TryToast(int type)
{
    switch (type) {
    case DIALOG_POPUP_NO_READER:
    case DIALOG_POPUP_AUTOUPDATE_START:
        return ShowToast(type);
    case DIALOG_POPUP_CARD_OTP:
        StartWorkerAlone();
        return kPopupClosed;
    default:
        return -1;
    }
}

} // namespace

int ShowPopupWindow(int iWndType, HWND hParent, BOOL bWait, int nParentMode)
try {
    ScopedFunctionLog log(L"ShowPopupWindow");
    vklogLog(kGuiTag, VKLOG_INFO, L"ShowPopupWindow: iWndType = %d  | bWait = %d", iWndType, bWait);
    int result = kPopupClosed;
    const bool toasts = qlIsWinRTSupported();
    if (nParentMode == 1)
        hParent = ::FindWindowW(nullptr, L"Program Manager");
    if (hParent && !::IsWindow(hParent)) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShowPopupWindow: 0x%x is not a window, the popup has no parent",
                 HandleBits(hParent));
        hParent = nullptr;
    }
    if (const BlockingRequest* request = FindBlockingRequest(iWndType)) {
        vklogLog(kGuiTag, VKLOG_INFO, L"ShowPopupWindow: case %s", request->name);
        vklogLog(kGuiTag, VKLOG_INFO, L"ShowPopupWindow: set bWait to TRUE");
        const int toast = toasts ? TryToast(request->type) : -1;
        result = toast != -1 ? toast : ShowLocalPopup(request->type, hParent, nParentMode);
    } else {
        const int toast = toasts ? TryToast(iWndType) : -1;
        result = toast != -1 ? toast : ShowLibraryPopup(iWndType, hParent, bWait != FALSE, nParentMode);
    }
    vklogLog(kGuiTag, result == static_cast<int>(kPopupProceed) ? VKLOG_INFO : VKLOG_ERROR, L"ShowPopupWindow: (%d)",
             result);
    return result;
} catch (...) {
    return ExceptionFailure(kGuiTag, L"ShowPopupWindow", static_cast<int>(kPopupClosed));
}

void ShowAlertPopup(HWND hParent)
try {
    ScopedFunctionLog log(L"ShowAlertPopup");
    ShowPopupWindow(DIALOG_POPUP_NO_READER, hParent, FALSE, 0);
} catch (...) {
    LogEscapingException(kGuiTag, L"ShowAlertPopup");
}

int ShowAutoUpdateStartPopup(HWND hParent)
try {
    ScopedFunctionLog log(L"ShowAutoUpdateStartPopup");
    const int result = ShowPopupWindow(DIALOG_POPUP_AUTOUPDATE_START, hParent, TRUE, 0);
    vklogLog(kGuiTag, VKLOG_INFO, L"ShowAutoUpdateStartPopup: (%d)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kGuiTag, L"ShowAutoUpdateStartPopup", static_cast<int>(kPopupClosed));
}

void ShowOTPAlertPopup(HWND hParent, const wchar_t* pszMessage, LPTHREAD_START_ROUTINE pfnWorker,
                       const wchar_t* pszReader)
try {
    ScopedFunctionLog log(L"ShowOTPAlertPopup");
    g_otp.message = pszMessage;
    g_otp.reader = pszReader;
    g_otp.worker = pfnWorker;
    ShowPopupWindow(1002, hParent, FALSE, 0);
} catch (...) {
    LogEscapingException(kGuiTag, L"ShowOTPAlertPopup");
}
