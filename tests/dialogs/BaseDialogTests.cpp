#include "Fixtures.h"
#include "MemoryScan.h"
#include "ScopedGdi.h"
#include "TestDialogs.h"

#include "dialogs/BaseDialog.h"
#include "dialogs/CapsLockSensitiveEdit.h"
#include "dialogs/ChangePINDialog.h"
#include "events/DetectCardRemovedDlg.h"
#include "policies/VKPoliciesDlg.h"
#include "popup/PopupAlert.h"
#include "unlock/DisplayUnlockCodeDlg.h"
#include "unlock/InitializePinDlg.h"
#include "unlock/ResetCardDialog.h"
#include "unlock/UnlockCardDlg.h"
#include "unlock/UnlockOutcomeDlgs.h"

#include <gtest/gtest.h>

#include <memory>
#include <type_traits>

namespace {

// The exported classes own their windows, balloons, pages and subscribers:
// a copy or a move would destroy or free them twice, so none is allowed.
template <class... T>
constexpr bool kNoneCanBeCopiedOrMoved =
    ((!std::is_copy_constructible_v<T> && !std::is_copy_assignable_v<T> && !std::is_move_constructible_v<T> &&
      !std::is_move_assignable_v<T>) && ...);
static_assert(kNoneCanBeCopiedOrMoved<CDialog, CBaseDialog, CCapsLockSensitiveEdit, CVKActivatedDlg,
                                      VKDetectCardRemovedDlg, CChangePINDialog, VKPoliciesDlg, CPopupAlert,
                                      CDisplayUCChild, CDisplayUnlockCodeDlg, CInitializePinDlg, CResetCardDialog,
                                      CResetCardDialogMain, CUnlockCardDlg, CUnlockFailedDlg, CUnlockSuccessDlg,
                                      CUnlockInitToolDlg>);

// A page as a host module builds one: its own template, created modeless.
class TestPage : public CBaseDialog {
public:
    TestPage(int backgroundFlag, RECT* position) : CBaseDialog(IDD_TEST_PAGE, backgroundFlag, position, nullptr) {}
    BOOL Open() { return Create(IDD_TEST_PAGE, nullptr); }
    using CBaseDialog::HidePinFromMemory;
};

CRect WindowRectOf(HWND window)
{
    CRect r;
    GetWindowRect(window, &r);
    return r;
}

TEST(BaseDialog, OpensAtTheGivenTopLeftCorner)
{
    struct Case {
        const char* name;
        bool hasPosition;
        RECT position;
        POINT expected;
    };
    const Case cases[] = {
        {"no rectangle", false, {}, {0, 0}},
        {"inside", true, {300, 200, 310, 210}, {300, 200}},
        {"partly off the screen", true, {-50, 40, 0, 0}, {-50, 40}},
    };
    for (const Case& c : cases) {
        RECT position = c.position;
        TestPage page(0, c.hasPosition ? &position : nullptr);
        ASSERT_TRUE(page.Open()) << c.name;
        CRect r = WindowRectOf(page.m_hWnd);
        EXPECT_EQ(c.expected.x, r.left) << c.name;
        EXPECT_EQ(c.expected.y, r.top) << c.name;
        page.DestroyWindow();
    }
}

TEST(BaseDialog, ResizeDlgShrinksTheDialogOrOneControlAndKeepsItsPlace)
{
    struct Case {
        const char* name;
        unsigned control;
        int dx;
        int dy;
        bool resized; // a control the dialog lacks changes nothing
    };
    const Case cases[] = {
        {"dialog lower", 0, 0, 40, true},
        {"dialog larger", 0, -30, -20, true},
        {"edit narrower", IDC_TEST_EDIT, 10, 0, true},
        {"edit both", IDC_TEST_EDIT, 4, 6, true},
        {"missing control", 4242, 10, 10, false},
    };
    for (const Case& c : cases) {
        RECT position = {100, 100, 0, 0};
        TestPage page(0, &position);
        ASSERT_TRUE(page.Open());
        HWND target = c.resized && c.control ? GetDlgItem(page.m_hWnd, static_cast<int>(c.control)) : page.m_hWnd;
        CRect before = WindowRectOf(target);
        page.ResizeDlg(c.control, c.dx, c.dy);
        CRect after = WindowRectOf(target);
        EXPECT_EQ(before.Width() - (c.resized ? c.dx : 0), after.Width()) << c.name;
        EXPECT_EQ(before.Height() - (c.resized ? c.dy : 0), after.Height()) << c.name;
        EXPECT_EQ(before.left, after.left) << c.name;
        EXPECT_EQ(before.top, after.top) << c.name;
        page.DestroyWindow();
    }
}

COLORREF BrushColor(HBRUSH brush)
{
    LOGBRUSH lb = {};
    GetObjectW(brush, sizeof(lb), &lb);
    return lb.lbColor;
}

// With the flag, controls are painted transparently on the window colour,
// and follow a change of it.
TEST(BaseDialog, BackgroundFlagPaintsControlsTransparentlyOnTheWindowColour)
{
    for (int flag : {0, 1}) {
        TestPage page(flag, nullptr);
        ASSERT_TRUE(page.Open());
        HWND label = GetDlgItem(page.m_hWnd, IDC_TEST_LABEL);
        auto colorStatic = [&](HDC dc) {
            return reinterpret_cast<HBRUSH>(SendMessageW(page.m_hWnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                         reinterpret_cast<LPARAM>(label)));
        };
        ScopedGetDC dc(label);
        SetBkMode(dc, OPAQUE);
        SetTextColor(dc, RGB(1, 2, 3));
        HBRUSH brush = colorStatic(dc);
        if (!flag) {
            EXPECT_EQ(OPAQUE, GetBkMode(dc)) << "the default keeps the background opaque";
            EXPECT_EQ(GetSysColorBrush(COLOR_BTNFACE), brush);
            page.DestroyWindow();
            continue;
        }
        ASSERT_NE(nullptr, brush);
        EXPECT_EQ(GetSysColor(COLOR_WINDOW), BrushColor(brush));
        EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
        EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), GetTextColor(dc));
        EXPECT_EQ(GetSysColor(COLOR_WINDOW), GetBkColor(dc));

        const int element = COLOR_WINDOW;
        const COLORREF original = GetSysColor(COLOR_WINDOW);
        const COLORREF changed = RGB(10, 120, 230);
        SetSysColors(1, &element, &changed);
        SendMessageW(page.m_hWnd, WM_SYSCOLORCHANGE, 0, 0);
        const COLORREF seen = BrushColor(colorStatic(dc));
        SetSysColors(1, &element, &original);
        EXPECT_EQ(changed, seen) << "after a change of the window colour";
        page.DestroyWindow();
    }
}

TEST(BaseDialog, HidePinFromMemoryWipesThePinAndEmptiesIt)
{
    TestPage page(0, nullptr);
    MaskedSecret secret(24);
    CSecStr pin;
    pin.GetBuffer(static_cast<int>(secret.Length())); // one block, never moved while the PIN grows
    for (size_t i = 0; i < secret.Length(); ++i)
        pin += secret.At(i);
    ASSERT_NE(0u, ScanProcessMemory(secret).wide) << "the scan sees the PIN before";
    page.HidePinFromMemory(pin);
    EXPECT_TRUE(pin.IsEmpty());
    EXPECT_EQ(0u, ScanProcessMemory(secret).Total());
    page.HidePinFromMemory(pin);
    EXPECT_TRUE(pin.IsEmpty());
}

} // namespace
