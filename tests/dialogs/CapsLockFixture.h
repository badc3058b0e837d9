#pragma once
// A dialog with one caps-lock-sensitive PIN edit, run modeless on the test's
// own thread so that the test can set that thread's keyboard state and pump
// its messages.
#include "Fixtures.h"
#include "TestDialogs.h"
#include "UiDriver.h"

#include "dialogs/CapsLockSensitiveEdit.h"
#include "pinrc_ids.h"

#include <gtest/gtest.h>

class EditHost : public CDialog {
public:
    EditHost() : CDialog(IDD_TEST_PAGE, nullptr) {}
    CCapsLockSensitiveEdit m_edit;

protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_TEST_EDIT, m_edit); }
};

class CapsLockEditTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetCapsLock(false);
        ASSERT_TRUE(m_host.Create(IDD_TEST_PAGE, nullptr));
        m_host.ShowWindow(SW_SHOW);
        SetForegroundWindow(m_host.m_hWnd);
        m_edit = m_host.m_edit.m_hWnd;
        ASSERT_NE(nullptr, m_edit);
    }
    void TearDown() override
    {
        SetCapsLock(false);
        m_host.DestroyWindow();
    }

    // Caps Lock as this thread sees it: toggled on or off, not held down.
    static void SetCapsLock(bool on)
    {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CAPITAL] = on ? 0x01 : 0x00;
        SetKeyboardState(keys);
    }

    static bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 3000)
    {
        return PumpMessagesUntil(condition, timeoutMs);
    }

    // The balloon window the edit made, if any. A popup cannot be owned by
    // a child window, so the system makes the edit's dialog its owner.
    HWND OwnBalloon() const
    {
        BalloonSearch search{m_edit, nullptr};
        EnumThreadWindows(GetCurrentThreadId(), FindOwnBalloon, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    struct BalloonSearch {
        HWND edit;
        HWND found;
    };
    // A named function: a 32-bit build needs the callback stdcall, which a
    // lambda does not convert to.
    static BOOL CALLBACK FindOwnBalloon(HWND window, LPARAM context)
    {
        auto* s = reinterpret_cast<BalloonSearch*>(context);
        HWND owner = GetWindow(window, GW_OWNER);
        if (uidriver::ClassOf(window) == TOOLTIPS_CLASSW && (owner == s->edit || owner == GetAncestor(s->edit, GA_ROOT)))
            s->found = window;
        return TRUE;
    }

    // The text a tooltip holds for the edit as its one tool.
    std::wstring TipText(HWND tooltip) const
    {
        wchar_t text[1040] = {};
        TTTOOLINFOW tool = {sizeof(tool), 0, m_edit};
        tool.lpszText = text;
        SendMessageW(tooltip, TTM_GETTEXTW, 1040, reinterpret_cast<LPARAM>(&tool));
        return text;
    }

    bool BalloonVisible() const
    {
        HWND balloon = OwnBalloon();
        return balloon && IsWindowVisible(balloon);
    }

    EditHost m_host;
    HWND m_edit = nullptr;
};
