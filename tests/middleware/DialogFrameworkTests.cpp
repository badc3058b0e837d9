// The windowing framework's dialogs: modal runs from templates, the retry
// without an owner, ending, binding of controls, and the module loader.
#include "LoadLibrarySync.h"
#include "Fixtures.h"
#include "HolderActions.h"
#include "ScopedGdi.h"
#include "SecureDialog.h"
#include "TestFrameworkDialogs.h"
#include "UiDriver.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

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

TEST(ModalDialog, ReturnsTheButtonPressedAndExchangesTheTextOrMinusOneWithoutATemplate)
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
        const INT_PTR result = WhileHolderActs(
            [&](HWND window) {
                HWND edit = GetDlgItem(window, IDC_FRAMEWORK_EDIT);
                shown = uidriver::TextOf(edit);
                SetWindowTextW(edit, L"typed");
                Press(window, c.button);
            },
            [&] { return dialog.DoModal(); });
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(L"start", shown);
        EXPECT_STREQ(c.saved, dialog.m_sText);
        EXPECT_EQ(1, dialog.m_nInitCalls);
        EXPECT_EQ(nullptr, dialog.m_hWnd) << "the window is gone after the run";
    }
    // A template that is not there: no run, no initialization.
    TextDialog dialog(nullptr, 4321);
    EXPECT_EQ(-1, dialog.DoModal());
    EXPECT_EQ(0, dialog.m_nInitCalls);
}

LRESULT CALLBACK RunOnAppMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR run)
{
    if (msg != WM_APP)
        return DefSubclassProc(hWnd, msg, wParam, lParam);
    (*reinterpret_cast<std::function<void()>*>(run))();
    return 1;
}

// A host may open a dialog while it handles a message its own worker thread
// sent, on a thread with no dialog yet: the dialog binds and runs as anywhere.
TEST(ModalDialog, RunsInsideAMessageAnotherThreadSent)
{
    TextDialog dialog;
    INT_PTR result = 0;
    std::function<void()> run = [&] {
        result = WhileHolderActs([](HWND window) { Press(window, IDOK); }, [&] { return dialog.DoModal(); });
    };
    HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(SetWindowSubclass(host, RunOnAppMessage, 1, reinterpret_cast<DWORD_PTR>(&run)));
    std::thread sender([host] {
        SendMessageW(host, WM_APP, 0, 0);
        PostMessageW(host, WM_NULL, 0, 0);
    });
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.hwnd != host)
        DispatchMessageW(&msg);
    sender.join();
    DestroyWindow(host);
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(1, dialog.m_nInitCalls);
}

TEST(ModalDialog, DisablesTheOwnerForTheRunAndRetriesWithoutAnOwnerThatIsGone)
{
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    CWnd ownerWnd(owner);
    bool disabledDuringRun = false;
    TextDialog dialog(&ownerWnd);
    EXPECT_EQ(IDOK, WhileHolderActs(
                        [&](HWND window) {
                            disabledDuringRun = !IsWindowEnabled(owner) && GetWindow(window, GW_OWNER) == owner;
                            Press(window, IDOK);
                        },
                        [&] { return dialog.DoModal(); }));
    EXPECT_TRUE(disabledDuringRun);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is enabled again";
    DestroyWindow(owner);

    // The owner handle is stale now: creation with it fails and is retried.
    TextDialog orphan(&ownerWnd);
    bool hasNoOwner = false;
    EXPECT_EQ(IDCANCEL, WhileHolderActs(
                            [&](HWND window) {
                                hasNoOwner = GetWindow(window, GW_OWNER) == nullptr;
                                Press(window, IDCANCEL);
                            },
                            [&] { return orphan.DoModal(); }));
    EXPECT_TRUE(hasNoOwner);
}

TEST(ModalDialog, QuitEndsTheRunAndIsPassedOn)
{
    TextDialog dialog;
    EXPECT_EQ(-1, WhileHolderActs(
                      [](HWND window) { PostThreadMessageW(GetWindowThreadProcessId(window, nullptr), WM_QUIT, 7, 0); },
                      [&] { return dialog.DoModal(); }));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
}

// A dialog whose queue never empties, as under a flood of posted messages:
// every message of its own it takes posts the next, until its timer has
// ticked often enough or a deadline has passed.
class FloodedDialog : public TextDialog {
public:
    int m_nTicks = 0;
    const ULONGLONG m_deadline = GetTickCount64() + 10000;

protected:
    static constexpr UINT kNext = WM_APP + 7;
    BOOL OnInitDialog() override
    {
        SetTimer(1, 20);
        PostMessage(kNext);
        return TextDialog::OnInitDialog();
    }
    void OnTimer(UINT_PTR id) override { m_nTicks += id == 1 ? 1 : 0; }
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (msg != kNext)
            return TextDialog::OnMessage(msg, wParam, lParam, result);
        if (m_nTicks < 5 && GetTickCount64() < m_deadline)
            PostMessage(kNext);
        else
            EndDialog(IDOK);
        result = 0;
        return true;
    }
};

// The system makes a timer message only when the queue is empty; a dialog's
// timer (the card's keep-alive) still ticks while the queue never is.
TEST(ModalDialog, ItsTimerTicksWhileItsQueueNeverEmpties)
{
    FloodedDialog dialog;
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(5, dialog.m_nTicks) << "ticks before the deadline";
    EXPECT_LT(GetTickCount64(), dialog.m_deadline);
}

// Another thread (standing for any program on the desktop) forges messages
// at a running dialog: none binds, unbinds, reinitializes or destroys it, and
// no command of a control the holder cannot use acts. The holder then types
// and confirms as usual.
TEST(ModalDialog, ForgedMessagesNeitherEndNorRebindTheDialog)
{
    struct Case {
        const char* name;
        std::function<void(HWND dialog, HWND edit, HWND ok)> forge;
        std::function<void(HWND ok)> restore;
    };
    auto none = [](HWND) {};
    // A window on the desktop whose thread has stopped answering, until the
    // case is over.
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::promise<HWND> created;
    std::thread stalled([&] {
        HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        created.set_value(window);
        WaitForSingleObject(release, INFINITE);
        DestroyWindow(window);
    });
    const HWND stalledWindow = created.get_future().get();
    const Case cases[] = {
        // Each posted and sent.
        {"WM_INITDIALOG",
         [](HWND d, HWND, HWND) {
             PostMessageW(d, WM_INITDIALOG, 0, 0x1234);
             SendMessageW(d, WM_INITDIALOG, 0, 0x1234);
         },
         none},
        {"WM_DESTROY and WM_NCDESTROY",
         [](HWND d, HWND e, HWND) {
             for (HWND w : {e, d}) {
                 for (UINT msg : {WM_DESTROY, WM_NCDESTROY}) {
                     PostMessageW(w, msg, 0, 0);
                     SendMessageW(w, msg, 0, 0);
                 }
             }
         },
         none},
        {"OK sent while disabled",
         [](HWND d, HWND, HWND ok) {
             EnableWindow(ok, FALSE);
             SendMessageW(d, WM_COMMAND, IDOK, 0);
             SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
             SendMessageW(ok, BM_CLICK, 0, 0);
         },
         [](HWND ok) { EnableWindow(ok, TRUE); }},
        // Posted while OK was grey, taken once it is usable again (as when
        // forged text in the fields has since made the entry valid).
        {"OK posted while disabled",
         [](HWND d, HWND, HWND ok) {
             EnableWindow(ok, FALSE);
             PostMessageW(d, WM_COMMAND, IDOK, 0);
             PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
             PostMessageW(ok, BM_CLICK, 0, 0);
             EnableWindow(ok, TRUE);
         },
         none},
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
        // A margin past the edit's reach (its positions are 16-bit) sends
        // Wine's edit round its caret-scrolling loop for ever.
        {"margin past the edit's reach",
         [](HWND, HWND e, HWND) {
             PostMessageW(e, EM_SETMARGINS, EC_LEFTMARGIN, MAKELONG(40000, 0));
             PostMessageW(e, EM_SCROLLCARET, 0, 0);
         },
         none},
        // The combo box fills the structure at whatever address it is given.
        {"combo box information asked into a wild address",
         [](HWND d, HWND, HWND) {
             HWND combo = GetDlgItem(d, IDC_FRAMEWORK_COMBO);
             PostMessageW(combo, CB_GETCOMBOBOXINFO, 0, 1);
             SendMessageW(combo, CB_GETCOMBOBOXINFO, 0, 1);
         },
         none},
        // The dialog would ask the window for its dialog code and wait for
        // an answer forever.
        {"focus handed to a window that does not answer",
         [&](HWND d, HWND, HWND) { PostMessageW(d, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(stalledWindow), TRUE); },
         [&](HWND) { SetEvent(release); }},
    };
    for (const Case& c : cases) {
        TextDialog dialog;
        dialog.m_sText = L"start";
        bool stayedOpen = false;
        const INT_PTR result = WhileHolderActs(
            [&](HWND window) {
                HWND edit = GetDlgItem(window, IDC_FRAMEWORK_EDIT);
                HWND ok = GetDlgItem(window, IDOK);
                c.forge(window, edit, ok);
                // A dialog stuck inside a message still answers sent ones:
                // only its queue moving shows it is free.
                stayedOpen = WaitForQueueDrained(window, GetTickCount64() + 5000) && IsWindowVisible(window) &&
                             uidriver::TextOf(edit) == L"start";
                c.restore(ok);
                SetWindowTextW(edit, L"typed");
                Press(window, IDOK);
            },
            [&] { return dialog.DoModal(); });
        EXPECT_EQ(IDOK, result) << c.name;
        EXPECT_TRUE(stayedOpen) << c.name;
        EXPECT_STREQ(L"typed", dialog.m_sText) << c.name;
        EXPECT_EQ(1, dialog.m_nInitCalls) << c.name;
    }
    SetEvent(release);
    stalled.join();
    CloseHandle(release);
}

// Another thread hands the dialog's windows GDI objects and a DC of this
// process, as a forged handle may name one of ours by chance: no window
// keeps the object, and none draws into the DC.
TEST(ModalDialog, KeepsNoObjectAndDrawsIntoNoDcItWasHanded)
{
    ScopedGdiObject<HBITMAP> bitmap(CreateBitmap(8, 8, 1, 32, nullptr));
    ScopedGdiObject<HBITMAP> canvasBitmap(CreateBitmap(64, 64, 1, 32, nullptr));
    ScopedMemoryDC canvas(nullptr);
    ScopedSelectObject selected(canvas, canvasBitmap);
    const auto font = reinterpret_cast<WPARAM>(GetStockObject(SYSTEM_FIXED_FONT));
    const auto image = reinterpret_cast<LPARAM>(bitmap.Get());
    const auto dc = reinterpret_cast<WPARAM>(static_cast<HDC>(canvas));
    using Kept = LRESULT (*)(HWND);
    struct Case {
        const char* name;
        int id; // 0: the dialog itself
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        Kept kept; // what the window holds (null: the canvas is checked instead)
    };
    const Case cases[] = {
        {"font", IDC_FRAMEWORK_EDIT, WM_SETFONT, font, FALSE, [](HWND w) { return SendMessageW(w, WM_GETFONT, 0, 0); }},
        {"icon", 0, WM_SETICON, ICON_BIG, image, [](HWND w) { return SendMessageW(w, WM_GETICON, ICON_BIG, 0); }},
        {"button style", IDOK, BM_SETSTYLE, BS_OWNERDRAW, TRUE, [](HWND w) { return GetWindowLongPtrW(w, GWL_STYLE); }},
        {"picture", IDC_FRAMEWORK_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, image,
         [](HWND w) { return SendMessageW(w, STM_GETIMAGE, IMAGE_BITMAP, 0); }},
        {"printed edit", IDC_FRAMEWORK_EDIT, WM_PRINTCLIENT, dc, PRF_CLIENT | PRF_ERASEBKGND, nullptr},
        {"erased dialog", 0, WM_ERASEBKGND, dc, 0, nullptr},
        {"painted button", IDOK, WM_PAINT, dc, 0, nullptr},
    };
    constexpr COLORREF kCanvas = RGB(1, 2, 3);
    TextDialog dialog;
    std::vector<std::string> kept;
    const auto act = [&](HWND window) {
        for (const Case& c : cases) {
            HWND target = c.id ? GetDlgItem(window, c.id) : window;
            for (bool posted : {false, true}) {
                SetDCBrushColor(canvas, kCanvas);
                RECT all = {0, 0, 64, 64};
                FillRect(canvas, &all, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
                const LRESULT before = c.kept ? c.kept(target) : 0;
                if (posted)
                    PostMessageW(target, c.msg, c.wParam, c.lParam);
                else
                    SendMessageW(target, c.msg, c.wParam, c.lParam);
                uidriver::WaitIdle(window);
                const bool changed = c.kept ? c.kept(target) != before : GetPixel(canvas, 2, 2) != kCanvas;
                if (changed)
                    kept.push_back(std::string(posted ? "posted " : "sent ") + c.name);
            }
        }
        Press(window, IDCANCEL);
    };
    EXPECT_EQ(IDCANCEL, WhileHolderActs(act, [&] { return dialog.DoModal(); }));
    EXPECT_EQ(std::vector<std::string>{}, kept);
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
