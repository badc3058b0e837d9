// The unlock code display and the outcome dialogs.
#include "CardWorldBuilder.h"
#include "Fixtures.h"
#include "HolderActions.h"
#include "UiDriver.h"

#include "base/VelkorExports.h"
#include "mwctl_control.h"
#include "pinrc_ids.h"
#include "unlock/UnlockOutcomeDlgs.h"
#include "vkevtsub_control.h"
#include "vklogu.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <thread>

namespace {

constexpr const wchar_t* kReader = L"Code Reader";

struct Seen {
    std::wstring code;
    bool boxShown = false;
};

// A get callback that hands out a fixed code, and a remove callback that counts.
struct FakeCard {
    const wchar_t* code;
    int status;
    int removed = 0;
    std::function<void()> fail; // when set, the get callback throws through it
    // The callback's own type: a C++ caller needs no cast.
    static int Get(void* self, CSecStr* out)
    {
        auto* card = static_cast<FakeCard*>(self);
        if (card->fail)
            card->fail();
        *out = card->code;
        return card->status;
    }
    static int Remove(void* self)
    {
        ++static_cast<FakeCard*>(self)->removed;
        return 0;
    }
};

// Runs DisplayUnlockCode while `holder` acts on the first window it shows.
int Display(FakeCard* card, std::function<void(HWND)> holder, bool withGet = true)
{
    std::thread acting = uidriver::ActOnDialog(std::move(holder), 5000);
    int result = DisplayUnlockCode(nullptr, card, withGet ? FakeCard::Get : nullptr, FakeCard::Remove, kReader);
    acting.join();
    return result;
}

TEST(UnlockCodeDisplay, ShowsTheCodeInGroupsAndRemovesItOnlyWhenAsked)
{
    struct Case {
        const wchar_t* code;
        const wchar_t* shown;
        bool tick;
        int result;
        int removed;
    };
    const Case cases[] = {
        {L"3150A7C2E99D4B06", L"3150-A7C2-E99D-4B06", true, 1, 1},
        {L"3150A7C2E99D4B06", L"3150-A7C2-E99D-4B06", false, 0, 0},
        {L"ABCDEF", L"ABCD-EF", true, 1, 1},
    };
    for (const Case& c : cases) {
        FakeCard card{c.code, 0};
        std::wstring shown;
        int result = Display(&card, [&](HWND dialog) {
            shown = uidriver::TextOf(uidriver::FindControl(dialog, IDC_UNLOCK_CODE_TEXT));
            if (c.tick)
                SendMessageW(uidriver::FindControl(dialog, IDC_NEVER_DISPLAY), BM_SETCHECK, BST_CHECKED, 0);
            Press(dialog, IDOK);
        });
        EXPECT_EQ(c.shown, shown);
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.removed, card.removed);
    }
}

TEST(UnlockCodeDisplay, APolicyCanSuppressIt)
{
    RegistryFixture registry;
    registry.SetDword(L"Software\\Policies\\Quellon\\Velkor\\UserConsole", L"HideUnlockCode", 7);
    FakeCard card{L"3150A7C2E99D4B06", 0};
    bool shown = false;
    std::thread holder = uidriver::ActOnDialogIfAny(
        [&](HWND dialog) {
            shown = true;
            Press(dialog, IDOK);
        },
        500);
    int result = DisplayUnlockCode(nullptr, &card, FakeCard::Get, FakeCard::Remove, kReader);
    holder.join();
    EXPECT_EQ(0, result);
    EXPECT_FALSE(shown);
    EXPECT_EQ(0, card.removed);
}

TEST(UnlockCodeDisplay, NoCodeOrAFailureIsToldInABox)
{
    struct Case {
        const wchar_t* code;
        int status;
        bool withGet;
        int result;
    };
    for (Case c : {Case{L"", 0, true, 1}, Case{L"ABCD", 3, true, 0}, Case{L"ABCD", 0, false, 0}}) {
        FakeCard card{c.code, c.status};
        std::wstring text;
        int result = Display(
            &card,
            [&](HWND box) {
                text = uidriver::TextOf(GetDlgItem(box, 0xFFFF));
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            },
            c.withGet);
        EXPECT_EQ(c.result, result);
        EXPECT_FALSE(text.empty()) << "the holder is told";
        EXPECT_EQ(0, card.removed);
    }
}

TEST(UnlockCodeDisplay, NoExceptionOfACallbackLeavesTheCall)
{
    struct Foreign {};
    struct Case {
        const char* name;
        std::function<void()> fail;
        const wchar_t* logged;
    };
    const Case cases[] = {
        {"out of memory", [] { throw std::bad_alloc(); }, L"DisplayUnlockCode: stopped out of memory"},
        {"a type the library cannot know", [] { throw Foreign{}; },
         L"DisplayUnlockCode: stopped an exception of an unknown type"},
    };
    for (const Case& c : cases) {
        FakeCard card{L"ABCD", 0};
        card.fail = c.fail;
        LogCapture log;
        int result = 99;
        EXPECT_NO_THROW(result = DisplayUnlockCode(nullptr, &card, FakeCard::Get, FakeCard::Remove, kReader)) << c.name;
        EXPECT_EQ(0, result) << c.name;
        EXPECT_EQ(0, card.removed) << c.name;
        EXPECT_TRUE(log.Has(VKLOG_ERROR, c.logged)) << c.name;
    }
}

TEST(UnlockCodeDisplay, ShowUnlockCodeReadsAndRemovesTheCardsCode)
{
    CardWorldBuilder world;
    world.Reader(kReader, L"card", L"dave").Card(L"dave", {{L"Identifier", L"0D"}, {L"UnlockCode", L"7D3A90C15E2B48F6"}});
    ASSERT_TRUE(world.Serve());
    std::wstring shown;
    std::thread holder = uidriver::ActOnDialog([&](HWND dialog) {
        shown = uidriver::TextOf(uidriver::FindControl(dialog, IDC_UNLOCK_CODE_TEXT));
        SendMessageW(uidriver::FindControl(dialog, IDC_NEVER_DISPLAY), BM_SETCHECK, BST_CHECKED, 0);
        Press(dialog, IDOK);
    });
    EXPECT_EQ(1, ShowUnlockCode(nullptr, kReader));
    holder.join();
    EXPECT_EQ(L"7D3A-90C1-5E2B-48F6", shown);
    wchar_t code[64] = {};
    mwctlCardField(L"dave", L"UnlockCode", code, 64);
    EXPECT_STREQ(L"", code) << "removed from the card";

    // The card leaving while the code is shown: nothing is removed.
    ASSERT_TRUE(world.Serve());
    holder = uidriver::ActOnDialog([](HWND) { mwctlRemoveCard(kReader); });
    EXPECT_EQ(0, ShowUnlockCode(nullptr, kReader));
    holder.join();
    EXPECT_EQ(0u, mwctlOpenContexts());
}

TEST(OutcomeDialogs, ThePinInitializationFailureShowsItsOwnTitle)
{
    for (int mode : {0, 1}) {
        std::wstring title;
        std::wstring message;
        std::thread holder = uidriver::ActOnDialog([&](HWND dialog) {
            title = uidriver::TextOf(dialog);
            message = uidriver::TextOf(GetDlgItem(dialog, IDC_FAILED_MESSAGE));
            Press(dialog, IDOK);
        });
        CUnlockFailedDlg(nullptr, L"Something went wrong.", mode).DoModal();
        holder.join();
        EXPECT_EQ(mode == 1 ? L"Card PIN" : L"Unlock Card", title);
        EXPECT_EQ(L"Something went wrong.", message);
    }
}

TEST(OutcomeDialogs, ALockClosesTheFailureAndToolDialogsButNotTheSuccess)
{
    auto lockWhileOpen = [](auto&& dialog) {
        std::thread holder = uidriver::ActOnDialog([](HWND window) {
            vkevtsubRaise(&VK_SESSION_EVENT_CHANNEL, VK_EVENT_SESSION, VK_SESSION_LOCKING, nullptr);
            vkevtsubWaitIdle(5000);
            // Whatever is still open afterwards, the holder closes with OK.
            if (!uidriver::WaitUntil([&] { return !IsWindow(window); }, 300))
                PostMessageW(window, WM_COMMAND, IDOK, 0);
        });
        INT_PTR result = dialog.DoModal();
        holder.join();
        return result;
    };
    CUnlockFailedDlg failure(nullptr, L"x", 0);
    EXPECT_EQ(IDCANCEL, lockWhileOpen(failure));
    CUnlockInitToolDlg tool(nullptr, kReader, 1);
    EXPECT_EQ(IDCANCEL, lockWhileOpen(tool));
    CUnlockSuccessDlg success;
    EXPECT_EQ(IDOK, lockWhileOpen(success));
}

TEST(OutcomeDialogs, TheHelpButtonOpensTheUnlockTopic)
{
    RegistryFixture registry;
    registry.SetString(kInstallKey, L"HelpPath", L"C:\\nowhere\\velkor.chm");
    LogCapture log;
    std::thread holder = uidriver::ActOnDialog([](HWND dialog) {
        SendMessageW(dialog, WM_NCLBUTTONDOWN, HTHELP, 0);
        Press(dialog, IDOK);
    });
    CUnlockFailedDlg(nullptr, L"x", 0).DoModal();
    holder.join();
    EXPECT_TRUE(log.Has(VKLOG_INFO, L"Displaying topic 1013"));
    EXPECT_TRUE(log.Has(VKLOG_INFO, L"CUnlockFailedDlg::OnContextualHelp: qlRegReadStringValueEx(SOFTWARE\\Quellon\\Velkor, "
                                    L"HelpPath) returned C:\\nowhere\\velkor.chm"));
}

} // namespace
