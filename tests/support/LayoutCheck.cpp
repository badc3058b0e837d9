#include "LayoutCheck.h"

#include "ScopedGdi.h"
#include "UiDriver.h"

#include <commctrl.h>

#include <algorithm>

namespace {

std::wstring Describe(HWND control)
{
    return L"control " + std::to_wstring(GetDlgCtrlID(control)) + L" \"" + uidriver::TextOf(control) + L"\"";
}

// The size `text` takes in `control`'s font: wrapped at `width` when
// `wrapWidth` is set, else on one line.
SIZE TextExtent(HWND control, const std::wstring& text, int wrapWidth)
{
    ScopedGetDC dc(control);
    ScopedSelectObject font(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r = {0, 0, wrapWidth > 0 ? wrapWidth : 10000, 0};
    UINT flags = DT_CALCRECT | DT_EXPANDTABS | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE);
    DrawTextW(dc, text.c_str(), -1, &r, flags);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void CheckText(HWND control, std::vector<std::wstring>& problems)
{
    std::wstring text = uidriver::TextOf(control);
    if (text.empty() || !IsWindowVisible(control))
        return;
    RECT client;
    GetClientRect(control, &client);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const std::wstring kind = uidriver::ClassOf(control);
    SIZE need = {};
    if (_wcsicmp(kind.c_str(), L"Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP)
            return;
        need = TextExtent(control, text, type != SS_LEFTNOWORDWRAP ? client.right : 0);
    } else if (_wcsicmp(kind.c_str(), L"Button") == 0 && (style & BS_TYPEMASK) != BS_GROUPBOX) {
        // Push buttons keep a margin for their frame; check boxes and radio
        // buttons draw their box before the text.
        const LONG type = style & BS_TYPEMASK;
        const bool pushButton = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
        const int reserved = pushButton ? 8 : GetSystemMetrics(SM_CXMENUCHECK) + 6;
        need = TextExtent(control, text, (style & BS_MULTILINE) ? client.right - reserved : 0);
        need.cx += reserved;
    }
    if (need.cx > client.right || need.cy > client.bottom)
        problems.push_back(Describe(control) + L" needs " + std::to_wstring(need.cx) + L"x" + std::to_wstring(need.cy) +
                           L" but has " + std::to_wstring(client.right) + L"x" + std::to_wstring(client.bottom));
}

RECT RectInDialog(HWND control, HWND dialog)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The part of `control` that nothing else may cover: a group box's caption
// only (its frame holds other controls), nothing of an empty static (a
// placeholder for a page) or of a page, the whole of any other control.
bool SolidPart(HWND control, HWND dialog, RECT& part)
{
    const std::wstring kind = uidriver::ClassOf(control);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    part = RectInDialog(control, dialog);
    if (kind == L"#32770")
        return false;
    if (_wcsicmp(kind.c_str(), L"Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        const bool picture = type == SS_ICON || type == SS_BITMAP;
        if (!picture && uidriver::TextOf(control).empty())
            return false;
    }
    if (_wcsicmp(kind.c_str(), L"Button") == 0 && (style & BS_TYPEMASK) == BS_GROUPBOX) {
        const std::wstring text = uidriver::TextOf(control);
        if (text.empty())
            return false;
        const SIZE caption = TextExtent(control, text, 0);
        // The caption is drawn a few pixels in from the frame's left edge.
        part.right = std::min<LONG>(part.right, part.left + caption.cx + 2 * GetSystemMetrics(SM_CXEDGE) + 8);
        part.bottom = part.top + caption.cy;
    }
    return part.right > part.left && part.bottom > part.top;
}

void CheckOverlaps(HWND dialog, std::vector<std::wstring>& problems)
{
    std::vector<std::pair<HWND, RECT>> solid;
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        RECT part;
        if (IsWindowVisible(control) && SolidPart(control, dialog, part))
            solid.emplace_back(control, part);
    }
    // An up-down control sits on the edge of its buddy, the control before it.
    auto buddies = [](HWND a, HWND b) {
        return (uidriver::ClassOf(a) == UPDOWN_CLASSW && GetWindow(a, GW_HWNDPREV) == b) ||
               (uidriver::ClassOf(b) == UPDOWN_CLASSW && GetWindow(b, GW_HWNDPREV) == a);
    };
    for (size_t i = 0; i < solid.size(); ++i)
        for (size_t j = i + 1; j < solid.size(); ++j) {
            if (buddies(solid[i].first, solid[j].first))
                continue;
            RECT both;
            if (IntersectRect(&both, &solid[i].second, &solid[j].second))
                problems.push_back(Describe(solid[i].first) + L" overlaps " + Describe(solid[j].first));
        }
}

} // namespace

std::vector<std::wstring> LayoutProblems(HWND dialog)
{
    std::vector<std::wstring> problems;
    RECT inside;
    GetClientRect(dialog, &inside);
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        if (!IsWindowVisible(control))
            continue;
        const RECT r = RectInDialog(control, dialog);
        if (r.left < inside.left || r.top < inside.top || r.right > inside.right || r.bottom > inside.bottom)
            problems.push_back(Describe(control) + L" lies outside the dialog");
        if (uidriver::ClassOf(control) == L"#32770") {
            // A page or panel inside the dialog: its own controls in turn.
            for (const std::wstring& inner : LayoutProblems(control))
                problems.push_back(inner);
            continue;
        }
        CheckText(control, problems);
    }
    CheckOverlaps(dialog, problems);
    return problems;
}
