// The edit on a system whose password edits show no caps-lock balloon: it
// shows, places and hides a balloon of its own.
#include "CapsLockFixture.h"

namespace {

constexpr int kMinimumTop = 55;

class OwnBalloonTest : public CapsLockEditTest {
protected:
    // Puts the edit's top-left corner at (x, y) on the screen.
    void MoveEditTo(int x, int y)
    {
        RECT dialog;
        RECT edit;
        GetWindowRect(m_host.m_hWnd, &dialog);
        GetWindowRect(m_edit, &edit);
        SetWindowPos(m_host.m_hWnd, nullptr, dialog.left + (x - edit.left), dialog.top + (y - edit.top), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    bool ShowBalloon()
    {
        SetFocus(GetDlgItem(m_host.m_hWnd, IDC_TEST_OTHER));
        SetCapsLock(true);
        SetFocus(m_edit);
        return PumpUntil([this] { return BalloonVisible(); });
    }
};

TEST_F(OwnBalloonTest, ShowsWhenFocusedWithCapsLockOnOnly)
{
    SetFocus(GetDlgItem(m_host.m_hWnd, IDC_TEST_OTHER));
    SetFocus(m_edit);
    PumpUntil([] { return false; }, 200);
    EXPECT_FALSE(BalloonVisible()) << "Caps Lock off";

    ASSERT_TRUE(ShowBalloon());
    EXPECT_EQ(ResourceString(GetModuleHandleW(L"vk.velkor.gui.pinrc.dll"), IDS_CAPSLOCK_PIN_TEXT),
              TipText(OwnBalloon()));
}

TEST_F(OwnBalloonTest, IsPlacedAboveTheEditUnlessTheScreenEdgesForbidIt)
{
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    struct Case {
        const char* name;
        int x;
        int y;
    };
    const Case cases[] = {
        {"middle", 300, 400},
        {"near the top", 300, 10},
        {"near the right edge", screenWidth - 60, 400},
        {"left of the screen", -4, 400},
    };
    for (const Case& c : cases) {
        MoveEditTo(c.x, c.y);
        ASSERT_TRUE(ShowBalloon()) << c.name;
        HWND balloon = OwnBalloon();
        // Placement happens as the balloon shows; hide and show again at the new place.
        RECT e;
        RECT b;
        GetWindowRect(m_edit, &e);
        GetWindowRect(balloon, &b);
        int w = b.right - b.left;
        int h = b.bottom - b.top;
        int y = e.top - h + 4 < kMinimumTop ? e.bottom - 8 : e.top - h + 4;
        int x = e.left < 0 ? 0 : (e.left + w > screenWidth ? screenWidth - w : e.left);
        EXPECT_EQ(x, b.left) << c.name;
        EXPECT_EQ(y, b.top) << c.name;
        m_host.m_edit.ResetToolTip();
        ASSERT_TRUE(PumpUntil([this] { return !BalloonVisible(); })) << c.name;
        SetFocus(nullptr);
    }
}

TEST_F(OwnBalloonTest, TypingHidesItButEditingAndNavigationKeysDoNot)
{
    struct Case {
        UINT key;
        bool hides;
    };
    for (Case c : {Case{VK_BACK, false}, Case{VK_TAB, false}, Case{VK_SHIFT, false}, Case{'A', true},
                   Case{'7', true}}) {
        ASSERT_TRUE(ShowBalloon()) << c.key;
        SendMessageW(m_edit, WM_KEYUP, c.key, 0xC0000001);
        PumpUntil([] { return false; }, 50);
        EXPECT_EQ(!c.hides, BalloonVisible()) << "key " << c.key;
        m_host.m_edit.ResetToolTip();
        PumpUntil([this] { return !BalloonVisible(); });
        SetFocus(nullptr);
    }
}

TEST_F(OwnBalloonTest, HidesWhenCapsLockGoesOffOrTheEditLosesFocus)
{
    ASSERT_TRUE(ShowBalloon());
    SetCapsLock(false);
    SendMessageW(m_edit, WM_KEYUP, VK_CAPITAL, 0xC0000001);
    EXPECT_TRUE(PumpUntil([this] { return !BalloonVisible(); })) << "Caps Lock off";

    ASSERT_TRUE(ShowBalloon());
    SetFocus(GetDlgItem(m_host.m_hWnd, IDC_TEST_OTHER));
    EXPECT_TRUE(PumpUntil([this] { return !BalloonVisible(); })) << "focus elsewhere";
}

} // namespace
