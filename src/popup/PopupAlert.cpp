// CPopupAlert: creation, the slide and fade animation, hiding, and the
// messages that reach the popup from its links, the event service and the
// one-time password worker.
#include "popup/PopupAlert.h"

#include "events/CardRemoved.h"
#include "events/EventMessages.h"
#include "events/VKDelegateSubscriberCardRemoved.h"
#include "base/Dpi.h"
#include "base/Foreground.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "popup/HtmlText.h"
#include "popup/ProgressBar.h"

#include "pinrc_ids.h"

#include <algorithm>
#include <cwchar>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

CSecStr CPopupAlert::m_sWndClass;

namespace {

// Carries a hide asked for on another thread over to the popup's thread.
// It carries nothing: the result waits in the popup, so a forged request
// finds none and does nothing.
constexpr UINT kHideRequest = WM_APP + 0x201;
// Ends the wait for a worker that never answers.
constexpr UINT_PTR IDT_WORKER_DEADLINE = 4;
constexpr UINT kWorkerDeadlineMs = 120000;
// While the cursor rests on the popup the wait is checked again this often.
constexpr UINT kHoverPollMs = 10;
constexpr DWORD kPopupExStyle = WS_EX_TOPMOST | WS_EX_WINDOWEDGE;
constexpr DWORD kPopupStyle = 0x9004000C;
constexpr UINT kPlaceFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;

// Texts handed to popups with WM_POPUPALERT_OTPOK. A popup reads and frees
// an lParam of that message only when it is listed here for its window, so a
// pointer another program made up is never followed. Whatever is still
// listed when the window goes is freed then.
class OtpTextRegistry {
public:
    bool Post(HWND window, wchar_t* text)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_texts.emplace_back(window, text);
        if (::PostMessageW(window, WM_POPUPALERT_OTPOK, 0, reinterpret_cast<LPARAM>(text)))
            return true;
        m_texts.pop_back();
        return false;
    }
    wchar_t* Take(HWND window, LPARAM lParam)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (auto it = m_texts.begin(); it != m_texts.end(); ++it) {
            if (it->first == window && reinterpret_cast<LPARAM>(it->second) == lParam) {
                wchar_t* text = it->second;
                m_texts.erase(it);
                return text;
            }
        }
        return nullptr;
    }
    void ReleaseAll(HWND window)
    {
        std::vector<wchar_t*> released;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            for (auto it = m_texts.begin(); it != m_texts.end();) {
                if (it->first == window) {
                    released.push_back(it->second);
                    it = m_texts.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (wchar_t* text : released)
            FreeText(text);
    }
    static void FreeText(wchar_t* text)
    {
        if (!text)
            return;
        SecureZeroMemory(text, wcslen(text) * sizeof(wchar_t));
        delete[] text;
    }

private:
    std::mutex m_lock;
    std::vector<std::pair<HWND, wchar_t*>> m_texts;
};

OtpTextRegistry& OtpTexts()
{
    static OtpTextRegistry registry;
    return registry;
}

// The window class is registered with the default procedure: the object
// binds itself right after creation, and a class left behind by an earlier
// load of the library points at no code of ours.
const wchar_t* RegisterPopupClass()
{
    HINSTANCE instance = g_extensionModule.hModule ? g_extensionModule.hModule : ::GetModuleHandleW(nullptr);
    HCURSOR cursor = ::LoadCursorW(nullptr, IDC_ARROW);
    HBRUSH brush = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wchar_t name[96];
    swprintf(name, 96, L"VkPopup:%p:0:%p:%p:0", static_cast<void*>(instance), static_cast<void*>(cursor),
             static_cast<void*>(brush));
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = cursor;
    wc.hbrBackground = brush;
    wc.lpszClassName = name;
    if (!::RegisterClassW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;
    CPopupAlert::m_sWndClass = name;
    return CPopupAlert::m_sWndClass;
}

} // namespace

CPopupAlert::CPopupAlert() = default;

CPopupAlert::~CPopupAlert()
{
    // The subscribers go first: once they are gone no event thread can
    // reach this object.
    DeleteCardRemovedSubscriber();
    DeleteReaderSubscriber();
    if (m_hWnd && ::IsWindow(m_hWnd) && GetCurrentThreadId() == m_dwWindowThread)
        ::DestroyWindow(m_hWnd);
    DeleteChildren();
    DiscardPendingOtpText();
    if (m_hRegion)
        ::DeleteObject(m_hRegion);
}

void CPopupAlert::DeleteCardRemovedSubscriber()
{
    if (!m_pCardRemovedSubscriber)
        return;
    vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::~CPopupAlert: deleting subscriber (card removal): 0x%x",
             HandleBits(m_pCardRemovedSubscriber));
    delete m_pCardRemovedSubscriber;
    m_pCardRemovedSubscriber = nullptr;
}

void CPopupAlert::DeleteReaderSubscriber()
{
    delete m_pReaderSubscriber;
    m_pReaderSubscriber = nullptr;
}

void CPopupAlert::DeleteChildren()
{
    for (auto* child : {&m_pMessageCtrl, &m_pProceedLinkCtrl, &m_pCloseLinkCtrl, &m_pHelpLinkCtrl, &m_pCaptionCtrl}) {
        if (*child && (*child)->m_hWnd && ::IsWindow((*child)->m_hWnd))
            (*child)->DestroyWindow();
        child->reset();
    }
}

void CPopupAlert::DiscardPendingOtpText()
{
    OtpTextRegistry::FreeText(m_pPendingOtpText);
    m_pPendingOtpText = nullptr;
}

int CPopupAlert::Create(HWND hParent)
{
    ScopedFunctionLog log(L"CPopupAlert::Create");
    if (m_bHasBeenCreated) {
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::Create: Calling OnDestroy()");
        if (m_hWnd && GetCurrentThreadId() == m_dwWindowThread)
            ::DestroyWindow(m_hWnd);
        m_bHasBeenCreated = false;
    }
    if (m_hWnd) {
        // A window of another thread cannot be destroyed from here.
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::Create: the popup's window belongs to another thread");
        return FALSE;
    }
    m_nCurrentAlpha = m_nAlphaPercent;
    m_hWndParent = hParent;
    const wchar_t* className = m_sWndClass.IsEmpty() ? RegisterPopupClass() : m_sWndClass.GetString();
    if (!className) {
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::Create: Couldn't register class!");
        className = L"";
    }
    vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::Create: Calling CreateEx()");
    ScopedPerMonitorDpiAwareness dpiAwareness;
    HWND window = ::CreateWindowExW(kPopupExStyle, className, L"", kPopupStyle, 0, 0, 0, 0,
                                    hParent && ::IsWindow(hParent) ? hParent : nullptr, nullptr,
                                    g_extensionModule.hModule, nullptr);
    m_bHasBeenCreated = window && SubclassWindow(window);
    if (window && !m_bHasBeenCreated)
        ::DestroyWindow(window);
    vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::Create: m_bHasBeenCreated = %d", m_bHasBeenCreated ? 1 : 0);
    if (!m_bHasBeenCreated)
        return FALSE;
    m_dwWindowThread = GetCurrentThreadId();
    m_nDpi = DpiOf(m_hWnd);
    m_nAnimStatus = IDT_HIDDEN;
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, ::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetOpacity(m_nCurrentAlpha);
    if (m_hRegion)
        ApplyRegion(m_hRegion);
    return TRUE;
}

int CPopupAlert::OnCreate()
{
    return Default() == -1 ? -1 : 0;
}

void CPopupAlert::OnDestroy()
{
    Default();
    for (UINT_PTR id : {UINT_PTR{IDT_APPEARING}, UINT_PTR{IDT_WAITING}, UINT_PTR{IDT_DISAPPEARING}, IDT_WORKER_DEADLINE})
        KillTimer(id);
    // The reader's subscriber posts to this window; it goes with it.
    DeleteReaderSubscriber();
    if (m_hProgressBar && ::IsWindow(m_hProgressBar))
        ::DestroyWindow(m_hProgressBar);
    m_hProgressBar = nullptr;
    OtpTexts().ReleaseAll(m_hWnd);
    DiscardPendingOtpText();
    m_nAnimStatus = IDT_HIDDEN;
    m_bHasBeenCreated = false;
}

void CPopupAlert::PostNcDestroy()
{
    // The children were destroyed with the window; their wrappers stay until
    // the next layout or the object's end.
    m_dwWindowThread = 0;
}

LRESULT CPopupAlert::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        return OnCreate();
    case WM_ERASEBKGND:
        return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    case WM_NCHITTEST:
        return OnNcHitTest();
    case WM_POPUPALERT_CLICKED:
        return OnPopupAlertClicked(wParam, lParam);
    case WM_POPUPALERT_HELPCLICKED:
        return OnPopupAlertHelpClicked(wParam, lParam);
    case WM_POPUPALERT_PROCEEDCLICKED:
        return OnPopupAlertProceedClicked(wParam, lParam);
    case WM_POPUPALERT_OTPOK:
        return OnOtpOk(wParam, lParam);
    case WM_KEYDOWN:
        // Where the popup took the focus, Esc closes it as its Close link
        // does. Only a key the holder pressed: one that another program
        // posts leaves the key's state up.
        if (wParam == VK_ESCAPE && (::GetKeyState(VK_ESCAPE) & 0x8000) && m_pCloseLinkCtrl &&
            ::IsWindowVisible(m_pCloseLinkCtrl->m_hWnd))
            HideOnOwnThread(kPopupClosed);
        return 0;
    case kHideRequest: {
        const UINT result = m_nPendingHide.exchange(0);
        if (result)
            HideOnOwnThread(result);
        return 0;
    }
    default:
        if (IsRegisteredMessage(msg, g_uCardRemovedEvent))
            return OnCardEvent(wParam, lParam);
        return CWnd::WindowProc(msg, wParam, lParam);
    }
}

BOOL CPopupAlert::OnEraseBkgnd(HDC dc)
{
    if (!dc)
        return TRUE;
    if (!m_bmpBackground.GetSafeHandle()) {
        // No skin: the skin's base colour, so that the texts stay readable.
        HBRUSH plain = ::CreateSolidBrush(RGB(0x22, 0x38, 0x5A));
        RECT all = {0, 0, m_nWidth, m_nHeight};
        ::FillRect(dc, &all, plain);
        ::DeleteObject(plain);
    } else {
        HDC memory = ::CreateCompatibleDC(dc);
        if (memory) {
            HGDIOBJ old = ::SelectObject(memory, m_bmpBackground.GetSafeHandle());
            ::BitBlt(dc, 0, 0, m_nWidth, m_nHeight, memory, 0, 0, SRCCOPY);
            ::SelectObject(memory, old);
            ::DeleteDC(memory);
        }
    }
    if (m_pCaptionCtrl && m_pCaptionCtrl->m_hWnd)
        ::ShowWindow(m_pCaptionCtrl->m_hWnd, m_hProgressBar ? SW_HIDE : SW_SHOWNA);
    if (m_hIcon)
        ::DrawIconEx(dc, Scaled(12), Scaled(15), m_hIcon, Scaled(24), Scaled(24), 0, nullptr, DI_NORMAL);
    return TRUE;
}

LRESULT CPopupAlert::OnNcHitTest()
{
    // Neither dragged nor resized: every part of the frame counts as client.
    const LRESULT hit = Default();
    if (hit == HTNOWHERE || hit == HTCLIENT || hit == HTTRANSPARENT)
        return hit;
    return HTCLIENT;
}

bool CPopupAlert::IsPointOnArea(const POINT* point, const RECT* rect)
{
    if (!point || !rect)
        return false;
    return rect->left < point->x && point->x < rect->right && rect->top < point->y && point->y < rect->bottom;
}

bool CPopupAlert::IsCursorOverWindow() const
{
    POINT cursor;
    RECT window;
    if (!::GetCursorPos(&cursor) || !::GetWindowRect(m_hWnd, &window))
        return false;
    return ::PtInRect(&window, cursor) != FALSE;
}

void CPopupAlert::SetOpacity(BYTE percent)
{
    ::SetLayeredWindowAttributes(m_hWnd, 0, static_cast<BYTE>(percent * 255 / 100), LWA_ALPHA);
}

void CPopupAlert::PlaceWindow()
{
    ::SetWindowPos(m_hWnd, nullptr, m_ptCurrent.x, m_ptCurrent.y,
                   m_nWidth + 2 * ::GetSystemMetrics(SM_CXDLGFRAME),
                   m_nHeight + 2 * ::GetSystemMetrics(SM_CYDLGFRAME), kPlaceFlags);
}

void CPopupAlert::BeginPhase(UINT durationMs, int ticks)
{
    m_dwPhaseStart = ::GetTickCount();
    m_nTicksDone = 0;
    m_nPhaseMs = durationMs;
    m_nPhaseTicks = ticks;
}

int CPopupAlert::TicksDue()
{
    // One step per tick, and more when the timer came late: a phase then
    // ends close to its configured length although timers fire no faster
    // than every 10 ms.
    const ULONGLONG elapsed = ::GetTickCount() - m_dwPhaseStart;
    const int byTime = m_nPhaseMs ? static_cast<int>(std::min<ULONGLONG>(elapsed * m_nPhaseTicks / m_nPhaseMs, 100000))
                                  : m_nTicksDone + 1;
    const int due = std::max(m_nTicksDone + 1, byTime) - m_nTicksDone;
    m_nTicksDone += due;
    return due;
}

void CPopupAlert::Show()
{
    ScopedFunctionLog log(L"CPopupAlert::Show");
    if (!m_hWnd || GetCurrentThreadId() != m_dwWindowThread) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::Show: the popup has no window on this thread");
        return;
    }
    RECT work = {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    enum class Side { Right, Left, Top, Bottom };
    Side side = Side::Bottom;
    if (work.right - work.left < screenWidth)
        side = work.left == 0 ? Side::Right : Side::Left;
    else if (work.bottom - work.top < screenHeight && work.top != 0)
        side = Side::Top;

    switch (m_nAnimStatus) {
    case IDT_HIDDEN: {
        ShowWindow(SW_SHOWNA);
        int slide = m_nHeight;
        switch (side) {
        case Side::Right:
            m_nDirection = 3;
            slide = m_nWidth;
            m_ptStart = CPoint(work.right, work.bottom - m_nHeight);
            break;
        case Side::Left:
            m_nDirection = 2;
            slide = m_nWidth;
            m_ptStart = CPoint(work.left - m_nWidth, work.bottom - m_nHeight);
            break;
        case Side::Top:
            m_nDirection = 1;
            m_ptStart = CPoint(work.right - m_nWidth, work.top - m_nHeight);
            break;
        case Side::Bottom:
            m_nDirection = 4;
            m_ptStart = CPoint(work.right - m_nWidth - 7, work.bottom - 6);
            break;
        }
        const int steps = m_nStep > 0 ? slide / m_nStep : 0;
        if (steps <= 0) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::Show: the skin is too small to slide (%d pixels)", slide);
            return;
        }
        m_nAppearPeriod = m_nAppearDuration / static_cast<UINT>(steps);
        m_nDisappearPeriod = m_nDisappearDuration / static_cast<UINT>(steps);
        m_ptCurrent = m_ptStart;
        PlaceWindow();
        // Appearing from now on, not from the first tick: a click or a card
        // removal that comes before it must still hide the popup.
        m_nAnimStatus = IDT_APPEARING;
        BeginPhase(m_nAppearDuration, steps);
        SetTimer(IDT_APPEARING, m_nAppearPeriod);
        break;
    }
    case IDT_APPEARING:
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        break;
    case IDT_WAITING:
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        if (!m_hProgressBar)
            SetTimer(IDT_WAITING, m_nWaitDuration);
        break;
    case IDT_DISAPPEARING:
        KillTimer(IDT_DISAPPEARING);
        SetTimer(IDT_WAITING, m_nWaitDuration);
        m_nAnimStatus = IDT_WAITING;
        switch (side) {
        case Side::Right:
            m_ptCurrent.x = work.right - m_nWidth;
            break;
        case Side::Left:
            m_ptCurrent.x = work.left;
            break;
        case Side::Top:
            m_ptCurrent.y = work.top;
            break;
        case Side::Bottom:
            m_ptCurrent.y = work.bottom - m_nHeight;
            break;
        }
        m_nCurrentAlpha = m_nAlphaPercent;
        SetOpacity(m_nCurrentAlpha);
        PlaceWindow();
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        break;
    default:
        break;
    }
}

void CPopupAlert::OnTimer(UINT_PTR id)
{
    switch (id) {
    case IDT_APPEARING: {
        if (m_nAnimStatus != IDT_HIDDEN && m_nAnimStatus != IDT_APPEARING)
            break;
        m_nCurrentAlpha = m_nAlphaPercent;
        m_nAnimStatus = IDT_APPEARING;
        SetOpacity(m_nCurrentAlpha);
        for (int due = TicksDue(); due > 0 && m_nAnimStatus == IDT_APPEARING; --due) {
            bool moved = true;
            switch (m_nDirection) {
            case 1:
                moved = m_ptCurrent.y - m_ptStart.y < m_nHeight;
                if (moved)
                    m_ptCurrent.y += m_nStep;
                break;
            case 2:
                moved = m_ptCurrent.x - m_ptStart.x < m_nWidth;
                if (moved)
                    m_ptCurrent.x += m_nStep;
                break;
            case 3:
                moved = m_ptCurrent.x > m_ptStart.x - m_nWidth;
                if (moved)
                    m_ptCurrent.x -= m_nStep;
                break;
            default:
                moved = m_ptCurrent.y > m_ptStart.y - m_nHeight;
                if (moved)
                    m_ptCurrent.y -= m_nStep;
                break;
            }
            if (!moved)
                SetAnimStatusToWaiting();
        }
        PlaceWindow();
        break;
    }
    case IDT_WAITING:
        KillTimer(IDT_WAITING);
        if (m_nAnimStatus != IDT_WAITING)
            break;
        if (IsCursorOverWindow()) {
            SetTimer(IDT_WAITING, kHoverPollMs);
        } else {
            // A fade takes one tick per percent point of opacity; a slide
            // as many as it took to come in.
            const int slide = m_nDirection == 2 || m_nDirection == 3 ? m_nWidth : m_nHeight;
            const int ticks = m_nDirection == 4 ? m_nCurrentAlpha : (m_nStep > 0 ? slide / m_nStep : 1);
            BeginPhase(m_nDirection == 4 ? ticks * m_nDisappearPeriod : m_nDisappearDuration, ticks);
            SetTimer(IDT_DISAPPEARING, m_nDisappearPeriod);
        }
        break;
    case IDT_DISAPPEARING: {
        if (m_nAnimStatus != IDT_WAITING && m_nAnimStatus != IDT_DISAPPEARING)
            break;
        m_nAnimStatus = IDT_DISAPPEARING;
        bool gone = false;
        for (int due = TicksDue(); due > 0 && !gone; --due) {
            switch (m_nDirection) {
            case 1:
                gone = !(m_ptCurrent.y > m_ptStart.y);
                if (!gone)
                    m_ptCurrent.y -= m_nStep;
                break;
            case 2:
                gone = !(m_ptCurrent.x > m_ptStart.x);
                if (!gone)
                    m_ptCurrent.x -= m_nStep;
                break;
            case 3:
                gone = !(m_ptCurrent.x < m_ptStart.x);
                if (!gone)
                    m_ptCurrent.x += m_nStep;
                break;
            default:
                gone = m_nCurrentAlpha == 0;
                if (gone)
                    break;
                if (IsCursorOverWindow()) {
                    // Held while the cursor rests on it: back to full
                    // opacity, and the wait is checked again.
                    m_nCurrentAlpha = m_nAlphaPercent;
                    SetOpacity(m_nCurrentAlpha);
                    KillTimer(IDT_DISAPPEARING);
                    m_nAnimStatus = IDT_WAITING;
                    SetTimer(IDT_WAITING, kHoverPollMs);
                    return;
                }
                --m_nCurrentAlpha;
                SetOpacity(m_nCurrentAlpha);
                break;
            }
        }
        if (gone) {
            KillTimer(IDT_DISAPPEARING);
            HideOnOwnThread(kPopupClosed);
            return;
        }
        PlaceWindow();
        break;
    }
    case IDT_WORKER_DEADLINE:
        KillTimer(IDT_WORKER_DEADLINE);
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::OnTimer: the worker did not answer in %u ms", kWorkerDeadlineMs);
        HideOnOwnThread(kPopupClosed);
        return;
    default:
        break;
    }
    Default();
}

void CPopupAlert::SetAnimStatusToWaiting()
{
    KillTimer(IDT_APPEARING);
    m_nAnimStatus = IDT_WAITING;
    if (m_pPendingOtpText) {
        wchar_t* text = std::exchange(m_pPendingOtpText, nullptr);
        if (!OtpTexts().Post(m_hWnd, text))
            OtpTextRegistry::FreeText(text);
    }
    if (m_hProgressBar) {
        // No waiting timer while the worker runs; only a deadline.
        SetTimer(IDT_WORKER_DEADLINE, kWorkerDeadlineMs);
        return;
    }
    SetTimer(IDT_WAITING, m_nWaitDuration);
}

void CPopupAlert::Hide(UINT nResult)
{
    HWND window = m_hWnd;
    if (window && GetCurrentThreadId() != m_dwWindowThread) {
        m_nPendingHide = nResult ? nResult : kPopupClosed;
        ::PostMessageW(window, kHideRequest, 0, 0);
        return;
    }
    HideOnOwnThread(nResult);
}

void CPopupAlert::HideOnOwnThread(UINT nResult)
{
    ScopedFunctionLog log(L"CPopupAlert::Hide");
    if (m_nAnimStatus == IDT_HIDDEN || !m_hWnd) {
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::Hide: Popup is already hidden, do nothing");
        return;
    }
    for (UINT_PTR id : {UINT_PTR{IDT_APPEARING}, UINT_PTR{IDT_WAITING}, UINT_PTR{IDT_DISAPPEARING}, IDT_WORKER_DEADLINE})
        KillTimer(id);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(SW_HIDE);
    m_nAnimStatus = IDT_HIDDEN;
    m_nLastResult = nResult;
    ++m_nCloseCount;
    if (m_hWndParent)
        ::PostMessageW(m_hWndParent, WM_POPUPALERT_CLOSED, nResult, 0);
    else
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::Hide: m_hWndParent = NULL");
    vklogLog(kGuiTag, VKLOG_DETAIL, L"CPopupAlert::Hide: m_dwParentThreadID = %d ", m_dwParentThreadID);
    const DWORD thread = m_dwParentThreadID ? m_dwParentThreadID : GetCurrentThreadId();
    if (!::PostThreadMessageW(thread, WM_POPUPALERT_CLOSED, nResult, 0))
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::Hide: PostThreadMessage failed");
}

bool CPopupAlert::IsLinkUsable(const std::unique_ptr<CHtmlText>& link, UINT msg, WPARAM wParam, LPARAM lParam) const
{
    // Our links send from this thread with nothing in wParam or lParam; a
    // link the holder cannot see was not clicked.
    const bool usable = wParam == 0 && lParam == 0 && !IsFromAnotherThread(msg, wParam, lParam) && link && link->m_hWnd &&
                        ::IsWindowVisible(link->m_hWnd) && ::IsWindowEnabled(link->m_hWnd);
    if (!usable)
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert: a link message that no shown link sent is ignored");
    return usable;
}

LRESULT CPopupAlert::OnCardEvent(WPARAM, LPARAM)
{
    ScopedFunctionLog log(L"CPopupAlert::OnCardEvent");
    HideOnOwnThread(kPopupClosed);
    return 0;
}

LRESULT CPopupAlert::OnPopupAlertClicked(WPARAM wParam, LPARAM lParam)
{
    ScopedFunctionLog log(L"CPopupAlert::OnPopupAlertClicked");
    if (IsLinkUsable(m_pCloseLinkCtrl, WM_POPUPALERT_CLICKED, wParam, lParam))
        HideOnOwnThread(kPopupClosed);
    return 0;
}

LRESULT CPopupAlert::OnPopupAlertProceedClicked(WPARAM wParam, LPARAM lParam)
{
    ScopedFunctionLog log(L"CPopupAlert::OnPopupAlertProceedClicked");
    if (IsLinkUsable(m_pProceedLinkCtrl, WM_POPUPALERT_PROCEEDCLICKED, wParam, lParam))
        HideOnOwnThread(kPopupProceed);
    return 0;
}

LRESULT CPopupAlert::OnPopupAlertHelpClicked(WPARAM wParam, LPARAM lParam)
{
    ScopedFunctionLog log(L"CPopupAlert::OnPopupAlertHelpClicked");
    if (!IsLinkUsable(m_pHelpLinkCtrl, WM_POPUPALERT_HELPCLICKED, wParam, lParam))
        return 0;
    WPARAM topic = 0;
    switch (m_iWndType) {
    case DIALOG_POPUP_NO_READER:
        topic = 1017;
        break;
    case DIALOG_POPUP_CARD_ALERT:
        topic = 1016;
        break;
    case DIALOG_POPUP_CARD_OTP:
        topic = 1025;
        break;
    default:
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::OnPopupAlertHelpClicked: m_iWndType = %d", m_iWndType);
        return 0;
    }
    HWND agent = ::FindWindowW(nullptr, L"vkcrdsub");
    if (agent)
        ::PostMessageW(agent, WM_SHOWHELPTOPIC, topic, 0);
    else
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::OnPopupAlertHelpClicked: no agent window, help topic %d dropped",
                 static_cast<int>(topic));
    return 0;
}

bool CPopupAlert::PostOtpText(HWND popup, const wchar_t* text)
{
    if (!popup || !text || !::IsWindow(popup)) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::PostOtpText: no popup or no text");
        return false;
    }
    const size_t length = wcslen(text);
    wchar_t* copy = new (std::nothrow) wchar_t[length + 1];
    if (!copy) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::PostOtpText: out of memory");
        return false;
    }
    wmemcpy(copy, text, length + 1);
    if (OtpTexts().Post(popup, copy))
        return true;
    vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::PostOtpText: the popup is gone");
    OtpTextRegistry::FreeText(copy);
    return false;
}

LRESULT CPopupAlert::OnOtpOk(WPARAM, LPARAM pszText)
{
    ScopedFunctionLog log(L"CPopupAlert::OnOtpOk");
    wchar_t* text = OtpTexts().Take(m_hWnd, pszText);
    if (!text) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::OnOtpOk: not a text posted to this popup, ignored");
        return 0;
    }
    if (m_bWorkerAnswered || !m_hProgressBar) {
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::OnOtpOk: no worker is waiting for an answer, ignored");
        OtpTextRegistry::FreeText(text);
        return 0;
    }
    if (m_nAnimStatus != IDT_WAITING) {
        vklogLog(kGuiTag, VKLOG_INFO, L"m_nAnimStatus != IDT_WAITING => Treat this event later");
        if (m_pPendingOtpText) {
            // The worker's first answer is the one shown.
            OtpTextRegistry::FreeText(text);
            return 0;
        }
        m_pPendingOtpText = text;
        return 0;
    }
    m_bWorkerAnswered = true;
    KillTimer(IDT_WORKER_DEADLINE);
    if (::IsWindow(m_hProgressBar))
        ::DestroyWindow(m_hProgressBar);
    m_hProgressBar = nullptr;
    PrepareBackgroundBitmap(IDB_POPUP_SKIN, true, true, false);
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);

    if (m_pMessageCtrl && m_pMessageCtrl->m_hWnd)
        m_pMessageCtrl->DestroyWindow();
    m_pMessageCtrl.reset();
    m_rcText.bottom -= 15;
    CRect messageRect = m_rcText;
    messageRect.bottom -= 5;
    m_pMessageCtrl = MakeMessageControl(messageRect, text, 0xFFFFFF);

    CSecStr title(text);
    const bool helpShown = m_pHelpLinkCtrl && m_bDisplayHelp;
    if (m_pCloseLinkCtrl || helpShown)
        title += LoadResourceString(IDS_POPUP_CAPTION);
    if (m_pCloseLinkCtrl) {
        ::ShowWindow(m_pCloseLinkCtrl->m_hWnd, SW_SHOWNA);
        title += LoadResourceString(IDS_POPUP_CLOSE_LINK);
    }
    if (helpShown) {
        ::ShowWindow(m_pHelpLinkCtrl->m_hWnd, SW_SHOWNA);
        title += LoadResourceString(IDS_POPUP_HELP_LINK);
    }
    OtpTextRegistry::FreeText(text);
    SetWindowText(title);
    TakeForeground(m_hWnd);
    if (m_nAnimStatus == IDT_WAITING)
        SetTimer(IDT_WAITING, m_nWaitDuration);
    return 0;
}
