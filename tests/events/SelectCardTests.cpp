// The select-card dialog as the holder sees it while readers and cards come
// and go, and the card-manager-locked notice with the administrator's
// message.
#include "CardWorldBuilder.h"
#include "EventTestSupport.h"
#include "HolderActions.h"

#include "ToastManager_control.h"
#include "base/VelkorExports.h"
#include "events/CMLockedDlg.h"
#include "events/VKReaderEventSubscriber.h"
#include "mwctl_control.h"
#include "pinrc_ids.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

constexpr const wchar_t* kOne = L"A smart card has been selected. Press OK to continue.";
constexpr const wchar_t* kSeveral = L"Please select your smart card reader.";
constexpr const wchar_t* kInsert = L"Please insert your smart card.";
constexpr const wchar_t* kConnect = L"Please connect your smart card reader.";

// What the holder sees: the prompt, the reader the list shows, whether OK
// can be pressed and whether the list is there at all.
struct View {
    std::wstring prompt;
    std::wstring selected;
    bool ok;
    bool listShown;
    int readers;

    bool operator==(const View&) const = default;
};

std::ostream& operator<<(std::ostream& out, const View& v)
{
    std::string selected(v.selected.begin(), v.selected.end());
    std::string prompt(v.prompt.begin(), v.prompt.end());
    if (selected.size() > 40)
        selected = selected.substr(0, 40) + "...";
    return out << "{\"" << prompt << "\", \"" << selected << "\", ok=" << v.ok << ", list=" << v.listShown
               << ", readers=" << v.readers << "}";
}

View Look(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_SELECT_CARD_LIST);
    View v{uidriver::TextOf(GetDlgItem(dialog, IDC_SELECT_CARD_PROMPT)), uidriver::TextOf(list), OkEnabled(dialog),
           Shown(dialog, IDC_SELECT_CARD_LIST) && Shown(dialog, IDC_SELECT_CARD_LABEL),
           static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0))};
    return v;
}

enum class Act { None, Insert, Remove, AddReader, RemoveReader, Select, RaiseInserted };

struct Step {
    Act act;
    std::wstring reader; // or the index to select, for Select
    View expected;
};

struct Reader {
    std::wstring name;
    bool card;
};

struct Case {
    const char* name;
    std::vector<Reader> readers;
    std::vector<Step> steps;
    int end;                    // the button the holder ends with
    int result;                 // what ShowQLSelectCard returns
    std::wstring chosen;        // the name handed back
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

std::wstring Name(int i)
{
    return L"Reader " + std::to_wstring(i);
}

void Act(const Step& step, HWND dialog)
{
    const wchar_t* reader = step.reader.c_str();
    switch (step.act) {
    case Act::None:
        return;
    case Act::Insert:
        ASSERT_TRUE(mwctlInsertCard(reader, L"card"));
        break;
    case Act::Remove:
        ASSERT_TRUE(mwctlRemoveCard(reader));
        break;
    case Act::AddReader:
        ASSERT_TRUE(mwctlAddReader(reader));
        break;
    case Act::RemoveReader:
        ASSERT_TRUE(mwctlRemoveReader(reader));
        break;
    case Act::RaiseInserted:
        RaiseCardEvent(VK_EVENT_CARD_INSERTED, reader);
        break;
    case Act::Select: {
        // As the holder's pick in the list: the list tells its dialog.
        HWND list = GetDlgItem(dialog, IDC_SELECT_CARD_LIST);
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(_wtoi(reader)), 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_SELECT_CARD_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        break;
    }
    }
    WaitDelivered();
}

const std::wstring kLong(1000, L'L');

class SelectCard : public testing::TestWithParam<Case> {};

TEST_P(SelectCard, FollowsReadersAndCardsAndHandsBackTheChoice)
{
    const Case& c = GetParam();
    CardWorldBuilder world;
    world.Card(L"card", {{L"Identifier", L"C1"}, {L"PIN", L"1234"}});
    for (const Reader& r : c.readers)
        world.Reader(r.name, r.card ? L"card" : L"empty", r.card ? L"card" : L"");
    ASSERT_TRUE(world.Serve());
    const long copies = VKReaderEventSubscriber::LiveCopies();
    const size_t subscriptions = vkevtsubSubscriptionCount();

    auto holder = WhenDialogShows([&](HWND dialog) {
        for (size_t i = 0; i < c.steps.size(); ++i) {
            Act(c.steps[i], dialog);
            View seen;
            EXPECT_TRUE(uidriver::WaitUntil([&] { return (seen = Look(dialog)) == c.steps[i].expected; }))
                << "step " << i << ": saw " << seen << ", expected " << c.steps[i].expected;
        }
        Press(dialog, c.end);
    });
    wchar_t* name = reinterpret_cast<wchar_t*>(1);
    int length = -1;
    const int result = ShowQLSelectCard(nullptr, &name, &length);
    holder.join();
    EXPECT_EQ(c.result, result);
    EXPECT_EQ(static_cast<int>(c.chosen.size()), length);
    if (c.result == IDOK) {
        ASSERT_NE(nullptr, name);
        EXPECT_EQ(c.chosen.size() * sizeof(wchar_t), _msize(name)) << "the name comes without a terminator";
        EXPECT_EQ(c.chosen, std::wstring(name, static_cast<size_t>(length)));
    } else {
        EXPECT_EQ(nullptr, name);
    }
    free(name == reinterpret_cast<wchar_t*>(1) ? nullptr : name);
    EXPECT_EQ(subscriptions, vkevtsubSubscriptionCount()) << "the four subscribers go with the dialog";
    EXPECT_EQ(copies, VKReaderEventSubscriber::LiveCopies()) << "a posted reader name was lost";
}

std::vector<Reader> Sixteen()
{
    std::vector<Reader> readers;
    for (int i = 0; i < 16; ++i)
        readers.push_back({Name(i), i == 7});
    return readers;
}

INSTANTIATE_TEST_SUITE_P(
    Holder, SelectCard,
    testing::Values(
        Case{"NoReader", {}, {{Act::None, L"", {kConnect, L"", false, false, 0}}}, IDCANCEL, IDCANCEL, L""},
        Case{"OneReaderWithACard", {{L"R", true}}, {{Act::None, L"", {kOne, L"R", true, true, 1}}}, IDOK, IDOK, L"R"},
        Case{"CardInTheSecondOnly",
             {{Name(0), false}, {Name(1), true}},
             {{Act::None, L"", {kOne, Name(1), true, true, 2}}},
             IDOK, IDOK, Name(1)},
        Case{"TwoCardsPreselectTheLast",
             {{Name(0), true}, {Name(1), true}},
             {{Act::None, L"", {kSeveral, Name(1), true, true, 2}}},
             IDOK, IDOK, Name(1)},
        Case{"SixteenReaders", Sixteen(), {{Act::None, L"", {kOne, Name(7), true, true, 16}}}, IDOK, IDOK, Name(7)},
        Case{"CardsComeAndGo",
             {{Name(0), false}, {Name(1), false}},
             {{Act::None, L"", {kInsert, Name(0), false, true, 2}},
              {Act::Insert, Name(1), {kOne, Name(1), true, true, 2}},
              {Act::Insert, Name(0), {kSeveral, Name(0), true, true, 2}},
              {Act::Remove, Name(0), {kOne, Name(1), true, true, 2}},
              // The chosen card leaves: nothing can be confirmed any more.
              {Act::Remove, Name(1), {kInsert, Name(1), false, true, 2}},
              {Act::Insert, Name(0), {kOne, Name(0), true, true, 2}}},
             IDOK, IDOK, Name(0)},
        Case{"ReadersComeAndGo",
             {{Name(0), false}},
             {{Act::RemoveReader, Name(0), {kConnect, L"", false, false, 0}},
              {Act::AddReader, Name(5), {kInsert, Name(5), false, true, 1}},
              {Act::AddReader, Name(6), {kInsert, Name(6), false, true, 2}},
              {Act::Insert, Name(5), {kOne, Name(5), true, true, 2}},
              {Act::AddReader, Name(7), {kOne, Name(5), true, true, 3}},
              {Act::RemoveReader, Name(5), {kInsert, Name(6), false, true, 2}}},
             IDCANCEL, IDCANCEL, L""},
        Case{"HolderPicksAReaderWithoutACard",
             {{Name(0), true}, {Name(1), false}},
             {{Act::Select, L"1", {kSeveral, Name(1), false, true, 2}},
              {Act::Select, L"0", {kOne, Name(0), true, true, 2}}},
             IDOK, IDOK, Name(0)},
        Case{"EventReaderMatchedWithoutRegardToCase",
             {{Name(0), true}, {Name(1), true}, {Name(2), true}},
             {{Act::RaiseInserted, L"rEADER 1", {kSeveral, Name(1), true, true, 3}}},
             IDOK, IDOK, Name(1)},
        Case{"OneCharacterName", {{L"X", true}, {kLong, false}}, {{Act::None, L"", {kOne, L"X", true, true, 2}}}, IDOK,
             IDOK, L"X"},
        Case{"ThousandCharacterName",
             {{L"X", false}, {kLong, true}},
             {{Act::None, L"", {kOne, kLong, true, true, 2}}},
             IDOK, IDOK, kLong}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SelectCardCalls, ABurstOfEventsEndsOnTheLastOne)
{
    CardWorldBuilder world;
    world.Card(L"card", {{L"Identifier", L"C1"}});
    for (int i = 0; i < 8; ++i)
        world.Reader(Name(i), L"empty");
    ASSERT_TRUE(world.Serve());
    const long copies = VKReaderEventSubscriber::LiveCopies();
    auto holder = WhenDialogShows([copies](HWND dialog) {
        // Events pile up faster than the dialog takes them.
        for (int round = 0; round < 40; ++round)
            for (int i = 0; i < 8; ++i) {
                mwctlInsertCard(Name(i).c_str(), L"card");
                mwctlRemoveCard(Name(i).c_str());
            }
        mwctlInsertCard(Name(5).c_str(), L"card");
        mwctlInsertCard(Name(2).c_str(), L"card");
        WaitDelivered();
        // Every event taken (its reader name released): the view is the last event's.
        EXPECT_TRUE(uidriver::WaitUntil([copies] { return VKReaderEventSubscriber::LiveCopies() == copies; }));
        EXPECT_TRUE(uidriver::WaitIdle(dialog));
        EXPECT_EQ((View{kSeveral, Name(2), true, true, 8}), Look(dialog));
        Press(dialog, IDCANCEL);
    });
    wchar_t* name = nullptr;
    int length = 0;
    EXPECT_EQ(IDCANCEL, ShowQLSelectCard(nullptr, &name, &length));
    holder.join();
    EXPECT_EQ(copies, VKReaderEventSubscriber::LiveCopies()) << "a posted reader name was lost";
}

TEST(SelectCardCalls, NullOutputsAreRefusedWithoutADialog)
{
    wchar_t* name = nullptr;
    int length = 0;
    EXPECT_EQ(-1, ShowQLSelectCard(nullptr, nullptr, &length));
    EXPECT_EQ(-1, ShowQLSelectCard(nullptr, &name, nullptr));
}

// The administrator's message replaces the notice's own; the dialog grows to
// show all of it, with OK right below it and inside the window.
struct MessageCase {
    const char* name;
    bool set;            // whether the policy value exists
    std::wstring policy;
    std::wstring shown;  // empty: the library's own text
};

void PrintTo(const MessageCase& c, std::ostream* out)
{
    *out << c.name;
}

constexpr const wchar_t* kCmPolicy = L"Software\\Policies\\Quellon\\Velkor\\Notifications\\BlockedCardManager";

std::wstring LongMessage()
{
    std::wstring text;
    while (text.size() < 2000)
        text += L"Call the help desk on 0800 555 0100 before you use the card again. ";
    return text.substr(0, 2000);
}

class CardManagerLocked : public testing::TestWithParam<MessageCase> {};

TEST_P(CardManagerLocked, ShowsTheMessageWholeAndEndsWhenTheCardLeaves)
{
    const MessageCase& c = GetParam();
    RegistryFixture registry;
    if (c.set)
        registry.SetString(kCmPolicy, L"BlockedCardManagerMessage", c.policy);
    else
        registry.Remove(kCmPolicy, L"BlockedCardManagerMessage");
    std::wstring own = ResourceString(GetModuleHandleW(L"vk.velkor.gui.pinrc.dll"), IDS_CM_LOCKED_DEFAULT);
    ASSERT_FALSE(own.empty());

    CCMLockedDlg dialog(nullptr, L"Locked Reader");
    auto holder = WhenDialogShows([&](HWND window) {
        ASSERT_TRUE(uidriver::WaitIdle(window));
        HWND text = GetDlgItem(window, IDC_CM_LOCKED_MESSAGE);
        EXPECT_EQ(c.shown.empty() ? own : c.shown, uidriver::TextOf(text));
        RECT message = {}, ok = {}, client = {}, whole = {}, work = {};
        GetWindowRect(text, &message);
        GetWindowRect(GetDlgItem(window, IDOK), &ok);
        GetWindowRect(window, &whole);
        GetClientRect(window, &client);
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        // The height the text needs at the control's width, in its own font.
        HDC dc = GetDC(text);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(text, WM_GETFONT, 0, 0)));
        std::wstring shown = uidriver::TextOf(text);
        RECT need = {0, 0, message.right - message.left, 0};
        DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &need,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
        SelectObject(dc, old);
        ReleaseDC(text, dc);
        EXPECT_GE(message.bottom - message.top, need.bottom) << "the message is cut";
        EXPECT_EQ(message.bottom, ok.top) << "OK follows the text";
        EXPECT_LE(ok.bottom, client.bottom) << "OK lies outside the window";
        EXPECT_EQ(message.top - client.top, client.bottom - ok.bottom) << "margins above the text and below OK";
        EXPECT_LE(whole.bottom, work.bottom) << "the notice runs off the screen";
        RaiseCardEvent(VK_EVENT_CARD_REMOVED, L"Other Reader");
        RaiseCardEvent(VK_EVENT_CARD_REMOVED, L"Locked Reader");
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    holder.join();
}

INSTANTIATE_TEST_SUITE_P(
    Policy, CardManagerLocked,
    testing::Values(MessageCase{"NoPolicy", false, L"", L""}, MessageCase{"EmptyPolicy", true, L"", L""},
                    MessageCase{"OneCharacter", true, L"!", L"!"},
                    MessageCase{"TwoThousandCharacters", true, LongMessage(), LongMessage()},
                    MessageCase{"Markup", true, L"<b>Call</b> &amp; <a href=\"x\">us</a>\nnow",
                                L"<b>Call</b> &amp; <a href=\"x\">us</a>\nnow"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CardManagerLockedNotice, AToastReplacesTheDialogWhereTheDesktopHasThem)
{
    qlToastReset();
    qlToastSetAvailable(true);
    auto holder = uidriver::ActOnDialogIfAny([](HWND dialog) { Press(dialog, IDOK); }, 1000);
    ShowCMLockedDlg(nullptr, L"Locked Reader");
    holder.join();
    ASSERT_EQ(1u, qlToastShownCount());
    wchar_t title[64] = {}, text[160] = {};
    qlToastGetShown(0, title, 64, text, 160);
    EXPECT_STREQ(L"Card Manager Blocked", title);
    EXPECT_STREQ(L"Your smart card\u2019s Card Manager is blocked. Please contact your administrator.", text);
    qlToastReset();

    auto clicker = WhenDialogShows([](HWND dialog) { Press(dialog, IDOK); });
    ShowCMLockedDlg(nullptr, nullptr);
    clicker.join();
    EXPECT_EQ(0u, qlToastShownCount());
}

} // namespace
