// The validity check against card worlds: where the card's date comes from,
// when the holder is told, what is kept of the answer (also for the next
// process), and a card that leaves while it is read.
#include "CardWorldBuilder.h"
#include "ChildProcess.h"
#include "Fixtures.h"
#include "HolderActions.h"
#include "UiDriver.h"

#include "base/VelkorExports.h"
#include "cardobj/VKCardManagement.h"
#include "mwctl_control.h"
#include "pinrc_ids.h"
#include "validity/CardDate.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr const wchar_t* kValidityKey = L"Software\\Policies\\Quellon\\Velkor\\Notifications\\CardValidity";
constexpr const wchar_t* kSecondProcess = L"VELKOR_VALIDITY_SECOND_PROCESS";
constexpr int64_t kDay = 86400;

using Fields = std::vector<std::pair<std::wstring, std::wstring>>;

// One reader per card, named after it.
struct World {
    CardWorldBuilder builder;
    explicit World(const std::vector<std::pair<std::wstring, Fields>>& cards)
    {
        int n = 0;
        for (const auto& [name, fields] : cards) {
            Fields all = fields;
            all.emplace_back(L"Identifier", L"5E" + std::to_wstring(10 + n++));
            builder.Reader(name, L"card", name).Card(name, all);
        }
    }
};

Fields Piv(const std::wstring& date)
{
    return {{L"Type", L"PIV"}, {L"CHUID.Credential", L"123456"}, {L"CHUID.Expiration", date}};
}

// The card's own date as the world resolved it.
int64_t CardDate(const wchar_t* card, const wchar_t* key)
{
    return CardDateToTime(CardWorldBuilder::FieldOf(card, key).c_str());
}

int64_t StoredDate(const wchar_t* reader)
{
    return VKCardManagement(VKReader(reader)).GetDisplayNotificationDate();
}

struct Check {
    int result = 0;
    bool shown = false;
    std::wstring cardLine;
    int listed = 0;
};

// Runs the check while the holder, if a notice shows, looks at it and acts.
Check RunCheck(const wchar_t* reader, const std::function<void(HWND)>& holder, BOOL card = TRUE, BOOL certs = TRUE)
{
    Check check;
    std::thread acting = uidriver::ActOnDialogIfAny([&](HWND d) {
        check.shown = true;
        HWND line = FindWindowExW(d, nullptr, L"Static", nullptr);
        for (; line; line = FindWindowExW(d, line, L"Static", nullptr))
            if (GetDlgCtrlID(line) == 0) // the card's line is the one static without an id
                check.cardLine += uidriver::TextOf(line);
        if (IsWindowVisible(GetDlgItem(d, IDC_EXPIRY_CERT_LIST)))
            check.listed = static_cast<int>(SendMessageW(GetDlgItem(d, IDC_EXPIRY_CERT_LIST), LVM_GETITEMCOUNT, 0, 0));
        holder(d);
    }, 4000);
    check.result = ShowValidityCheckDialog(nullptr, reader, nullptr, card, certs);
    acting.join();
    return check;
}

void Cancel(HWND d)
{
    Press(d, IDCANCEL);
}

class ValidityCheck : public testing::Test {
protected:
    void SetUp() override
    {
        for (const wchar_t* name : {L"ValidityCheckPeriod", L"ExpirationNotificationPeriod", L"ValidityCheckSentence"})
            m_registry.Remove(kValidityKey, name);
    }
    RegistryFixture m_registry;
    DataCacheFolder m_cache;
};

TEST_F(ValidityCheck, TellsTheHolderWhenADateFallsInItsWindow)
{
    World world({
        {L"soon", Piv(L"today+40")},
        {L"lapsed", Piv(L"today-3")},
        {L"gone", Piv(L"today-6")},
        {L"far", Piv(L"today+400")},
        {L"letter", Piv(L"2027O101")},
        {L"cac", {{L"Type", L"CAC"}, {L"Demographics", L"1"}, {L"Demographic.1.Label", L"Cardholder information"},
                  {L"Demographic.1.61", L"today+20"}}},
        {L"cacbare", {{L"Type", L"CAC"}, {L"PKICredentials", L"1"},
                      {L"PKI.1.Certificate", CardWorldBuilder::Certificate(L"signature")}}},
        {L"plain", {{L"Type", L"other"}, {L"PKICredentials", L"1"},
                    {L"PKI.1.Certificate", CardWorldBuilder::Certificate(L"signature")}}},
    });
    ASSERT_TRUE(world.builder.Serve());
    struct Case {
        const wchar_t* reader;
        DWORD checkDays; // 0: the default
        BOOL card;
        BOOL certs;
        bool shown;
        bool cardLine;
        int listed;
    };
    // The build's signature certificate runs until 2040: a check period of
    // 9000 days takes it in.
    const Case cases[] = {
        {L"soon", 0, TRUE, TRUE, true, true, 0},
        {L"soon", 0, FALSE, TRUE, false, false, 0},
        {L"lapsed", 0, TRUE, TRUE, true, true, 0},
        {L"gone", 0, TRUE, TRUE, false, false, 0},
        {L"far", 0, TRUE, TRUE, false, false, 0},
        {L"letter", 0, TRUE, TRUE, false, false, 0},
        {L"cac", 0, TRUE, FALSE, true, true, 0},
        {L"cacbare", 0, TRUE, FALSE, false, false, 0},
        {L"cacbare", 9000, TRUE, FALSE, true, true, 0},
        {L"cacbare", 9000, TRUE, TRUE, true, true, 1},
        {L"plain", 9000, TRUE, FALSE, false, false, 0},
        {L"plain", 9000, TRUE, TRUE, true, false, 1},
    };
    for (const Case& c : cases) {
        if (c.checkDays)
            m_registry.SetDword(kValidityKey, L"ValidityCheckPeriod", c.checkDays);
        else
            m_registry.Remove(kValidityKey, L"ValidityCheckPeriod");
        const Check check = RunCheck(c.reader, Cancel, c.card, c.certs);
        const std::string what(c.reader, c.reader + wcslen(c.reader));
        EXPECT_EQ(1, check.result) << what;
        EXPECT_EQ(c.shown, check.shown) << what << " " << c.checkDays;
        EXPECT_EQ(c.cardLine, !check.cardLine.empty()) << what << " " << c.checkDays;
        EXPECT_EQ(c.listed, check.listed) << what << " " << c.checkDays;
    }
    EXPECT_EQ(2, ShowValidityCheckDialog(nullptr, L"No Such Reader", nullptr, TRUE, TRUE));
    EXPECT_EQ(2, ShowValidityCheckDialog(nullptr, nullptr, nullptr, TRUE, TRUE));
}

TEST_F(ValidityCheck, KeepsTheHoldersAnswerForTheNextCheck)
{
    World world({{L"soon", Piv(L"today+40")}, {L"offered", Piv(L"today+40")}, {L"lapsed", Piv(L"today-3")}});
    ASSERT_TRUE(world.builder.Serve());
    const int64_t soon = CardDate(L"soon", L"CHUID.Expiration");
    const int64_t lapsed = CardDate(L"lapsed", L"CHUID.Expiration");

    // Cancelled: nothing kept.
    EXPECT_TRUE(RunCheck(L"soon", Cancel).shown);
    EXPECT_EQ(-1, StoredDate(L"soon"));
    // Confirmed as offered, the whole days left: not asked again today.
    EXPECT_TRUE(RunCheck(L"offered", [](HWND d) { Press(d, IDOK); }).shown);
    const int64_t offered = StoredDate(L"offered");
    EXPECT_GT(offered, _time64(nullptr));
    EXPECT_LE(offered, _time64(nullptr) + kDay);
    EXPECT_FALSE(RunCheck(L"offered", Cancel).shown);
    // Ten days before: not asked again until then.
    RunCheck(L"soon", [](HWND d) {
        uidriver::Retype(GetDlgItem(d, IDC_EXPIRY_DAYS_EDIT), L"10");
        Press(d, IDOK);
    });
    EXPECT_EQ(soon - 10 * kDay, StoredDate(L"soon"));
    EXPECT_FALSE(RunCheck(L"soon", Cancel).shown);
    // Expired and not to be reminded: silent until the grace period ends.
    RunCheck(L"lapsed", [](HWND d) {
        Tick(GetDlgItem(d, IDC_EXPIRY_DONT_REMIND_CHECK));
        Press(d, IDCANCEL);
    });
    EXPECT_EQ(lapsed + 5 * kDay, StoredDate(L"lapsed"));

    // Another process finds both dates and asks nothing.
    const ChildRun second = RunThisProgram(L"ValidityCheckSecond.SecondProcess",
                                           {{kSecondProcess, L"1"}, {L"VELKOR_CARD_WORLD", world.builder.Path()}});
    EXPECT_TRUE(second.finished);
    EXPECT_EQ(0u, second.exitCode) << "the second process saw a notice or another date: " << second.output;
}

// Run only by KeepsTheHoldersAnswerForTheNextCheck, in a process of its own.
// Not a ValidityCheck: the cache to read is the first process's.
TEST(ValidityCheckSecond, SecondProcess)
{
    if (!GetEnvironmentVariableW(kSecondProcess, nullptr, 0))
        GTEST_SKIP() << "started by KeepsTheHoldersAnswerForTheNextCheck";
    EXPECT_EQ(CardDate(L"soon", L"CHUID.Expiration") - 10 * kDay, StoredDate(L"soon"));
    EXPECT_EQ(CardDate(L"lapsed", L"CHUID.Expiration") + 5 * kDay, StoredDate(L"lapsed"));
    EXPECT_FALSE(RunCheck(L"soon", Cancel).shown);
    EXPECT_FALSE(RunCheck(L"lapsed", Cancel).shown);
}

TEST_F(ValidityCheck, ACardThatLeavesWhileReadIsCheckedWithWhatWasRead)
{
    World world({{L"leaving", Fields{{L"Type", L"PIV"}, {L"CHUID.Credential", L"123456"},
                                     {L"CHUID.Expiration", L"today+40"}, {L"PKICredentials", L"2"},
                                     {L"PKI.1.Certificate", CardWorldBuilder::Certificate(L"signature")},
                                     {L"PKI.2.Certificate", CardWorldBuilder::Certificate(L"encryption")}}}});
    ASSERT_TRUE(world.builder.Serve());
    for (unsigned occurrence : {1u, 4u, 12u}) {
        mwctlInsertCard(L"leaving", L"leaving");
        HANDLE reached = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        mwctlHoldCall(L"Credential::GetProperty", occurrence, reached, release);
        std::thread remover([&] {
            if (WaitForSingleObject(reached, 10000) == WAIT_OBJECT_0) {
                SetEvent(release);
                mwctlRemoveCard(L"leaving");
            }
        });
        const Check check = RunCheck(L"leaving", Cancel);
        remover.join();
        mwctlHoldCall(nullptr, 0, nullptr, nullptr);
        EXPECT_EQ(1, check.result) << occurrence;
        CloseHandle(reached);
        CloseHandle(release);
    }
}

} // namespace
