// GetPINFromUser and ShowPINAlwaysPrompt, driven as a card holder would:
// the call runs on the test's thread, a holder thread acts on the dialog.
#include "ChildProcess.h"
#include "Fixtures.h"
#include "ForegroundLock.h"
#include "HolderActions.h"
#include "KeyboardHolder.h"
#include "MemoryScan.h"
#include "PinPromptDriver.h"
#include "ProcessResources.h"
#include "UiDriver.h"

#include "SecureDialog.h"
#include "SessionState_control.h"
#include "base/VelkorExports.h"
#include "pinrc_ids.h"
#include "vkevtsub_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr const wchar_t* kReader = kPromptReader;
constexpr const wchar_t* kBrandingKey = L"Software\\Policies\\Quellon\\VovavidoZurodeRO\\AuthenticationDialog";
constexpr const wchar_t* kPinPolicies = L"Software\\Policies\\Quellon\\Velkor\\PINPolicies";

class PinPrompt : public testing::Test {
protected:
    void SetUp() override
    {
        vkSessionStateSetMode(VKSessionStateMode::Unlocked);
        m_registry.Remove(kPinPolicies, L"PreventSmallPINEntry");
        m_registry.Remove(kPinPolicies, L"EnableLargePINEntry");
        m_registry.Remove(kBrandingKey, L"BannerHiRes");
    }
    void TearDown() override
    {
        vkSessionStateSetMode(VKSessionStateMode::System);
        SetPinPromptString(nullptr);
    }
    RegistryFixture m_registry;
};

TEST_F(PinPrompt, OkFollowsTheLengthPolicies)
{
    // Missing, 0, 1 and 2: only exactly 1 switches a policy on.
    const int values[] = {-1, 0, 1, 2};
    for (int preventSmall : values) {
        for (int enableLarge : values) {
            RegistryFixture registry;
            if (preventSmall >= 0)
                registry.SetDword(kPinPolicies, L"PreventSmallPINEntry", static_cast<DWORD>(preventSmall));
            if (enableLarge >= 0)
                registry.SetDword(kPinPolicies, L"EnableLargePINEntry", static_cast<DWORD>(enableLarge));
            std::string seen;
            std::string expected;
            AskPin([&](HWND dialog) {
                for (int length = 0; length <= 9; ++length) {
                    if (length > 0)
                        SendMessageW(PinEdit(dialog), WM_CHAR, L'0' + length, 1);
                    seen += OkEnabled(dialog) ? '1' : '0';
                    bool ok = !(preventSmall == 1 && length < 4) && !(enableLarge != 1 && length > 8);
                    expected += ok ? '1' : '0';
                }
                Press(dialog, IDCANCEL);
            });
            EXPECT_EQ(expected, seen) << "PreventSmallPINEntry " << preventSmall << ", EnableLargePINEntry "
                                      << enableLarge << " (OK state for lengths 0 to 9)";
        }
    }
}

TEST_F(PinPrompt, OkHandsBackWhatWasTyped)
{
    struct Case {
        const char* name;
        VKSessionStateMode session;
        const wchar_t* typed;
        bool otherCardLeaves;
    };
    const Case cases[] = {
        {"an empty PIN gives no buffer", VKSessionStateMode::Unlocked, L"", false},
        {"another reader's card leaving changes nothing", VKSessionStateMode::Unlocked, L"2468", true},
        {"a session service that cannot tell counts as unlocked", VKSessionStateMode::Unavailable, L"1357", false},
    };
    for (const Case& c : cases) {
        vkSessionStateSetMode(c.session);
        PinAnswer answer = AskPin([&](HWND dialog) {
            if (c.otherCardLeaves) {
                vkevtsubRaise(&VK_CARD_EVENT_CHANNEL, VK_EVENT_CARD_REMOVED, 0, L"Smart Reader 1");
                vkevtsubWaitIdle(10000);
            }
            uidriver::Type(PinEdit(dialog), c.typed);
            Press(dialog, IDOK);
        });
        const std::wstring typed = c.typed;
        EXPECT_EQ(0, answer.result) << c.name;
        EXPECT_EQ(static_cast<int>(typed.size()), answer.length) << c.name;
        EXPECT_EQ(typed.empty(), answer.pin == nullptr) << c.name;
        if (answer.pin) {
            EXPECT_EQ(std::string(typed.begin(), typed.end()), std::string(answer.pin)) << c.name;
        }
        FreeGetPinBuffer(answer.pin, static_cast<unsigned>(answer.length > 0 ? answer.length : 0));
    }
}

// Opens the PIN prompt or the PIN-always prompt while `holder` acts on it.
PinAnswer OpenPrompt(bool pinAlwaysPrompt, std::function<void(HWND)> holder)
{
    if (!pinAlwaysPrompt)
        return AskPin(std::move(holder));
    PinAnswer answer;
    std::thread acting = uidriver::ActOnDialog(std::move(holder));
    answer.result = ShowPINAlwaysPrompt(nullptr, kReader);
    acting.join();
    return answer;
}

// GetChangePINInfoFromUser where the PINs do not matter: what it returned.
int ChangeOnce(HWND parent, int lastTry = 0)
{
    wchar_t fresh[128] = {};
    wchar_t current[128] = {};
    int freshLength = 0;
    int currentLength = 0;
    const int result = GetChangePINInfoFromUser(0, 1, 4, 8, 0, lastTry, fresh, &freshLength, current, &currentLength,
                                                kReader, parent, true, nullptr, nullptr, 0);
    SecureZeroMemory(fresh, sizeof(fresh));
    SecureZeroMemory(current, sizeof(current));
    return result;
}

// Both prompts open on top of everything; only OK goes on.
TEST_F(PinPrompt, EveryWayOutButOkIsMinusOne)
{
    struct Case {
        const char* name;
        bool pinAlwaysPrompt;
        std::function<void(HWND)> leave;
        int expected;
    };
    auto cancel = [](HWND dialog) { Press(dialog, IDCANCEL); };
    auto closeBox = [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); };
    auto cardRemoved = [](HWND) { vkevtsubRaise(&VK_CARD_EVENT_CHANNEL, VK_EVENT_CARD_REMOVED, 0, kReader); };
    const Case cases[] = {
        {"Cancel", false, cancel, -1},
        {"close box", false, closeBox, -1},
        {"Escape", false, [](HWND dialog) { PressKey(dialog, VK_ESCAPE); }, -1},
        {"card removed", false, cardRemoved, -1},
        {"workstation locked", false,
         [](HWND) { vkevtsubRaise(&VK_SESSION_EVENT_CHANNEL, VK_EVENT_SESSION, VK_SESSION_LOCKED, nullptr); }, -1},
        {"PIN always, OK", true, [](HWND dialog) { Press(dialog, IDOK); }, 0},
        {"PIN always, Cancel", true, cancel, -1},
        {"PIN always, close box", true, closeBox, -1},
        {"PIN always, card removed", true, cardRemoved, -1},
        {"PIN always, workstation locking", true,
         [](HWND) { vkevtsubRaise(&VK_SESSION_EVENT_CHANNEL, VK_EVENT_SESSION, VK_SESSION_LOCKING, nullptr); }, -1},
    };
    for (const Case& c : cases) {
        bool topMost = false;
        PinAnswer answer = OpenPrompt(c.pinAlwaysPrompt, [&](HWND dialog) {
            topMost = (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            if (!c.pinAlwaysPrompt)
                uidriver::Type(PinEdit(dialog), L"123456");
            c.leave(dialog);
        });
        EXPECT_EQ(c.expected, answer.result) << c.name;
        EXPECT_EQ(nullptr, answer.pin) << c.name;
        EXPECT_TRUE(topMost) << c.name;
    }
}

// The keyboard alone: the focus starts in the PIN field, Tab walks the
// prompt, the prompt's letter leads back to the field, Enter confirms.
TEST_F(PinPrompt, IsCompletedByKeysAlone)
{
    struct Case {
        const char* name;
        bool pinAlwaysPrompt;
        std::vector<int> tabOrder;
        int expected;
    };
    const Case cases[] = {
        {"PIN prompt", false, {IDC_PIN_EDIT, IDOK, IDCANCEL}, 0},
        {"PIN-always prompt", true, {IDOK, IDCANCEL}, 0},
    };
    for (const Case& c : cases) {
        std::vector<int> order;
        PinAnswer answer = OpenPrompt(c.pinAlwaysPrompt, [&](HWND dialog) {
            order = TabOrder(dialog);
            if (!c.pinAlwaysPrompt) {
                PressKey(dialog, VK_TAB);
                PressAccessKey(dialog, L'P');
                TypeKeys(dialog, L"4711");
            }
            PressKey(dialog, VK_RETURN);
        });
        EXPECT_EQ(c.tabOrder, order) << c.name;
        EXPECT_EQ(c.expected, answer.result) << c.name;
        if (!c.pinAlwaysPrompt) {
            EXPECT_EQ("4711", std::string(answer.pin ? answer.pin : "", answer.length > 0 ? answer.length : 0));
        }
        FreeGetPinBuffer(answer.pin, answer.length > 0 ? static_cast<unsigned>(answer.length) : 0);
    }
}

// A locked workstation, or nowhere to put a PIN: -1 at once, and the
// refused call leaves no prompt marked open.
TEST_F(PinPrompt, IsRefusedWithoutADialogWhenLockedOrGivenNowhereToPutThePin)
{
    vkSessionStateSetMode(VKSessionStateMode::Locked);
    EXPECT_EQ(-1, PromptOnce());
    EXPECT_EQ(-1, ShowPINAlwaysPrompt(nullptr, kReader));
    vkSessionStateSetMode(VKSessionStateMode::Unlocked);
    char* pin = nullptr;
    int length = 0;
    EXPECT_EQ(-1, GetPINFromUser(nullptr, kReader, 0, 4, 8, nullptr, &length, nullptr, nullptr, 0));
    EXPECT_EQ(-1, GetPINFromUser(nullptr, kReader, 0, 4, 8, &pin, nullptr, nullptr, nullptr, 0));
    wchar_t buffer[128];
    EXPECT_EQ(-1, GetChangePINInfoFromUser(0, 1, 4, 8, 0, 0, nullptr, &length, buffer, &length, kReader, nullptr,
                                           true, nullptr, nullptr, 0));
    EXPECT_EQ(-1, GetChangePINInfoFromUser(0, 1, 4, 8, 0, 0, buffer, &length, buffer, nullptr, kReader, nullptr,
                                           true, nullptr, nullptr, 0));
    EXPECT_EQ(0, AskPin([](HWND dialog) { Press(dialog, IDOK); }).result);
}

struct Nested {
    int pin = 99;
    int always = 99;
    std::atomic<int> ticks{0};
    bool tried = false;
};

// The keep-alive callback runs on the prompt's own thread: a prompt opened
// from there must be refused.
void CALLBACK TryASecondPrompt(void* context)
{
    auto* nested = static_cast<Nested*>(context);
    ++nested->ticks;
    if (nested->tried)
        return;
    nested->tried = true;
    nested->pin = PromptOnce();
    nested->always = ShowPINAlwaysPrompt(nullptr, kReader);
}

// The keep-alive callback gets its argument every period, and never
// without one.
TEST_F(PinPrompt, ASecondPromptIsRefusedWhileOneIsOpenAndTheKeepAliveRunsOnlyWithAPeriod)
{
    Nested nested;
    PinAnswer answer = AskPin(
        [&](HWND dialog) {
            EXPECT_TRUE(uidriver::WaitUntil([&] { return nested.tried && nested.ticks.load() >= 3; }));
            Press(dialog, IDCANCEL);
        },
        0, TryASecondPrompt, &nested, 20);
    EXPECT_EQ(-1, answer.result);
    EXPECT_EQ(-1, nested.pin);
    EXPECT_EQ(-1, nested.always);
    // The flag is down again once the prompt has gone.
    std::atomic<int> none{0};
    PinAnswer again = AskPin(
        [&](HWND dialog) {
            // Give a timer every chance to fire before leaving.
            EXPECT_FALSE(uidriver::WaitUntil([&] { return none.load() > 0; }, 300));
            Press(dialog, IDOK);
        },
        0, CountTick, &none, 0);
    EXPECT_EQ(0, again.result);
    EXPECT_EQ(0, none.load());
}

// Visible prompts of the given threads.
std::vector<HWND> PromptsOf(DWORD first, DWORD second)
{
    return uidriver::TopLevelWindows([&](HWND window) {
        DWORD thread = GetWindowThreadProcessId(window, nullptr);
        return (thread == first || thread == second) && uidriver::ClassOf(window) == L"#32770";
    });
}

TEST_F(PinPrompt, TwoThreadsReleasedTogetherNeverBothGetAPrompt)
{
    constexpr int kRounds = 250;
    int bothOpened = 0;
    int rounds = 0;
    for (; rounds < kRounds && !HasFailure(); ++rounds) {
        // Both callers wait on one event and go when it is set. (This
        // compiler's std::latch can miss its wake-up when no futex is
        // there, as on Windows, and leave a caller waiting for ever.)
        HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(nullptr, start);
        std::atomic<DWORD> threads[2] = {0, 0};
        std::atomic<int> waiting{0};
        std::atomic<int> returned{0};
        auto caller = [&](int which) {
            threads[which] = GetCurrentThreadId();
            ++waiting;
            WaitForSingleObject(start, INFINITE);
            PromptOnce();
            ++returned;
        };
        std::thread first(caller, 0);
        std::thread second(caller, 1);
        uidriver::WaitUntil([&] { return waiting.load() == 2; });
        SetEvent(start);
        // One caller is refused at once, or both hold a prompt open.
        const bool settled = uidriver::WaitUntil([&] {
            return returned.load() == 1 || PromptsOf(threads[0], threads[1]).size() == 2;
        });
        EXPECT_TRUE(settled) << "round " << rounds << ": no caller was refused and no two prompts opened";
        if (returned.load() == 0)
            ++bothOpened;
        // Close whatever opened; every caller then returns.
        while (returned.load() < 2) {
            uidriver::WaitUntil([&] { return returned.load() == 2 || !PromptsOf(threads[0], threads[1]).empty(); });
            for (HWND prompt : PromptsOf(threads[0], threads[1]))
                Press(prompt, IDCANCEL);
            uidriver::WaitUntil([&] { return returned.load() == 2; }, 100);
        }
        first.join();
        second.join();
        CloseHandle(start);
    }
    printf("prompt race: %d rounds of two callers released together, %d with two prompts\n", rounds, bothOpened);
    EXPECT_EQ(0, bothOpened) << "of " << rounds << " rounds";
}

TEST_F(PinPrompt, ShowsTheCustomPromptUntilItIsClearedAndTakesItFromAnyThread)
{
    const std::wstring defaultText = L"Enter the &PIN of your smart card.";
    auto shownPrompt = [] {
        std::wstring shown;
        AskPin([&](HWND dialog) {
            shown = uidriver::TextOf(GetDlgItem(dialog, IDC_PIN_PROMPT));
            Press(dialog, IDCANCEL);
        });
        return shown;
    };
    const wchar_t* custom = L"Enter the PIN of your badge to sign the document.";
    SetPinPromptString(custom);
    EXPECT_EQ(custom, shownPrompt());
    SetPinPromptString(nullptr);
    EXPECT_EQ(defaultText, shownPrompt());

    // Two long texts that differ at every place, set by another thread
    // while prompts show them: any mix of them, or a text read while it is
    // rewritten, shows as neither.
    const std::wstring first(1500, L'A');
    const std::wstring second(700, L'b');
    std::atomic<bool> stop{false};
    std::thread setter([&] {
        for (unsigned i = 0; !stop.load(); ++i)
            SetPinPromptString(i % 3 == 0 ? first.c_str() : i % 3 == 1 ? second.c_str() : nullptr);
    });
    int mixed = 0;
    for (int prompts = 0; prompts < 40; ++prompts) {
        const std::wstring shown = shownPrompt();
        mixed += shown != first && shown != second && shown != defaultText;
    }
    stop = true;
    setter.join();
    EXPECT_EQ(0, mixed) << "prompts that showed a text nobody set, of 40";
}

// On a card's last try a warning comes first, before a PIN prompt as before
// a change of PIN: Cancel there ends the call with -1 and opens nothing; OK
// opens the dialog, which then ends the call as the holder ends it.
TEST_F(PinPrompt, TheLastTryWarningComesFirstAndItsCancelOpensNothing)
{
    struct Case {
        const char* name;
        int (*call)();
        int field; // of the dialog that follows the warning
        int atWarning;
        int expected;
        bool opens;
    };
    auto prompt = [] { return PromptOnce(nullptr, 1); };
    auto change = [] { return ChangeOnce(nullptr, 1); };
    const Case cases[] = {
        {"PIN prompt, Cancel", prompt, IDC_PIN_EDIT, IDCANCEL, -1, false},
        {"PIN prompt, OK", prompt, IDC_PIN_EDIT, IDOK, 0, true},
        {"change PIN, Cancel", change, IDC_NEW_PIN_EDIT, IDCANCEL, -1, false},
        {"change PIN, OK", change, IDC_NEW_PIN_EDIT, IDOK, -1, true},
    };
    for (const Case& c : cases) {
        std::atomic<bool> returned{false};
        bool warningFirst = false;
        bool opened = false;
        const DWORD caller = GetCurrentThreadId();
        std::thread holder = uidriver::ActOnDialog([&](HWND box) {
            warningFirst = uidriver::FindControl(box, c.field) == nullptr;
            Press(box, c.atWarning);
            // Next, either the call returns or the dialog shows.
            HWND next = nullptr;
            uidriver::WaitUntil([&] {
                for (HWND shown : PromptsOf(caller, caller))
                    next = shown != box ? shown : next;
                return next || returned.load();
            });
            if (next) {
                uidriver::WaitIdle(next);
                opened = uidriver::FindControl(next, c.field) != nullptr;
                // An empty PIN is one the prompt takes; the change of PIN is cancelled.
                Press(next, c.expected == 0 ? IDOK : IDCANCEL);
            }
        });
        const int result = c.call();
        returned = true;
        holder.join();
        EXPECT_EQ(c.expected, result) << c.name;
        EXPECT_TRUE(warningFirst) << c.name;
        EXPECT_EQ(c.opens, opened) << c.name;
    }
}

// A host's own window as the parent: it waits disabled while the prompt is
// open, and is enabled and in front again once the call returns.
TEST_F(PinPrompt, TheCallersWindowWaitsDisabledAndComesBackInFront)
{
    struct Case {
        const char* name;
        int (*call)(HWND parent);
    };
    const Case cases[] = {
        {"PIN", [](HWND parent) { return PromptOnce(parent); }},
        {"PIN always", [](HWND parent) { return ShowPINAlwaysPrompt(parent, kReader); }},
        {"change PIN", [](HWND parent) { return ChangeOnce(parent); }},
    };
    for (const Case& c : cases) {
        HWND parent = CreateWindowExW(0, L"STATIC", L"host window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300,
                                      200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(parent);
        SetForegroundWindow(parent);
        bool disabledWhileOpen = false;
        std::thread holder = uidriver::ActOnDialog([&](HWND dialog) {
            disabledWhileOpen = !IsWindowEnabled(parent);
            Press(dialog, IDCANCEL);
        });
        EXPECT_EQ(-1, c.call(parent)) << c.name;
        holder.join();
        EXPECT_TRUE(disabledWhileOpen) << c.name;
        EXPECT_TRUE(IsWindowEnabled(parent)) << c.name;
        EXPECT_EQ(parent, GetForegroundWindow()) << c.name;
        DestroyWindow(parent);
    }
}

// Asked for by a process that does not own the foreground (a background
// service of the middleware, a console program) while another program's
// window holds it and its keyboard focus, under the foreground lock Windows
// has: every prompt comes to the front with the focus in its PIN edit, so
// that what the holder types on the keyboard, not into a named window, is
// the PIN. Half the prompts have the caller's own window, left behind the
// other program's, as owner.
TEST_F(PinPrompt, ComesToTheFrontWithTheFocusWhenTheCallerIsInTheBackground)
{
    constexpr int kPrompts = 200;
    RunningChild other(L"\"" + BinDirectory() + L"foreground_holder.exe\"");
    ASSERT_TRUE(other.Started());
    HWND holder = nullptr;
    ASSERT_TRUE(uidriver::WaitUntil([&] { return (holder = FindWindowW(L"VelkorForegroundHolder", nullptr)) != nullptr; }));
    HWND own = CreateWindowExW(0, L"STATIC", L"security module", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 200, 100,
                               nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(own);
    ForegroundLock windowsRules;
    ASSERT_TRUE(windowsRules.Applied());
    int served = 0;
    int failed = 0;
    for (int i = 0; i < kPrompts && failed < 3; ++i) {
        SetForegroundWindow(holder);
        ASSERT_TRUE(uidriver::WaitUntil([&] { return GetForegroundWindow() == holder; }, 2000)) << i;
        const std::wstring typed = std::to_wstring(1000 + i);
        bool inFront = false;
        bool focused = false;
        std::thread acting = uidriver::ActOnDialog([&](HWND dialog) {
            GUITHREADINFO info = {sizeof(info)};
            inFront = uidriver::WaitUntil([&] { return GetForegroundWindow() == dialog; }, 500);
            focused = GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus == PinEdit(dialog);
            uidriver::TypeAsKeyboard(typed, {VK_RETURN});
            // Keys that went elsewhere leave it open.
            if (!uidriver::WaitUntil([&] { return !IsWindowVisible(dialog); }, 2000))
                Press(dialog, IDCANCEL);
        });
        char* pin = nullptr;
        int length = 0;
        const int result = GetPINFromUser(i % 2 ? own : nullptr, kReader, 0, 4, 8, &pin, &length, nullptr, nullptr, 0);
        acting.join();
        const bool ok = inFront && focused && result == 0 && pin &&
                        std::string(pin, static_cast<size_t>(length)) == std::string(typed.begin(), typed.end());
        EXPECT_TRUE(ok) << "prompt " << i << ": in front " << inFront << ", focus in the PIN edit " << focused
                        << ", result " << result;
        (ok ? served : failed)++;
        FreeGetPinBuffer(pin, static_cast<unsigned>(length));
    }
    EXPECT_EQ(kPrompts, served);
    // Nothing typed for a prompt went to the other program.
    EXPECT_EQ(0, GetWindowTextLengthW(GetWindow(holder, GW_CHILD)));
    PostMessageW(holder, WM_CLOSE, 0, 0);
    DestroyWindow(own);
}

// Writes a small 24-bit bitmap file.
void WriteBitmap(const std::wstring& path, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB};
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(stride * static_cast<DWORD>(height), 0x80);
    BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = _wfopen(path.c_str(), L"wb");
    fwrite(&file, sizeof(file), 1, out);
    fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out);
    fwrite(pixels.data(), pixels.size(), 1, out);
    fclose(out);
}

// Each prompt shows the branding banner when its file loads, else the
// default one. The banner bitmaps are ones no static control deletes:
// prompts after a warm-up, of either kind, branded or not, leave as many
// bitmaps, fonts, brushes and pens as they found.
TEST_F(PinPrompt, ShowsTheBrandingBannerAndRepeatedPromptsLeaveNoGdiObjectBehind)
{
    constexpr int kWarmUp = 3;
    constexpr int kPrompts = 20;
    // Wine now and then keeps one more cached object; a bitmap lost by every
    // prompt adds kPrompts.
    constexpr DWORD kCacheSlack = 2;
    std::wstring dir = MakeTempDirectory();
    WriteBitmap(dir + L"brand.bmp", 120, 30);
    struct Case {
        std::wstring banner; // empty: none set
        bool branded;
        bool measured;
    };
    for (const Case& c : {Case{L"", false, true}, Case{dir + L"brand.bmp", true, true},
                          Case{dir + L"missing.bmp", false, false}}) {
        RegistryFixture registry;
        if (!c.banner.empty())
            registry.SetString(kBrandingKey, L"BannerHiRes", c.banner);
        for (bool pinAlwaysPrompt : {false, true}) {
            const std::string what = std::string(pinAlwaysPrompt ? "PIN-always prompt" : "PIN prompt") + ", banner " +
                                     std::string(c.banner.begin(), c.banner.end());
            for (int i = 0; i < kWarmUp; ++i) {
                OpenPrompt(pinAlwaysPrompt, [&](HWND dialog) {
                    EXPECT_EQ(c.branded, IsWindowVisible(GetDlgItem(dialog, IDC_BANNER_BRANDING)) != FALSE) << what;
                    EXPECT_EQ(!c.branded, IsWindowVisible(GetDlgItem(dialog, IDC_BANNER_DEFAULT)) != FALSE) << what;
                    Press(dialog, IDCANCEL);
                });
            }
            if (!c.measured)
                continue;
            // Not DCs and regions: Wine keeps the display DCs a busier moment needed.
            const DWORD warm = MeasureProcess().drawingObjects;
            for (int i = 0; i < kPrompts; ++i)
                OpenPrompt(pinAlwaysPrompt, [](HWND dialog) { Press(dialog, IDCANCEL); });
            EXPECT_LE(MeasureProcess().drawingObjects, warm + kCacheSlack) << what;
        }
    }
    RemoveDirectoryTree(dir);
}

TEST_F(PinPrompt, NoTypedPinIsLeftInMemoryOnceItsBufferIsFreed)
{
    // Long enough that a buffer wiped only in part keeps a piece of it past
    // what the heap's own bookkeeping overwrites when the block is freed, so
    // longer than the maximum.
    m_registry.SetDword(kPinPolicies, L"EnableLargePINEntry", 1);
    MaskedSecret secret(40);
    PinAnswer answer = AskPin([&](HWND dialog) {
        for (size_t i = 0; i < secret.Length(); ++i)
            SendMessageW(PinEdit(dialog), WM_CHAR, secret.At(i), 1);
        // A correction, as a holder makes one: the deleted character must not stay either.
        SendMessageW(PinEdit(dialog), WM_CHAR, L'x', 1);
        SendMessageW(PinEdit(dialog), WM_CHAR, VK_BACK, 1);
        Press(dialog, IDOK);
    });
    ASSERT_EQ(0, answer.result);
    ASSERT_TRUE(secret.EqualsNarrow(answer.pin, static_cast<size_t>(answer.length)));
    SecretSightings beforeFree = ScanProcessMemory(secret);
    EXPECT_GE(beforeFree.narrow, 1u) << "the scan finds the PIN while the caller holds it";
    FreeGetPinBuffer(answer.pin, static_cast<unsigned>(answer.length));
    SecretSightings after = ScanProcessMemory(secret);
    EXPECT_EQ(0u, after.wide) << "the PIN as UTF-16";
    EXPECT_EQ(0u, after.narrow) << "the PIN in the system code page";
}

// The prompt holds a PIN longer than the maximum while another program
// throws every message at it and its controls: the host lives, no forged
// command confirms the PIN, and the holder still ends the prompt.
TEST_F(PinPrompt, SurvivesForgedMessagesAndKeepsItsRules)
{
    long tried = 0;
    bool stayedOpen = false;
    bool overlongHeld = false;
    PinAnswer answer = AskPin([&](HWND dialog) {
        uidriver::Type(PinEdit(dialog), L"123456789");
        tried = SendHostileTraffic(dialog, 13);
        stayedOpen = IsWindow(dialog) != FALSE;
        // Forged input may have changed the field: the holder types again,
        // too long at first, and a forged OK must not take it.
        uidriver::Retype(PinEdit(dialog), L"123456789");
        Press(dialog, IDOK);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        // A sent message overtakes the posted OK: only the queue's end shows it was refused.
        overlongHeld = WaitForQueueDrained(dialog, GetTickCount64() + 30000) && IsWindow(dialog) && !OkEnabled(dialog);
        // A forged key still queued when the sender ends can land among the
        // holder's keys: the holder looks and types again, as a person would.
        uidriver::WaitUntil([&] {
            uidriver::Retype(PinEdit(dialog), L"2580");
            return uidriver::WaitIdle(dialog) && uidriver::TextOf(PinEdit(dialog)) == L"2580";
        });
        Press(dialog, IDOK);
    });
    EXPECT_GT(tried, 0) << "the sender finished with the prompt still open";
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(overlongHeld) << "nothing confirms a PIN longer than the maximum";
    ASSERT_EQ(0, answer.result);
    EXPECT_EQ("2580", std::string(answer.pin ? answer.pin : "", answer.length > 0 ? answer.length : 0));
    FreeGetPinBuffer(answer.pin, answer.length > 0 ? static_cast<unsigned>(answer.length) : 0);
    std::printf("[ forged    ] %ld messages at the PIN prompt and its controls\n", tried);
}

class PinAlwaysPrompt : public PinPrompt {};

TEST_F(PinAlwaysPrompt, SurvivesForgedMessagesAndCancelStillRefuses)
{
    long tried = 0;
    std::thread holder = uidriver::ActOnDialog([&](HWND dialog) {
        tried = SendHostileTraffic(dialog, 29);
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(-1, ShowPINAlwaysPrompt(nullptr, kReader));
    holder.join();
    EXPECT_GT(tried, 0) << "the sender finished with the prompt still open";
    std::printf("[ forged    ] %ld messages at the PIN-always prompt and its controls\n", tried);
}

// The scans above prove something only if they see what is left behind:
// the whole secret, or any run of kSecretPieceLength of its characters.
TEST(MemoryScan, SeesEveryPieceOfASecretLeftInEitherForm)
{
    struct Case {
        const char* name;
        size_t from; // the characters left in memory
        size_t count;
        bool wide;
        bool seen;
    };
    const Case cases[] = {
        {"whole, UTF-16", 0, 24, true, true},
        {"whole, code page, at an odd address", 0, 24, false, true},
        {"last piece, UTF-16", 16, 8, true, true},
        {"middle, code page", 5, 11, false, true},
        {"less than a piece, UTF-16", 3, 7, true, false},
        {"less than a piece, code page", 17, 7, false, false},
    };
    MaskedSecret secret(24);
    for (const Case& c : cases) {
        auto* page = static_cast<unsigned char*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        for (size_t i = 0; i < c.count; ++i) {
            if (c.wide)
                reinterpret_cast<wchar_t*>(page)[i] = secret.At(c.from + i);
            else
                page[1 + i] = secret.NarrowAt(c.from + i);
        }
        SecretSightings seen = ScanProcessMemory(secret);
        EXPECT_EQ(c.seen && c.wide, seen.wide > 0) << c.name;
        EXPECT_EQ(c.seen && !c.wide, seen.narrow > 0) << c.name;
        SecureZeroMemory(page, 4096);
        EXPECT_EQ(0u, ScanProcessMemory(secret).Total()) << c.name << ", wiped";
        VirtualFree(page, 0, MEM_RELEASE);
    }
}

// An edit that held a secret keeps it in its buffer unless its text is
// overwritten before it is emptied: setting an empty text clears only the
// first character, and destroying the edit frees the buffer as it is.
TEST(MemoryScan, SeesWhatAnEditEmptiedWithoutOverwritingLeaves)
{
    struct Case {
        const char* name;
        void (*empty)(HWND);
        bool seen;
    };
    const Case cases[] = {
        {"emptied", [](HWND edit) { SetWindowTextW(edit, L""); }, true},
        {"overwritten, then emptied", WipeEditText, false},
    };
    for (const Case& c : cases) {
        MaskedSecret secret(24);
        HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP | ES_PASSWORD | ES_AUTOHSCROLL, 0, 0, 200, 20, nullptr,
                                    nullptr, nullptr, nullptr);
        ASSERT_TRUE(edit);
        for (size_t i = 0; i < secret.Length(); ++i)
            SendMessageW(edit, WM_CHAR, secret.At(i), 1);
        c.empty(edit);
        DestroyWindow(edit);
        EXPECT_EQ(c.seen, ScanProcessMemory(secret).wide > 0) << c.name;
    }
}

// A PIN buffer handed to the caller must be wiped whole when it is freed:
// a freed block loses only its first bytes to the heap's bookkeeping. The
// careless frees release into a heap of their own, so that nothing the scan
// or another thread allocates can take the block and hide what was left.
TEST(MemoryScan, SeesWhatAFreeThatWipesTooLittleLeaves)
{
    static HANDLE s_hHeap = nullptr;
    s_hHeap = HeapCreate(0, 0, 0);
    ASSERT_TRUE(s_hHeap);
    struct Case {
        const char* name;
        char* (*allocate)(size_t size);
        void (*release)(char* buffer, unsigned length);
        bool seen;
    };
    auto privateBlock = [](size_t size) { return static_cast<char*>(HeapAlloc(s_hHeap, 0, size)); };
    const Case cases[] = {
        {"FreeGetPinBuffer", [](size_t size) { return static_cast<char*>(malloc(size)); },
         [](char* b, unsigned n) { FreeGetPinBuffer(b, n); }, false},
        {"half wiped", privateBlock, [](char* b, unsigned n) { SecureZeroMemory(b, n / 2); HeapFree(s_hHeap, 0, b); },
         true},
        {"all but a piece wiped", privateBlock,
         [](char* b, unsigned n) { SecureZeroMemory(b, n - kSecretPieceLength); HeapFree(s_hHeap, 0, b); }, true},
        {"not wiped", privateBlock, [](char* b, unsigned) { HeapFree(s_hHeap, 0, b); }, true},
    };
    for (const Case& c : cases) {
        MaskedSecret secret(24);
        const unsigned length = static_cast<unsigned>(secret.NarrowLength());
        char* buffer = c.allocate(length + 1);
        ASSERT_TRUE(buffer);
        for (unsigned i = 0; i < length; ++i)
            buffer[i] = static_cast<char>(secret.NarrowAt(i));
        buffer[length] = 0;
        c.release(buffer, length);
        EXPECT_EQ(c.seen, ScanProcessMemory(secret).narrow > 0) << c.name;
    }
    HeapDestroy(s_hHeap);
}

} // namespace
