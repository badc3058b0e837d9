#include "afxwin.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {
// One subclass id for every window the framework binds, one for the guard of
// windows it does not bind.
constexpr UINT_PTR kSubclassId = 0x56464B41; // 'AFKV'
constexpr UINT_PTR kGuardId = 0x56464B47;    // 'GKFV'
// A system timer message: it too may carry a procedure to call.
constexpr UINT kSystemTimer = 0x0118;
// Marks a window bound to a framework object (comctl32 offers no public way
// to ask for a subclass from outside it).
constexpr const wchar_t* kBoundProperty = L"VkAfxBound";

// Messages the system sends to a window from the window's own thread only.
// From another thread or through the queue they are forged, and several
// carry pointers the receiver would follow.
bool IsOwnThreadOnly(UINT msg)
{
    switch (msg) {
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_INITDIALOG:
    case WM_NOTIFY:
    // The library configures its edits itself; another program must not
    // unmask a PIN, make the field read-only or cut its length.
    case EM_SETPASSWORDCHAR:
    case EM_SETREADONLY:
    case EM_LIMITTEXT:
    // A margin past the edit's 16-bit positions sends Wine's edit round
    // its caret-scrolling loop for ever.
    case EM_SETMARGINS:
    // Turning drawing off clears the window's visible flag while it stays on
    // the screen: the dialog would stop painting what the holder types, and
    // its buttons would count as hidden, so that another program could click
    // them unseen.
    case WM_SETREDRAW:
    // The holder ticks boxes and picks options with a click; another
    // program checking one would show a choice the holder never made, and
    // the dialog reads it when it closes.
    case BM_SETCHECK:
        return true;
    default:
        return false;
    }
}

// Messages that hand the receiver a GDI object, a window, a DC to draw into, a
// structure or a procedure: the library's own code and the system send them
// on the window's thread. From elsewhere the value is nobody's, or, by
// chance, one of ours the window would draw into, select or keep (Wine
// takes a handle without its upper word as any object in that slot).
bool CarriesObjectOfThisThread(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    // With a nonzero lParam the dialog takes wParam as the window to give
    // the focus, and first asks it for its dialog code. A window of another
    // thread that does not answer hangs the dialog; -1 is a broadcast to
    // every window on the desktop. Without one it is a Tab, from anyone.
    case WM_NEXTDLGCTL:
        return LOWORD(lParam) != 0;
    case WM_SETFONT:
    case WM_SETICON:
    case WM_ERASEBKGND:
    case WM_ICONERASEBKGND:
    case WM_PRINT:
    case WM_PRINTCLIENT:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case BM_SETIMAGE:
    case BM_SETSTYLE:
    case STM_SETIMAGE:
    case STM_SETICON:
    case EM_SETHANDLE:
    case EM_SETWORDBREAKPROC:
    // The combo box fills the structure at lParam; the system neither
    // copies it across processes nor refuses it in the queue.
    case CB_GETCOMBOBOXINFO:
        return true;
    // The controls paint into a WM_PAINT's wParam when it has one, and take
    // a WM_NCPAINT's as the region to draw; the system's own carry none.
    case WM_PAINT:
        return wParam != 0;
    case WM_NCPAINT:
        return wParam > 1;
    default:
        return false;
    }
}

// The framework's windows are watched per thread: while a thread has bound
// windows, a message hook turns forged posted messages into WM_NULL before
// any message loop (ours or the host's) dispatches them.
thread_local HHOOK t_hGetMessageHook = nullptr;
thread_local HHOOK t_hSentMessageHook = nullptr;
thread_local int t_nBoundWindows = 0;

// The last message sent to a window of this thread, and whether another
// thread sent it. InSendMessage alone cannot tell: it stays true through
// everything the thread does while it handles a message from another
// thread, the messages it then sends its own windows included.
struct SentMessage {
    bool fromOtherThread;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
thread_local SentMessage t_lastSent = {};

// The timers of this thread's framework windows, with when each is due.
struct FrameworkTimer {
    HWND hWnd;
    UINT_PTR id;
    ULONGLONG elapse;
    ULONGLONG due;
};
thread_local std::vector<FrameworkTimer> t_timers;
thread_local bool t_bDeliveringTimers = false;

void ForgetTimer(HWND hWnd, UINT_PTR id)
{
    t_timers.erase(std::remove_if(t_timers.begin(), t_timers.end(),
                                  [&](const FrameworkTimer& t) { return t.hWnd == hWnd && t.id == id; }),
                   t_timers.end());
}

void ForgetTimers(HWND hWnd)
{
    t_timers.erase(std::remove_if(t_timers.begin(), t_timers.end(),
                                  [&](const FrameworkTimer& t) { return t.hWnd == hWnd; }),
                   t_timers.end());
}

// A timer message taken from the queue: the next is due a period from now.
void NoteTimerTaken(const MSG& msg)
{
    const ULONGLONG now = GetTickCount64();
    for (FrameworkTimer& t : t_timers)
        if (t.hWnd == msg.hwnd && t.id == msg.wParam)
            t.due = now + t.elapse;
}

// While the queue never empties, the system makes no timer message: a timer
// a quarter period late is sent to its window from here, between two queued
// messages. The window may set, kill or destroy anything in its answer, so
// the late ones are picked first and each is checked again before it goes.
void DeliverLateTimers()
{
    if (t_bDeliveringTimers || t_timers.empty())
        return;
    t_bDeliveringTimers = true;
    const ULONGLONG now = GetTickCount64();
    std::vector<FrameworkTimer> late;
    for (FrameworkTimer& t : t_timers) {
        if (now < t.due + t.elapse / 4)
            continue;
        t.due = now + t.elapse;
        late.push_back(t);
    }
    for (const FrameworkTimer& t : late) {
        const bool live = std::any_of(t_timers.begin(), t_timers.end(),
                                      [&](const FrameworkTimer& s) { return s.hWnd == t.hWnd && s.id == t.id; });
        if (live && ::IsWindow(t.hWnd))
            ::SendMessageW(t.hWnd, WM_TIMER, t.id, 0);
    }
    t_bDeliveringTimers = false;
}

// Runs just before the window procedure of each message sent to this
// thread's windows; `sameThread` is nonzero when this thread sent it.
LRESULT CALLBACK SentMessageHook(int code, WPARAM sameThread, LPARAM lParam)
{
    if (code == HC_ACTION && lParam) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        t_lastSent = {sameThread == 0, sent->message, sent->wParam, sent->lParam};
    }
    return CallNextHookEx(nullptr, code, sameThread, lParam);
}

std::mutex& HookLock()
{
    static std::mutex lock;
    return lock;
}
std::vector<HHOOK>& LiveHooks()
{
    static std::vector<HHOOK> hooks;
    return hooks;
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM removal, LPARAM lParam)
{
    if (code == HC_ACTION && lParam) {
        MSG* msg = reinterpret_cast<MSG*>(lParam);
        if (msg->hwnd && CWnd::IsForgedInQueue(*msg) && CWnd::IsInFrameworkWindow(msg->hwnd)) {
            msg->message = WM_NULL;
            msg->wParam = 0;
            msg->lParam = 0;
        }
        if (removal == PM_REMOVE) {
            if (msg->message == WM_TIMER)
                NoteTimerTaken(*msg);
            else
                DeliverLateTimers();
        }
    }
    return CallNextHookEx(nullptr, code, removal, lParam);
}

void CountBoundWindow()
{
    if (t_nBoundWindows++ > 0 || t_hGetMessageHook)
        return;
    t_hGetMessageHook = SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, GetCurrentThreadId());
    // What an earlier hook saw is not what this one will see.
    t_lastSent = {};
    t_hSentMessageHook = SetWindowsHookExW(WH_CALLWNDPROC, SentMessageHook, nullptr, GetCurrentThreadId());
    std::lock_guard<std::mutex> lock(HookLock());
    for (HHOOK hook : {t_hGetMessageHook, t_hSentMessageHook})
        if (hook)
            LiveHooks().push_back(hook);
}

void UncountBoundWindow()
{
    if (t_nBoundWindows <= 0 || --t_nBoundWindows > 0)
        return;
    for (HHOOK* hook : {&t_hGetMessageHook, &t_hSentMessageHook}) {
        if (!*hook)
            continue;
        UnhookWindowsHookEx(*hook);
        {
            std::lock_guard<std::mutex> lock(HookLock());
            auto& hooks = LiveHooks();
            hooks.erase(std::remove(hooks.begin(), hooks.end(), *hook), hooks.end());
        }
        *hook = nullptr;
    }
}

LRESULT CALLBACK GuardProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    if (CWnd::IsForged(msg, wParam, lParam))
        return 0;
    if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(hWnd, GuardProc, id);
    return DefSubclassProc(hWnd, msg, wParam, lParam);
}

} // namespace

// A hook left behind by a thread that still had windows must not outlive
// the code it calls.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_DETACH) {
        std::lock_guard<std::mutex> lock(HookLock());
        for (HHOOK hook : LiveHooks())
            UnhookWindowsHookEx(hook);
        LiveHooks().clear();
    }
    return TRUE;
}

bool CWnd::IsForged(UINT msg, WPARAM wParam, LPARAM lParam)
{
    // A message from another thread is being sent to us (the queued ones
    // were already turned into WM_NULL by the hook): it is this very one
    // when the sent-message hook saw it come from another thread.
    return (IsOwnThreadOnly(msg) || CarriesObjectOfThisThread(msg, wParam, lParam)) &&
           t_hSentMessageHook && IsFromAnotherThread(msg, wParam, lParam);
}

bool CWnd::IsFromAnotherThread(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!InSendMessage())
        return false;
    if (!t_hSentMessageHook)
        return true;
    const SentMessage& last = t_lastSent;
    return last.fromOtherThread && last.msg == msg && last.wParam == wParam && last.lParam == lParam;
}

CWnd::WatchedThread::WatchedThread()
{
    CountBoundWindow();
}

CWnd::WatchedThread::~WatchedThread()
{
    UncountBoundWindow();
}


bool CWnd::IsForgedInQueue(const MSG& msg)
{
    // DispatchMessage calls a timer message's lParam as a procedure: the
    // framework's timers have none, so one in the queue was forged.
    const bool timerProcedure = (msg.message == WM_TIMER || msg.message == kSystemTimer) && msg.lParam;
    // A click, Enter, Esc or an access key reaches a dialog as a command
    // sent while it happens; only a program posts one. A posted command
    // waits in the queue, and the button it names may be enabled by the
    // time it is taken, by text another message put in the fields: the
    // command would confirm what the button refused when it was posted.
    // Cancel stays: the system itself posts it when the window is closed.
    const bool postedCommand = (msg.message == WM_COMMAND && LOWORD(msg.wParam) != IDCANCEL) || msg.message == BM_CLICK;
    return IsOwnThreadOnly(msg.message) || CarriesObjectOfThisThread(msg.message, msg.wParam, msg.lParam) ||
           timerProcedure || postedCommand;
}

void CWnd::Guard(HWND hWnd)
{
    if (hWnd)
        SetWindowSubclass(hWnd, GuardProc, kGuardId, 0);
}

bool CWnd::IsInFrameworkWindow(HWND hWnd)
{
    for (HWND window = hWnd; window; window = ::GetAncestor(window, GA_PARENT)) {
        if (::GetPropW(window, kBoundProperty))
            return true;
        if (window == ::GetAncestor(window, GA_ROOT))
            break;
    }
    return false;
}

CWnd& CWnd::operator=(const CWnd& other)
{
    if (this != &other && !m_bBound)
        m_hWnd = other.m_hWnd;
    return *this;
}

CWnd::~CWnd()
{
    // An object that dies before its window must not be called again.
    if (m_bBound && m_hWnd) {
        RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
        ForgetTimers(m_hWnd);
    }
    Unbind();
}

BOOL CWnd::Bind(HWND hWnd)
{
    if (!hWnd || m_bBound)
        return FALSE;
    if (!SetWindowSubclass(hWnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return FALSE;
    m_hWnd = hWnd;
    m_bBound = true;
    m_bDestroying = false;
    m_dwBoundThread = GetCurrentThreadId();
    ::SetPropW(hWnd, kBoundProperty, reinterpret_cast<HANDLE>(this));
    CountBoundWindow();
    return TRUE;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse) const
{
    const UINT_PTR result = ::SetTimer(m_hWnd, id, elapse, nullptr);
    if (!result)
        return 0;
    ForgetTimer(m_hWnd, id);
    // The system takes any period under its minimum as the minimum.
    const ULONGLONG period = std::max<ULONGLONG>(elapse, USER_TIMER_MINIMUM);
    t_timers.push_back({m_hWnd, id, period, GetTickCount64() + period});
    return result;
}

BOOL CWnd::KillTimer(UINT_PTR id) const
{
    ForgetTimer(m_hWnd, id);
    return ::KillTimer(m_hWnd, id);
}

void CWnd::Unbind()
{
    if (m_bBound && m_hWnd)
        ::RemovePropW(m_hWnd, kBoundProperty);
    if (m_bBound && m_dwBoundThread == GetCurrentThreadId())
        UncountBoundWindow();
    m_bBound = false;
    m_dwBoundThread = 0;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    return Bind(hWnd);
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    if (!parent)
        return FALSE;
    return Bind(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow()
{
    HWND hWnd = m_hWnd;
    if (m_bBound && hWnd)
        RemoveWindowSubclass(hWnd, SubclassProc, kSubclassId);
    Unbind();
    m_hWnd = nullptr;
    return hWnd;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

LRESULT CWnd::Default()
{
    return DefSubclassProc(m_hWnd, m_current.msg, m_current.wParam, m_current.lParam);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR refData)
{
    CWnd* self = reinterpret_cast<CWnd*>(refData);
    if (IsForged(msg, wParam, lParam))
        return 0;
    if (msg == WM_DESTROY)
        self->m_bDestroying = true;
    if (msg == WM_NCDESTROY) {
        // Only the last message of the window's own destruction unbinds: any
        // other would leave a live window (holding what was typed) unwatched.
        if (!self->m_bDestroying)
            return 0;
        // The object may be deleted by PostNcDestroy: touch nothing after it.
        LRESULT result = DefSubclassProc(hWnd, msg, wParam, lParam);
        RemoveWindowSubclass(hWnd, SubclassProc, id);
        ForgetTimers(hWnd);
        self->Unbind();
        self->m_hWnd = nullptr;
        self->PostNcDestroy();
        return result;
    }

    CurrentMessage saved = self->m_current;
    self->m_current = {msg, wParam, lParam};
    LRESULT result = 0;
    try {
        result = self->WindowProc(msg, wParam, lParam);
    } catch (...) {
        // No exception may cross a window procedure into the system.
        OutputDebugStringW(L"afx: exception in a message handler\n");
        result = 0;
    }
    self->m_current = saved;
    return result;
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        if (OnCommand(wParam, lParam))
            return 0;
        break;
    case WM_NOTIFY: {
        // Only here from this thread (see IsForged); still, no header at all
        // is nobody's notification.
        LRESULT result = 0;
        if (lParam && OnNotify(wParam, lParam, &result))
            return result;
        break;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
        // The handlers paint with the DC for the control: both must be real,
        // and the control this window or one of its own.
        HDC hdc = reinterpret_cast<HDC>(wParam);
        HWND hControl = reinterpret_cast<HWND>(lParam);
        const DWORD dcType = GetObjectType(reinterpret_cast<HGDIOBJ>(hdc));
        const bool isDc = dcType == OBJ_DC || dcType == OBJ_MEMDC;
        if (!isDc || !hControl || (hControl != m_hWnd && !::IsChild(m_hWnd, hControl)))
            return Default();
        CDC dc(hdc);
        CWnd control(hControl);
        return reinterpret_cast<LRESULT>(OnCtlColor(&dc, &control, msg - WM_CTLCOLORMSGBOX));
    }
    case WM_SYSCOLORCHANGE:
        OnSysColorChange();
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_SETFOCUS:
        OnSetFocus(reinterpret_cast<HWND>(wParam));
        return 0;
    case WM_KILLFOCUS:
        OnKillFocus(reinterpret_cast<HWND>(wParam));
        return 0;
    case WM_KEYUP:
        OnKeyUp(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_MOVE:
        OnMove(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        break;
    }
    LRESULT result = 0;
    if (OnMessage(msg, wParam, lParam, result))
        return result;
    return Default();
}

BOOL CWnd::OnCommand(WPARAM, LPARAM)
{
    return FALSE;
}

BOOL CWnd::OnNotify(WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT)
{
    return reinterpret_cast<HBRUSH>(Default());
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    if (!dx || !dx->m_pDlgWnd || control.IsBound())
        return;
    control.SubclassDlgItem(static_cast<UINT>(id), dx->m_pDlgWnd);
}
