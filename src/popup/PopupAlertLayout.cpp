// CPopupAlert: the skin and its region, the child controls and the layout of
// each popup type, and the worker thread with its progress bar.
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
#include "qlreg.h"

#include <memory>
#include <new>

namespace {

constexpr int kDecorationSize = 18;
constexpr int kDecorationLeft = 20;
constexpr UINT kMessageCtrlId = 789;
constexpr UINT kLinkCtrlId = 790;
constexpr int kProgressBarId = 45;
constexpr UINT kPhaseMs = 500;
constexpr COLORREF kOnSkinText = 0xFFFFFF;
constexpr COLORREF kOnSkinLink = 0xE8B38F;
// Without its skin the popup keeps the skin's size and base colour, so the
// message can still be read.
constexpr int kFallbackWidth = 280;
constexpr int kFallbackHeight = 160;
constexpr REGSAM kRegistry64 = 0x100;
constexpr DWORD kHelpPathBytes = 522;

bool IsHelpInstalled()
{
    wchar_t path[kHelpPathBytes / sizeof(wchar_t)] = {};
    DWORD size = kHelpPathBytes;
    const LONG status =
        qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quellon\\Velkor", L"HelpPath", path, &size, kRegistry64);
    if (status == 0)
        vklogLog(kGuiTag, VKLOG_INFO, L"GetDisplayHelpValue: qlRegReadStringValueEx(%s, %s) returned %s",
                 L"SOFTWARE\\Quellon\\Velkor", L"HelpPath", path);
    vklogLog(kGuiTag, VKLOG_INFO, L"GetDisplayHelpValue (%d)", status == 0 ? 1 : 0);
    return status == 0;
}

// Copies an 18 x 18 bitmap of the resource module into `target` at (x, y),
// `size` pixels square (18 at 96 DPI).
void DrawDecoration(HDC target, UINT bitmapId, int x, int y, int size)
{
    HBITMAP mark = static_cast<HBITMAP>(
        ::LoadImageW(g_hResourceModule, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!mark)
        return;
    HDC source = ::CreateCompatibleDC(target);
    if (source) {
        HGDIOBJ old = ::SelectObject(source, mark);
        ::SetStretchBltMode(target, HALFTONE);
        ::SetBrushOrgEx(target, 0, 0, nullptr);
        ::StretchBlt(target, x, y, size, size, source, 0, 0, kDecorationSize, kDecorationSize, SRCCOPY);
        ::SelectObject(source, old);
        ::DeleteDC(source);
    }
    ::DeleteObject(mark);
}

SIZE BitmapSize(HBITMAP bitmap)
{
    BITMAP info = {};
    if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info))
        return SIZE{kFallbackWidth, kFallbackHeight};
    return SIZE{info.bmWidth, info.bmHeight};
}

CSecStr LinkMarkup(const CSecStr& text)
{
    CSecStr markup(L"<a href=\"#\">");
    markup += text;
    markup += L"</a>";
    return markup;
}

} // namespace

int CPopupAlert::PrepareBackgroundBitmap(UINT nBitmapID, bool bCloseLink, bool bHelpLink, bool bAutoUpdate)
{
    if (m_hProgressBar)
        bCloseLink = bHelpLink = bAutoUpdate = false;
    const bool drawHelp = bAutoUpdate ? false : bHelpLink;
    m_bmpBackground.DeleteObject();
    HBITMAP skin = static_cast<HBITMAP>(
        ::LoadImageW(g_hResourceModule, MAKEINTRESOURCEW(nBitmapID), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!skin) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::PrepareBackgroundBitmap: bitmap %u could not be loaded (0x%x)",
                 nBitmapID, ::GetLastError());
        return 0;
    }
    skin = ScaledSkin(skin);
    m_bmpBackground.Attach(skin);
    const SIZE size = BitmapSize(skin);
    const int y = size.cy - Scaled(m_nLinkAreaHeight + m_nBottomMargin);
    const int left = Scaled(kDecorationLeft);
    const int mark = Scaled(kDecorationSize);
    const int upper = y - Scaled(17);
    const int lower = y + Scaled(3);
    HDC screen = ::GetDC(nullptr);
    HDC target = ::CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    if (!target)
        return 1;
    HGDIOBJ old = ::SelectObject(target, skin);
    const bool helpShown = drawHelp && m_bDisplayHelp;
    if (bAutoUpdate)
        DrawDecoration(target, IDB_POPUP_BULLET, left, bCloseLink ? upper : lower, mark);
    if (bCloseLink)
        DrawDecoration(target, IDB_POPUP_BULLET, left, bAutoUpdate || !helpShown ? lower : upper, mark);
    if (helpShown)
        DrawDecoration(target, IDB_POPUP_HELP_MARK, left, lower, mark);
    ::SelectObject(target, old);
    ::DeleteDC(target);
    return 1;
}

int CPopupAlert::Scaled(int pixels) const
{
    return ScaleForDpi(pixels, m_nDpi);
}

HBITMAP CPopupAlert::ScaledSkin(HBITMAP loaded) const
{
    if (m_nDpi == USER_DEFAULT_SCREEN_DPI)
        return loaded;
    const SIZE size = BitmapSize(loaded);
    HBITMAP scaled = StretchBitmapSmoothly(loaded, Scaled(size.cx), Scaled(size.cy));
    if (!scaled) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::ScaledSkin: the skin keeps its size at %u DPI", m_nDpi);
        return loaded;
    }
    ::DeleteObject(loaded);
    return scaled;
}

BYTE* CPopupAlert::Get24BitPixels(HBITMAP hBitmap, WORD* pwWidth, WORD* pwHeight)
{
    BITMAP info = {};
    if (!hBitmap || !pwWidth || !pwHeight || !::GetObjectW(hBitmap, sizeof(info), &info))
        return nullptr;
    // Rows of a width that is a multiple of 4 need no padding at 24 bits.
    const WORD width = static_cast<WORD>((info.bmWidth & 0xFFFF) & ~3);
    const WORD height = static_cast<WORD>(info.bmHeight & 0xFFFF);
    const size_t bytes = static_cast<size_t>(width) * height * 3;
    if (bytes == 0)
        return nullptr;
    BYTE* pixels = new (std::nothrow) BYTE[bytes];
    if (!pixels)
        return nullptr;
    BITMAPINFO header = {};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = -static_cast<LONG>(height);
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 24;
    header.bmiHeader.biCompression = BI_RGB;
    header.bmiHeader.biSizeImage = static_cast<DWORD>(bytes);
    HDC screen = ::GetDC(nullptr);
    const int lines = ::GetDIBits(screen, hBitmap, 0, height, pixels, &header, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    if (lines != height) {
        delete[] pixels;
        return nullptr;
    }
    *pwWidth = width;
    *pwHeight = height;
    return pixels;
}

HRGN CPopupAlert::GenerateRegion(HBITMAP hBitmap, BYTE red, BYTE green, BYTE blue)
{
    WORD width = 0;
    WORD height = 0;
    std::unique_ptr<BYTE[]> pixels(Get24BitPixels(hBitmap, &width, &height));
    if (!pixels)
        return nullptr;
    HRGN region = ::CreateRectRgn(0, 0, width, height);
    if (!region)
        return nullptr;
    const BYTE* pixel = pixels.get();
    for (WORD y = 0; y < height; ++y) {
        for (WORD x = 0; x < width; ++x, pixel += 3) {
            if (pixel[0] != blue || pixel[1] != green || pixel[2] != red)
                continue;
            HRGN dot = ::CreateRectRgn(x, y, x + 1, y + 1);
            if (dot) {
                ::CombineRgn(region, region, dot, RGN_XOR);
                ::DeleteObject(dot);
            }
        }
    }
    return region;
}

void CPopupAlert::ApplyRegion(HRGN region)
{
    if (!m_hWnd || !region)
        return;
    // The window owns the region it is given: it gets a copy of ours.
    HRGN copy = ::CreateRectRgn(0, 0, 0, 0);
    if (copy && ::CombineRgn(copy, region, nullptr, RGN_COPY) != ERROR) {
        if (::SetWindowRgn(m_hWnd, copy, TRUE))
            return;
    }
    if (copy)
        ::DeleteObject(copy);
}

int CPopupAlert::SetSkin(UINT nBitmapID, bool bCloseLink, bool bHelpLink, short red, short green, short blue)
{
    ScopedFunctionLog log(L"CPopupAlert::SetSkin");
    PrepareBackgroundBitmap(nBitmapID, bCloseLink, bHelpLink, m_bAutoUpdate);
    FitToSkin(m_bmpBackground.GetSafeHandle(), 63, red, green, blue);
    if (m_hProgressBar)
        ::SetWindowPos(m_hProgressBar, nullptr, Scaled(15), m_nHeight / 3, m_nWidth - Scaled(30), Scaled(15),
                       SWP_NOZORDER | SWP_NOACTIVATE);
    return 1;
}

int CPopupAlert::SetSkin(const wchar_t* pszBitmapFile, short red, short green, short blue)
{
    ScopedFunctionLog log(L"CPopupAlert::SetSkin");
    if (!pszBitmapFile)
        return 0;
    HBITMAP skin = static_cast<HBITMAP>(
        ::LoadImageW(nullptr, pszBitmapFile, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!skin) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::SetSkin: %s could not be loaded (0x%x)", pszBitmapFile,
                 ::GetLastError());
        return 0;
    }
    skin = ScaledSkin(skin);
    m_bmpBackground.Attach(skin);
    FitToSkin(skin, 30, red, green, blue);
    return 1;
}

void CPopupAlert::FitToSkin(HBITMAP skin, int linkBottomInset, short red, short green, short blue)
{
    SIZE size = BitmapSize(skin);
    if (!skin)
        size = SIZE{Scaled(kFallbackWidth), Scaled(kFallbackHeight)};
    m_nWidth = size.cx;
    m_nHeight = size.cy;
    const int w = m_nWidth;
    const int h = m_nHeight;
    m_rcText = CRect(Scaled(40), Scaled(13), w - Scaled(5), h - Scaled(m_nBottomMargin + m_nLinkAreaHeight));
    m_rcProceedLink = m_rcCloseLink = CRect(0, h - Scaled(78), w, h - Scaled(linkBottomInset));
    m_rcBottom = CRect(0, h - Scaled(m_nBottomMargin), w, h);
    // A colour of 65535 or more in any part means no transparent colour: the
    // popup stays a rectangle.
    if (static_cast<unsigned short>(red) < 65535 && static_cast<unsigned short>(green) < 65535 &&
        static_cast<unsigned short>(blue) < 65535 && skin) {
        HRGN region = GenerateRegion(skin, static_cast<BYTE>(red), static_cast<BYTE>(green), static_cast<BYTE>(blue));
        if (region) {
            if (m_hRegion)
                ::DeleteObject(m_hRegion);
            m_hRegion = region;
            ApplyRegion(m_hRegion);
        }
    }
}

void CPopupAlert::SetTextFont(const wchar_t* pszFace, int nPointSize, int nTextStyle, int nLinkStyle)
{
    ScopedFunctionLog log(L"CPopupAlert::SetTextFont");
    const int dpi = static_cast<int>(m_hWnd ? m_nDpi : DpiOf(nullptr));
    for (auto [font, style] : {std::pair<CFont*, int>{&m_fontText, nTextStyle}, {&m_fontLink, nLinkStyle}}) {
        LOGFONTW lf = {};
        lf.lfHeight = -::MulDiv(nPointSize, dpi, 720);
        lf.lfWeight = (style & 1) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = (style & 2) ? TRUE : FALSE;
        lf.lfUnderline = (style & 4) ? TRUE : FALSE;
        lf.lfCharSet = DEFAULT_CHARSET;
        if (pszFace)
            wcsncpy(lf.lfFaceName, pszFace, LF_FACESIZE - 1);
        font->CreateFontIndirect(&lf);
    }
}

void CPopupAlert::SetTextColor(COLORREF crText, COLORREF crLink)
{
    m_crText = crText;
    m_crLink = crLink;
    if (m_hWnd)
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CPopupAlert::SetTextRect(RECT rc)
{
    m_rcText = rc;
}

void CPopupAlert::SetReader(const wchar_t* reader)
{
    m_sReader = reader;
}

void CPopupAlert::SetMessage(const wchar_t* message)
{
    m_sMessage = message;
}

void CPopupAlert::SetThreadRoutine(DWORD(WINAPI* pfn)(void*))
{
    ScopedFunctionLog log(L"CPopupAlert::SetThreadRoutine");
    if (!m_hWnd) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::SetThreadRoutine: the popup has no window");
        return;
    }
    if (!pfn) {
        // Nothing would ever replace the progress bar: the popup shows its
        // message as it is.
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::SetThreadRoutine: no worker routine");
        return;
    }
    RECT client = {};
    GetClientRect(&client);
    if (m_hProgressBar && ::IsWindow(m_hProgressBar))
        ::DestroyWindow(m_hProgressBar);
    ScopedPerMonitorDpiAwareness dpiAwareness; // as its popup
    m_hProgressBar = ::CreateWindowExW(0, kProgressBarClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, Scaled(15),
                                       Scaled(20), std::max(0L, client.right - Scaled(30)), Scaled(15), m_hWnd,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressBarId)),
                                       ::GetModuleHandleW(nullptr), nullptr);
    m_bWorkerAnswered = false;
    DeleteReaderSubscriber();
    if (!m_sReader.IsEmpty())
        m_pReaderSubscriber = new (std::nothrow) VKDelegateSubscriberCardRemoved(this, g_uCardRemovedEvent, m_sReader);
    else
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::SetThreadRoutine: Reader name empty => no register to vkevent");
    HANDLE thread = ::CreateThread(nullptr, 0, pfn, m_hWnd, 0, nullptr);
    if (thread)
        ::CloseHandle(thread);
    else
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::SetThreadRoutine: CreateThread failed (0x%x)", ::GetLastError());
}

std::unique_ptr<CHtmlText> CPopupAlert::MakeMessageControl(const CRect& rect, const wchar_t* text, COLORREF color)
{
    auto control = std::make_unique<CHtmlText>();
    if (!control->Create(WS_CHILD | WS_VISIBLE, rect, m_hWnd, kMessageCtrlId))
        return nullptr;
    control->SetMargins(Scaled(5), Scaled(5));
    control->SetColors(color, kOnSkinLink);
    control->SetFont(m_fontControls.GetSafeHandle(), FALSE);
    control->SetText(text);
    return control;
}

std::unique_ptr<CHtmlText> CPopupAlert::MakeLink(UINT linkMessage, const CRect& rect, const CSecStr& text, bool visible)
{
    auto control = std::make_unique<CHtmlText>();
    if (!control->Create(WS_CHILD | (visible ? WS_VISIBLE : 0), rect, m_hWnd, kLinkCtrlId))
        return nullptr;
    control->SetMargins(Scaled(45), 0);
    control->SetColors(kOnSkinText, kOnSkinLink);
    control->SetLinkMessage(linkMessage);
    control->SetFont(m_fontControls.GetSafeHandle(), FALSE);
    control->SetText(LinkMarkup(text));
    return control;
}

bool CPopupAlert::InitWindow(HWND hParent, int iWndType, DWORD dwParentThreadID)
{
    ScopedFunctionLog log(L"CPopupAlert::InitWindow");
    if (!m_hWnd || GetCurrentThreadId() != m_dwWindowThread) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CPopupAlert::InitWindow: the popup has no window on this thread");
        return false;
    }
    m_bAutoUpdate = false;
    m_iWndType = iWndType;
    m_dwParentThreadID = dwParentThreadID;
    m_bDisplayHelp = IsHelpInstalled();
    DeleteChildren();
    // The children and the drawn parts follow the popup's window.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    m_nDpi = DpiOf(m_hWnd);

    CSecStr text;
    DWORD wait = 0;
    bool allowed = true;
    bool closeLink = false;
    bool helpLink = false;
    UINT icon = 0;
    bool subscribe = false;
    switch (iWndType) {
    case DIALOG_POPUP_NO_READER:
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::InitWindow: iWndType = DIALOG_POPUP_NO_READER");
        closeLink = helpLink = true;
        allowed = GetRegistryParameters(text, &wait, iWndType);
        icon = IDI_POPUP_NO_READER;
        break;
    case DIALOG_POPUP_CARD_ALERT:
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::InitWindow: iWndType = DIALOG_POPUP_CARD_ALERT");
        closeLink = true;
        allowed = GetRegistryParameters(text, &wait, iWndType);
        subscribe = true;
        icon = IDI_POPUP_CARD_ALERT;
        break;
    case DIALOG_POPUP_CARD_OTP: {
        vklogLog(kGuiTag, VKLOG_INFO, L"iWndType = DIALOG_POPUP_CARD_OTP");
        closeLink = helpLink = true;
        text = m_sMessage;
        m_sMessage.Empty();
        CSecStr unused;
        allowed = GetRegistryParameters(unused, &wait, iWndType);
        icon = IDI_POPUP_OTP;
        break;
    }
    case DIALOG_POPUP_AUTOUPDATE_START:
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::InitWindow: iWndType = DIALOG_POPUP_AUTOUPDATE_START");
        closeLink = true;
        m_bAutoUpdate = true;
        allowed = GetRegistryParameters(text, &wait, iWndType);
        subscribe = true;
        icon = IDI_POPUP_CARD_ALERT;
        break;
    default:
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::InitWindow: iWndType = %d", iWndType);
        break;
    }
    if (subscribe) {
        DeleteCardRemovedSubscriber();
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::InitWindow: creating subscriber (card removal)");
        m_pCardRemovedSubscriber = new (std::nothrow) CCardRemoved(this);
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::InitWindow: subscriber (card removal) created: 0x%x",
                 HandleBits(m_pCardRemovedSubscriber));
    }
    if (iWndType == DIALOG_POPUP_NO_READER || iWndType == DIALOG_POPUP_CARD_ALERT)
        TakeForeground(m_hWnd);

    const int skinSet = SetSkin(IDB_POPUP_SKIN, closeLink, helpLink, -1, -1, -1);
    m_nAppearDuration = m_nDisappearDuration = kPhaseMs;
    SetTextColor(0x000000, 0xB59285);
    m_hIcon.Attach(icon ? LoadIconForDpi(g_hResourceModule, icon, 24, m_nDpi) : nullptr);
    m_sText = text;
    m_nWaitDuration = wait;

    LOGFONTW lf = {};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    lf.lfHeight = -Scaled(11);
    m_fontControls.CreateFontIndirect(&lf);
    lf.lfWeight = FW_BOLD;
    m_fontCaption.CreateFontIndirect(&lf);

    CRect messageRect = m_rcText;
    messageRect.bottom -= Scaled(15);
    m_pMessageCtrl = MakeMessageControl(messageRect, m_sText, kOnSkinText);

    const CSecStr caption = LoadResourceString(IDS_POPUP_CAPTION);
    CSecStr title = m_sText;
    if (!m_hProgressBar)
        title += caption;
    if (!helpLink || !m_bDisplayHelp) {
        m_rcCloseLink.top = m_rcCloseLink.bottom + Scaled(5);
        m_rcCloseLink.bottom = m_rcCloseLink.top + Scaled(15);
    }
    m_rcCloseLink.OffsetRect(0, -Scaled(15));
    const CSecStr closeText = LoadResourceString(IDS_POPUP_CLOSE_LINK);
    const bool closeShown = closeLink && !m_hProgressBar;
    m_pCloseLinkCtrl = MakeLink(WM_POPUPALERT_CLICKED, m_rcCloseLink, closeText, closeShown);
    if (closeShown)
        title += closeText;

    m_rcProceedLink.OffsetRect(0, -Scaled(15));
    const CSecStr proceedText = LoadResourceString(IDS_POPUP_PROCEED_LINK);
    const bool proceedShown = m_bAutoUpdate && !m_hProgressBar;
    m_pProceedLinkCtrl = MakeLink(WM_POPUPALERT_PROCEEDCLICKED, m_rcProceedLink, proceedText, proceedShown);
    if (proceedShown)
        title += proceedText;

    CRect captionRect = m_bAutoUpdate ? m_rcProceedLink : m_rcCloseLink;
    captionRect.OffsetRect(0, -Scaled(21));
    m_pCaptionCtrl = std::make_unique<CHtmlText>();
    if (m_pCaptionCtrl->Create(WS_CHILD | WS_VISIBLE, captionRect, m_hWnd, kMessageCtrlId)) {
        m_pCaptionCtrl->SetMargins(Scaled(45), 0);
        m_pCaptionCtrl->SetColors(kOnSkinText, kOnSkinLink);
        m_pCaptionCtrl->SetFont(m_fontCaption.GetSafeHandle(), FALSE);
        m_pCaptionCtrl->SetText(caption);
    } else {
        m_pCaptionCtrl.reset();
    }

    m_rcCloseLink.top = m_rcCloseLink.bottom + Scaled(5);
    m_rcCloseLink.bottom = m_rcCloseLink.top + Scaled(15);
    const CSecStr helpText = LoadResourceString(IDS_POPUP_HELP_LINK);
    const bool helpShown = helpLink && m_bDisplayHelp && !m_hProgressBar;
    m_pHelpLinkCtrl = MakeLink(WM_POPUPALERT_HELPCLICKED, m_rcCloseLink, helpText, helpShown);
    if (helpShown)
        title += helpText;

    SetWindowText(title);
    if (hParent && hParent != m_hWndParent) {
        m_hWndParent = hParent;
        // A popup window is owned, not parented: the owner is what changes.
        ::SetWindowLongPtrW(m_hWnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(hParent));
    }
    return skinSet != 0 && allowed;
}
