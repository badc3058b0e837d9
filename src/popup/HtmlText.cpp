#include "popup/HtmlText.h"

#include "base/AccessibleOverlay.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "popup/HtmlLayout.h"
#include "popup/HtmlParse.h"

#include "pinrc_ids.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr UINT kLastLinkMessage = 0xBFFF;
constexpr LONG_PTR kMaxMargin = 10000;
// Fonts and bitmaps a single control keeps; markup asking for more gets the
// base font and no picture, so that no text can exhaust the process's GDI
// objects.
constexpr size_t kMaxFonts = 32;
constexpr size_t kMaxImages = 32;
// Font heights of sizes 1 to 7 in percent of the base font's (size 3).
constexpr int kSizePercent[8] = {100, 63, 82, 100, 113, 150, 200, 300};

// What one window keeps: the parsed text, its settings, the fonts and
// bitmaps it made and the layout of the last width.
class HtmlTextState final : public IHtmlResources {
public:
    explicit HtmlTextState(HWND hWnd) : m_hWnd(hWnd) {}
    std::wstring PlainText() const { return m_doc.PlainText(); }
    ~HtmlTextState()
    {
        m_pLayout.reset();
        FreeFonts();
        FreeImages();
    }
    HtmlTextState(const HtmlTextState&) = delete;
    HtmlTextState& operator=(const HtmlTextState&) = delete;

    HFONT FontFor(const HtmlStyle& style) override;
    HBITMAP ImageFor(unsigned id, SIZE& size) override;

    void SetMarkup(const wchar_t* markup)
    {
        m_pLayout.reset();
        m_doc = markup ? ParseHtml(markup, wcslen(markup)) : HtmlDocument{};
    }
    void SetBaseFont(HFONT font)
    {
        m_pLayout.reset();
        FreeFonts();
        m_hBaseFont = font;
    }
    void SetImageModule(HMODULE module)
    {
        m_pLayout.reset();
        FreeImages();
        m_hImageModule = module;
    }
    void Relayout() { m_pLayout.reset(); }
    const CHtmlLayout& Layout();
    void Paint(HDC target);
    COLORREF ColorOf(const HtmlStyle& style) const
    {
        if (style.color != kHtmlNoColor)
            return style.color;
        return style.link >= 0 ? m_crLink : m_crText;
    }

    HWND m_hWnd;
    HFONT m_hBaseFont = nullptr;
    UINT m_nLinkMessage = 0;
    int m_nMarginLeft = 0;
    int m_nMarginTop = 0;
    COLORREF m_crText = ::GetSysColor(COLOR_BTNTEXT);
    COLORREF m_crLink = ::GetSysColor(COLOR_HOTLIGHT);
    bool m_bPressedOnLink = false;

private:
    struct FontEntry {
        HtmlStyle style;
        HFONT font;
    };
    struct ImageEntry {
        unsigned id;
        HBITMAP bitmap;
        SIZE size;
    };
    void FreeFonts()
    {
        for (const FontEntry& entry : m_fonts)
            ::DeleteObject(entry.font);
        m_fonts.clear();
    }
    void FreeImages()
    {
        for (const ImageEntry& entry : m_images) {
            if (entry.bitmap)
                ::DeleteObject(entry.bitmap);
        }
        m_images.clear();
    }
    void PaintBackground(HDC dc, const RECT& rc) const;

    HtmlDocument m_doc;
    HMODULE m_hImageModule = nullptr;
    std::vector<FontEntry> m_fonts;
    std::vector<ImageEntry> m_images;
    std::unique_ptr<CHtmlLayout> m_pLayout;
};

HFONT HtmlTextState::FontFor(const HtmlStyle& style)
{
    // Only what changes the font's shape makes a new one.
    HtmlStyle key;
    key.bold = style.bold;
    key.italic = style.italic;
    key.underline = style.underline || style.link >= 0;
    key.face = style.face;
    key.size = style.size;
    HFONT base = m_hBaseFont ? m_hBaseFont : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    if (key == HtmlStyle{})
        return base;
    for (const FontEntry& entry : m_fonts) {
        if (entry.style == key)
            return entry.font;
    }
    if (m_fonts.size() >= kMaxFonts)
        return base;
    LOGFONTW lf = {};
    if (!::GetObjectW(base, sizeof(lf), &lf))
        return base;
    if (key.bold)
        lf.lfWeight = FW_BOLD;
    lf.lfItalic = static_cast<BYTE>(lf.lfItalic || key.italic);
    lf.lfUnderline = static_cast<BYTE>(lf.lfUnderline || key.underline);
    if (!key.face.empty())
        wcsncpy_s(lf.lfFaceName, key.face.c_str(), _TRUNCATE);
    if (key.size >= 1 && key.size <= 7)
        lf.lfHeight = ::MulDiv(lf.lfHeight ? lf.lfHeight : -12, kSizePercent[key.size], 100);
    HFONT font = ::CreateFontIndirectW(&lf);
    if (!font)
        return base;
    m_fonts.push_back({key, font});
    return font;
}

HBITMAP HtmlTextState::ImageFor(unsigned id, SIZE& size)
{
    for (const ImageEntry& entry : m_images) {
        if (entry.id == id) {
            size = entry.size;
            return entry.bitmap;
        }
    }
    if (m_images.size() >= kMaxImages)
        return nullptr;
    HMODULE module = m_hImageModule ? m_hImageModule : g_hResourceModule;
    ImageEntry entry{id, nullptr, {0, 0}};
    if (module) {
        entry.bitmap = static_cast<HBITMAP>(
            ::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    }
    BITMAP info = {};
    if (entry.bitmap && ::GetObjectW(entry.bitmap, sizeof(info), &info)) {
        entry.size = {info.bmWidth, info.bmHeight};
    } else {
        vklogLog(kGuiTag, VKLOG_ERROR, L"HtmlText: bitmap %u cannot be loaded", id);
        if (entry.bitmap)
            ::DeleteObject(entry.bitmap);
        entry.bitmap = nullptr;
    }
    // A missing bitmap is remembered too, so that it is not looked for on
    // every paint.
    m_images.push_back(entry);
    size = entry.size;
    return entry.bitmap;
}

const CHtmlLayout& HtmlTextState::Layout()
{
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    const int width = rc.right - m_nMarginLeft;
    if (!m_pLayout) {
        HDC dc = ::GetDC(m_hWnd);
        m_pLayout = std::make_unique<CHtmlLayout>(dc, *this, m_doc, m_nMarginLeft, m_nMarginTop, width);
        ::ReleaseDC(m_hWnd, dc);
    }
    return *m_pLayout;
}

// The parent's background shows through: it is asked to draw itself into
// our bitmap, shifted so that its pixels land where they are on screen.
void HtmlTextState::PaintBackground(HDC dc, const RECT& rc) const
{
    HWND parent = ::GetParent(m_hWnd);
    if (parent && ::GetWindowThreadProcessId(parent, nullptr) == ::GetCurrentThreadId()) {
        POINT origin = {0, 0};
        ::MapWindowPoints(m_hWnd, parent, &origin, 1);
        POINT old = {};
        ::SetViewportOrgEx(dc, -origin.x, -origin.y, &old);
        const LRESULT erased = ::SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        ::SetViewportOrgEx(dc, old.x, old.y, nullptr);
        if (erased)
            return;
    }
    ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_BTNFACE));
}

void HtmlTextState::Paint(HDC target)
{
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    if (rc.right <= 0 || rc.bottom <= 0)
        return;
    const CHtmlLayout& layout = Layout();
    // Everything goes to one bitmap first, so the text never flickers over
    // a freshly erased background.
    HDC dc = ::CreateCompatibleDC(target);
    HBITMAP canvas = ::CreateCompatibleBitmap(target, rc.right, rc.bottom);
    if (!dc || !canvas) {
        if (canvas)
            ::DeleteObject(canvas);
        if (dc)
            ::DeleteDC(dc);
        return;
    }
    const HGDIOBJ oldCanvas = ::SelectObject(dc, canvas);
    const HGDIOBJ oldFont = ::GetCurrentObject(dc, OBJ_FONT);
    PaintBackground(dc, rc);
    ::SetBkMode(dc, TRANSPARENT);
    HDC images = ::CreateCompatibleDC(target);
    std::vector<int> advances;
    for (const HtmlPiece& piece : layout.Pieces()) {
        if (piece.bitmap) {
            if (images) {
                const HGDIOBJ old = ::SelectObject(images, piece.bitmap);
                ::BitBlt(dc, piece.rc.left, piece.rc.top, piece.rc.right - piece.rc.left,
                         piece.rc.bottom - piece.rc.top, images, 0, 0, SRCCOPY);
                ::SelectObject(images, old);
            }
            continue;
        }
        ::SelectObject(dc, piece.font);
        ::SetTextColor(dc, ColorOf(piece.style));
        // Each character goes where the layout measured it: Wine draws some
        // fonts (the dialog font, and bold or underlined copies of it)
        // narrower than it measures them, which would leave gaps between
        // runs and links beside their hit rectangles.
        const int length = static_cast<int>(piece.text.size());
        advances.resize(piece.text.size());
        SIZE size = {};
        const int* dx = nullptr;
        if (::GetTextExtentExPointW(dc, piece.text.c_str(), length, 0, nullptr, advances.data(), &size)) {
            for (int i = length - 1; i > 0; --i)
                advances[static_cast<size_t>(i)] -= advances[static_cast<size_t>(i) - 1];
            dx = advances.data();
        }
        ::ExtTextOutW(dc, piece.rc.left, piece.rc.top, 0, nullptr, piece.text.c_str(), static_cast<UINT>(length), dx);
    }
    if (images)
        ::DeleteDC(images);
    ::BitBlt(target, 0, 0, rc.right, rc.bottom, dc, 0, 0, SRCCOPY);
    ::SelectObject(dc, oldFont);
    ::SelectObject(dc, oldCanvas);
    ::DeleteObject(canvas);
    ::DeleteDC(dc);
}

HtmlTextState* StateOf(HWND hWnd)
{
    return reinterpret_cast<HtmlTextState*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
}

// Creation and destruction are the system's, sent on the window's own
// thread: from anywhere else they are forged.
bool IsForgedLifecycle(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return (msg == WM_NCCREATE || msg == WM_CREATE || msg == WM_DESTROY || msg == WM_NCDESTROY) &&
           CWnd::IsFromAnotherThread(msg, wParam, lParam);
}

POINT PointOf(LPARAM lParam)
{
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

bool AcceptsClicks(HWND hWnd)
{
    return ::IsWindowEnabled(hWnd) && ::IsWindowVisible(hWnd);
}

LRESULT HandleMessage(HWND hWnd, HtmlTextState& state, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE: {
        // The creation text was stored before WM_CREATE; it is the markup.
        const int length = ::GetWindowTextLengthW(hWnd);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        text.resize(static_cast<size_t>(::GetWindowTextW(hWnd, text.data(), length + 1)));
        state.SetMarkup(text.c_str());
        return 0;
    }
    case WM_GETOBJECT: {
        // A screen reader reads the text, not the markup that WM_GETTEXT gives.
        AccessibleFacts facts;
        facts.m_sName = state.PlainText();
        facts.m_nRole = ROLE_SYSTEM_STATICTEXT;
        facts.m_nStateAdded = STATE_SYSTEM_READONLY;
        // A text with a link that answers is a link to a screen reader, whose
        // action is a click on its first linked word.
        if (state.m_nLinkMessage) {
            for (const HtmlPiece& piece : state.Layout().Pieces()) {
                if (piece.style.link < 0)
                    continue;
                facts.m_nRole = ROLE_SYSTEM_LINK;
                facts.m_nStateAdded = STATE_SYSTEM_LINKED | STATE_SYSTEM_READONLY;
                facts.m_sDefaultAction = LoadResourceString(IDS_LINK_ACTION).GetString();
                facts.m_ptAction = {(piece.rc.left + piece.rc.right) / 2, (piece.rc.top + piece.rc.bottom) / 2};
                break;
            }
        }
        return AnswerGetObject(hWnd, wParam, lParam, facts);
    }
    case WM_SETTEXT: {
        const LRESULT result = ::DefWindowProcW(hWnd, msg, wParam, lParam);
        if (result) {
            state.SetMarkup(reinterpret_cast<const wchar_t*>(lParam));
            ::InvalidateRect(hWnd, nullptr, FALSE);
        }
        return result;
    }
    case WM_SETFONT: {
        HFONT font = reinterpret_cast<HFONT>(wParam);
        if (font && ::GetObjectType(font) != OBJ_FONT) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"HtmlText: WM_SETFONT with a handle that is no font");
            return 0;
        }
        state.SetBaseFont(font);
        if (LOWORD(lParam))
            ::InvalidateRect(hWnd, nullptr, FALSE);
        return 0;
    }
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(state.m_hBaseFont);
    case HTM_SETLINKMESSAGE:
        // What a click sends is ours to choose: not from another thread,
        // and never a system message.
        if (CWnd::IsFromAnotherThread(msg, wParam, lParam) ||
            (wParam != 0 && (wParam < WM_USER || wParam > kLastLinkMessage))) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"HtmlText: link message %#llx refused", static_cast<unsigned long long>(wParam));
            return 0;
        }
        state.m_nLinkMessage = static_cast<UINT>(wParam);
        return 1;
    case HTM_SETMARGINS: {
        const auto clamp = [](LONG_PTR v) { return static_cast<int>(v < 0 ? 0 : v > kMaxMargin ? kMaxMargin : v); };
        state.m_nMarginLeft = clamp(static_cast<LONG_PTR>(wParam));
        state.m_nMarginTop = clamp(lParam);
        state.Relayout();
        ::InvalidateRect(hWnd, nullptr, FALSE);
        return 1;
    }
    case HTM_SETCOLORS:
        state.m_crText = static_cast<COLORREF>(wParam & 0x00FFFFFF);
        state.m_crLink = static_cast<COLORREF>(lParam & 0x00FFFFFF);
        ::InvalidateRect(hWnd, nullptr, FALSE);
        return 1;
    case HTM_SETIMAGEMODULE: {
        HMODULE module = reinterpret_cast<HMODULE>(lParam);
        wchar_t path[MAX_PATH];
        if (CWnd::IsFromAnotherThread(msg, wParam, lParam) || (module && !::GetModuleFileNameW(module, path, MAX_PATH))) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"HtmlText: image module refused");
            return 0;
        }
        state.SetImageModule(module);
        ::InvalidateRect(hWnd, nullptr, FALSE);
        return 1;
    }
    case WM_SIZE:
        state.Relayout();
        ::InvalidateRect(hWnd, nullptr, FALSE);
        return 0;
    case WM_ERASEBKGND:
        return 1; // the paint draws the background with the text
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hWnd, &ps);
        if (dc)
            state.Paint(dc);
        ::EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        if (wParam && ::GetObjectType(reinterpret_cast<HDC>(wParam)) != 0)
            state.Paint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        state.m_bPressedOnLink = AcceptsClicks(hWnd) && state.Layout().LinkAt(PointOf(lParam)) >= 0;
        return 0;
    case WM_LBUTTONUP: {
        const bool pressed = state.m_bPressedOnLink;
        state.m_bPressedOnLink = false;
        HWND parent = ::GetParent(hWnd);
        if (pressed && state.m_nLinkMessage && parent && AcceptsClicks(hWnd) &&
            state.Layout().LinkAt(PointOf(lParam)) >= 0) {
            // The parent may destroy this window in its answer: nothing of
            // the state is touched after the send.
            ::SendMessageW(parent, state.m_nLinkMessage, 0, 0);
        }
        return 0;
    }
    case WM_SETCURSOR: {
        POINT pt = {};
        if (LOWORD(lParam) == HTCLIENT && ::GetCursorPos(&pt) && ::ScreenToClient(hWnd, &pt) &&
            state.Layout().LinkAt(pt) >= 0) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    }
    default:
        break;
    }
    return ::DefWindowProcW(hWnd, msg, wParam, lParam);
}

} // namespace

void RegisterHtmlTextClass()
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_GLOBALCLASS;
    wc.lpfnWndProc = HtmlTextWindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kHtmlTextClass;
    if (!::RegisterClassExW(&wc))
        vklogLog(kGuiTag, VKLOG_ERROR, L"RegisterHtmlTextClass: RegisterClassExW failed (%u)", ::GetLastError());
}

void UnregisterHtmlTextClass()
{
    ::UnregisterClassW(kHtmlTextClass, ::GetModuleHandleW(nullptr));
}

LRESULT CALLBACK HtmlTextWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (IsForgedLifecycle(msg, wParam, lParam))
        return 0;
    try {
        HtmlTextState* state = StateOf(hWnd);
        if (msg == WM_NCCREATE) {
            if (state)
                return 0; // a second creation message is never the system's
            state = new (std::nothrow) HtmlTextState(hWnd);
            if (!state)
                return FALSE;
            ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
            return ::DefWindowProcW(hWnd, msg, wParam, lParam);
        }
        if (msg == WM_NCDESTROY) {
            ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
            delete state;
            return ::DefWindowProcW(hWnd, msg, wParam, lParam);
        }
        if (!state)
            return ::DefWindowProcW(hWnd, msg, wParam, lParam);
        return HandleMessage(hWnd, *state, msg, wParam, lParam);
    } catch (...) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"HtmlTextWindowProc: message %#x failed", msg);
        return 0;
    }
}

CHtmlText::~CHtmlText()
{
    if (m_hWnd && ::IsWindow(m_hWnd) && ::GetWindowThreadProcessId(m_hWnd, nullptr) == ::GetCurrentThreadId())
        ::DestroyWindow(m_hWnd);
}

BOOL CHtmlText::Create(DWORD style, const RECT& rect, HWND parent, UINT id)
{
    // A second Create replaces the window instead of leaking the first.
    if (m_hWnd && ::IsWindow(m_hWnd) && ::GetWindowThreadProcessId(m_hWnd, nullptr) == ::GetCurrentThreadId())
        ::DestroyWindow(m_hWnd);
    m_hWnd = ::CreateWindowExW(0, kHtmlTextClass, L"", style | WS_CHILD, rect.left, rect.top, rect.right - rect.left,
                               rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                               ::GetModuleHandleW(nullptr), nullptr);
    if (!m_hWnd)
        vklogLog(kGuiTag, VKLOG_ERROR, L"CHtmlText::Create: CreateWindowExW failed (%u)", ::GetLastError());
    return m_hWnd != nullptr;
}
