// The edit on systems whose password edits have a caps-lock balloon of their
// own: it never makes one, and rewrites the system's balloon text.
#include "AccessibleReader.h"
#include "CapsLockFixture.h"

namespace {

// Stands in for the system's balloon: a tooltip owned by the edit whose one
// tool is the edit itself.
class SystemBalloon {
public:
    SystemBalloon(HWND edit, const std::wstring& text) : m_edit(edit), m_text(text)
    {
        m_hWnd = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_BALLOON, 0, 0, 0, 0, edit,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        TTTOOLINFOW tool = {sizeof(tool), 0, m_edit};
        tool.lpszText = m_text.data();
        SendMessageW(m_hWnd, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    ~SystemBalloon() { DestroyWindow(m_hWnd); }
    SystemBalloon(const SystemBalloon&) = delete;
    SystemBalloon& operator=(const SystemBalloon&) = delete;

    // What the system does before it shows the balloon.
    void AnnounceShow()
    {
        NMHDR header = {m_hWnd, 0, static_cast<UINT>(TTN_SHOW)};
        SendMessageW(m_edit, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
    }
    HWND Handle() const { return m_hWnd; }

private:
    HWND m_edit;
    std::wstring m_text;
    HWND m_hWnd;
};

std::wstring LibraryText(UINT id)
{
    return ResourceString(GetModuleHandleW(L"vk.velkor.gui.pinrc.dll"), id);
}

// The system's caps-lock balloon speaks of a PIN or a password as the edit
// is set; other tooltips keep their text.
TEST_F(CapsLockEditTest, SpeaksOfAPinOrAPasswordInTheSystemBalloonOnly)
{
    const std::wstring system = LibraryText(IDS_CAPSLOCK_SYSTEM_TEXT_START) + L".\r\n\r\nPress Caps Lock.";
    const std::wstring other = L"Type the PIN of your card";
    struct Case {
        bool pinMode;
        std::wstring shown;
        std::wstring expected;
    };
    for (const Case& c : {Case{true, system, LibraryText(IDS_CAPSLOCK_PIN_TEXT)},
                          Case{false, system, LibraryText(IDS_CAPSLOCK_PASSWORD_TEXT)}, Case{true, other, other}}) {
        m_host.m_edit.SetMode(c.pinMode);
        SystemBalloon balloon(m_edit, c.shown);
        balloon.AnnounceShow();
        ASSERT_FALSE(c.expected.empty());
        EXPECT_EQ(c.expected, TipText(balloon.Handle())) << "pin mode " << c.pinMode;
    }
}

// A screen reader hears a protected field named by its label and never its
// text, also where a host module's edit has no password style of its own.
TEST_F(CapsLockEditTest, TellsScreenReadersItIsProtectedAndNeverItsText)
{
    for (bool passwordStyle : {true, false}) {
        SendMessageW(m_edit, EM_SETPASSWORDCHAR, passwordStyle ? L'*' : 0, 0);
        SetWindowTextW(m_edit, L"8642");
        const AccessibleView seen = ReadAccessible(m_edit);
        ASSERT_TRUE(seen.found) << passwordStyle;
        EXPECT_EQ(L"Enter your PIN:", seen.name) << passwordStyle;
        EXPECT_EQ(STATE_SYSTEM_PROTECTED, seen.state & STATE_SYSTEM_PROTECTED) << passwordStyle;
        EXPECT_TRUE(FAILED(seen.valueResult) && seen.value.empty()) << passwordStyle;
    }
}

TEST_F(CapsLockEditTest, NeverMakesABalloonOfItsOwn)
{
    SetFocus(GetDlgItem(m_host.m_hWnd, IDC_TEST_OTHER));
    SetCapsLock(true);
    SetFocus(m_edit);
    SendMessageW(m_edit, WM_KEYUP, VK_CAPITAL, 0);
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(nullptr, OwnBalloon());
}

} // namespace
