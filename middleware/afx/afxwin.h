#pragma once
// The windowing framework the library is written against: thin wrappers over
// window, dialog and GDI handles, one window procedure per window with typed
// virtual handlers, modal and child dialogs from templates of the current
// resource module, and the extension-module record of a DLL.
//
// A CWnd is a view over an HWND unless it has been bound to its window (a
// dialog at the first message of the window it is creating, a control by
// SubclassWindow); a bound object receives the window's messages until the
// window's own destruction unbinds it.
//
// Any program on the desktop can post or send any message to our windows.
// The framework drops what only the system or our own thread can mean: the
// creation and destruction messages and notifications that come from another
// thread or through a message queue, timer procedures in posted timer
// messages, the configuration of edits from elsewhere, and commands of
// controls that are disabled or hidden or not ours.

#include <windows.h>
#include <commctrl.h>

// The framework is one shared module: the library and a host built on the
// framework see the same resource chain, hooks and bindings.
#ifdef AFX_BUILD
#define AFX_API __declspec(dllexport)
#else
#define AFX_API __declspec(dllimport)
#endif

class CWnd;
class CDataExchange;

class CPoint : public POINT {
public:
    CPoint() : POINT{0, 0} {}
    CPoint(int x0, int y0) : POINT{x0, y0} {}
};

class CRect : public RECT {
public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& r) : RECT(r) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CPoint TopLeft() const { return CPoint(left, top); }
    void OffsetRect(int dx, int dy) { ::OffsetRect(this, dx, dy); }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
};

// Device context view; it neither creates nor releases the DC.
class CDC {
public:
    HDC m_hDC = nullptr;
    explicit CDC(HDC dc = nullptr) : m_hDC(dc) {}
    HDC GetSafeHdc() const { return m_hDC; }
    COLORREF SetBkColor(COLORREF c) { return ::SetBkColor(m_hDC, c); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    COLORREF SetTextColor(COLORREF c) { return ::SetTextColor(m_hDC, c); }
    HGDIOBJ SelectObject(HGDIOBJ obj) { return ::SelectObject(m_hDC, obj); }
};

// Owner of one GDI object; deleted with the holder.
template <class Handle>
class CGdiObjectT {
public:
    CGdiObjectT() = default;
    CGdiObjectT(const CGdiObjectT&) = delete;
    CGdiObjectT& operator=(const CGdiObjectT&) = delete;
    ~CGdiObjectT() { DeleteObject(); }
    Handle GetSafeHandle() const { return m_handle; }
    operator Handle() const { return m_handle; }
    BOOL Attach(Handle h) { DeleteObject(); m_handle = h; return h != nullptr; }
    BOOL DeleteObject()
    {
        if (!m_handle)
            return FALSE;
        ::DeleteObject(m_handle);
        m_handle = nullptr;
        return TRUE;
    }

protected:
    Handle m_handle = nullptr;
};

class CBrush : public CGdiObjectT<HBRUSH> {
public:
    BOOL CreateSolidBrush(COLORREF c) { return Attach(::CreateSolidBrush(c)); }
};

class CFont : public CGdiObjectT<HFONT> {
public:
    BOOL CreateFontIndirect(const LOGFONTW* lf) { return Attach(::CreateFontIndirectW(lf)); }
};

class CBitmap : public CGdiObjectT<HBITMAP> {
};

// Owner of one icon, destroyed with the holder. An HICON the code only
// passes around (a control's current icon) stays a plain handle.
class CIcon {
public:
    CIcon() = default;
    CIcon(const CIcon&) = delete;
    CIcon& operator=(const CIcon&) = delete;
    ~CIcon() { DestroyIcon(); }
    HICON GetSafeHandle() const { return m_hIcon; }
    operator HICON() const { return m_hIcon; }
    BOOL Attach(HICON h)
    {
        DestroyIcon();
        m_hIcon = h;
        return h != nullptr;
    }
    // The icon `id` of `module` at cx by cy pixels (0, 0: the system's large size).
    BOOL LoadIcon(HINSTANCE module, UINT id, int cx, int cy)
    {
        return Attach(module ? static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, cx, cy,
                                                                cx || cy ? 0 : LR_DEFAULTSIZE))
                             : nullptr);
    }
    BOOL DestroyIcon()
    {
        if (!m_hIcon)
            return FALSE;
        ::DestroyIcon(m_hIcon);
        m_hIcon = nullptr;
        return TRUE;
    }

private:
    HICON m_hIcon = nullptr;
};

// A child window's rectangle in its parent's client coordinates (empty for
// a null window).
inline RECT ChildRect(HWND child)
{
    RECT r = {};
    if (!child)
        return r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Moves a child window dy pixels down its parent (up for negative dy),
// keeping its size and z-order.
inline BOOL OffsetChild(HWND child, int dy)
{
    if (!child)
        return FALSE;
    RECT r = ChildRect(child);
    return ::SetWindowPos(child, nullptr, r.left, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Makes a window dx pixels wider and dy pixels taller (smaller for negative
// values), keeping its place and z-order.
inline BOOL GrowWindow(HWND window, int dx, int dy)
{
    RECT r;
    if (!window || !::GetWindowRect(window, &r))
        return FALSE;
    return ::SetWindowPos(window, nullptr, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy,
                          SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

class AFX_API CWnd {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
    // Copies are views of the same window; only the original stays bound.
    CWnd(const CWnd& other) : m_hWnd(other.m_hWnd) {}
    CWnd& operator=(const CWnd& other);
    virtual ~CWnd();

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    BOOL IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    bool IsBound() const { return m_bBound; }

    // Routes the window's messages to this object until WM_NCDESTROY.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    CWnd GetDlgItem(int id) const { return CWnd(::GetDlgItem(m_hWnd, id)); }
    HWND GetDlgItemHwnd(int id) const { return ::GetDlgItem(m_hWnd, id); }
    CWnd GetParent() const { return CWnd(::GetParent(m_hWnd)); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::SendMessageW(m_hWnd, msg, wp, lp); }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::PostMessageW(m_hWnd, msg, wp, lp); }
    BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) const
    {
        return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
    }
    BOOL MoveWindow(const RECT& r, BOOL repaint = TRUE) const
    {
        return ::MoveWindow(m_hWnd, r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
    }
    void GetWindowRect(LPRECT r) const { ::GetWindowRect(m_hWnd, r); }
    void GetClientRect(LPRECT r) const { ::GetClientRect(m_hWnd, r); }
    void ScreenToClient(LPRECT r) const { ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(r), 2); }
    void ClientToScreen(LPRECT r) const { ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(r), 2); }
    BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
    BOOL EnableWindow(BOOL enable = TRUE) const { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL RedrawWindow(const RECT* r, HRGN rgn, UINT flags) const { return ::RedrawWindow(m_hWnd, r, rgn, flags); }
    void SetWindowText(const wchar_t* text) const { ::SetWindowTextW(m_hWnd, text); }
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    void SetFont(HFONT font, BOOL redraw = TRUE) const { SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw); }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }
    HWND SetFocus() const { return ::SetFocus(m_hWnd); }
    BOOL SetForegroundWindow() const { return ::SetForegroundWindow(m_hWnd); }
    // A window timer that a flood of posted messages cannot hold back: the
    // system makes WM_TIMER only when the queue is empty, so the framework
    // hands a timer a quarter period late to its window itself.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) const;
    BOOL KillTimer(UINT_PTR id) const;
    BOOL DestroyWindow();

protected:
    // The single dispatch switch: cracks each message once and calls the
    // typed handler. Handlers that do not handle a message call Default().
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Anything without a typed handler; false falls through to Default().
    virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) { return false; }
    // The previous procedure's answer to the message being handled.
    LRESULT Default();

    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT kind);
    virtual void OnSysColorChange() { Default(); }
    virtual void OnTimer(UINT_PTR id) { Default(); }
    virtual void OnSetFocus(HWND oldFocus) { Default(); }
    virtual void OnKillFocus(HWND newFocus) { Default(); }
    virtual void OnKeyUp(UINT key, UINT repeat, UINT flags) { Default(); }
    virtual void OnMove(int x, int y) { Default(); }
    virtual void OnClose() { Default(); }
    virtual void OnDestroy() { Default(); }
    // Called after the window is gone and the object unbound.
    virtual void PostNcDestroy() {}

    // Binds this object to hWnd (dialogs: at the first message of the window
    // they create).
    BOOL Bind(HWND hWnd);

public:
    // True for a message that nobody but the system, on this window's own
    // thread, may send: the framework drops it.
    static bool IsForged(UINT msg, WPARAM wParam, LPARAM lParam);
    // True while this thread handles this very message for another thread.
    // InSendMessage alone stays true through everything done meanwhile,
    // the windows created and the messages sent on this thread included.
    // Without framework windows on the thread (or a WatchedThread) nothing
    // watches the senders, and any message inside a send counts as another
    // thread's.
    static bool IsFromAnotherThread(UINT msg, WPARAM wParam, LPARAM lParam);
    // True for a message taken from a window's queue that only the window's
    // own thread may give it: somebody posted it (a queue hook drops it).
    static bool IsForgedInQueue(const MSG& msg);
    // Watches which messages other threads send to this thread's windows
    // while it lives, as a bound window does, which IsForged needs: a window
    // created inside another thread's send is told apart from that send from
    // its first message on (a dialog binds at its first message), and a
    // window the framework does not own (a system message box) can be guarded.
    class AFX_API WatchedThread {
    public:
        WatchedThread();
        ~WatchedThread();
        WatchedThread(const WatchedThread&) = delete;
        WatchedThread& operator=(const WatchedThread&) = delete;
    };
    // Makes `hWnd` drop forged messages even if no object is bound to it
    // (dialogs guard their child controls this way).
    static void Guard(HWND hWnd);
    // True when `hWnd` or one of its parents is bound to a framework object.
    static bool IsInFrameworkWindow(HWND hWnd);

private:
    struct CurrentMessage {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
    };
    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR refData);
    void Unbind();
    bool m_bBound = false;
    // Set by the window's real WM_DESTROY: only then is WM_NCDESTROY acted on.
    bool m_bDestroying = false;
    DWORD m_dwBoundThread = 0;
    CurrentMessage m_current = {};

    friend class CDialog;
};

class CEdit : public CWnd {
public:
    CEdit() = default;
    explicit CEdit(HWND h) : CWnd(h) {}
    void SetSel(int start, int end) const { SendMessage(EM_SETSEL, start, end); }
    void SetLimitText(UINT n) const { SendMessage(EM_LIMITTEXT, n); }
    void SetPasswordChar(wchar_t c) const { SendMessage(EM_SETPASSWORDCHAR, c); }
};

class CButton : public CWnd {
public:
    CButton() = default;
    explicit CButton(HWND h) : CWnd(h) {}
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int state) const { SendMessage(BM_SETCHECK, state); }
};

class CStatic : public CWnd {
public:
    CStatic() = default;
    explicit CStatic(HWND h) : CWnd(h) {}
    HICON SetIcon(HICON icon) const { return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon))); }
};

class CDataExchange {
public:
    CDataExchange(CWnd* dlg, BOOL saveAndValidate) : m_pDlgWnd(dlg), m_bSaveAndValidate(saveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds a control wrapper to dialog item `id` the first time data is exchanged.
AFX_API void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class AFX_API CDialog : public CWnd {
public:
    CDialog() = default;
    CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDHelp(templateId), m_pParentWnd(parent) {}
    ~CDialog() override;
    // A dialog owns its window and, in derived classes, what it created for
    // it: a copy would destroy or free them a second time.
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally from its template in the current resource
    // module: -1 when the template or the window cannot be had.
    virtual INT_PTR DoModal();
    // Creates the dialog as a modeless window (a child page when its
    // template says so) from the current resource module.
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    virtual void EndDialog(int result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    UINT m_nIDHelp = 0;
    CWnd* m_pParentWnd = nullptr;

    // The steps of a modal window's creation: it is tried with the owner
    // first and, when that fails, without one.
    enum class ModalStep {
        CreatingWithOwner,
        RetryingWithoutOwner,
        Created,
    };

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* dx) {}
    virtual void OnOK();
    virtual void OnCancel();
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    // False for a command this dialog must not act on: one that names a
    // sender that is not a control of the dialog, or a click (or a command
    // without a sender) naming a control that is disabled or hidden.
    bool IsCommandFromUsableControl(WPARAM wParam, LPARAM lParam) const;

    // Runs the dialog modally from its template in `instance` (-1 when that
    // is null or lacks the template).
    INT_PTR DoModalFrom(HINSTANCE instance);

    // Told of each step, for dialogs that log them.
    virtual void OnModalStep(ModalStep step, HINSTANCE instance, HWND owner) {}
    HWND CreateModalWindow(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner);
    // Runs the modal loop on an already loaded template.
    INT_PTR RunModal(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate);
    static LPCDLGTEMPLATEW LoadDialogTemplate(HINSTANCE instance, UINT templateId);
    HWND CreateIndirect(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner);

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // Runs OnInitDialog once, for the window's own WM_INITDIALOG.
    BOOL InitOnce();
    bool m_bInitialized = false;
    bool m_bModal = false;
    bool m_bEndModal = false;
    int m_nModalResult = -1;
};

// The current resource module: where dialogs, strings and icons are looked
// up. It starts as the process's main module.
AFX_API HINSTANCE AfxGetResourceHandle();
AFX_API void AfxSetResourceHandle(HINSTANCE instance);
AFX_API HINSTANCE AfxGetInstanceHandle();

// Makes `instance` the resource module for the lifetime of the object.
class ScopedResourceModule {
public:
    explicit ScopedResourceModule(HINSTANCE instance) : m_hPrevious(AfxGetResourceHandle())
    {
        AfxSetResourceHandle(instance);
    }
    ~ScopedResourceModule() { AfxSetResourceHandle(m_hPrevious); }
    ScopedResourceModule(const ScopedResourceModule&) = delete;
    ScopedResourceModule& operator=(const ScopedResourceModule&) = delete;

private:
    HINSTANCE m_hPrevious;
};

// Extension-module support: a DLL records its module at attach, and each
// CDynLinkLibrary made over the record puts the DLL's resources on the
// framework's search chain until the record is terminated.
struct AFX_EXTENSION_MODULE {
    BOOL bInitialized;
    HMODULE hModule;
    HMODULE hResource;
};

AFX_API BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module);
AFX_API void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL deleteAll = FALSE);

class AFX_API CDynLinkLibrary {
public:
    explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state);
    ~CDynLinkLibrary();
    CDynLinkLibrary(const CDynLinkLibrary&) = delete;
    CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;
    HMODULE m_hModule;
    HMODULE m_hResource;
};

// Finds the module holding resource `id` of `type`: the current resource
// module first, then the extension libraries in the order they were added.
AFX_API HINSTANCE AfxFindResourceHandle(LPCWSTR id, LPCWSTR type);
// Number of CDynLinkLibrary objects on the chain.
AFX_API size_t AfxGetExtensionLibraryCount();
// Loads string `id` from the first module of the chain that has it (the
// current resource module, then the extension libraries): its length, 0 when
// no module has it or the buffer is unusable.
AFX_API int AfxLoadString(UINT id, wchar_t* buffer, int bufferChars);
