// The windowing framework's dialogs: modal runs from templates, the retry
// without an owner, ending, binding of controls, and the module loader.
#include "LoadLibrarySync.h"
#include "SecureDialog.h"
#include "TestFrameworkDialogs.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class TextDialog : public CSecureDialog {
public:
    explicit TextDialog(CWnd* parent = nullptr, UINT templateId = IDD_FRAMEWORK_TEST) : CSecureDialog(templateId, parent) {}
    CSecStr m_sText;
    int m_nInitCalls = 0;

protected:
    BOOL OnInitDialog() override
    {
        ++m_nInitCalls;
        return OnInitDialogSecure();
    }
    void DoDataExchange(CDataExchange* dx) override { DDX_TextSecure(dx, IDC_FRAMEWORK_EDIT, m_sText); }
};

// Acts on the first dialog the calling thread opens.
template <class Action>
std::thread Holder(DWORD thread, Action action)
{
    return std::thread([thread, action] {
        if (HWND dialog = uidriver::WaitForTopLevel(L"#32770", thread))
            action(dialog);
    });
}

TEST(ModalDialog, ReturnsTheButtonPressedAndExchangesTheText)
{
    struct Case {
        UINT button;
        INT_PTR result;
        const wchar_t* saved;
    };
    for (Case c : {Case{IDOK, IDOK, L"typed"}, Case{IDCANCEL, IDCANCEL, L"start"}}) {
        TextDialog dialog;
        dialog.m_sText = L"start";
        std::wstring shown;
        auto holder = Holder(GetCurrentThreadId(), [&](HWND window) {
            HWND edit = GetDlgItem(window, IDC_FRAMEWORK_EDIT);
            shown = uidriver::TextOf(edit);
            SetWindowTextW(edit, L"typed");
            PostMessageW(window, WM_COMMAND, c.button, 0);
        });
        EXPECT_EQ(c.result, dialog.DoModal());
        holder.join();
        EXPECT_EQ(L"start", shown);
        EXPECT_STREQ(c.saved, dialog.m_sText);
        EXPECT_EQ(1, dialog.m_nInitCalls);
        EXPECT_EQ(nullptr, dialog.m_hWnd) << "the window is gone after the run";
    }
}

TEST(ModalDialog, MissingTemplateGivesMinusOne)
{
    TextDialog dialog(nullptr, 4321);
    EXPECT_EQ(-1, dialog.DoModal());
    EXPECT_EQ(0, dialog.m_nInitCalls);
}

TEST(ModalDialog, DisablesTheOwnerForTheRunAndRetriesWithoutAnOwnerThatIsGone)
{
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    CWnd ownerWnd(owner);
    bool disabledDuringRun = false;
    {
        TextDialog dialog(&ownerWnd);
        auto holder = Holder(GetCurrentThreadId(), [&](HWND window) {
            disabledDuringRun = !IsWindowEnabled(owner) && GetWindow(window, GW_OWNER) == owner;
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(IDOK, dialog.DoModal());
        holder.join();
    }
    EXPECT_TRUE(disabledDuringRun);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is enabled again";
    DestroyWindow(owner);

    // The owner handle is stale now: creation with it fails and is retried.
    TextDialog orphan(&ownerWnd);
    bool hasNoOwner = false;
    auto holder = Holder(GetCurrentThreadId(), [&](HWND window) {
        hasNoOwner = GetWindow(window, GW_OWNER) == nullptr;
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(IDCANCEL, orphan.DoModal());
    holder.join();
    EXPECT_TRUE(hasNoOwner);
}

TEST(ModalDialog, QuitEndsTheRunAndIsPassedOn)
{
    TextDialog dialog;
    auto holder = Holder(GetCurrentThreadId(), [](HWND window) {
        PostThreadMessageW(GetWindowThreadProcessId(window, nullptr), WM_QUIT, 7, 0);
    });
    EXPECT_EQ(-1, dialog.DoModal());
    holder.join();
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
}

// Another thread (standing for any program on the desktop) forges messages
// at a running dialog: none binds, unbinds, reinitializes or destroys it, and
// no command of a control the holder cannot use acts. The holder then types
// and confirms as usual.
TEST(ModalDialog, ForgedMessagesNeitherEndNorRebindTheDialog)
{
    struct Case {
        const char* name;
        void (*forge)(HWND dialog, HWND edit, HWND ok);
        void (*restore)(HWND ok);
    };
    auto none = [](HWND) {};
    const Case cases[] = {
        {"posted WM_INITDIALOG", [](HWND d, HWND, HWND) { PostMessageW(d, WM_INITDIALOG, 0, 0x1234); }, none},
        {"sent WM_INITDIALOG", [](HWND d, HWND, HWND) { SendMessageW(d, WM_INITDIALOG, 0, 0x1234); }, none},
        {"posted WM_DESTROY and WM_NCDESTROY",
         [](HWND d, HWND e, HWND) {
             for (HWND w : {e, d}) {
                 PostMessageW(w, WM_DESTROY, 0, 0);
                 PostMessageW(w, WM_NCDESTROY, 0, 0);
             }
         },
         none},
        {"sent WM_DESTROY and WM_NCDESTROY",
         [](HWND d, HWND e, HWND) {
             for (HWND w : {e, d}) {
                 SendMessageW(w, WM_DESTROY, 0, 0);
                 SendMessageW(w, WM_NCDESTROY, 0, 0);
             }
         },
         none},
        {"OK while disabled",
         [](HWND d, HWND, HWND ok) {
             EnableWindow(ok, FALSE);
             PostMessageW(d, WM_COMMAND, IDOK, 0);
             PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
             SendMessageW(ok, BM_CLICK, 0, 0);
         },
         [](HWND ok) { EnableWindow(ok, TRUE); }},
        {"OK while hidden",
         [](HWND d, HWND, HWND ok) {
             ShowWindow(ok, SW_HIDE);
             PostMessageW(d, WM_COMMAND, IDOK, 0);
         },
         [](HWND ok) { ShowWindow(ok, SW_SHOW); }},
        // Drawing turned off leaves the dialog on the screen but counted as
        // hidden, so that a click on OK would look like nobody's.
        {"drawing turned off",
         [](HWND d, HWND, HWND) {
             PostMessageW(d, WM_SETREDRAW, FALSE, 0);
             SendMessageW(d, WM_SETREDRAW, FALSE, 0);
         },
         none},
        {"OK from a window that is not ours",
         [](HWND d, HWND, HWND) {
             PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDesktopWindow()));
             PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0x1234);
         },
         none},
    };
    for (const Case& c : cases) {
        TextDialog dialog;
        dialog.m_sText = L"start";
        bool stayedOpen = false;
        auto holder = Holder(GetCurrentThreadId(), [&](HWND window) {
            HWND edit = GetDlgItem(window, IDC_FRAMEWORK_EDIT);
            HWND ok = GetDlgItem(window, IDOK);
            c.forge(window, edit, ok);
            stayedOpen = uidriver::WaitIdle(window) && IsWindowVisible(window) && uidriver::TextOf(edit) == L"start";
            c.restore(ok);
            SetWindowTextW(edit, L"typed");
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
        });
        EXPECT_EQ(IDOK, dialog.DoModal()) << c.name;
        holder.join();
        EXPECT_TRUE(stayedOpen) << c.name;
        EXPECT_STREQ(L"typed", dialog.m_sText) << c.name;
        EXPECT_EQ(1, dialog.m_nInitCalls) << c.name;
    }
}

class CountingEdit : public CEdit {
public:
    int m_nChars = 0;

protected:
    bool OnMessage(UINT msg, WPARAM, LPARAM, LRESULT&) override
    {
        if (msg == WM_CHAR)
            ++m_nChars;
        return false;
    }
};

TEST(Subclassing, ABoundControlSeesItsMessagesUntilItsObjectDies)
{
    TextDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_FRAMEWORK_TEST));
    HWND edit = GetDlgItem(dialog.m_hWnd, IDC_FRAMEWORK_EDIT);
    {
        CountingEdit counter;
        ASSERT_TRUE(counter.SubclassDlgItem(IDC_FRAMEWORK_EDIT, &dialog));
        EXPECT_FALSE(counter.SubclassDlgItem(IDC_FRAMEWORK_EDIT, &dialog)) << "bound once only";
        uidriver::Type(edit, L"abc");
        EXPECT_EQ(3, counter.m_nChars);
        EXPECT_EQ(L"abc", uidriver::TextOf(edit)) << "the edit still does its own work";
    }
    // The object is gone; the window must go on without it.
    uidriver::Type(edit, L"d");
    EXPECT_EQ(L"abcd", uidriver::TextOf(edit));
    dialog.DestroyWindow();
}

TEST(LoadLibrarySync, LoadsRelativeToItsModuleAndThrowsWhatTheLoaderSaid)
{
    HMODULE module = nullptr;
    EXPECT_NO_THROW(LoadLibrarySync(L"Resources\\vk.velkor.gui.pinrc.dll", &module, LOAD_LIBRARY_AS_DATAFILE));
    EXPECT_NE(nullptr, module);
    if (module)
        FreeLibrary(module);

    struct Case {
        const wchar_t* path;
        DWORD error;
    };
    for (Case c : {Case{L"Resources\\no-such-module.dll", ERROR_MOD_NOT_FOUND}, Case{L"", ERROR_INVALID_PARAMETER},
                   Case{nullptr, ERROR_INVALID_PARAMETER}}) {
        HMODULE none = nullptr;
        try {
            LoadLibrarySync(c.path, &none, 0);
            ADD_FAILURE() << "no exception";
        } catch (CMWException* e) {
            EXPECT_EQ(c.error, e->GetError());
            delete e;
        }
        EXPECT_EQ(nullptr, none);
    }
}

} // namespace
