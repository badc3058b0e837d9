// The HTML text control on real windows: what it shows over its parent, where
// its links are, and what reaches the parent when they are clicked.
#include "AccessibleReader.h"
#include "TestParentWindow.h"
#include "UiDriver.h"
#include "popup/HtmlText.h"
#include "popup/ProgressBar.h"

#include "pinrc_ids.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr UINT kLinkMessage = 1224;
constexpr COLORREF kLinkColor = RGB(255, 0, 0);

bool IsLinkInk(COLORREF c)
{
    return GetRValue(c) > 150 && GetGValue(c) < 110 && GetBValue(c) < 110;
}
bool IsTextInk(COLORREF c)
{
    return GetRValue(c) < 30 && GetGValue(c) < 120 && GetBValue(c) < 30;
}
bool IsInk(COLORREF c)
{
    return c != kParentBackground;
}

class HtmlTextWindow : public TestParentWindow {
protected:
    HWND Make(const std::wstring& markup, int width, int height, int x = 10, int y = 10)
    {
        HWND control = MakeChild(kHtmlTextClass, markup.c_str(), 0, x, y, width, height);
        SendMessageW(control, HTM_SETCOLORS, RGB(0, 0, 0), kLinkColor);
        EXPECT_EQ(1, SendMessageW(control, HTM_SETLINKMESSAGE, kLinkMessage, 0));
        return control;
    }

    // Presses and releases the mouse on `control` as a click does, and lets the messages
    // through; returns what reached the parent.
    static std::vector<UINT> ClickAt(HWND control, POINT press, POINT release)
    {
        Received().clear();
        PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(press.x, press.y));
        PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(release.x, release.y));
        Pump();
        return Received();
    }
};

// A screen reader hears the popup's own controls as what they are: the
// HTML text by its words (never its markup), the activity bar as a progress
// bar that is busy while it runs and has no amount to tell.
class PopupControlAccessibility : public TestParentWindow {};

TEST_F(PopupControlAccessibility, TellsScreenReadersTheNameRoleAndStateOfEachControl)
{
    struct Case {
        const wchar_t* className;
        const wchar_t* text;
        DWORD style;
        const wchar_t* name;
        long role;
        long state; // bits that must be set
        long notState; // bits that must not
    };
    const Case cases[] = {
        {kHtmlTextClass, L"<b>Card</b> removed.<br>Insert it <a href=\"x\">again</a>", 0,
         L"Card removed.\nInsert it again", ROLE_SYSTEM_STATICTEXT, STATE_SYSTEM_READONLY, 0},
        {kProgressBarClass, L"", 0, nullptr, ROLE_SYSTEM_PROGRESSBAR, STATE_SYSTEM_BUSY, 0},
        {kProgressBarClass, L"", WS_DISABLED, nullptr, ROLE_SYSTEM_PROGRESSBAR, 0, STATE_SYSTEM_BUSY},
    };
    for (const Case& c : cases) {
        HWND control = MakeChild(c.className, c.text, c.style, 10, 10, 300, 60);
        const AccessibleView seen = ReadAccessible(control);
        ASSERT_TRUE(seen.found) << c.className;
        if (c.name) {
            EXPECT_EQ(c.name, seen.name) << c.className;
        }
        EXPECT_EQ(c.role, seen.role) << c.className;
        EXPECT_EQ(c.state, seen.state & c.state) << c.className << " " << std::hex << seen.state;
        EXPECT_EQ(0, seen.state & c.notState) << c.className << " " << std::hex << seen.state;
        if (c.className == kProgressBarClass) {
            EXPECT_TRUE(SUCCEEDED(seen.valueResult) && seen.value.empty()) << std::hex << seen.valueResult;
        }
        DestroyWindow(control);
    }
}

// A link is a link to a screen reader, and its action is a click on it;
// a grey link takes no action from a screen reader either.
TEST_F(HtmlTextWindow, ALinkTellsScreenReadersItIsOneAndTheirActionClicksIt)
{
    HWND control = Make(L"<a href=\"close\">Close</a>", 200, 30);
    const struct {
        BOOL enabled;
        std::vector<UINT> sent;
    } cases[] = {{TRUE, {kLinkMessage}}, {FALSE, {}}};
    for (const auto& c : cases) {
        EnableWindow(control, c.enabled);
        Received().clear();
        const AccessibleView seen = ReadAccessible(control, true);
        Pump();
        EXPECT_EQ(L"Close", seen.name);
        EXPECT_EQ(ROLE_SYSTEM_LINK, seen.role);
        EXPECT_EQ(STATE_SYSTEM_LINKED, seen.state & STATE_SYSTEM_LINKED);
        EXPECT_EQ(L"Jump", seen.defaultAction);
        EXPECT_EQ(c.enabled ? S_OK : E_FAIL, seen.actionResult);
        EXPECT_EQ(c.sent, Received()) << "enabled " << c.enabled;
    }
    // Without a message to send it is no link, only text.
    EnableWindow(control, TRUE);
    SendMessageW(control, HTM_SETLINKMESSAGE, 0, 0);
    EXPECT_EQ(ROLE_SYSTEM_STATICTEXT, ReadAccessible(control).role);
}

// A click on a link, and only there, sends the link message; values nobody
// should send leave its settings as they were, and huge text is kept whole.
TEST_F(HtmlTextWindow, KeepsItsMarkupAndSendsTheLinkMessageOnlyForAClickOnALink)
{
    const std::wstring markup = L"Your card <b>was removed</b>. <a href=\"close\">Close</a> this notice, please.";
    HWND control = Make(markup, 400, 40);
    EXPECT_EQ(markup, uidriver::TextOf(control));

    const uidriver::Pixels pixels = uidriver::CaptureClient(control);
    const RECT link = pixels.BoxOf(IsLinkInk);
    const RECT text = pixels.BoxOf(IsTextInk);
    ASSERT_LT(link.left, link.right) << "the link is not drawn in its colour";
    ASSERT_LT(text.left, link.left) << "the text before the link is not drawn";
    const POINT onLink = {(link.left + link.right) / 2, (link.top + link.bottom) / 2};
    const POINT onLinkEdge = {link.left + 1, onLink.y};
    const POINT before = {link.left - 12, onLink.y};
    const POINT after = {link.right + 30, onLink.y};
    const POINT below = {onLink.x, link.bottom + 12};
    const struct {
        POINT press;
        POINT release;
        size_t sent;
    } clicks[] = {
        {onLink, onLink, 1}, {onLinkEdge, onLinkEdge, 1}, {before, before, 0}, {after, after, 0},
        {below, below, 0},   {before, onLink, 0},         {onLink, after, 0},
    };
    for (const auto& click : clicks) {
        const std::vector<UINT> sent = ClickAt(control, click.press, click.release);
        EXPECT_EQ(click.sent, sent.size()) << click.press.x << "," << click.press.y << " to " << click.release.x;
        if (!sent.empty()) {
            EXPECT_EQ(kLinkMessage, sent[0]);
        }
    }
    // Refused: a system message as the link message, from this thread or
    // another; a module handle that is no module (and below, a handle that
    // is no font).
    EXPECT_EQ(0, SendMessageW(control, HTM_SETLINKMESSAGE, WM_CLOSE, 0));
    EXPECT_EQ(0, SendMessageW(control, HTM_SETLINKMESSAGE, 0xC000, 0));
    std::atomic<LRESULT> fromElsewhere{-1};
    std::thread other([control, &fromElsewhere] { fromElsewhere = SendMessageW(control, HTM_SETLINKMESSAGE, 1300, 0); });
    EXPECT_TRUE(uidriver::WaitUntil([&] {
        Pump();
        return fromElsewhere.load() != -1;
    }));
    other.join();
    EXPECT_EQ(0, fromElsewhere.load());
    EXPECT_EQ(0, SendMessageW(control, HTM_SETIMAGEMODULE, 0, reinterpret_cast<LPARAM>(control)));
    EXPECT_EQ(std::vector<UINT>{kLinkMessage}, ClickAt(control, onLink, onLink)) << "a refused value replaced it";

    // Nothing for a disabled control, nor without a message to send.
    EnableWindow(control, FALSE);
    EXPECT_TRUE(ClickAt(control, onLink, onLink).empty());
    EnableWindow(control, TRUE);
    EXPECT_EQ(1, SendMessageW(control, HTM_SETLINKMESSAGE, 0, 0));
    EXPECT_TRUE(ClickAt(control, onLink, onLink).empty());

    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(BLACK_BRUSH)), TRUE);
    EXPECT_EQ(font, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SendMessageW(control, HTM_SETMARGINS, static_cast<WPARAM>(-5), static_cast<LPARAM>(~0u >> 1));
    std::wstring huge;
    for (int i = 0; i < 10000; ++i)
        huge += i % 2 ? L"<b>" : L"<table><tr><td>";
    while (huge.size() < 100000)
        huge += L"word&amp;<i>word</i> &#x1F600; ";
    SetWindowTextW(control, huge.c_str());
    EXPECT_EQ(huge, uidriver::TextOf(control));
    EXPECT_TRUE(uidriver::WaitPainted(control));
    EXPECT_GE(SendHostileTraffic(m_parent, 10, -1, true), 0);
    EXPECT_TRUE(IsWindow(control));
}

TEST_F(HtmlTextWindow, WrapsWordsWithinItsMarginsAndDrawsColoursImagesAndTableColumns)
{
    const std::wstring words = L"The card in the reader is about to expire. Please renew it soon at your office.";
    HWND wide = Make(words, 680, 30);
    const RECT oneLine = uidriver::CaptureClient(wide).BoxOf(IsInk);
    ASSERT_LT(oneLine.top, oneLine.bottom);
    const int lineHeight = oneLine.bottom - oneLine.top;

    HWND narrow = Make(words, 150, 200, 10, 60);
    SendMessageW(narrow, HTM_SETMARGINS, 12, 9);
    const uidriver::Pixels pixels = uidriver::CaptureClient(narrow);
    const RECT wrapped = pixels.BoxOf(IsInk);
    EXPECT_GE(wrapped.left, 12);
    EXPECT_GE(wrapped.top, 9);
    EXPECT_LT(wrapped.right, 150) << "a line runs to the edge: cut, not wrapped";
    EXPECT_GT(wrapped.bottom - wrapped.top, 4 * lineHeight) << "the text is not on several lines";
    // The parent shows through wherever there is no text.
    EXPECT_EQ(kParentBackground, pixels.At(pixels.width - 1, pixels.height - 1));
    EXPECT_EQ(kParentBackground, pixels.At(0, 0));

    const std::wstring markup = L"<table><tr><td><font color='#0000FF'>left cell</font></td>"
                                L"<td><a href=x>right cell</a></td></tr>"
                                L"<tr><td><img src=\"#" + std::to_wstring(IDB_PIN_BANNER) + L"\"></td></tr></table>";
    const uidriver::Pixels table = uidriver::CaptureClient(Make(markup, 520, 200, 170, 60));
    const RECT blue =
        table.BoxOf([](COLORREF c) { return GetBValue(c) > 150 && GetRValue(c) < 110 && GetGValue(c) < 110; });
    const RECT red = table.BoxOf(IsLinkInk);
    ASSERT_LT(blue.left, blue.right) << "the font colour is not drawn";
    ASSERT_LT(red.left, red.right);
    EXPECT_GT(red.left, blue.right) << "the second column does not start after the first";
    EXPECT_LT(red.top, blue.bottom) << "the cells of a row are not side by side";
    EXPECT_GT(blue.bottom, red.top);
    // The banner of the library's resource module, in the row below.
    const RECT ink = table.BoxOf(IsInk);
    EXPECT_GE(ink.bottom - blue.bottom, 65);
    EXPECT_GE(ink.right - ink.left, 390);
}

} // namespace
