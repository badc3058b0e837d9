// Every dialog of the library held open with what the card holder typed
// while another program throws every message at it and at its controls:
// the host lives, the dialog still ends the way the holder ends it, and no
// forged OK confirms an entry the PIN rules refuse.
#include "CardWorldBuilder.h"
#include "FakeCard.h"
#include "Fixtures.h"
#include "HolderActions.h"
#include "HostReset.h"
#include "UiDriver.h"

#include "base/VelkorExports.h"
#include "events/CMLockedDlg.h"
#include "mwctl_control.h"
#include "pinrc_ids.h"
#include "unlock/InitializePinDlg.h"
#include "unlock/UnlockOutcomeDlgs.h"
#include "validity/VKExpiryNotificationInfo.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr const wchar_t* kReader = L"Forged Reader";
constexpr const wchar_t* kUserConsole = L"Software\\Policies\\Quellon\\Velkor\\UserConsole";
// The whole stream goes at each dialog's own window; its controls share at
// most this many messages (all of them in a soak run).
constexpr long kControlBudget = 600;

using Holder = std::function<void(HWND)>;

// Shows a `Dialog` made of `args` with `holder` acting on it; what DoModal returned.
template <class Dialog, class... Args>
std::function<std::wstring(const Holder&)> Modal(Args... args)
{
    return [=](const Holder& h) {
        Dialog dialog(args...);
        return std::to_wstring(WhileHolderActs(h, [&] { return dialog.DoModal(); }));
    };
}

std::wstring g_handedPin;
int HandOver(void*, CSecStr pin, int, int, int, int, int, int)
{
    g_handedPin = pin.GetString();
    return 0;
}
int SomeCode(void*, CSecStr& code)
{
    code = L"1122334455667788";
    return 0;
}
int Removed(void*) { return 0; }

struct Row {
    const char* name;
    // Shows the dialog with `holder` acting on it; how it ended and what
    // reached the caller.
    std::function<std::wstring(const Holder&)> run;
    std::vector<int> fields;              // the edits the holder fills
    std::vector<std::wstring> entry;      // what the holder types there
    std::vector<std::wstring> refused;    // an entry the rules refuse (none: empty)
    int end;                              // the button the holder ends with
    std::wstring expected;
};

std::vector<Row> Rows()
{
    return {
        {"change PIN",
         [](const Holder& h) {
             wchar_t fresh[128] = {};
             wchar_t current[128] = {};
             int freshLength = 0;
             int currentLength = 0;
             int result = WhileHolderActs(h, [&] {
                 return GetChangePINInfoFromUser(1, 0, 4, 8, 0, 0, fresh, &freshLength, current, &currentLength,
                                                 kReader, nullptr, true, nullptr, nullptr, 0);
             });
             return std::to_wstring(result) + L" " + current + L" " + fresh;
         },
         {IDC_CURRENT_PIN_EDIT, IDC_NEW_PIN_EDIT, IDC_CONFIRM_PIN_EDIT}, {L"2580", L"58274", L"58274"},
         {L"2580", L"1234", L"1234"}, IDOK, L"0 2580 58274"},
        {"unlock",
         [](const Holder& h) {
             int result = WhileHolderActs(h, [] { return ShowUnlockDialog(nullptr, kReader, nullptr); });
             return std::to_wstring(result) + L" " + CardWorldBuilder::FieldOf(L"dora", L"PIN") + L" " +
                    CardWorldBuilder::FieldOf(L"dora", L"AdminTries");
         },
         {IDC_UNLOCK_CODE_EDIT, IDC_UNLOCK_NEW_PIN_EDIT, IDC_UNLOCK_CONFIRM_EDIT},
         {L"0123-4567-89AB-CDEF", L"615243", L"615243"}, {L"0123-4567-89AB-CDEF", L"123456", L"123456"}, IDCANCEL,
         L"2 13572468 5"},
        {"unlock code display",
         [](const Holder& h) {
             FakeCard card{L"3150A7C2E99D4B06", 0};
             int result = WhileHolderActs(
                 h, [&] { return DisplayUnlockCode(nullptr, &card, FakeCard::Get, FakeCard::Remove, kReader); });
             return std::to_wstring(result) + L" removed " + std::to_wstring(card.removed);
         },
         {}, {}, {}, IDCANCEL, L"0 removed 0"},
        {"PIN initialization",
         [](const Holder& h) {
             g_handedPin.clear();
             // The card's unlock code, shown after a confirmed PIN, is kept out of this row.
             RegistryFixture hidden;
             hidden.SetDword(kUserConsole, L"HideUnlockCode", 1);
             CInitializePinDlg dialog(nullptr, nullptr, nullptr, HandOver, Removed, SomeCode, kReader);
             INT_PTR result = WhileHolderActs(h, [&] { return dialog.DoModal(); });
             return std::to_wstring(result) + L" " + g_handedPin;
         },
         {IDC_INIT_NEW_PIN_EDIT, IDC_INIT_CONFIRM_EDIT}, {L"59371", L"59371"}, {L"59", L"59"}, IDOK, L"1 59371"},
        {"reset card",
         [](const Holder& h) {
             HostReset dialog(kReader, L"0123456789ABCDEF");
             INT_PTR result = WhileHolderActs(h, [&] { return dialog.DoModal(); });
             return std::to_wstring(result) + L" " + dialog.typed;
         },
         {IDC_RESET_PIN_EDIT}, {L"pin-4711"}, {L""}, IDOK, L"1 pin-4711"},
        {"unlock failed", Modal<CUnlockFailedDlg>(nullptr, L"The card refused the unlock code.", 0), {}, {}, {}, IDOK,
         L"1"},
        {"unlock succeeded", Modal<CUnlockSuccessDlg>(), {}, {}, {}, IDOK, L"1"},
        {"unlock tool", Modal<CUnlockInitToolDlg>(nullptr, kReader, 1), {}, {}, {}, IDOK, L"1"},
        {"select card",
         [](const Holder& h) {
             wchar_t* name = nullptr;
             int length = 0;
             int result = WhileHolderActs(h, [&] { return ShowQLSelectCard(nullptr, &name, &length); });
             std::wstring chosen = name ? std::wstring(name, static_cast<size_t>(length)) : L"(none)";
             free(name);
             return std::to_wstring(result) + L" " + chosen;
         },
         {}, {}, {}, IDOK, std::wstring(L"1 ") + kReader},
        {"card manager locked", Modal<CCMLockedDlg>(nullptr, kReader), {}, {}, {}, IDOK, L"1"},
        {"about",
         [](const Holder& h) { return std::to_wstring(WhileHolderActs(h, [] { return ShowAbout(0, 0, L"forged"); })); },
         {}, {}, {}, IDOK, L"1"},
        {"last PIN try",
         [](const Holder& h) { return std::to_wstring(WhileHolderActs(h, [] { return DisplayLastPINTry(kReader); })); },
         {}, {}, {}, IDCANCEL, L"-1"},
        {"expiry notice",
         [](const Holder& h) {
             VKExpiryNotificationInfo info(CSecStr(kReader), nullptr);
             info.SetNbDaysForNotificationDelay(60);
             info.SetMustDisplayCardExpiry(1, _time64(nullptr) + 40 * 86400LL + 3600);
             int days = 0;
             int dontRemind = 0;
             int result = WhileHolderActs(
                 h, [&] { return DisplayCardExpiryNotificationEx(nullptr, info, &days, &dontRemind); });
             return std::to_wstring(result) + L" " + std::to_wstring(days) + L" " + std::to_wstring(dontRemind);
         },
         {IDC_EXPIRY_DAYS_EDIT}, {L"12"}, {}, IDCANCEL, L"2 -1 0"},
    };
}

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

// The card the dialogs work on, served for each test.
class ForgedTraffic : public testing::Test {
protected:
    void SetUp() override
    {
        m_registry.Remove(kUserConsole, L"HideUnlockCode");
        m_world.Reader(kReader, L"card", L"dora")
            .Card(L"dora", {{L"Identifier", L"D0"}, {L"PIN", L"13572468"}, {L"PINTries", L"0"}, {L"MinPINLen", L"6"},
                            {L"MaxPINLen", L"8"}, {L"WeakPINCheck", L"1"}, {L"AdminKey", std::wstring(48, L'A')},
                            {L"AdminTries", L"5"}, {L"TransactionTimeout", L"20000"}});
        ASSERT_TRUE(m_world.Serve());
    }

    // Shows the row's dialog, fills it as the holder would, lets another
    // program throw the stream at it and ends it as the holder does; the
    // number of messages the sender tried.
    static long HoldThrough(const Row& row, unsigned seed)
    {
        // Forged input may change a field at any time: the holder types until
        // every field shows what was meant, as a person looking at it would.
        auto fill = [&row](HWND dialog, const std::vector<std::wstring>& texts) {
            const bool filled = uidriver::WaitUntil([&] {
                for (size_t i = 0; i < texts.size(); ++i)
                    uidriver::Retype(uidriver::FindControl(dialog, row.fields[i]), texts[i]);
                if (!uidriver::WaitIdle(dialog))
                    return false;
                for (size_t i = 0; i < texts.size(); ++i)
                    if (uidriver::TextOf(uidriver::FindControl(dialog, row.fields[i])) != texts[i])
                        return false;
                return true;
            });
            std::string shown;
            for (int id : row.fields) {
                shown += " [";
                for (wchar_t c : uidriver::TextOf(uidriver::FindControl(dialog, id)))
                    shown += c < 0x80 ? static_cast<char>(c) : '?';
                shown += "]";
            }
            EXPECT_TRUE(filled) << row.name << ": the fields do not keep what the holder types; they show" << shown;
        };
        long sent = -1;
        bool refusedHeld = true;
        std::wstring ended = row.run([&](HWND dialog) {
            fill(dialog, row.entry);
            sent = SendHostileTraffic(dialog, seed, kControlBudget);
            if (!row.refused.empty()) {
                fill(dialog, row.refused);
                PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
                refusedHeld = uidriver::WaitIdle(dialog) && IsWindowVisible(dialog) &&
                              !IsWindowEnabled(GetDlgItem(dialog, IDOK));
            }
            fill(dialog, row.entry);
            HWND end = GetDlgItem(dialog, row.end);
            EXPECT_TRUE(IsWindowEnabled(end) && IsWindowVisible(end)) << row.name << ": the holder cannot end it";
            Press(dialog, row.end);
        });
        EXPECT_GT(sent, 0) << row.name << ": the sender finished with the dialog already gone";
        // However long the stream kept the queue full, the card's keep-alive ran.
        EXPECT_EQ(0u, mwctlExpiredTransactions()) << row.name << ": the card's transaction lapsed";
        EXPECT_TRUE(refusedHeld) << row.name << ": a forged OK confirmed what the rules refuse";
        EXPECT_EQ(row.expected, ended) << row.name;
        return sent > 0 ? sent : 0;
    }

private:
    RegistryFixture m_registry;
    CardWorldBuilder m_world;
};

class EveryDialog : public ForgedTraffic, public testing::WithParamInterface<Row> {};

TEST_P(EveryDialog, HoldsAgainstForgedMessagesAndEndsAsTheHolderEndsIt)
{
    const long tried = HoldThrough(GetParam(), 41);
    std::printf("[ forged    ] %ld messages at the %s dialog and its controls\n", tried, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Rows, EveryDialog, testing::ValuesIn(Rows()), [](const testing::TestParamInfo<Row>& info) {
    std::string name = info.param.name;
    for (char& c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

// Every pair of values for every message, at every dialog and each control.
using Soak = ForgedTraffic;
TEST_F(Soak, ForgedTrafficAtEveryDialog)
{
    // Far longer than the default run: only on request.
    wchar_t soak[8] = {};
    if (!GetEnvironmentVariableW(L"VELKOR_SOAK", soak, 8) || soak[0] != L'1')
        GTEST_SKIP() << "VELKOR_SOAK=1 runs every pair of values at every dialog";
    long tried = 0;
    unsigned seed = 41;
    const ULONGLONG started = GetTickCount64();
    for (const Row& row : Rows()) {
        const ULONGLONG rowStarted = GetTickCount64();
        const long sent = HoldThrough(row, ++seed);
        std::printf("[ soak      ] %ld messages at the %s dialog in %.1f s\n", sent, row.name,
                    static_cast<double>(GetTickCount64() - rowStarted) / 1000.0);
        tried += sent;
    }
    std::printf("[ soak      ] %ld messages at %zu dialogs and their controls in %.1f s\n", tried, Rows().size(),
                static_cast<double>(GetTickCount64() - started) / 1000.0);
}

} // namespace
