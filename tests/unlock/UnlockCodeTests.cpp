// The unlock code display and the outcome dialogs.
#include "CardWorldBuilder.h"
#include "FakeCard.h"
#include "Fixtures.h"
#include "HelpViewerStandIn.h"
#include "HolderActions.h"
#include "KeyboardHolder.h"
#include "UiDriver.h"

#include "base/HelpTopic.h"
#include "base/VelkorExports.h"
#include "mwctl_control.h"
#include "pinrc_ids.h"
#include "unlock/UnlockOutcomeDlgs.h"
#include "vkevtsub_control.h"
#include "vklogu.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <thread>

namespace {

constexpr const wchar_t* kReader = L"Code Reader";

// The code is shown in groups of four and removed only when the holder asks;
// without a code, or when reading it fails, a box tells the holder; a policy
// or a callback's exception shows nothing, and nothing leaves the call.
TEST(UnlockCodeDisplay, ShowsTheCodeInGroupsAndRemovesItOnlyWhenAsked)
{
    struct Foreign {};
    enum Window { None, Code, Box };
    // Whether the "never display again" box is ticked by the holder, left
    // alone, or checked by another program's message.
    enum Choice { Left, Ticked, CheckedByAnother };
    struct Case {
        const char* name;
        FakeCard card;
        bool withGet;
        DWORD hidePolicy; // HideUnlockCode, 0: not set
        Window window;
        const wchar_t* shown;
        Choice tick;
        int result;
        const wchar_t* logged;
    };
    const Case cases[] = {
        {"ticked", {L"3150A7C2E99D4B06", 0}, true, 0, Code, L"3150-A7C2-E99D-4B06", Ticked, 1, nullptr},
        {"not ticked", {L"3150A7C2E99D4B06", 0}, true, 0, Code, L"3150-A7C2-E99D-4B06", Left, 0, nullptr},
        {"checked by another program", {L"3150A7C2E99D4B06", 0}, true, 0, Code, L"3150-A7C2-E99D-4B06",
         CheckedByAnother, 0, nullptr},
        {"short code", {L"ABCDEF", 0}, true, 0, Code, L"ABCD-EF", Ticked, 1, nullptr},
        {"no code", {L"", 0}, true, 0, Box, nullptr, Ticked, 1, nullptr},
        {"reading fails", {L"ABCD", 3}, true, 0, Box, nullptr, Ticked, 0, nullptr},
        {"no get callback", {L"ABCD", 0}, false, 0, Box, nullptr, Ticked, 0, nullptr},
        {"policy hides it", {L"3150A7C2E99D4B06", 0}, true, 7, None, nullptr, Ticked, 0, nullptr},
        {"out of memory", {L"ABCD", 0, [] { throw std::bad_alloc(); }}, true, 0, None, nullptr, Ticked, 0,
         L"DisplayUnlockCode: stopped out of memory"},
        {"a type the library cannot know", {L"ABCD", 0, [] { throw Foreign{}; }}, true, 0, None, nullptr, Ticked, 0,
         L"DisplayUnlockCode: stopped an exception of an unknown type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegistryFixture registry;
        if (c.hidePolicy)
            registry.SetDword(L"Software\\Policies\\Quellon\\Velkor\\UserConsole", L"HideUnlockCode", c.hidePolicy);
        FakeCard card = c.card;
        LogCapture log;
        Window seen = None;
        std::wstring text;
        auto holder = [&](HWND dialog) {
            HWND code = uidriver::FindControl(dialog, IDC_UNLOCK_CODE_TEXT);
            seen = code ? Code : Box;
            text = uidriver::TextOf(code ? code : GetDlgItem(dialog, 0xFFFF));
            HWND box = uidriver::FindControl(dialog, IDC_NEVER_DISPLAY);
            if (c.tick == Ticked && code)
                Tick(box);
            if (c.tick == CheckedByAnother)
                SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
            Press(dialog, IDOK);
        };
        std::thread acting = c.window ? uidriver::ActOnDialog(holder, 5000) : uidriver::ActOnDialogIfAny(holder, 500);
        int result = 99;
        EXPECT_NO_THROW(result = DisplayUnlockCode(nullptr, &card, c.withGet ? FakeCard::Get : nullptr,
                                                   FakeCard::Remove, kReader));
        acting.join();
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.window, seen);
        EXPECT_EQ(c.window == Code && c.tick == Ticked ? 1 : 0, card.removed);
        if (c.shown) {
            EXPECT_EQ(c.shown, text);
        }
        EXPECT_TRUE(c.window != Box || !text.empty()) << "the holder is told";
        EXPECT_TRUE(!c.logged || log.Has(VKLOG_ERROR, c.logged));
    }
}

TEST(UnlockCodeDisplay, ShowUnlockCodeReadsAndRemovesTheCardsCode)
{
    CardWorldBuilder world;
    world.Reader(kReader, L"card", L"dave");
    world.Card(L"dave", {{L"Identifier", L"0D"}, {L"UnlockCode", L"7D3A90C15E2B48F6"}});
    ASSERT_TRUE(world.Serve());
    std::wstring shown;
    std::thread holder = uidriver::ActOnDialog([&](HWND dialog) {
        shown = uidriver::TextOf(uidriver::FindControl(dialog, IDC_UNLOCK_CODE_TEXT));
        Tick(uidriver::FindControl(dialog, IDC_NEVER_DISPLAY));
        Press(dialog, IDOK);
    });
    EXPECT_EQ(1, ShowUnlockCode(nullptr, kReader));
    holder.join();
    EXPECT_EQ(L"7D3A-90C1-5E2B-48F6", shown);
    EXPECT_EQ(L"", CardWorldBuilder::FieldOf(L"dave", L"UnlockCode")) << "removed from the card";

    // The card leaving while the code is shown: nothing is removed.
    ASSERT_TRUE(world.Serve());
    auto leave = [](HWND) { mwctlRemoveCard(kReader); };
    EXPECT_EQ(0, WhileHolderActs(leave, [] { return ShowUnlockCode(nullptr, kReader); }));
    EXPECT_EQ(0u, mwctlOpenContexts());
}

// The failure dialog of each mode: its title, the message, and its help
// button, which opens the unlock topic.
TEST(OutcomeDialogs, TheFailureShowsItsModesTitleAndOpensTheUnlockTopic)
{
    RegistryFixture registry;
    registry.SetString(kInstallKey, L"HelpPath", L"C:\\nowhere\\velkor.chm");
    HelpViewerStandIn viewer;
    for (int mode : {0, 1}) {
        std::wstring title;
        std::wstring message;
        std::thread holder = uidriver::ActOnDialog([&](HWND dialog) {
            title = uidriver::TextOf(dialog);
            message = uidriver::TextOf(GetDlgItem(dialog, IDC_FAILED_MESSAGE));
            SendMessageW(dialog, WM_NCLBUTTONDOWN, HTHELP, 0);
            Press(dialog, IDOK);
        });
        CUnlockFailedDlg(nullptr, L"Something went wrong.", mode).DoModal();
        holder.join();
        EXPECT_EQ(mode == 1 ? L"Card PIN" : L"Unlock Card", title);
        EXPECT_EQ(L"Something went wrong.", message);
        const HelpRequests* help = viewer.Recorded();
        ASSERT_NE(nullptr, help) << "the help viewer was never loaded";
        EXPECT_EQ(mode + 1, help->count);
        EXPECT_STREQ(L"C:\\nowhere\\velkor.chm", help->file);
        EXPECT_EQ(static_cast<DWORD_PTR>(kHelpUnlock), help->data);
    }
}

TEST(OutcomeDialogs, ALockClosesTheFailureAndToolDialogsButNotTheSuccess)
{
    auto lockWhileOpen = [](auto&& dialog) {
        auto lock = [](HWND window) {
            vkevtsubRaise(&VK_SESSION_EVENT_CHANNEL, VK_EVENT_SESSION, VK_SESSION_LOCKING, nullptr);
            vkevtsubWaitIdle(5000);
            // Whatever is still open afterwards, the holder closes with OK.
            if (!uidriver::WaitUntil([&] { return !IsWindow(window); }, 300))
                SendNotifyMessageW(window, WM_COMMAND, IDOK, 0);
        };
        return WhileHolderActs(lock, [&] { return dialog.DoModal(); });
    };
    CUnlockFailedDlg failure(nullptr, L"x", 0);
    EXPECT_EQ(IDCANCEL, lockWhileOpen(failure));
    CUnlockInitToolDlg tool(nullptr, kReader, 1);
    EXPECT_EQ(IDCANCEL, lockWhileOpen(tool));
    CUnlockSuccessDlg success;
    EXPECT_EQ(IDOK, lockWhileOpen(success));
}

// The keyboard alone: each dialog walks its controls with Tab, the box is
// ticked by its letter, Enter confirms and Esc leaves.
TEST(KeyboardOnly, TheCodeDisplayAndTheOutcomesAreCompletedByKeysAlone)
{
    struct Case {
        const char* name;
        std::function<INT_PTR(std::function<void(HWND)>)> show;
        std::vector<int> tabOrder;
        wchar_t accessKey; // 0: none pressed
        UINT endKey;
        INT_PTR expected;
    };
    FakeCard card{L"3150A7C2E99D4B06", 0};
    auto codeDisplay = [&](std::function<void(HWND)> holder) {
        return WhileHolderActs(holder, [&] {
            return static_cast<INT_PTR>(DisplayUnlockCode(nullptr, &card, FakeCard::Get, FakeCard::Remove, kReader));
        });
    };
    auto modal = [](auto makeDialog) {
        return [makeDialog](std::function<void(HWND)> holder) {
            auto dialog = makeDialog();
            return WhileHolderActs(holder, [&] { return dialog->DoModal(); });
        };
    };
    const Case cases[] = {
        {"code display, ticked", codeDisplay, {IDOK, IDCANCEL, IDC_NEVER_DISPLAY}, L'W', VK_RETURN, 1},
        {"code display, left", codeDisplay, {IDOK, IDCANCEL, IDC_NEVER_DISPLAY}, 0, VK_ESCAPE, 0},
        {"unlock failed", modal([] { return std::make_unique<CUnlockFailedDlg>(nullptr, L"x", 0); }), {IDOK}, 0,
         VK_RETURN, IDOK},
        {"unlock succeeded", modal([] { return std::make_unique<CUnlockSuccessDlg>(); }), {IDOK}, 0, VK_ESCAPE,
         IDCANCEL},
        {"unlock tool", modal([] { return std::make_unique<CUnlockInitToolDlg>(nullptr, kReader, 1); }), {IDOK}, 0,
         VK_ESCAPE, IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        card.removed = 0;
        std::vector<int> order;
        INT_PTR result = c.show([&](HWND dialog) {
            order = TabOrder(dialog);
            if (c.accessKey)
                PressAccessKey(dialog, c.accessKey);
            PressKey(dialog, c.endKey);
        });
        EXPECT_EQ(c.tabOrder, order);
        EXPECT_EQ(c.expected, result);
        EXPECT_EQ(c.accessKey ? 1 : 0, card.removed);
    }
}

} // namespace
