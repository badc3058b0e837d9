#include "afxwin.h"

namespace {
// One subclass id for every window the framework binds.
constexpr UINT_PTR kSubclassId = 0x56464B41; // 'AFKV'
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
    if (m_bBound && m_hWnd)
        RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
}

BOOL CWnd::Bind(HWND hWnd)
{
    if (!hWnd || m_bBound)
        return FALSE;
    if (!SetWindowSubclass(hWnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return FALSE;
    m_hWnd = hWnd;
    m_bBound = true;
    return TRUE;
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
    m_bBound = false;
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
    if (msg == WM_NCDESTROY) {
        // The object may be deleted by PostNcDestroy: touch nothing after it.
        LRESULT result = DefSubclassProc(hWnd, msg, wParam, lParam);
        RemoveWindowSubclass(hWnd, SubclassProc, id);
        self->m_hWnd = nullptr;
        self->m_bBound = false;
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
        LRESULT result = 0;
        if (OnNotify(wParam, lParam, &result))
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
        CDC dc(reinterpret_cast<HDC>(wParam));
        CWnd control(reinterpret_cast<HWND>(lParam));
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
