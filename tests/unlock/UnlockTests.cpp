// Unlocking a blocked card as a card holder and a help desk would, the
// unlock code display and the outcome dialogs.
#include "CardWorldBuilder.h"
#include "ControllerSweep.h"
#include "Fixtures.h"
#include "HolderActions.h"
#include "KeyboardHolder.h"
#include "MemoryScan.h"
#include "NotifyReceivers.h"
#include "UiDriver.h"

#include "CConverter.h"
#include "TripleDes.h"
#include "base/VelkorExports.h"
#include "mwctl_control.h"
#include "pinrc_ids.h"
#include "unlock/UnlockCardDlg.h"
#include "unlock/UnlockOutcomeDlgs.h"
#include "unlock/UnlockSupport.h"
#include "vkevtsub_control.h"
#include "vklogu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>

namespace {

constexpr const wchar_t* kReader = L"Help Desk Reader";
constexpr const wchar_t* kAdminKey = L"3C1F5A0E9B7D2468ACE013579BDF02468ACE13579BDF0246";

// What the help desk answers to the challenge the unlock dialog shows.
CSecStr HelpDeskAnswer(HWND unlockDialog)
{
    CSecStr challenge(uidriver::TextOf(GetDlgItem(unlockDialog, IDC_CHALLENGE_TEXT)).c_str());
    challenge.Remove(L'-');
    WipingBytes response;
    TripleDesEncryptEcb(CConverter::HexToBin(CSecStr(kAdminKey)), CConverter::HexToBin(challenge), response);
    return CConverter::BinToHex(response);
}

// The outcome dialog that comes up over the unlock dialog.
HWND WaitForOutcome(HWND unlockDialog)
{
    const DWORD thread = GetWindowThreadProcessId(unlockDialog, nullptr);
    HWND found = nullptr;
    uidriver::WaitUntil([&] {
        auto windows = uidriver::TopLevelWindows([&](HWND w) {
            return w != unlockDialog && uidriver::ClassOf(w) == L"#32770" &&
                   GetWindowThreadProcessId(w, nullptr) == thread;
        });
        found = windows.empty() ? nullptr : windows.front();
        return found != nullptr;
    });
    if (found)
        uidriver::WaitIdle(found);
    return found;
}

// How many times the controller was called for each name since the log was cleared.
std::map<std::wstring, int> Calls()
{
    std::map<std::wstring, int> calls;
    wchar_t name[64];
    for (size_t i = 0; mwctlCallName(i, name, 64); ++i)
        ++calls[name];
    return calls;
}

class UnlockFlow : public testing::Test {
protected:
    void SetUp() override
    {
        mwctlFailCall(0, 0);
        Serve({});
    }
    // Serves the blocked card, with `changed` fields in place of its own.
    void Serve(std::map<std::wstring, std::wstring> changed)
    {
        std::map<std::wstring, std::wstring> fields = {
            {L"Identifier", L"CA20"}, {L"Type", L"PIV"},     {L"PIN", L"13572468"}, {L"PINTries", L"0"},
            {L"PINMaxTries", L"3"},   {L"MinPINLen", L"6"},  {L"MaxPINLen", L"8"},  {L"WeakPINCheck", L"1"},
            {L"AdminKey", kAdminKey}, {L"AdminTries", L"5"}, {L"TransactionTimeout", L"20000"}};
        changed.merge(fields);
        m_world = std::make_unique<CardWorldBuilder>();
        m_world->Reader(kReader, L"card", L"carol").Reader(L"Other Reader", L"empty");
        m_world->Card(L"carol", {changed.begin(), changed.end()});
        ASSERT_TRUE(m_world->Serve());
    }
    void TearDown() override
    {
        EXPECT_EQ(0u, mwctlOpenContexts()) << "the card was let go";
        EXPECT_EQ(0u, mwctlOpenTransactions()) << "the transaction was ended";
    }
    // Unlocks at `reader` with `holder` acting on the first dialog shown
    // (the unlock dialog, where the card can be unlocked).
    static int Unlock(std::function<void(HWND)> holder, const wchar_t* reader = kReader)
    {
        return WhileHolderActs(std::move(holder), [reader] { return ShowUnlockDialog(nullptr, reader, nullptr); });
    }
    std::unique_ptr<CardWorldBuilder> m_world;
};

// The keyboard alone, the help desk's answer typed in lower case with dashes
// anywhere: the focus starts in the unlock code, the labels' letters and Tab
// lead through the PIN fields, Enter unlocks and closes the success dialog.
// One unlock costs these controller calls, by name and count: one call more
// (a second search, a second transaction) is a round trip to the card that
// the holder waits for.
TEST_F(UnlockFlow, TheHelpDesksAnswerTypedByKeysAloneUnlocksTheCardAndTellsTheAgent)
{
    Receivers agent({L"VkTrayHandlerClass"});
    mwctlClearCalls();
    bool okBeforeTyping = true;
    std::wstring shown;
    std::vector<int> order;
    std::vector<int> successOrder;
    int result = Unlock([&](HWND dialog) {
        shown = uidriver::TextOf(GetDlgItem(dialog, IDC_CHALLENGE_TEXT));
        okBeforeTyping = OkEnabled(dialog);
        order = TabOrder(dialog);
        std::wstring answer = HelpDeskAnswer(dialog).GetString();
        for (wchar_t& c : answer)
            c = static_cast<wchar_t>(towlower(c));
        TypeKeys(dialog, answer.substr(0, 3) + L"-" + answer.substr(3, 9) + L"--" + answer.substr(12));
        PressAccessKey(dialog, L'N');
        TypeKeys(dialog, L"615243");
        PressKey(dialog, VK_TAB);
        TypeKeys(dialog, L"615243");
        PressKey(dialog, VK_RETURN);
        if (HWND success = WaitForOutcome(dialog)) {
            successOrder = TabOrder(success);
            PressKey(success, VK_RETURN);
        }
    });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(19u, shown.size()) << "16 digits in groups of four";
    EXPECT_FALSE(okBeforeTyping);
    EXPECT_EQ((std::vector<int>{IDC_UNLOCK_CODE_EDIT, IDC_UNLOCK_NEW_PIN_EDIT, IDC_UNLOCK_CONFIRM_EDIT, IDCANCEL}),
              order);
    EXPECT_EQ(std::vector<int>{IDOK}, successOrder);
    EXPECT_EQ(L"615243", CardWorldBuilder::FieldOf(L"carol", L"PIN"));
    EXPECT_EQ(L"3", CardWorldBuilder::FieldOf(L"carol", L"PINTries"));
    ASSERT_EQ(1u, agent.received.size());
    EXPECT_EQ(78946u, agent.received[0].word);
    EXPECT_EQ(kReader, std::wstring(reinterpret_cast<const wchar_t*>(agent.received[0].data.data())));
    const std::map<std::wstring, int> expected = {
        {L"Initialize", 1}, {L"ListReaders", 1}, {L"Reader::GetProperty", 1}, {L"EstablishContext", 1},
        {L"Context::FindCredentials", 6}, {L"Credential::GetAccessControlList", 1}, {L"ACL::IsAuthenticable", 1},
        {L"Context::GetCardObject", 3}, {L"Card::GetProperty", 3}, {L"Credential::GetProperty", 3},
        {L"Context::BeginTransaction", 1}, {L"Credential::GetUnblockChallenge", 1}, {L"Credential::Unblock", 1},
        {L"Context::EndTransaction", 1}, {L"ReleaseContext", 1},
    };
    EXPECT_EQ(expected, Calls());
}

TEST_F(UnlockFlow, AWrongCodeIsToldAsSuchCostsATryAndLeavesTheDialogOpen)
{
    bool stillOpen = false;
    std::wstring told;
    int result = Unlock([&](HWND dialog) {
        uidriver::Type(GetDlgItem(dialog, IDC_UNLOCK_CODE_EDIT), L"0000-0000-0000-0000");
        uidriver::Type(GetDlgItem(dialog, IDC_UNLOCK_NEW_PIN_EDIT), L"615243");
        uidriver::Type(GetDlgItem(dialog, IDC_UNLOCK_CONFIRM_EDIT), L"615243");
        Press(dialog, IDOK);
        HWND failure = WaitForOutcome(dialog);
        if (failure) {
            told = uidriver::TextOf(uidriver::FindControl(failure, IDC_FAILED_MESSAGE));
            Press(failure, IDOK);
        }
        stillOpen = uidriver::WaitUntil([&] { return !failure || !IsWindow(failure); }) && IsWindowVisible(dialog);
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_TRUE(stillOpen);
    HMODULE texts = GetModuleHandleW(L"vk.velkor.gui.pinrc.dll");
    EXPECT_EQ(ResourceString(texts, IDS_UNLOCK_WRONG_CODE), told) << "the text for a wrong code, not a general failure";
    EXPECT_EQ(L"4", CardWorldBuilder::FieldOf(L"carol", L"AdminTries"));
    EXPECT_EQ(L"13572468", CardWorldBuilder::FieldOf(L"carol", L"PIN"));
}

TEST_F(UnlockFlow, OkWaitsForAWellFormedCodeAndPinsThatKeepTheRules)
{
    struct Case {
        const wchar_t* code;
        const wchar_t* pin;
        const wchar_t* confirm;
        bool ok;
    };
    const Case cases[] = {
        {L"0123456789ABCDEF", L"615243", L"615243", true},
        {L"0123-4567-89ab-cdef", L"615243", L"615243", true},
        {L"0123456789ABCDE", L"615243", L"615243", false},
        {L"0123456789ABCDEF0", L"615243", L"615243", false},
        {L"0123456789ABCDEG", L"615243", L"615243", false},
        {L"0123456789ABCDEF", L"123456", L"123456", false}, // weak
        {L"0123456789ABCDEF", L"6152", L"6152", false},     // too short
        {L"0123456789ABCDEF", L"615243", L"615244", false}, // confirmation differs
    };
    Unlock([&](HWND dialog) {
        for (const Case& c : cases) {
            uidriver::Retype(GetDlgItem(dialog, IDC_UNLOCK_CODE_EDIT), c.code);
            uidriver::Retype(GetDlgItem(dialog, IDC_UNLOCK_NEW_PIN_EDIT), c.pin);
            uidriver::Retype(GetDlgItem(dialog, IDC_UNLOCK_CONFIRM_EDIT), c.confirm);
            EXPECT_EQ(c.ok, OkEnabled(dialog)) << std::string(c.code, c.code + wcslen(c.code));
        }
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(L"5", CardWorldBuilder::FieldOf(L"carol", L"AdminTries")) << "nothing reached the card";
}

// However the dialog closes without an unlock, the card transaction begun
// for it is ended (an unlock's own calls are counted above); events for
// another reader's card close nothing.
TEST_F(UnlockFlow, EveryWayOutEndsTheCardTransaction)
{
    const std::pair<const char*, std::function<void(HWND)>> cases[] = {
        {"Cancel", [](HWND dialog) { Press(dialog, IDCANCEL); }},
        {"card removed", [](HWND) { mwctlRemoveCard(kReader); }},
        {"workstation locked",
         [](HWND) { vkevtsubRaise(&VK_SESSION_EVENT_CHANNEL, VK_EVENT_SESSION, VK_SESSION_LOCKED, nullptr); }},
    };
    for (const auto& [name, close] : cases) {
        SCOPED_TRACE(name);
        Serve({});
        mwctlClearCalls();
        bool otherReaderIgnored = false;
        int result = Unlock([&](HWND dialog) {
            vkevtsubRaise(&VK_CARD_EVENT_CHANNEL, VK_EVENT_CARD_REMOVED, 0, L"Other Reader");
            vkevtsubWaitIdle(5000);
            uidriver::WaitIdle(dialog);
            otherReaderIgnored = !uidriver::WaitUntil([&] { return !IsWindowVisible(dialog); }, 200);
            close(dialog);
        });
        EXPECT_EQ(IDCANCEL, result);
        EXPECT_TRUE(otherReaderIgnored);
        auto calls = Calls();
        EXPECT_EQ(1, calls[L"Context::BeginTransaction"]);
        EXPECT_EQ(1, calls[L"Context::EndTransaction"]);
    }
}

// The card ends a transaction left a whole time-out without renewal: the
// dialog renews it at half the time-out, so it never lapses.
TEST_F(UnlockFlow, TheTransactionIsKeptAliveAtHalfTheCardsTimeout)
{
    // Long enough that a busy machine's late timers cannot pass for the
    // full time-out, short enough for a quick test.
    constexpr DWORD kTimeoutMs = 1000;
    constexpr int kResets = 4;
    Serve({{L"TransactionTimeout", std::to_wstring(kTimeoutMs)}});
    mwctlClearCalls();
    ULONGLONG first = 0;
    ULONGLONG last = 0;
    Unlock([&](HWND dialog) {
        uidriver::WaitUntil(
            [&] {
                const int resets = Calls()[L"Context::ResetTransactionTimeout"];
                if (resets >= 1 && !first)
                    first = GetTickCount64();
                if (resets >= kResets)
                    last = GetTickCount64();
                return resets >= kResets;
            },
            10 * kTimeoutMs);
        Press(dialog, IDCANCEL);
    });
    ASSERT_TRUE(first && last) << "the transaction was never kept alive";
    const ULONGLONG interval = (last - first) / (kResets - 1);
    EXPECT_GE(interval, kTimeoutMs * 2 / 5) << "kept alive too often";
    EXPECT_LE(interval, kTimeoutMs * 3 / 4) << "kept alive too late: the card's time-out would end the transaction";
    EXPECT_EQ(0u, mwctlExpiredTransactions());
}

// A card whose rights forbid unlocking sends the holder to the unlock tool;
// a reader that cannot be reached is reported, and the call cancelled.
TEST_F(UnlockFlow, WhereNoUnlockIsPossibleTheHolderIsToldWhy)
{
    Serve({{L"UnblockACL", L"not-authenticable"}});
    bool toolShown = false;
    EXPECT_EQ(IDOK, Unlock([&](HWND tool) {
        toolShown = Shown(tool, IDC_OUTCOME_HEADING) && !GetDlgItem(tool, IDC_UNLOCK_CODE_EDIT);
        Press(tool, IDOK);
    }));
    EXPECT_TRUE(toolShown);

    std::wstring message;
    EXPECT_EQ(IDCANCEL, Unlock(
                            [&](HWND failure) {
                                message = uidriver::TextOf(GetDlgItem(failure, IDC_FAILED_MESSAGE));
                                Press(failure, IDOK);
                            },
                            L"Other Reader"));
    EXPECT_NE(std::wstring::npos, message.find(L"connecting to the reader")) << std::string(message.begin(), message.end());
}

TEST_F(UnlockFlow, NeitherTheUnlockCodeNorTheNewPinStaysInMemory)
{
    // A PIN the card's rules take, long enough for a partial leak to show:
    // sixteen digits, not a run.
    Serve({{L"MaxPINLen", L"16"}});
    MaskedSecret newPin(16, true);
    auto isRun = [](const MaskedSecret& pin) {
        bool run = true;
        for (size_t i = 2; i < pin.Length(); ++i)
            run = run && (pin.At(i) - pin.At(i - 1) == pin.At(1) - pin.At(0));
        return run;
    };
    while (isRun(newPin))
        newPin = MaskedSecret(16, true);
    std::unique_ptr<MaskedSecret> code;
    int result = Unlock([&](HWND dialog) {
        // The help desk's answer goes straight from wiping storage into the
        // masked secret and, one character at a time, into the edit.
        CSecStr answer = HelpDeskAnswer(dialog);
        code = std::make_unique<MaskedSecret>(MaskedSecret::Adopt(answer.GetBuffer(), 16));
        answer.Empty();
        TypeSecret(GetDlgItem(dialog, IDC_UNLOCK_CODE_EDIT), *code);
        TypeSecret(GetDlgItem(dialog, IDC_UNLOCK_NEW_PIN_EDIT), newPin);
        TypeSecret(GetDlgItem(dialog, IDC_UNLOCK_CONFIRM_EDIT), newPin);
        Press(dialog, IDOK);
        if (HWND success = WaitForOutcome(dialog))
            Press(success, IDOK);
    });
    ASSERT_EQ(IDOK, result);
    ASSERT_TRUE(code);
    // The simulated card keeps its new PIN; the scan is about the library,
    // so the world is served afresh (which wipes the old one) first.
    Serve({{L"MaxPINLen", L"16"}});
    SecretSightings pin = ScanProcessMemory(newPin);
    // Wine lays out the text of a plain (not password) edit, as the code's
    // is, in copies it frees unwiped, out of the library's reach; for the
    // code the scan looks for the whole of it only.
    SecretSightings unlockCode = ScanProcessMemory(*code, code->Length());
    EXPECT_EQ(0u, pin.wide + pin.narrow) << "the new PIN";
    EXPECT_EQ(0u, unlockCode.wide + unlockCode.narrow) << "the unlock code";
}

// The holder closes whatever the flow shows, until the call returns.
void CloseEverythingUntil(std::atomic<bool>& done, DWORD thread)
{
    std::vector<HWND> windows;
    auto shown = [&] {
        windows = uidriver::TopLevelWindows([&](HWND w) {
            return uidriver::ClassOf(w) == L"#32770" && GetWindowThreadProcessId(w, nullptr) == thread;
        });
        return done || !windows.empty();
    };
    while (!done) {
        if (!uidriver::WaitUntil(shown))
            continue;
        for (HWND w : windows) {
            SendNotifyMessageW(w, WM_COMMAND, GetDlgItem(w, IDCANCEL) ? IDCANCEL : IDOK, 0);
            uidriver::WaitUntil([&] { return done || !IsWindowVisible(w); });
        }
    }
}

// The unlock flow while the controller fails its 1st, 2nd, ... call in
// turn, the holder closing whatever it shows: the flow ends as the failure
// calls for, lets the card go and ends its transaction, unless ending it
// was what failed.
TEST_F(UnlockFlow, EachFailingControllerCallEndsTheFlowAsItShould)
{
    auto once = [] {
        std::atomic<bool> done{false};
        std::thread holder(CloseEverythingUntil, std::ref(done), GetCurrentThreadId());
        int result = ShowUnlockDialog(nullptr, kReader, nullptr);
        done = true;
        holder.join();
        return result;
    };
    // When the card's rights cannot be read, unlocking is not allowed: the
    // holder is sent to the unlock tool, which they close with OK.
    const size_t injected = SweepAndExpect(
        "unlock", once, {{L"Credential::GetAccessControlList", IDOK}, {L"ACL::IsAuthenticable", IDOK}}, IDCANCEL);
    // The run whose EndTransaction failed is counted above; the next test
    // starts from a fresh world.
    Serve({});
    printf("fault sweep: %zu controller calls of the unlock flow failed in turn\n", injected);
}

// A code is sixteen hex digits, dashes anywhere; shown, it has a dash after
// every fourth character, never at the end.
TEST(UnlockCodeForm, SixteenHexDigitsWithDashesAnywhereShownInGroupsOfFour)
{
    const std::pair<const wchar_t*, bool> forms[] = {
        {L"0123456789abcdef", true},   {L"-0123-4567-89AB-CDEF-", true}, {L"0123456789ABCDE", false},
        {L"0123456789ABCDEF1", false}, {L"0123456789ABCDEG", false},     {L"0123 4567 89AB CDEF", false},
        {L"", false}};
    for (const auto& [code, ok] : forms)
        EXPECT_EQ(ok, CUnlockCardDlg::IsWellFormedUnlockCode(code)) << std::string(code, code + wcslen(code));
    const std::pair<const wchar_t*, const wchar_t*> groups[] = {
        {L"", L""}, {L"ABCDE", L"ABCD-E"}, {L"ABCD", L"ABCD"}, {L"12345678", L"1234-5678"},
        {L"0123456789ABCDEF", L"0123-4567-89AB-CDEF"}, {L"ABCDEF", L"ABCD-EF"}};
    for (const auto& [text, grouped] : groups)
        EXPECT_STREQ(grouped, GroupByFour(text));
}

} // namespace
