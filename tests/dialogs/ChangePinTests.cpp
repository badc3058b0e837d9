// GetChangePINInfoFromUser driven as a card holder would: type the current
// PIN, the new one and its confirmation, and watch the rule rows and OK.
#include "AccessibleReader.h"
#include "Fixtures.h"
#include "HolderActions.h"
#include "KeyboardHolder.h"
#include "MemoryScan.h"
#include "ScopedGdi.h"
#include "UiDriver.h"

#include "TestDialogs.h"
#include "base/VelkorExports.h"
#include "dialogs/ChangePINDialog.h"
#include "pinrc_ids.h"
#include "vkevtsub_control.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

constexpr const wchar_t* kReader = L"Smart Reader 0";
constexpr const wchar_t* kChangePinPolicies = L"Software\\Policies\\Quellon\\Velkor\\ChangePINPolicies";

struct Request {
    int numericOnly = 0;
    int weakAllowed = 1;
    int minLength = 4;
    int maxLength = 8;
    int firstUse = 0;
    bool askCurrent = true;
    void(CALLBACK* timer)(void*) = nullptr;
    void* timerArgument = nullptr;
    unsigned period = 0;
    HWND parent = nullptr;
    DWORD dialogWaitMs = uidriver::kDefaultTimeoutMs;
    bool dialogExpected = true; // else none showing is no failure
};

struct Answer {
    int result = 99;
    std::wstring current;
    std::wstring fresh;
    int currentLength = -1;
    int freshLength = -1;
    bool dialogShown = false;
};

Answer AskChange(const Request& r, std::function<void(HWND)> holder)
{
    Answer answer;
    wchar_t fresh[128];
    wchar_t current[128];
    wmemset(fresh, L'#', 128);
    wmemset(current, L'#', 128);
    auto act = [&](HWND frame) {
        answer.dialogShown = true;
        holder(frame);
    };
    std::thread acting =
        r.dialogExpected ? uidriver::ActOnDialog(act, r.dialogWaitMs) : uidriver::ActOnDialogIfAny(act, r.dialogWaitMs);
    answer.result = GetChangePINInfoFromUser(r.numericOnly, r.weakAllowed, r.minLength, r.maxLength, r.firstUse, 0,
                                             fresh, &answer.freshLength, current, &answer.currentLength, kReader,
                                             r.parent, r.askCurrent, r.timer, r.timerArgument, r.period);
    acting.join();
    if (answer.result == 0) {
        answer.current.assign(current, static_cast<size_t>(answer.currentLength));
        answer.fresh.assign(fresh, static_cast<size_t>(answer.freshLength));
    }
    SecureZeroMemory(fresh, sizeof(fresh));
    SecureZeroMemory(current, sizeof(current));
    return answer;
}

HWND Field(HWND frame, int id)
{
    return uidriver::FindControl(frame, id);
}

// A rule row as the holder sees it: '-' hidden, '+' satisfied (green
// icon), 'x' violated (red icon).
char RowState(HWND frame, int textId, int iconId)
{
    HWND text = Field(frame, textId);
    HWND icon = Field(frame, iconId);
    if (!text || !IsWindowVisible(text))
        return '-';
    auto handle = reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0));
    ICONINFO info = {};
    if (!handle || !GetIconInfo(handle, &info))
        return '?';
    BITMAPINFO bmi = {};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), 16, 16, 1, 32, BI_RGB};
    DWORD pixels[256] = {};
    ScopedGdiObject<HBITMAP> color(info.hbmColor);
    ScopedGdiObject<HBITMAP> mask(info.hbmMask);
    GetDIBits(ScopedGetDC(nullptr), color, 0, 16, pixels, &bmi, DIB_RGB_COLORS);
    DWORD center = pixels[8 * 16 + 4];
    int red = (center >> 16) & 0xFF;
    int green = (center >> 8) & 0xFF;
    return green > red ? '+' : 'x';
}

// A rule row as a screen reader hears it: its text, then whether it is met.
char HeardRowState(HWND frame, int textId, int)
{
    HWND text = Field(frame, textId);
    if (!text || !IsWindowVisible(text))
        return '-';
    const AccessibleView seen = ReadAccessible(text);
    HMODULE texts = GetModuleHandleW(L"vk.velkor.gui.pinrc.dll");
    const std::wstring shown = uidriver::TextOf(text) + L" ";
    if (seen.name == shown + ResourceString(texts, IDS_RULE_HOLDS))
        return '+';
    return seen.name == shown + ResourceString(texts, IDS_RULE_NOT_MET) ? 'x' : '?';
}

// Rows in order: minimum, maximum, weak, same, digits only, confirmation;
// as the icons show them or, with `state` HeardRowState, as they are heard.
std::string Rows(HWND frame, char (*state)(HWND, int, int) = RowState)
{
    return {state(frame, IDC_RULE_MIN_TEXT, IDC_RULE_MIN_ICON),
            state(frame, IDC_RULE_MAX_TEXT, IDC_RULE_MAX_ICON),
            state(frame, IDC_RULE_WEAK_TEXT, IDC_RULE_WEAK_ICON),
            state(frame, IDC_RULE_SAME_TEXT, IDC_RULE_SAME_ICON),
            state(frame, IDC_RULE_ALPHA_TEXT, IDC_RULE_ALPHA_ICON),
            state(frame, IDC_RULE_CONFIRM_TEXT, IDC_RULE_CONFIRM_ICON)};
}

class ChangePin : public testing::Test {
protected:
    void SetUp() override
    {
        m_registry.Remove(kChangePinPolicies, L"PreventSamePINChange");
        m_registry.Remove(kChangePinPolicies, L"DisableCancelChangePINatFirstUse");
    }
    RegistryFixture m_registry;
};

TEST_F(ChangePin, RowsAndOkFollowWhatTheHolderTypes)
{
    m_registry.SetDword(kChangePinPolicies, L"PreventSamePINChange", 1);
    Request request;
    request.numericOnly = 1;
    request.weakAllowed = 0;
    struct Step {
        int field;
        const wchar_t* text;
        const char* rows;
        bool ok;
    };
    const Step steps[] = {
        {IDC_CURRENT_PIN_EDIT, L"1593", "x+x+++", false},
        {IDC_NEW_PIN_EDIT, L"1593", "+++x+x", false},
        {IDC_NEW_PIN_EDIT, L"2604", "+++++x", false},
        {IDC_CONFIRM_PIN_EDIT, L"2604", "++++++", true},
        {IDC_CONFIRM_PIN_EDIT, L"2605", "+++++x", false},
        {IDC_NEW_PIN_EDIT, L"2468", "++x++x", false},
        {IDC_NEW_PIN_EDIT, L"26a5", "++++xx", false},
        {IDC_NEW_PIN_EDIT, L"260571943", "+x+++x", false},
        {IDC_NEW_PIN_EDIT, L"2605", "++++++", true},
        {IDC_CURRENT_PIN_EDIT, L"2605", "+++x++", false},
        {IDC_CURRENT_PIN_EDIT, L"1593", "++++++", true},
    };
    Answer answer = AskChange(request, [&](HWND frame) {
        for (const Step& step : steps) {
            uidriver::Retype(Field(frame, step.field), step.text);
            const std::string typed(step.text, step.text + wcslen(step.text));
            EXPECT_EQ(step.rows, Rows(frame)) << "after typing " << typed;
            EXPECT_EQ(step.rows, Rows(frame, HeardRowState)) << "heard after typing " << typed;
            EXPECT_EQ(step.ok, OkEnabled(frame)) << "after typing " << typed;
        }
        // Without the current PIN OK is disabled, and Enter then does nothing.
        uidriver::Retype(Field(frame, IDC_CURRENT_PIN_EDIT), L"");
        EXPECT_FALSE(OkEnabled(frame));
        Press(frame, IDOK);
        EXPECT_FALSE(uidriver::WaitUntil([&] { return !IsWindowVisible(frame); }, 300)) << "OK is ignored while disabled";
        uidriver::Retype(Field(frame, IDC_CURRENT_PIN_EDIT), L"1593");
        Press(frame, IDOK);
    });
    ASSERT_EQ(0, answer.result);
    EXPECT_EQ(L"1593", answer.current);
    EXPECT_EQ(L"2605", answer.fresh);
}

// The keyboard alone: the focus starts in the first PIN the holder types,
// Tab and the labels' letters move between the fields, Enter confirms.
TEST_F(ChangePin, IsCompletedByKeysAlone)
{
    struct Case {
        bool askCurrent;
        std::vector<int> tabOrder;
        const wchar_t* current;
        const wchar_t* expectedCurrent;
    };
    const Case cases[] = {
        {true, {IDC_CURRENT_PIN_EDIT, IDC_NEW_PIN_EDIT, IDC_CONFIRM_PIN_EDIT, IDCANCEL}, L"1593", L"1593"},
        {false, {IDC_NEW_PIN_EDIT, IDC_CONFIRM_PIN_EDIT, IDCANCEL}, L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.askCurrent ? "current PIN asked" : "no current PIN");
        Request request;
        request.askCurrent = c.askCurrent;
        std::vector<int> order;
        Answer answer = AskChange(request, [&](HWND frame) {
            order = TabOrder(frame);
            TypeKeys(frame, c.current);
            PressAccessKey(frame, L'N');
            TypeKeys(frame, L"2604");
            PressKey(frame, VK_TAB);
            TypeKeys(frame, L"2604");
            PressKey(frame, VK_TAB);
            EXPECT_EQ(IDOK, FocusedId(frame)) << "with every field filled, OK is in the walk";
            PressAccessKey(frame, L'F');
            PressKey(frame, VK_RETURN);
        });
        EXPECT_EQ(c.tabOrder, order);
        ASSERT_EQ(0, answer.result);
        EXPECT_EQ(c.expectedCurrent, answer.current);
        EXPECT_EQ(L"2604", answer.fresh);
    }
}

// PreventSamePINChange and DisableCancelChangePINatFirstUse each take hold
// only when exactly 1; the workstation lock and the card leaving end the
// dialog whatever they say.
TEST_F(ChangePin, ThePoliciesRefuseASameNewPinAndCancelAtAFirstUseOnlyWhenExactlyOne)
{
    struct Case {
        int value; // of both policies; -1: missing
        int firstUse;
        bool cardLeaves; // else the workstation locks
    };
    const Case cases[] = {{-1, 1, false}, {0, 1, false}, {1, 1, false}, {2, 1, false}, {1, 0, false}, {1, 1, true}};
    for (const Case& c : cases) {
        RegistryFixture registry;
        if (c.value >= 0) {
            registry.SetDword(kChangePinPolicies, L"PreventSamePINChange", static_cast<DWORD>(c.value));
            registry.SetDword(kChangePinPolicies, L"DisableCancelChangePINatFirstUse", static_cast<DWORD>(c.value));
        }
        const bool cancelRefused = c.value == 1 && c.firstUse == 1;
        Request request;
        request.firstUse = c.firstUse;
        bool okWithSamePin = false;
        std::string rows;
        bool stillOpen = false;
        bool cancelEnabled = false;
        Answer answer = AskChange(request, [&](HWND frame) {
            for (int id : {IDC_CURRENT_PIN_EDIT, IDC_NEW_PIN_EDIT, IDC_CONFIRM_PIN_EDIT})
                uidriver::Type(Field(frame, id), L"5930");
            okWithSamePin = OkEnabled(frame);
            rows = Rows(frame);
            cancelEnabled = IsWindowEnabled(GetDlgItem(frame, IDCANCEL));
            // Escape, the close box and the Cancel button, as a holder tries them.
            PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
            PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
            stillOpen = !uidriver::WaitUntil([&] { return !IsWindowVisible(frame); }, 300);
            if (c.cardLeaves)
                vkevtsubRaise(&VK_CARD_EVENT_CHANNEL, VK_EVENT_CARD_REMOVED, 0, L"SMART READER 0");
            else
                vkevtsubRaise(&VK_SESSION_EVENT_CHANNEL, VK_EVENT_SESSION, VK_SESSION_LOCKED, nullptr);
        });
        const std::string what = "value " + std::to_string(c.value) + ", first use " + std::to_string(c.firstUse);
        EXPECT_EQ(-1, answer.result) << what;
        EXPECT_EQ(c.value != 1, okWithSamePin) << what;
        EXPECT_EQ(c.value == 1 ? 'x' : '-', rows[3]) << what;
        EXPECT_EQ(cancelRefused, stillOpen) << what;
        EXPECT_EQ(!cancelRefused, cancelEnabled) << what;
    }
}

// Without the current PIN only the new one is asked for; a field takes no
// more than the caller's buffer holds.
TEST_F(ChangePin, HandsBackWhatFitsAndRunsTheKeepAliveOnlyWithAPeriod)
{
    std::wstring longPin;
    for (int i = 0; i < 200; ++i)
        longPin += static_cast<wchar_t>(L'0' + (i * 7) % 10);
    struct Case {
        const char* name;
        bool askCurrent;
        int maxLength;
        std::wstring typed;
        unsigned period;
    };
    const Case cases[] = {
        {"without the current PIN", false, 8, L"739102", 10},
        {"longer than the buffer", true, -1, longPin, 0},
    };
    for (const Case& c : cases) {
        std::atomic<int> ticks{0};
        Request request;
        request.askCurrent = c.askCurrent;
        request.maxLength = c.maxLength;
        request.timer = CountTick;
        request.timerArgument = &ticks;
        request.period = c.period;
        bool currentShown = false;
        Answer answer = AskChange(request, [&](HWND frame) {
            currentShown = IsWindowVisible(Field(frame, IDC_CURRENT_PIN_EDIT));
            if (c.askCurrent)
                uidriver::Type(Field(frame, IDC_CURRENT_PIN_EDIT), L"1");
            uidriver::Type(Field(frame, IDC_NEW_PIN_EDIT), c.typed);
            uidriver::Type(Field(frame, IDC_CONFIRM_PIN_EDIT), c.typed);
            EXPECT_TRUE(OkEnabled(frame)) << c.name;
            const bool ticked = uidriver::WaitUntil([&] { return ticks.load() >= 3; }, c.period ? 5000 : 300);
            EXPECT_EQ(c.period != 0, ticked) << c.name;
            Press(frame, IDOK);
        });
        EXPECT_EQ(c.askCurrent, currentShown) << c.name;
        ASSERT_EQ(0, answer.result) << c.name;
        EXPECT_EQ(c.askCurrent ? 1 : 0, answer.currentLength) << c.name;
        EXPECT_EQ(c.typed.substr(0, 127), answer.fresh) << c.name;
    }
}

TEST_F(ChangePin, APageOpenInTheCallersDialogAnswersWithoutADialog)
{
    // A host builds the page before its own dialog has a window, then opens both.
    CDialog host(IDD_TEST_PAGE, nullptr);
    PwdRuleArgs rules = {0, 1, 0, 4, 8, 0};
    CChangePINDialog page(0, 0, true, nullptr, &rules, nullptr, &host, 15, 0, 6, nullptr, nullptr, 0);
    Request elsewhere;
    auto cancel = [](HWND frame) { Press(frame, IDCANCEL); };
    Answer beforeItsWindow = AskChange(elsewhere, cancel);
    EXPECT_TRUE(beforeItsWindow.dialogShown) << "a page with no window answers no call";
    EXPECT_EQ(-1, beforeItsWindow.result);

    ASSERT_TRUE(host.Create(IDD_TEST_PAGE, nullptr));
    ASSERT_TRUE(page.LocCreate(&host));
    uidriver::Type(Field(page.m_hWnd, IDC_CURRENT_PIN_EDIT), L"1357");
    uidriver::Type(Field(page.m_hWnd, IDC_NEW_PIN_EDIT), L"8642");
    uidriver::Type(Field(page.m_hWnd, IDC_CONFIRM_PIN_EDIT), L"8642");

    Request fromHost;
    fromHost.parent = host.m_hWnd;
    fromHost.dialogWaitMs = 1000;
    fromHost.dialogExpected = false;
    Answer answered = AskChange(fromHost, cancel);
    EXPECT_FALSE(answered.dialogShown);
    EXPECT_EQ(0, answered.result);
    EXPECT_EQ(L"1357", answered.current);
    EXPECT_EQ(L"8642", answered.fresh);

    Answer otherCaller = AskChange(elsewhere, cancel);
    EXPECT_TRUE(otherCaller.dialogShown) << "a call from another window gets its own dialog";
    EXPECT_EQ(-1, otherCaller.result);
    page.DestroyWindow();
    host.DestroyWindow();
}

TEST_F(ChangePin, NeitherPinIsLeftInMemoryOnceTheCallerWipedItsBuffers)
{
    MaskedSecret oldPin(16);
    MaskedSecret newPin(20);
    auto typeSecret = [](HWND edit, const MaskedSecret& secret) {
        for (size_t i = 0; i < secret.Length(); ++i)
            SendMessageW(edit, WM_CHAR, secret.At(i), 1);
    };
    int result = 99;
    {
        wchar_t fresh[128] = {};
        wchar_t current[128] = {};
        int freshLength = 0;
        int currentLength = 0;
        std::thread holder = uidriver::ActOnDialog([&](HWND frame) {
            typeSecret(Field(frame, IDC_CURRENT_PIN_EDIT), oldPin);
            typeSecret(Field(frame, IDC_NEW_PIN_EDIT), newPin);
            typeSecret(Field(frame, IDC_CONFIRM_PIN_EDIT), newPin);
            Press(frame, IDOK);
        });
        result = GetChangePINInfoFromUser(0, 1, 4, 20, 0, 0, fresh, &freshLength, current, &currentLength, kReader,
                                          nullptr, true, nullptr, nullptr, 0);
        holder.join();
        EXPECT_EQ(static_cast<int>(newPin.Length()), freshLength);
        EXPECT_GE(ScanProcessMemory(newPin).wide, 1u) << "the caller holds the new PIN";
        SecureZeroMemory(fresh, sizeof(fresh));
        SecureZeroMemory(current, sizeof(current));
    }
    ASSERT_EQ(0, result);
    SecretSightings oldSeen = ScanProcessMemory(oldPin);
    SecretSightings newSeen = ScanProcessMemory(newPin);
    EXPECT_EQ(0u, oldSeen.wide + oldSeen.narrow) << "the current PIN";
    EXPECT_EQ(0u, newSeen.wide + newSeen.narrow) << "the new PIN";
}

// Top of each shown row, in the panel's client coordinates, and the
// panel's height.
struct PanelLayout {
    std::vector<int> rowTops;
    int height = 0;
};

PanelLayout ReadPanel(HWND frame)
{
    PanelLayout layout;
    HWND header = uidriver::FindControl(frame, IDC_RULES_HEADER);
    HWND panel = GetParent(header);
    for (int id : {IDC_RULE_MIN_TEXT, IDC_RULE_MAX_TEXT, IDC_RULE_WEAK_TEXT, IDC_RULE_SAME_TEXT, IDC_RULE_ALPHA_TEXT,
                   IDC_RULE_CONFIRM_TEXT}) {
        HWND row = uidriver::FindControl(frame, id);
        if (!IsWindowVisible(row))
            continue;
        RECT r;
        GetWindowRect(row, &r);
        MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
        layout.rowTops.push_back(r.top);
    }
    RECT p;
    GetWindowRect(panel, &p);
    layout.height = p.bottom - p.top;
    return layout;
}

TEST_F(ChangePin, ThePanelClosesUpOverRulesThatDoNotApply)
{
    auto open = [](Request request) {
        PanelLayout layout;
        AskChange(request, [&](HWND frame) {
            layout = ReadPanel(frame);
            Press(frame, IDCANCEL);
        });
        return layout;
    };
    Request all;
    all.numericOnly = 1;
    all.weakAllowed = 0;
    Request noMinimum = all;
    noMinimum.minLength = -1;
    Request confirmationOnly;
    confirmationOnly.minLength = -1;
    confirmationOnly.maxLength = -1;

    PanelLayout full = open(all);
    PanelLayout fewer = open(noMinimum);
    PanelLayout least = open(confirmationOnly);
    ASSERT_EQ(5u, full.rowTops.size());
    ASSERT_EQ(4u, fewer.rowTops.size());
    ASSERT_EQ(1u, least.rowTops.size());
    EXPECT_EQ(full.rowTops[0], fewer.rowTops[0]) << "the first row shown takes the top place";
    EXPECT_EQ(full.rowTops[0], least.rowTops[0]);
    const int pitch = full.rowTops[1] - full.rowTops[0];
    for (size_t i = 1; i < full.rowTops.size(); ++i)
        EXPECT_EQ(pitch, full.rowTops[i] - full.rowTops[i - 1]) << "rows are evenly spaced";
    EXPECT_EQ(pitch, full.height - fewer.height) << "one row fewer, one row's height less";
    EXPECT_EQ(4 * pitch, full.height - least.height);
}

} // namespace
