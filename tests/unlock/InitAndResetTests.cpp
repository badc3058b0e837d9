// PIN initialization and the reset card dialogs, built the way a host
// module builds them and driven as a card holder would.
#include "CardWorldBuilder.h"
#include "Fixtures.h"
#include "HolderActions.h"
#include "KeyboardHolder.h"
#include "HostReset.h"
#include "MemoryScan.h"
#include "UiDriver.h"

#include "cardobj/VKCardManagement.h"
#include "mwctl_control.h"
#include "pinrc_ids.h"
#include "unlock/InitializePinDlg.h"
#include "vkevtsub_control.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>

namespace {

constexpr const wchar_t* kReader = L"Init Reader";

// What the host's callback was handed.
struct HostSide {
    int status = 0;
    int calls = 0;
    int length = -1;
    std::array<int, 6> args = {};
    static HostSide* current;
    static int InitPin(void*, CSecStr pin, int a, int b, int c, int d, int e, int f)
    {
        HostSide& h = *current;
        ++h.calls;
        h.length = pin.GetLength();
        h.args = {a, b, c, d, e, f};
        pin.Empty();
        return h.status;
    }
};
HostSide* HostSide::current = nullptr;

int GetCode(void* context, CSecStr& code)
{
    return UnlockCodeAdapter(context, &code);
}

class InitializePin : public testing::Test {
protected:
    void SetUp() override
    {
        HostSide::current = &m_host;
        m_registry.Remove(L"Software\\Policies\\Quellon\\Velkor\\PINInitializationPolicies", L"PreventAlphaPIN");
        m_world.Reader(kReader, L"card", L"eve");
        m_world.Card(L"eve", {{L"Identifier", L"0E"}, {L"UnlockCode", L"1122334455667788"}});
        ASSERT_TRUE(m_world.Serve());
    }
    INT_PTR Run(PINPolicies* policies, std::function<void(HWND)> holder)
    {
        VKReader reader(kReader);
        VKCardManagement card(reader);
        CInitializePinDlg dialog(nullptr, policies, &card, HostSide::InitPin, RemoveUnlockCodeAdapter, GetCode,
                                 kReader);
        auto acting = [holder](HWND d) {
            uidriver::WaitUntil([&] { return Shown(d, IDC_RULES_HEADER); });
            holder(d);
        };
        return WhileHolderActs(acting, [&] { return dialog.DoModal(); });
    }
    HostSide m_host;
    RegistryFixture m_registry;
    CardWorldBuilder m_world;
};

// The letters rule is shown when the card's policies or, without them, the
// PreventAlphaPIN policy forbid letters; the weak-PIN rule always.
TEST_F(InitializePin, PoliciesDecideTheRulesShown)
{
    PINPolicies allDefault;
    for (uint32_t& f : allDefault.fields)
        f = kPolicyDefault;
    PINPolicies lettersRefused = allDefault;
    lettersRefused.fields[8] = 0;
    lettersRefused.fields[0] = 6;
    PINPolicies lettersAllowed = allDefault;
    lettersAllowed.fields[8] = 1;
    struct Case {
        const char* name;
        PINPolicies* policies;
        int registry; // -1: missing
        bool alphaRow;
    };
    const Case cases[] = {
        {"no record", nullptr, -1, false},
        {"every field default", &allDefault, -1, false},
        {"field 8 is 0", &lettersRefused, -1, true},
        {"PreventAlphaPIN 1 forbids letters", nullptr, 1, true},
        {"PreventAlphaPIN 1 with every field default", &allDefault, 1, true},
        {"PreventAlphaPIN 0 allows them", nullptr, 0, false},
        {"PreventAlphaPIN 2 is not on", nullptr, 2, false},
        {"field 8 at 1 outranks PreventAlphaPIN 1", &lettersAllowed, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegistryFixture registry;
        if (c.registry >= 0)
            registry.SetDword(L"Software\\Policies\\Quellon\\Velkor\\PINInitializationPolicies", L"PreventAlphaPIN",
                              static_cast<DWORD>(c.registry));
        bool alpha = false;
        bool weak = false;
        Run(c.policies, [&](HWND d) {
            alpha = Shown(d, IDC_RULE_ALPHA_TEXT);
            weak = Shown(d, IDC_RULE_WEAK_TEXT);
            Press(d, IDCANCEL);
        });
        EXPECT_EQ(c.alphaRow, alpha);
        EXPECT_TRUE(weak);
    }
}

TEST_F(InitializePin, TheHostIsHandedThePinAndTheFieldsInItsOrderThenTheCodeIsShown)
{
    PINPolicies policies;
    uint32_t values[9] = {5, 9, 16, 17, 18, 19, 1, 21, 1};
    memcpy(policies.fields, values, sizeof(values));
    std::wstring shownCode;
    INT_PTR result = Run(&policies, [&](HWND d) {
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDOK)));
        uidriver::Type(GetDlgItem(d, IDC_INIT_NEW_PIN_EDIT), L"1234");
        uidriver::Type(GetDlgItem(d, IDC_INIT_CONFIRM_EDIT), L"1234");
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDOK))) << "shorter than field 0";
        uidriver::Retype(GetDlgItem(d, IDC_INIT_NEW_PIN_EDIT), L"11111");
        uidriver::Retype(GetDlgItem(d, IDC_INIT_CONFIRM_EDIT), L"11111");
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDOK))) << "weak PINs allowed by field 6";
        Press(d, IDOK);
        HWND code = uidriver::WaitForDialogWith(GetWindowThreadProcessId(d, nullptr), IDC_UNLOCK_CODE_TEXT);
        ASSERT_NE(nullptr, code);
        shownCode = uidriver::TextOf(uidriver::FindControl(code, IDC_UNLOCK_CODE_TEXT));
        Tick(uidriver::FindControl(code, IDC_NEVER_DISPLAY));
        Press(code, IDOK);
    });
    EXPECT_EQ(IDOK, result);
    ASSERT_EQ(1, m_host.calls);
    EXPECT_EQ(5, m_host.length);
    EXPECT_EQ((std::array<int, 6>{5, 9, 16, 1, 21, 18}), m_host.args);
    EXPECT_EQ(L"1122-3344-5566-7788", shownCode);
    EXPECT_EQ(L"", CardWorldBuilder::FieldOf(L"eve", L"UnlockCode"));
}

// The keyboard alone: the focus starts in the new PIN, the confirmation's
// letter leads to it, Enter confirms. A host that fails keeps the dialog
// open for another try, until the card leaves.
TEST_F(InitializePin, IsConfirmedByKeysAloneAndAFailingHostKeepsItOpenUntilTheCardLeaves)
{
    m_host.status = 3;
    std::vector<int> order;
    std::wstring title;
    bool stillOpen = false;
    INT_PTR result = Run(nullptr, [&](HWND d) {
        order = TabOrder(d);
        TypeKeys(d, L"5937");
        PressAccessKey(d, L'F');
        TypeKeys(d, L"5937");
        PressKey(d, VK_RETURN);
        HWND failure = uidriver::WaitForDialogWith(GetWindowThreadProcessId(d, nullptr), IDC_FAILED_MESSAGE);
        ASSERT_NE(nullptr, failure);
        title = uidriver::TextOf(failure);
        PressKey(failure, VK_RETURN);
        stillOpen = uidriver::WaitUntil([&] { return !IsWindow(failure); }) && IsWindowVisible(d);
        mwctlRemoveCard(kReader);
    });
    EXPECT_EQ((std::vector<int>{IDC_INIT_NEW_PIN_EDIT, IDC_INIT_CONFIRM_EDIT, IDCANCEL}), order);
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(1, m_host.calls);
    EXPECT_EQ(4, m_host.length);
    EXPECT_EQ(L"Card PIN", title);
}

TEST_F(InitializePin, TheTypedPinIsNotLeftInMemory)
{
    MaskedSecret pin(16, true);
    m_registry.SetDword(L"Software\\Policies\\Quellon\\Velkor\\UserConsole", L"HideUnlockCode", 1);
    INT_PTR result = Run(nullptr, [&](HWND d) {
        TypeSecret(GetDlgItem(d, IDC_INIT_NEW_PIN_EDIT), pin);
        TypeSecret(GetDlgItem(d, IDC_INIT_CONFIRM_EDIT), pin);
        Press(d, IDOK);
    });
    if (result != IDOK)
        GTEST_SKIP() << "the random PIN happened to be weak";
    SecretSightings seen = ScanProcessMemory(pin);
    EXPECT_EQ(0u, seen.wide + seen.narrow);
}

INT_PTR RunReset(HostReset& dialog, std::function<void(HWND)> holder)
{
    return WhileHolderActs(std::move(holder), [&] { return dialog.DoModal(); });
}

TEST(ResetCard, ShowsTheChallengeInFourGroupsAndTakesWhatTheActiveFieldHolds)
{
    struct Case {
        const wchar_t* challenge;
        const wchar_t* shown;
        bool useCode;
        bool disablePin;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"0123456789ABCDEF", L"0123-4567-89AB-CDEF", false, false, L"pin-4711"},
        {L"0123456789ABCDEF0123", L"0123-4567-89AB-CDEF", true, false, L"response"},
        {L"", nullptr, true, false, L"static"},
        {L"0123456789ABCDEF", L"0123-4567-89AB-CDEF", false, true, L"response"},
    };
    for (const Case& c : cases) {
        HostReset dialog(kReader, c.challenge);
        dialog.disablePin = c.disablePin;
        std::wstring shown;
        bool okBefore = true;
        RunReset(dialog, [&](HWND d) {
            okBefore = IsWindowEnabled(GetDlgItem(d, IDOK));
            shown = uidriver::TextOf(uidriver::FindControl(d, IDC_RESET_CHALLENGE_TEXT));
            if (c.useCode)
                Tick(uidriver::FindControl(d, IDC_RESET_CODE_RADIO));
            const std::pair<int, const wchar_t*> typed[] = {{IDC_RESET_PIN_EDIT, L"pin-4711"},
                                                            {IDC_RESET_RESPONSE_EDIT, L"response"},
                                                            {IDC_RESET_STATIC_CODE_EDIT, L"static"}};
            for (const auto& [id, text] : typed)
                uidriver::Type(uidriver::FindControl(d, id), text);
            Press(d, IDOK);
        });
        EXPECT_FALSE(okBefore) << "nothing typed yet";
        if (c.shown) {
            EXPECT_EQ(c.shown, shown);
        }
        EXPECT_EQ(c.expected, dialog.typed);
    }
}

// The keyboard alone: the focus starts in the PIN, the options' letters
// switch to the unlock code and its field, the arrow keys move between the
// options, Enter confirms.
TEST(ResetCard, IsCompletedByKeysAlone)
{
    struct Case {
        const char* name;
        const wchar_t* challenge;
        std::function<void(HWND)> choose; // from the PIN field
        std::vector<int> tabOrder;
        int field; // where the holder then types
    };
    const std::vector<int> pinOrder = {IDC_RESET_PIN_EDIT, IDCANCEL, IDC_RESET_PIN_RADIO};
    const Case cases[] = {
        {"the PIN", L"0123456789ABCDEF", [](HWND) {}, pinOrder, IDC_RESET_PIN_EDIT},
        {"the response by its option's letter", L"0123456789ABCDEF", [](HWND d) { PressAccessKey(d, L'U'); },
         pinOrder, IDC_RESET_RESPONSE_EDIT},
        {"the response by the arrow key", L"0123456789ABCDEF",
         [](HWND d) {
             PressKey(d, VK_TAB);
             PressKey(d, VK_TAB);
             PressKey(d, VK_DOWN);
         },
         pinOrder, IDC_RESET_RESPONSE_EDIT},
        // Without a challenge the static code's field stays open beside the PIN.
        {"the static code", L"", [](HWND d) { PressAccessKey(d, L'U'); },
         {IDC_RESET_PIN_EDIT, IDC_RESET_STATIC_CODE_EDIT, IDCANCEL, IDC_RESET_PIN_RADIO}, IDC_RESET_STATIC_CODE_EDIT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostReset dialog(kReader, c.challenge);
        std::vector<int> order;
        int field = 0;
        RunReset(dialog, [&](HWND d) {
            order = TabOrder(d);
            c.choose(d);
            field = FocusedId(d);
            TypeKeys(d, L"C0DE-4711");
            PressKey(d, VK_RETURN);
        });
        EXPECT_EQ(c.tabOrder, order);
        EXPECT_EQ(c.field, field);
        EXPECT_EQ(L"C0DE-4711", dialog.typed) << "read from the active field";
    }
}

TEST(ResetCard, APageWithoutAnOkButtonWorksOnItsOwn)
{
    HWND host =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 600, 400, nullptr, nullptr, nullptr, nullptr);
    CWnd hostView(host);
    CResetCardDialog page(0, nullptr, nullptr, &hostView);
    ASSERT_TRUE(page.LocCreate(&hostView));
    page.SetChallenge(L"");
    uidriver::Type(uidriver::FindControl(host, IDC_RESET_PIN_EDIT), L"2468");
    EXPECT_STREQ(L"2468", page.GetPin());
    page.DisablePIN();
    EXPECT_STREQ(L"", page.GetPin()) << "never the PIN field once it is disabled";
    page.DestroyWindow();
    EXPECT_STREQ(L"", page.GetPin()) << "nothing once the page is gone";
    DestroyWindow(host);
}

// The frame renews the card's transaction only with a callback and a
// period; its own card leaving ends it, another reader's does not.
TEST(ResetCard, KeepsTheCardAliveWhenAskedAndEndsWhenItsOwnCardLeaves)
{
    CardWorldBuilder world;
    world.Reader(kReader, L"card", L"f").Reader(L"Other Reader", L"card", L"g");
    world.Card(L"f", {{L"Identifier", L"0F"}}).Card(L"g", {{L"Identifier", L"0E"}});
    for (int period : {0, 10}) {
        ASSERT_TRUE(world.Serve());
        std::atomic<int> ticks{0};
        HostReset dialog(kReader, L"0123456789ABCDEF", CountTick, &ticks, period);
        bool ticking = false;
        bool otherReaderIgnored = false;
        EXPECT_EQ(IDCANCEL, RunReset(dialog, [&](HWND d) {
            ticking = uidriver::WaitUntil([&] { return ticks.load() >= 3; }, period ? 5000 : 300);
            mwctlRemoveCard(L"Other Reader");
            vkevtsubWaitIdle(5000);
            uidriver::WaitIdle(d);
            otherReaderIgnored = !uidriver::WaitUntil([&] { return !IsWindowVisible(d); }, 200);
            mwctlRemoveCard(kReader);
        }));
        EXPECT_EQ(period != 0, ticking) << period;
        EXPECT_TRUE(otherReaderIgnored);
    }
}

TEST(ResetCard, NeitherThePinNorTheCodeIsLeftInMemory)
{
    MaskedSecret pin(24);
    MaskedSecret code(24);
    for (bool useCode : {false, true}) {
        const MaskedSecret& secret = useCode ? code : pin;
        {
            HostReset dialog(kReader, L"0123456789ABCDEF");
            RunReset(dialog, [&](HWND d) {
                if (useCode)
                    Tick(uidriver::FindControl(d, IDC_RESET_CODE_RADIO));
                TypeSecret(uidriver::FindControl(d, useCode ? IDC_RESET_RESPONSE_EDIT : IDC_RESET_PIN_EDIT), secret);
                Press(d, IDCANCEL);
            });
        }
        // Wine lays out the text of a plain (not password) edit, as the
        // code's is, in copies it frees unwiped, out of the library's
        // reach; for the code the scan looks for the whole of it only.
        SecretSightings seen = ScanProcessMemory(secret, useCode ? secret.Length() : kSecretPieceLength);
        EXPECT_EQ(0u, seen.Total()) << (useCode ? "the unlock code" : "the PIN");
    }
}

} // namespace
