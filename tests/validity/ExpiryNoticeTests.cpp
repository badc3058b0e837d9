// The expiry notice as the holder meets it: what it shows for a card and
// certificates, the reminder the holder chooses, and every way it closes.
#include "Fixtures.h"
#include "HolderActions.h"
#include "KeyboardHolder.h"
#include "UiDriver.h"

#include "ToastManager_control.h"
#include "base/VelkorExports.h"
#include "pinrc_ids.h"
#include "validity/VKExpiryNotificationInfo.h"
#include "vkevtsub_control.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

namespace {

constexpr const wchar_t* kReader = L"Notice Reader";
constexpr __int64 kDay = 86400;
// Whole days from now, with an hour to spare so that the days left do not
// drop by one while the dialog opens.
__int64 DaysAhead(int days)
{
    return _time64(nullptr) + days * kDay + (days >= 0 ? 3600 : -3600);
}

// What the call answered, with the days and the do-not-remind flag it handed back.
using Notice = std::tuple<int, int, int>;

struct Record {
    int cardDays = 0;
    bool card = false;
    std::vector<std::pair<const wchar_t*, int>> certificates;
    int delay = 60;
    HANDLE cancel = nullptr;
    std::unique_ptr<VKExpiryNotificationInfo> Make() const
    {
        auto info = std::make_unique<VKExpiryNotificationInfo>(CSecStr(kReader), cancel);
        info->SetNbDaysForNotificationDelay(delay);
        info->SetMustDisplayCardExpiry(card ? 1 : 0, card ? DaysAhead(cardDays) : -1);
        for (const auto& [label, days] : certificates)
            info->AddCertificateExpiryNotificationInfo(CSecStr(label), DaysAhead(days));
        return info;
    }
};

Notice Show(const Record& record, const std::function<void(HWND)>& holder)
{
    auto info = record.Make();
    std::thread acting = uidriver::ActOnDialog(holder);
    int days = 7777;
    int dontRemindMe = 7777;
    const int result = DisplayCardExpiryNotificationEx(nullptr, *info, &days, &dontRemindMe);
    acting.join();
    return {result, days, dontRemindMe};
}

std::wstring ListCell(HWND dialog, int row, int column)
{
    wchar_t text[128] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageW(GetDlgItem(dialog, IDC_EXPIRY_CERT_LIST), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    return text;
}

class ExpiryNotice : public testing::Test {
protected:
    void SetUp() override { qlToastReset(); }
    void TearDown() override { qlToastReset(); }
};

// The reminder the holder chooses with the mouse, and with the keyboard
// alone: Tab walks the notice, the arrow keys move between the two options,
// the letters pick an option or tick the box, Enter confirms and Esc closes.
TEST_F(ExpiryNotice, ReportsTheReminderTheHolderChoseWithTheMouseOrKeysAlone)
{
    struct Case {
        const char* what;
        Record record;
        std::function<void(HWND)> holder;
        Notice expected;
        std::vector<int> tabOrder; // for the keyboard's cases
    };
    const std::vector<int> cardOrder = {IDC_EXPIRY_REMIND_RADIO, IDC_EXPIRY_DAYS_EDIT, IDOK, IDCANCEL};
    const Case cases[] = {
        {"card 40 days ahead, confirmed", {40, true}, [](HWND d) { Press(d, IDOK); }, {1, 40, 0}},
        {"days equal to the caller's delay", {30, true, {}, 30}, [](HWND d) { Press(d, IDOK); }, {1, -1, 0}},
        {"do not remind me", {40, true},
         [](HWND d) {
             // The days go grey with the other option, and come back with it.
             Tick(GetDlgItem(d, IDC_EXPIRY_DONT_REMIND_RADIO));
             EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_EXPIRY_DAYS_EDIT)));
             Tick(GetDlgItem(d, IDC_EXPIRY_REMIND_RADIO));
             EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDC_EXPIRY_DAYS_EDIT)));
             Tick(GetDlgItem(d, IDC_EXPIRY_DONT_REMIND_RADIO));
             EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_EXPIRY_DAYS_EDIT)));
             Press(d, IDOK);
         },
         {1, 0, 1}},
        {"days typed above the maximum revert",
         {40, true},
         [](HWND d) {
             HWND edit = GetDlgItem(d, IDC_EXPIRY_DAYS_EDIT);
             uidriver::Retype(edit, L"10");
             uidriver::Type(edit, L"0");
             uidriver::WaitIdle(d);
             EXPECT_EQ(L"10", uidriver::TextOf(edit));
             Press(d, IDOK);
         },
         {1, 10, 0}},
        {"cancelled with nothing expired", {40, true}, [](HWND d) { Press(d, IDCANCEL); }, {2, -1, 0}},
        {"expired card, box ticked, closed", {-3, true},
         [](HWND d) {
             EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, IDOK)));
             EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, IDC_EXPIRY_DAYS_EDIT)));
             EXPECT_EQ(L"Close", uidriver::TextOf(GetDlgItem(d, IDCANCEL)));
             Tick(GetDlgItem(d, IDC_EXPIRY_DONT_REMIND_CHECK));
             Press(d, IDCANCEL);
         },
         {2, -1, 1}},
        {"certificates: the earliest sets the days", {0, false, {{L"Signing", 20}, {L"Logon", 10}}},
         [](HWND d) {
             EXPECT_EQ(L"Logon", ListCell(d, 0, 0));
             EXPECT_EQ(L"Signing", ListCell(d, 1, 0));
             EXPECT_EQ(L"10", uidriver::TextOf(GetDlgItem(d, IDC_EXPIRY_DAYS_EDIT)));
             EXPECT_NE(std::wstring::npos,
                       uidriver::TextOf(GetDlgItem(d, IDC_EXPIRY_DAYS_LABEL)).find(ListCell(d, 0, 1)));
             Press(d, IDOK);
         },
         {1, 10, 0}},
        {"an expired certificate", {0, false, {{L"Old", -2}, {L"Logon", 10}}},
         [](HWND d) {
             EXPECT_NE(std::wstring::npos, ListCell(d, 0, 1).find(L"(expired)"));
             EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, IDOK)));
             Press(d, IDCANCEL);
         },
         {2, -1, 0}},
        {"days typed by keys", {40, true},
         [](HWND d) {
             PressKey(d, VK_TAB);
             TypeKeys(d, L"15");
             PressKey(d, VK_RETURN);
         },
         {1, 15, 0}, cardOrder},
        {"the other option by the arrow key", {40, true},
         [](HWND d) {
             PressKey(d, VK_DOWN);
             PressKey(d, VK_RETURN);
         },
         {1, 0, 1}, cardOrder},
        {"back by the option's letter", {40, true},
         [](HWND d) {
             PressAccessKey(d, L'N');
             PressAccessKey(d, L'R');
             PressKey(d, VK_RETURN);
         },
         {1, 40, 0}, cardOrder},
        {"certificates closed by Esc", {0, false, {{L"Signing", 20}}}, [](HWND d) { PressKey(d, VK_ESCAPE); },
         {2, -1, 0}, {IDC_EXPIRY_CERT_LIST, IDC_EXPIRY_REMIND_RADIO, IDC_EXPIRY_DAYS_EDIT, IDOK, IDCANCEL}},
        {"expired card, box ticked by its letter", {-3, true},
         [](HWND d) {
             PressAccessKey(d, L'N');
             PressKey(d, VK_ESCAPE);
         },
         {2, -1, 1}, {IDCANCEL, IDC_EXPIRY_DONT_REMIND_CHECK}},
    };
    for (const Case& c : cases) {
        std::vector<int> order;
        EXPECT_EQ(c.expected, Show(c.record, [&](HWND d) {
            if (!c.tabOrder.empty())
                order = TabOrder(d);
            c.holder(d);
        })) << c.what;
        EXPECT_EQ(c.tabOrder, order) << c.what;
    }
}

TEST_F(ExpiryNotice, ClosesAsCancelledWhenTheCallerOrTheSessionSaysSo)
{
    HANDLE cancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ULONGLONG signalled = 0;
    struct Case {
        const char* what;
        std::function<void(HWND)> close;
    };
    const Case cases[] = {
        {"cancel event from another thread",
         [&](HWND) {
             signalled = GetTickCount64();
             std::thread([cancel] { SetEvent(cancel); }).join();
         }},
        {"card removed", [](HWND) { vkevtsubRaise(&VK_CARD_EVENT_CHANNEL, VK_EVENT_CARD_REMOVED, 0, kReader); }},
        {"workstation locked",
         [](HWND) { vkevtsubRaise(&VK_SESSION_EVENT_CHANNEL, VK_EVENT_SESSION, VK_SESSION_LOCKED, nullptr); }},
    };
    for (const Case& c : cases) {
        ResetEvent(cancel);
        Record record{40, true};
        record.cancel = cancel;
        EXPECT_EQ((Notice{2, -1, 0}), Show(record, c.close)) << c.what;
    }
    // Well inside the 30 s the watch thread is given to end.
    EXPECT_LT(GetTickCount64() - signalled, 30000u);
    CloseHandle(cancel);
}

TEST_F(ExpiryNotice, ToastsPointToTheDesktopInTouchMode)
{
    struct Case {
        int mode;
        bool createFails;
        size_t toasts;
    };
    for (const Case& c : {Case{2, false, 2}, Case{3, false, 2}, Case{1, false, 0}, Case{2, true, 0}}) {
        qlToastReset();
        qlToastSetAvailable(true);
        qlToastSetUIMode(c.mode);
        qlToastSetCreateFails(c.createFails);
        const Notice notice = Show({40, true, {{L"Logon", 10}}}, [](HWND d) { Press(d, IDCANCEL); });
        EXPECT_EQ(2, std::get<0>(notice)) << c.mode;
        ASSERT_EQ(c.toasts, qlToastShownCount()) << c.mode;
        wchar_t title[64], text[256];
        for (size_t i = 0; i < c.toasts; ++i) {
            ASSERT_TRUE(qlToastGetShown(i, title, 64, text, 256));
            EXPECT_NE(nullptr, wcsstr(text, i == 0 ? L"Card Expiration" : L"Credential Expiration")) << c.mode;
        }
    }
}

TEST_F(ExpiryNotice, ShowsNothingWithoutAnythingToShowOrAPlaceForTheAnswer)
{
    auto info = Record{40, true}.Make();
    auto empty = Record{}.Make();
    int days = 5;
    int dontRemind = 5;
    bool shown = false;
    std::thread watch = uidriver::ActOnDialogIfAny([&](HWND d) {
        shown = true;
        Press(d, IDCANCEL);
    }, 1500);
    EXPECT_EQ(2, DisplayCardExpiryNotificationEx(nullptr, *info, nullptr, &dontRemind));
    EXPECT_EQ(2, DisplayCardExpiryNotificationEx(nullptr, *info, &days, nullptr));
    EXPECT_EQ(2, DisplayCardExpiryNotificationEx(nullptr, *empty, &days, &dontRemind));
    EXPECT_EQ(-1, DisplayCardExpiryNotification(nullptr, nullptr));
    watch.join();
    EXPECT_FALSE(shown);
    EXPECT_EQ(5, days);
    EXPECT_EQ(5, dontRemind);
}

TEST(ExpiryRecord, KeepsCertificatesInExpiryOrderNewestFirstAmongEquals)
{
    VKExpiryNotificationInfo info(CSecStr(kReader), nullptr);
    info.AddCertificateExpiryNotificationInfo(CSecStr(L"twenty"), 20);
    info.AddCertificateExpiryNotificationInfo(CSecStr(L"ten, first"), 10);
    info.AddCertificateExpiryNotificationInfo(CSecStr(L"ten, last"), 10);
    ASSERT_EQ(3, info.GetNbCertExpiryNotificationInfo());
    const wchar_t* order[] = {L"ten, last", L"ten, first", L"twenty"};
    for (int i = 0; i < 3; ++i)
        EXPECT_STREQ(order[i], info.GetCertificateExpiryNotificationInfo(i)->m_sLabel.GetString());
    EXPECT_EQ(nullptr, info.GetCertificateExpiryNotificationInfo(3));
    EXPECT_THROW(info.GetCertificateExpiryNotificationInfo(-1), std::invalid_argument);
}

} // namespace
