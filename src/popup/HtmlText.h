#pragma once
// The "VkHtmlText" window class: a static control that shows a small subset
// of HTML (bold, italic, underline, font face, size and colour, line breaks
// and paragraphs, simple tables, images of a resource module, links),
// wrapped to its width, over its parent's background. A click on a link
// sends the configured message to the parent. A global class of the host
// process, registered at attach like the progress bar.
//
// WM_SETTEXT and WM_GETTEXT carry the markup; WM_SETFONT and WM_GETFONT the
// base font (the control does not own it).
#include "afxwin.h"

inline constexpr const wchar_t* kHtmlTextClass = L"VkHtmlText";

// wParam: the message id sent (wParam 0, lParam 0) to the parent when any
// link is clicked; 0 sends nothing. Only ids of the application range
// (WM_USER to 0xBFFF) are taken; the result is 1 when taken, else 0.
inline constexpr UINT HTM_SETLINKMESSAGE = WM_USER + 0x100;
// wParam: left margin, lParam: top margin, in pixels (0 to 10000).
inline constexpr UINT HTM_SETMARGINS = WM_USER + 0x101;
// wParam: text colour, lParam: link colour (COLORREF).
inline constexpr UINT HTM_SETCOLORS = WM_USER + 0x102;
// lParam: the module `<img src="#123">` loads bitmap 123 from; null gives
// back the library's resource module. A handle that is no loaded module is
// refused (result 0).
inline constexpr UINT HTM_SETIMAGEMODULE = WM_USER + 0x103;

void RegisterHtmlTextClass();
void UnregisterHtmlTextClass();
LRESULT CALLBACK HtmlTextWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// A view over a "VkHtmlText" window, for the popup's code. The window it
// creates is destroyed with it.
class CHtmlText : public CWnd {
public:
    CHtmlText() = default;
    ~CHtmlText() override;
    CHtmlText(const CHtmlText&) = delete;
    CHtmlText& operator=(const CHtmlText&) = delete;

    // A child window of `parent` at `rect` (parent's client coordinates);
    // WS_CHILD is added to `style`. False when it cannot be created.
    BOOL Create(DWORD style, const RECT& rect, HWND parent, UINT id);
    BOOL SetLinkMessage(UINT msg) const { return static_cast<BOOL>(SendMessage(HTM_SETLINKMESSAGE, msg)); }
    void SetMargins(int left, int top) const
    {
        SendMessage(HTM_SETMARGINS, static_cast<WPARAM>(left), static_cast<LPARAM>(top));
    }
    void SetColors(COLORREF text, COLORREF link) const { SendMessage(HTM_SETCOLORS, text, static_cast<LPARAM>(link)); }
    BOOL SetImageModule(HMODULE module) const
    {
        return static_cast<BOOL>(SendMessage(HTM_SETIMAGEMODULE, 0, reinterpret_cast<LPARAM>(module)));
    }
    void SetText(const wchar_t* markup) const { SetWindowText(markup ? markup : L""); }
};
