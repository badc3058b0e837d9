// Dialogs that end when their card leaves its reader or when the
// workstation locks.
#include "EventTestSupport.h"

#include <functional>

namespace {

// Shows `dialog` while the holder does `act` to it; where the dialog should
// stay, the holder then presses OK, which comes after every event posted to
// it before.
template <class Dialog>
INT_PTR ShowWhile(Dialog& dialog, const std::function<void(HWND)>& act, bool stays)
{
    const size_t subscriptions = vkevtsubSubscriptionCount();
    auto holder = uidriver::ActOnDialog([&](HWND window) {
        act(window);
        vkevtsubWaitIdle(10000);
        if (stays)
            SendNotifyMessageW(window, WM_COMMAND, IDOK, 0);
    });
    INT_PTR result = dialog.DoModal();
    holder.join();
    EXPECT_EQ(subscriptions, vkevtsubSubscriptionCount()) << "the subscriber goes with the window";
    return result;
}

std::function<void(HWND)> RemoveCardFrom(const wchar_t* reader)
{
    return [reader](HWND) { RaiseCardEvent(VK_EVENT_CARD_REMOVED, reader); };
}

TEST(ReaderBoundDialog, EndsWithCancelOnlyWhenItsOwnCardLeaves)
{
    struct Case {
        const char* name;
        const wchar_t* reader;
        int failSubscribe; // the subscription fails with this status
        std::function<void(HWND)> act;
        INT_PTR result;
        int helpRequests;
    };
    const Case cases[] = {
        {"own reader", L"Smart Reader 0", 0, RemoveCardFrom(L"Smart Reader 0"), IDCANCEL, 0},
        {"own reader in another case", L"Smart Reader 0", 0, RemoveCardFrom(L"SMART reader 0"), IDCANCEL, 0},
        {"another reader", L"Smart Reader 0", 0, RemoveCardFrom(L"Smart Reader 1"), IDOK, 0},
        {"no reader named", nullptr, 0, RemoveCardFrom(L"Smart Reader 1"), IDCANCEL, 0},
        {"the registered removal message", L"R", 0,
         [](HWND window) { PostMessageW(window, Registered(L"VKCardRemovedEvent"), 1, 0); }, IDCANCEL, 0},
        {"without a subscription", L"R", 31, RemoveCardFrom(L"R"), IDOK, 0},
        {"the caption's help button", L"R", 0,
         [](HWND window) {
             for (LPARAM hit : {HTHELP, HTNOWHERE, HTHELP})
                 SendMessageW(window, WM_NCLBUTTONDOWN, static_cast<WPARAM>(hit), 0);
         },
         IDOK, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReaderDialog dialog(c.reader);
        if (c.failSubscribe)
            vkevtsubFailNextSubscribe(c.failSubscribe);
        EXPECT_EQ(c.result, ShowWhile(dialog, c.act, c.result == IDOK));
        EXPECT_EQ(c.helpRequests, dialog.m_nHelpRequests);
    }
}

TEST(SecretDialogs, CloseAsCancelledOnlyWhenTheWorkstationLocks)
{
    struct Case {
        const char* name;
        std::vector<int> before; // session events before the window exists
        std::vector<int> shown;  // and while it is shown
        INT_PTR result;
    };
    const Case cases[] = {
        {"locked", {}, {10060}, IDCANCEL},
        {"locking", {}, {10065}, IDCANCEL},
        {"other session events", {}, {10061, 10062}, IDOK},
        {"a lock before the window exists", {10060}, {}, IDOK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SecretDialog dialog;
        for (int code : c.before)
            RaiseSessionEvent(code);
        WaitDelivered();
        auto raise = [&](HWND) {
            for (int code : c.shown)
                RaiseSessionEvent(code);
        };
        EXPECT_EQ(c.result, ShowWhile(dialog, raise, c.result == IDOK));
    }
}

} // namespace
