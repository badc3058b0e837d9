// Card management against small card worlds: properties, the unblock
// challenge answered as a help desk would, the unlock code, the shared
// notification date, the adapters, and every controller call failing in turn.
#include "CardWorldBuilder.h"
#include "ChildProcess.h"
#include "ControllerSweep.h"
#include "Fixtures.h"

#include "cardobj/LayerResult.h"
#include "cardobj/VKCardManagement.h"
#include "mwctl_control.h"

#include "CConverter.h"
#include "TripleDes.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr const wchar_t* kAdminKey = L"0123456789ABCDEFFEDCBA98765432100123456789ABCDEF";

std::wstring CardField(const wchar_t* card, const wchar_t* key)
{
    wchar_t value[256] = {};
    return mwctlCardField(card, key, value, 256) ? value : L"(none)";
}

// What a help desk answers to a challenge, with the card's admin key.
CSecStr HelpDeskAnswer(const CSecStr& challenge, const wchar_t* key = kAdminKey)
{
    WipingBytes response;
    TripleDesEncryptEcb(CConverter::HexToBin(CSecStr(key)), CConverter::HexToBin(challenge), response);
    return CConverter::BinToHex(response);
}

class CardManagementTest : public testing::Test {
protected:
    void SetUp() override
    {
        mwctlFailCall(0, 0);
        m_world.Reader(L"PIV Reader", L"card", L"piv")
            .Reader(L"CAC Reader", L"card", L"cac")
            .Reader(L"Plain Reader", L"card", L"plain")
            .Reader(L"Bare Reader", L"card", L"bare")
            .Reader(L"Empty Reader", L"empty")
            .Card(L"piv", {{L"Identifier", L"0AFF"}, {L"Type", L"PIV"}, {L"MinPINLen", L"6"}, {L"MaxPINLen", L"8"},
                           {L"WeakPINCheck", L"1"}, {L"TransactionTimeout", L"45"}, {L"AdminKey", kAdminKey},
                           {L"AdminTries", L"3"}, {L"PIN", L"111111"}, {L"PINTries", L"0"}, {L"PINMaxTries", L"3"},
                           {L"UnlockCode", L"3150a7c2e99d4b06"}})
            .Card(L"cac", {{L"Identifier", L"0102"}, {L"Type", L"CAC"}, {L"UnlockCode", L"ABC"},
                           {L"UnblockACL", L"not-authenticable"}})
            .Card(L"plain", {{L"Identifier", L"0304"}, {L"Type", L"Other"}, {L"UnblockACL", L"none"}})
            .Card(L"bare", {{L"Identifier", L"0506"}, {L"PINCredentials", L"0"}});
        ASSERT_TRUE(m_world.Serve());
    }
    void TearDown() override
    {
        EXPECT_EQ(0u, mwctlOpenContexts());
        EXPECT_EQ(0u, mwctlOpenTransactions());
    }
    CardWorldBuilder m_world;
    RegistryFixture m_registry;
};

TEST_F(CardManagementTest, ReadsTheCardsPropertiesAndSwitchesAndRefusesNullPointers)
{
    struct Case {
        const wchar_t* reader;
        const wchar_t* serial;
        bool cac, piv;
        int minLength, maxLength;
        bool weak;
        unsigned timeout;
        bool unlockAllowed;
    };
    const Case cases[] = {
        {L"PIV Reader", L"0AFF", false, true, 6, 8, true, 45, true},
        {L"CAC Reader", L"0102", true, false, 77, 77, false, 0, false},
        {L"Plain Reader", L"0304", false, false, 77, 77, false, 0, false},
        {L"Bare Reader", L"0506", false, false, 77, 77, false, 0, true},
    };
    for (const Case& c : cases) {
        VKReader reader(c.reader);
        VKCardManagement card(reader);
        CSecStr serial;
        EXPECT_EQ(kLayerOk, card.GetSerialNumber(serial));
        EXPECT_STREQ(c.serial, serial);
        EXPECT_EQ(c.cac, card.IsCACCard());
        EXPECT_EQ(c.piv, card.IsPIVCard());
        int minLength = 77;
        int maxLength = 77;
        card.GetMinPINLen(&minLength);
        card.GetMaxPINLen(&maxLength);
        EXPECT_EQ(c.minLength, minLength) << "without a stored bound the value is left as it was";
        EXPECT_EQ(c.maxLength, maxLength);
        EXPECT_EQ(c.weak, card.IsWeakPINCheckActivated());
        unsigned timeout = 99;
        EXPECT_EQ(kLayerOk, card.GetTransactionTimeoutValue(&timeout)) << "no time-out means none, not a failure";
        EXPECT_EQ(c.timeout, timeout);
        EXPECT_EQ(c.unlockAllowed, card.IsUnlockAllowed());
    }
    // Null pointers are refused without touching the card.
    VKReader reader(L"PIV Reader");
    VKCardManagement card(reader);
    mwctlClearCalls();
    EXPECT_EQ(kLayerOk, card.GetMinPINLen(nullptr));
    EXPECT_EQ(kLayerOk, card.GetMaxPINLen(nullptr));
    EXPECT_EQ(kLayerInvalidParameter, card.GetTransactionTimeoutValue(nullptr));
    EXPECT_EQ(0u, mwctlCallCount());
}

TEST_F(CardManagementTest, DigitsOnlyOnCacAndPivCardsElseAsThePolicySays)
{
    struct Case {
        const wchar_t* reader;
        int policy; // -1: missing
        bool digitsOnly;
    };
    const Case cases[] = {{L"PIV Reader", 0, true},   {L"CAC Reader", -1, true},   {L"Plain Reader", -1, false},
                          {L"Plain Reader", 0, false}, {L"Plain Reader", 1, true}, {L"Plain Reader", 2, false}};
    for (const Case& c : cases) {
        RegistryFixture registry;
        if (c.policy < 0)
            registry.Remove(kPolicyKey + std::wstring(L"\\PINPolicies"), L"PreventAlphaPIN");
        else
            registry.SetDword(kPolicyKey + std::wstring(L"\\PINPolicies"), L"PreventAlphaPIN", static_cast<DWORD>(c.policy));
        VKReader reader(c.reader);
        VKCardManagement card(reader);
        EXPECT_EQ(c.digitsOnly, card.IsAlphaPINCheckActivated()) << "policy " << c.policy;
    }
}

// The unlock flow reaches the card through the adapters, which pass each
// call through and answer 0 without an object.
TEST_F(CardManagementTest, AHelpDeskAnswerUnlocksTheCardWithTheNewPin)
{
    VKReader reader(L"PIV Reader");
    VKCardManagement card(reader);
    CSecStr first;
    CSecStr challenge;
    ASSERT_EQ(kLayerOk, ChallengeAdapter(&card, first));
    ASSERT_EQ(kLayerOk, ChallengeAdapter(&card, challenge));
    EXPECT_EQ(16, challenge.GetLength());
    EXPECT_NE(first, challenge) << "every challenge is fresh";
    CSecStr answer = HelpDeskAnswer(challenge);
    answer.MakeLower();
    EXPECT_EQ(kLayerOk, UnlockAdapter(&card, answer, L"246810"));
    EXPECT_EQ(L"246810", CardField(L"piv", L"PIN"));
    EXPECT_EQ(L"3", CardField(L"piv", L"PINTries")) << "the PIN tries are reset";
    EXPECT_EQ(L"3", CardField(L"piv", L"AdminTries"));

    EXPECT_EQ(0, UnlockAdapter(nullptr, L"a", L"b"));
    EXPECT_EQ(0, ChallengeAdapter(nullptr, challenge));
    EXPECT_EQ(0, UnlockCodeAdapter(nullptr, &challenge));
    EXPECT_EQ(0, RemoveUnlockCodeAdapter(nullptr));
    TimeoutCallback(nullptr);
    VKConnection connection;
    ASSERT_EQ(kLayerOk, reader.Connect(connection));
    mwctlClearCalls();
    TimeoutCallback(&connection);
    EXPECT_EQ(std::vector<std::wstring>{L"Context::ResetTransactionTimeout"}, ControllerCalls());
    reader.Disconnect();
}

TEST_F(CardManagementTest, AWrongAnswerCostsAnAdminTryUntilTheCardRefuses)
{
    VKReader reader(L"PIV Reader");
    VKCardManagement card(reader);
    struct Step {
        const char* name;
        std::function<CSecStr(const CSecStr&)> answer;
        int result;
        const wchar_t* triesLeft;
    };
    const Step steps[] = {
        {"wrong key", [](const CSecStr& c) { return HelpDeskAnswer(c, L"000000000000000000000000000000000000000000000000"); },
         5, L"2"},
        {"not hexadecimal", [](const CSecStr&) { return CSecStr(L"not a code"); }, 5, L"1"},
        {"an older challenge's answer", [&card](const CSecStr& c) {
             CSecStr answer = HelpDeskAnswer(c);
             CSecStr newer;
             card.GetUnlockChallenge(newer);
             return answer;
         },
         5, L"0"},
        {"right, but too late", [](const CSecStr& c) { return HelpDeskAnswer(c); }, 2, L"0"},
    };
    for (const Step& step : steps) {
        CSecStr challenge;
        ASSERT_EQ(kLayerOk, card.GetUnlockChallenge(challenge)) << step.name;
        EXPECT_EQ(step.result, card.UnlockPIN(step.answer(challenge), L"135790")) << step.name;
        EXPECT_EQ(step.triesLeft, CardField(L"piv", L"AdminTries")) << step.name;
        EXPECT_EQ(L"111111", CardField(L"piv", L"PIN")) << step.name << ": the PIN stays blocked";
    }
}

TEST_F(CardManagementTest, TheUnlockCodeReadsAsHexadecimalAndCanBeRemoved)
{
    struct Case {
        const wchar_t* reader;
        const wchar_t* code;
    };
    for (Case c : {Case{L"PIV Reader", L"3150A7C2E99D4B06"}, Case{L"CAC Reader", L"0ABC"}, Case{L"Plain Reader", L""},
                   Case{L"Bare Reader", L""}}) {
        VKReader reader(c.reader);
        VKCardManagement card(reader);
        CSecStr code(L"stale");
        EXPECT_EQ(kLayerOk, UnlockCodeAdapter(&card, &code));
        EXPECT_STREQ(c.code, code);
    }
    VKReader reader(L"PIV Reader");
    VKCardManagement card(reader);
    EXPECT_EQ(kLayerOk, RemoveUnlockCodeAdapter(&card));
    EXPECT_EQ(L"", CardField(L"piv", L"UnlockCode"));
    CSecStr code(L"stale");
    EXPECT_EQ(kLayerOk, card.GetUnlockCode(code));
    EXPECT_STREQ(L"", code);
    // Without a PIN credential nothing is challenged or unlocked.
    VKReader bare(L"Bare Reader");
    VKCardManagement bareCard(bare);
    CSecStr challenge(L"unchanged");
    EXPECT_EQ(kLayerOk, bareCard.GetUnlockChallenge(challenge));
    EXPECT_STREQ(L"unchanged", challenge);
    EXPECT_EQ(5, bareCard.UnlockPIN(L"0011223344556677", L"1234"));
}

TEST_F(CardManagementTest, ACardRemovedBetweenTwoCallsFailsTheSecondCleanly)
{
    VKReader reader(L"CAC Reader");
    VKCardManagement card(reader);
    EXPECT_TRUE(card.IsCACCard());
    ASSERT_TRUE(mwctlRemoveCard(L"CAC Reader"));
    EXPECT_FALSE(card.IsCACCard());
    CSecStr serial(L"old");
    EXPECT_EQ(kLayerNoCardOrCancelled, card.GetSerialNumber(serial));
    EXPECT_STREQ(L"", serial);
    int length = 5;
    EXPECT_EQ(kLayerNoCardOrCancelled, card.GetMinPINLen(&length));
    EXPECT_EQ(5, length);
}

TEST_F(CardManagementTest, TheNotificationDateIsKeptPerCardAcrossProcesses)
{
    DataCacheFolder cache;
    VKReader piv(L"PIV Reader");
    VKReader cac(L"CAC Reader");
    VKCardManagement first(piv);
    VKCardManagement second(cac);
    EXPECT_EQ(-1, first.GetDisplayNotificationDate()) << "never notified";
    first.SetDisplayNotificationDate(1765000000);
    EXPECT_EQ(1765000000, first.GetDisplayNotificationDate());
    EXPECT_EQ(-1, second.GetDisplayNotificationDate()) << "another card has its own";
    first.SetDisplayNotificationDate(1800000000);
    EXPECT_EQ(1800000000, VKCardManagement(piv).GetDisplayNotificationDate());
    const std::string host = RunHost(L"--world \"" + m_world.Path() + L"\" card-info --reader \"PIV Reader\"").output;
    EXPECT_NE(std::string::npos, host.find("notification date: 1800000000")) << "another process reads it: " << host;
    VKReader empty(L"Empty Reader");
    EXPECT_EQ(-1, VKCardManagement(empty).GetDisplayNotificationDate());
    // A card whose identifier is no serial number keeps no date.
    mwctlSetCardField(L"cac", L"Identifier", L"XYZ");
    EXPECT_EQ(kLayerInvalidParameter, second.SetDisplayNotificationDate(1765000000));
    EXPECT_EQ(-1, second.GetDisplayNotificationDate());
}

// Each operation of the card management while the controller fails its
// 1st, 2nd, ... call in turn: the result the failed call calls for, and the
// card let go. Answers become results: 0 when true, 22 when false.
TEST_F(CardManagementTest, EachFailingControllerCallGivesItsResult)
{
    DataCacheFolder cache;
    constexpr int kMapped = kSweepMapped;
    struct Operation {
        const char* name;
        std::function<int(VKCardManagement&)> run;
        int clean;
        SweepExpectations failing;
    };
    const Operation operations[] = {
        {"serial", [](VKCardManagement& c) { CSecStr s; return c.GetSerialNumber(s); }, kLayerOk,
         {{L"EstablishContext", kMapped}, {L"Context::GetCardObject", kMapped}, {L"Card::GetProperty", kMapped}}},
        // Without the PIN credential there is no challenge, and no failure.
        {"challenge", [](VKCardManagement& c) { CSecStr s; return c.GetUnlockChallenge(s); }, kLayerOk,
         {{L"EstablishContext", kMapped}, {L"Credential::GetUnblockChallenge", kMapped}}},
        // Each wrong answer costs a try: the card starts each run with three.
        {"unlock with a wrong answer",
         [](VKCardManagement& c) {
             mwctlSetCardField(L"piv", L"AdminTries", L"3");
             return c.UnlockPIN(L"0011223344556677", L"135790");
         },
         5,
         {{L"EstablishContext", kMapped}, {L"Credential::Unblock", kMapped}}},
        {"weak PIN check", [](VKCardManagement& c) { return Found(c.IsWeakPINCheckActivated()); }, kLayerOk,
         {{L"EstablishContext", kLayerNotFound}, {L"Context::FindCredentials", kLayerNotFound},
          {L"Credential::GetProperty", kLayerNotFound}}},
        {"unlock allowed", [](VKCardManagement& c) { return Found(c.IsUnlockAllowed()); }, kLayerOk,
         {{L"EstablishContext", kLayerNotFound}, {L"Credential::GetAccessControlList", kLayerNotFound},
          {L"ACL::IsAuthenticable", kLayerNotFound}}},
        // Without the PIN credential the caller's value stays.
        {"minimum length", [](VKCardManagement& c) { int n = 0; return c.GetMinPINLen(&n); }, kLayerOk,
         {{L"EstablishContext", kMapped}, {L"Credential::GetProperty", kMapped}}},
        {"unlock code", [](VKCardManagement& c) { CSecStr s; return c.GetUnlockCode(s); }, kLayerOk,
         {{L"EstablishContext", kMapped}, {L"Credential::GetProperty", kMapped}}},
        {"remove unlock code", [](VKCardManagement& c) { return c.RemoveUnlockCode(); }, kLayerOk,
         {{L"EstablishContext", kMapped}, {L"Credential::SetAttribute", kMapped}}},
        {"PIV card", [](VKCardManagement& c) { return Found(c.IsPIVCard()); }, kLayerOk,
         {{L"EstablishContext", kLayerNotFound}, {L"Context::GetCardObject", kLayerNotFound},
          {L"Card::GetProperty", kLayerNotFound}}},
        // A time-out that cannot be read is none, not a failure.
        {"time-out", [](VKCardManagement& c) { unsigned t = 0; return c.GetTransactionTimeoutValue(&t); }, kLayerOk,
         {{L"EstablishContext", kMapped}}},
        // Without the serial number nothing is stored.
        {"store the notification date", [](VKCardManagement& c) { return c.SetDisplayNotificationDate(1765000000); },
         kLayerOk,
         {{L"EstablishContext", kMapped}, {L"Context::GetCardObject", kMapped}, {L"Card::GetProperty", kMapped}}},
    };
    size_t injected = 0;
    for (const Operation& op : operations) {
        injected += SweepAndExpect(
            op.name,
            [&op] {
                VKReader reader(L"PIV Reader");
                VKCardManagement card(reader);
                return op.run(card);
            },
            op.failing, op.clean);
    }
    printf("fault sweep: %zu controller calls failed in turn\n", injected);
}

} // namespace
