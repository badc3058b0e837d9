// The HTML text control on real windows: what it shows over its parent, where
// its links are, and what reaches the parent when they are clicked.
#include "Fixtures.h"
#include "UiDriver.h"
#include "popup/HtmlText.h"

#include "pinrc_ids.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr UINT kLinkMessage = 1224;
constexpr COLORREF kBackground = RGB(40, 160, 40);
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
    return c != kBackground;
}

// A green top-level window whose HTML text children are made by the tests;
// it records the messages they send it.
class HtmlTextWindow : public ::testing::Test {
protected:
    static std::vector<UINT>& Received()
    {
        static std::vector<UINT> received;
        return received;
    }
    static LRESULT CALLBACK ParentProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg >= WM_USER && msg <= 0xBFFF)
            Received().push_back(msg);
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    }

    void SetUp() override
    {
        // The library registers the control's class when it is attached.
        static HMODULE library = LoadLibraryW((BinDirectory() + L"vk.velkor.gui.dll").c_str());
        ASSERT_NE(nullptr, library);
        static HBRUSH brush = CreateSolidBrush(kBackground);
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = brush;
        wc.lpszClassName = L"VkHtmlTestParent";
        RegisterClassW(&wc);
        m_parent = CreateWindowExW(WS_EX_TOPMOST, L"VkHtmlTestParent", L"", WS_POPUP | WS_VISIBLE, 40, 40, 700, 500,
                                   nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(nullptr, m_parent);
        Received().clear();
    }
    void TearDown() override { DestroyWindow(m_parent); }

    HWND Make(const std::wstring& markup, int width, int height, int x = 10, int y = 10)
    {
        HWND control = CreateWindowExW(0, kHtmlTextClass, markup.c_str(), WS_CHILD | WS_VISIBLE, x, y, width, height,
                                       m_parent, nullptr, GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(nullptr, control);
        SendMessageW(control, HTM_SETCOLORS, RGB(0, 0, 0), kLinkColor);
        EXPECT_EQ(1, SendMessageW(control, HTM_SETLINKMESSAGE, kLinkMessage, 0));
        return control;
    }

    // Clicks at `pt` of `control` as the mouse does, and lets the messages
    // through; returns what reached the parent.
    static std::vector<UINT> ClickAt(HWND control, POINT pt)
    {
        Received().clear();
        PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
        PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
        Pump();
        return Received();
    }
    static void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    HWND m_parent = nullptr;
};

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
    const int midY = (link.top + link.bottom) / 2;
    const struct {
        POINT at;
        size_t sent;
    } clicks[] = {
        {{(link.left + link.right) / 2, midY}, 1},
        {{link.left + 1, midY}, 1},
        {{link.left - 12, midY}, 0},        // the text before it
        {{link.right + 30, midY}, 0},       // the text after it
        {{(link.left + link.right) / 2, link.bottom + 12}, 0},
    };
    for (const auto& click : clicks) {
        const std::vector<UINT> sent = ClickAt(control, click.at);
        EXPECT_EQ(click.sent, sent.size()) << click.at.x << "," << click.at.y;
        if (!sent.empty()) {
            EXPECT_EQ(kLinkMessage, sent[0]);
        }
    }
    const POINT onLink = clicks[0].at;
    // A press elsewhere released on the link is no click on it.
    Received().clear();
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(onLink.x, onLink.y));
    Pump();
    EXPECT_TRUE(Received().empty());
    // Nothing for a disabled control, nor without a message to send.
    EnableWindow(control, FALSE);
    EXPECT_TRUE(ClickAt(control, onLink).empty());
    EnableWindow(control, TRUE);
    EXPECT_EQ(1, SendMessageW(control, HTM_SETLINKMESSAGE, 0, 0));
    EXPECT_TRUE(ClickAt(control, onLink).empty());
}

TEST_F(HtmlTextWindow, WrapsWordsWithinItsWidthBelowItsMargins)
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
    EXPECT_EQ(kBackground, pixels.At(pixels.width - 1, pixels.height - 1));
    EXPECT_EQ(kBackground, pixels.At(0, 0));
}

} // namespace
