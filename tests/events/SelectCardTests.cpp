// The select-card dialog as the holder sees it while readers and cards come
// and go, and the card-manager-locked notice with the administrator's
// message.
#include "CardWorldBuilder.h"
#include "EventTestSupport.h"
#include "HolderActions.h"
#include "KeyboardHolder.h"
#include "LayoutCheck.h"

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
    std::string selected(v.selected.begin(), v.selected.begin() + std::min<size_t>(v.selected.size(), 40));
    return out << "{\"" << std::string(v.prompt.begin(), v.prompt.end()) << "\", \"" << selected << "\", ok=" << v.ok
               << ", list=" << v.listShown << ", readers=" << v.readers << "}";
}

View Look(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_SELECT_CARD_LIST);
    return {uidriver::TextOf(GetDlgItem(dialog, IDC_SELECT_CARD_PROMPT)), uidriver::TextOf(list), OkEnabled(dialog),
            Shown(dialog, IDC_SELECT_CARD_LIST) && Shown(dialog, IDC_SELECT_CARD_LABEL),
            static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0))};
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
    int end; // the button the holder ends with, and what ShowQLSelectCard returns
};

std::wstring Name(int i)
{
    return L"Reader " + std::to_wstring(i);
}

void Act(const Step& step, HWND dialog)
{
    const wchar_t* reader = step.reader.c_str();
    HWND list = GetDlgItem(dialog, IDC_SELECT_CARD_LIST);
    switch (step.act) {
    case Act::None: return;
    case Act::Insert: ASSERT_TRUE(mwctlInsertCard(reader, L"card")); break;
    case Act::Remove: ASSERT_TRUE(mwctlRemoveCard(reader)); break;
    case Act::AddReader: ASSERT_TRUE(mwctlAddReader(reader)); break;
    case Act::RemoveReader: ASSERT_TRUE(mwctlRemoveReader(reader)); break;
    case Act::RaiseInserted: RaiseCardEvent(VK_EVENT_CARD_INSERTED, reader); break;
    case Act::Select: // as the holder's pick in the list: the list tells its dialog
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(_wtoi(reader)), 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_SELECT_CARD_LIST, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        break;
    }
    WaitDelivered();
}

const std::wstring kLong(1000, L'L');

std::vector<Reader> Sixteen()
{
    std::vector<Reader> readers;
    for (int i = 0; i < 16; ++i)
        readers.push_back({Name(i), i == 7});
    return readers;
}

// Shows the select-card dialog over `c`'s readers, takes its steps and
// checks what the holder sees after each, ends it and checks what the call
// hands back.
void Select(const Case& c)
{
    CardWorldBuilder world;
    world.Card(L"card", {{L"Identifier", L"C1"}, {L"PIN", L"1234"}});
    for (const Reader& r : c.readers)
        world.Reader(r.name, r.card ? L"card" : L"empty", r.card ? L"card" : L"");
    ASSERT_TRUE(world.Serve());
    const long copies = VKReaderEventSubscriber::LiveCopies();
    const size_t subscriptions = vkevtsubSubscriptionCount();

    auto holder = uidriver::ActOnDialog([&](HWND dialog) {
        SCOPED_TRACE(c.name); // on the holder's thread as well
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
    // OK hands back the reader the list shows last.
    const std::wstring chosen = c.end == IDOK ? c.steps.back().expected.selected : L"";
    EXPECT_EQ(c.end, result);
    EXPECT_EQ(static_cast<int>(chosen.size()), length);
    if (c.end == IDOK) {
        ASSERT_NE(nullptr, name);
        EXPECT_EQ(chosen.size() * sizeof(wchar_t), _msize(name)) << "the name comes without a terminator";
        EXPECT_EQ(chosen, std::wstring(name, static_cast<size_t>(length)));
    } else {
        EXPECT_EQ(nullptr, name);
    }
    free(name == reinterpret_cast<wchar_t*>(1) ? nullptr : name);
    EXPECT_EQ(subscriptions, vkevtsubSubscriptionCount()) << "the four subscribers go with the dialog";
    EXPECT_EQ(copies, VKReaderEventSubscriber::LiveCopies()) << "a posted reader name was lost";
}

TEST(SelectCard, FollowsReadersAndCardsAndHandsBackTheChoice)
{
    const Case cases[] = {
        {"no reader", {}, {{Act::None, L"", {kConnect, L"", false, false, 0}}}, IDCANCEL},
        {"one reader with a card", {{L"R", true}}, {{Act::None, L"", {kOne, L"R", true, true, 1}}}, IDOK},
        {"a card in the second only", {{Name(0), false}, {Name(1), true}},
         {{Act::None, L"", {kOne, Name(1), true, true, 2}}}, IDOK},
        {"two cards preselect the last", {{Name(0), true}, {Name(1), true}},
         {{Act::None, L"", {kSeveral, Name(1), true, true, 2}}}, IDOK},
        {"sixteen readers", Sixteen(), {{Act::None, L"", {kOne, Name(7), true, true, 16}}}, IDOK},
        {"cards come and go", {{Name(0), false}, {Name(1), false}},
         {{Act::None, L"", {kInsert, Name(0), false, true, 2}}, {Act::Insert, Name(1), {kOne, Name(1), true, true, 2}},
          {Act::Insert, Name(0), {kSeveral, Name(0), true, true, 2}},
          {Act::Remove, Name(0), {kOne, Name(1), true, true, 2}},
          // The chosen card leaves: nothing can be confirmed any more.
          {Act::Remove, Name(1), {kInsert, Name(1), false, true, 2}},
          {Act::Insert, Name(0), {kOne, Name(0), true, true, 2}}},
         IDOK},
        {"readers come and go", {{Name(0), false}},
         {{Act::RemoveReader, Name(0), {kConnect, L"", false, false, 0}},
          {Act::AddReader, Name(5), {kInsert, Name(5), false, true, 1}},
          {Act::AddReader, Name(6), {kInsert, Name(6), false, true, 2}},
          {Act::Insert, Name(5), {kOne, Name(5), true, true, 2}},
          {Act::AddReader, Name(7), {kOne, Name(5), true, true, 3}},
          {Act::RemoveReader, Name(5), {kInsert, Name(6), false, true, 2}}},
         IDCANCEL},
        {"the holder picks a reader without a card", {{Name(0), true}, {Name(1), false}},
         {{Act::Select, L"1", {kSeveral, Name(1), false, true, 2}},
          {Act::Select, L"0", {kOne, Name(0), true, true, 2}}},
         IDOK},
        {"an event's reader matched without regard to case", {{Name(0), true}, {Name(1), true}, {Name(2), true}},
         {{Act::RaiseInserted, L"rEADER 1", {kSeveral, Name(1), true, true, 3}}}, IDOK},
        {"a one-character name", {{L"X", true}, {kLong, false}}, {{Act::None, L"", {kOne, L"X", true, true, 2}}}, IDOK},
        {"a 1,000-character name", {{L"X", false}, {kLong, true}},
         {{Act::None, L"", {kOne, kLong, true, true, 2}}}, IDOK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Select(c);
    }
    wchar_t* name = nullptr;
    int length = 0;
    EXPECT_EQ(-1, ShowQLSelectCard(nullptr, nullptr, &length)) << "a null output is refused without a dialog";
    EXPECT_EQ(-1, ShowQLSelectCard(nullptr, &name, nullptr));
}

TEST(SelectCardCalls, ABurstOfEventsEndsOnTheLastOne)
{
    CardWorldBuilder world;
    world.Card(L"card", {{L"Identifier", L"C1"}});
    for (int i = 0; i < 8; ++i)
        world.Reader(Name(i), L"empty");
    ASSERT_TRUE(world.Serve());
    const long copies = VKReaderEventSubscriber::LiveCopies();
    auto holder = uidriver::ActOnDialog([copies](HWND dialog) {
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

// The administrator's message replaces the notice's own; the dialog grows to
// show all of it, with OK right below it and inside the window.
struct MessageCase {
    const char* name;
    bool set;            // whether the policy value exists
    std::wstring policy;
    std::wstring shown;  // empty: the library's own text
};

constexpr const wchar_t* kCmPolicy = L"Software\\Policies\\Quellon\\Velkor\\Notifications\\BlockedCardManager";

std::wstring LongMessage()
{
    std::wstring text;
    while (text.size() < 2000)
        text += L"Call the help desk on 0800 555 0100 before you use the card again. ";
    return text.substr(0, 2000);
}

void ShowLocked(const MessageCase& c)
{
    RegistryFixture registry;
    if (c.set)
        registry.SetString(kCmPolicy, L"BlockedCardManagerMessage", c.policy);
    else
        registry.Remove(kCmPolicy, L"BlockedCardManagerMessage");
    std::wstring own = ResourceString(GetModuleHandleW(L"vk.velkor.gui.pinrc.dll"), IDS_CM_LOCKED_DEFAULT);
    ASSERT_FALSE(own.empty());

    CCMLockedDlg dialog(nullptr, L"Locked Reader");
    auto holder = uidriver::ActOnDialog([&](HWND window) {
        SCOPED_TRACE(c.name); // on the holder's thread as well
        ASSERT_TRUE(uidriver::WaitIdle(window));
        HWND text = GetDlgItem(window, IDC_CM_LOCKED_MESSAGE);
        EXPECT_EQ(c.shown.empty() ? own : c.shown, uidriver::TextOf(text));
        EXPECT_EQ(std::vector<std::wstring>{}, LayoutProblems(window)) << "the message is cut or OK lies outside";
        RECT message = {}, ok = {}, client = {}, whole = {}, work = {};
        GetWindowRect(text, &message);
        GetWindowRect(GetDlgItem(window, IDOK), &ok);
        GetWindowRect(window, &whole);
        GetClientRect(window, &client);
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_EQ(message.bottom, ok.top) << "OK follows the text";
        EXPECT_EQ(message.top - client.top, client.bottom - ok.bottom) << "margins above the text and below OK";
        EXPECT_LE(whole.bottom, work.bottom) << "the notice runs off the screen";
        RaiseCardEvent(VK_EVENT_CARD_REMOVED, L"Other Reader");
        RaiseCardEvent(VK_EVENT_CARD_REMOVED, L"Locked Reader");
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    holder.join();
}

TEST(CardManagerLocked, ShowsTheMessageWholeAndEndsWhenTheCardLeaves)
{
    const std::wstring markup = L"<b>Call</b> &amp; <a href=\"x\">us</a>\nnow";
    const MessageCase cases[] = {
        {"no policy", false, L"", L""}, {"empty policy", true, L"", L""}, {"one character", true, L"!", L"!"},
        {"2,000 characters", true, LongMessage(), LongMessage()}, {"markup", true, markup, markup}};
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.name);
        ShowLocked(c);
    }
}

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

    WhileHolderActs([](HWND dialog) { Press(dialog, IDOK); }, [] { ShowCMLockedDlg(nullptr, nullptr); return 0; });
    EXPECT_EQ(0u, qlToastShownCount());
}

// The keyboard alone: the reader list has the focus, its label's letter
// leads back to it, the arrow keys pick a reader, Enter confirms and Esc
// leaves; the locked notice ends with Enter.
TEST(KeyboardOnly, SelectCardAndTheLockedNoticeAreCompletedByKeysAlone)
{
    CardWorldBuilder world;
    world.Card(L"card", {{L"Identifier", L"C1"}, {L"PIN", L"1234"}});
    world.Reader(Name(0), L"card", L"card").Reader(Name(1), L"card", L"card");
    ASSERT_TRUE(world.Serve());
    using Show = std::function<std::wstring(std::function<void(HWND)>)>;
    Show selectCard = [](std::function<void(HWND)> holder) {
        wchar_t* name = nullptr;
        int length = 0;
        const int result = WhileHolderActs(holder, [&] { return ShowQLSelectCard(nullptr, &name, &length); });
        const std::wstring chosen = name ? std::wstring(name, static_cast<size_t>(length)) : L"";
        free(name);
        return std::to_wstring(result) + L" " + chosen;
    };
    Show locked = [](std::function<void(HWND)> holder) {
        CCMLockedDlg dialog(nullptr, Name(0).c_str());
        return std::to_wstring(WhileHolderActs(holder, [&] { return dialog.DoModal(); }));
    };
    struct Case {
        const char* name;
        Show show;
        std::vector<int> tabOrder;
        std::function<void(HWND)> keys;
        std::wstring expected;
    };
    const std::vector<int> selectOrder = {IDC_SELECT_CARD_LIST, IDOK, IDCANCEL};
    const Case cases[] = {
        {"the first reader picked", selectCard, selectOrder,
         [](HWND d) {
             PressKey(d, VK_TAB);
             PressAccessKey(d, L'R');
             PressKey(d, VK_UP);
             PressKey(d, VK_RETURN);
         },
         L"1 " + Name(0)},
        {"left with Esc", selectCard, selectOrder, [](HWND d) { PressKey(d, VK_ESCAPE); }, L"2 "},
        {"card manager locked", locked, {IDOK}, [](HWND d) { PressKey(d, VK_RETURN); }, L"1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> order;
        EXPECT_EQ(c.expected, c.show([&](HWND d) {
            order = TabOrder(d);
            c.keys(d);
        }));
        EXPECT_EQ(c.tabOrder, order);
    }
}

} // namespace
