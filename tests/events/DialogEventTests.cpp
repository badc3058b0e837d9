// Dialogs that end when their card leaves its reader or when the
// workstation locks.
#include "EventTestSupport.h"

namespace {

struct RemovalCase {
    const char* name;
    const wchar_t* dialogReader;
    const wchar_t* removedFrom;
    bool ends;
};

void PrintTo(const RemovalCase& c, std::ostream* out)
{
    *out << c.name;
}

class ReaderBoundDialog : public testing::TestWithParam<RemovalCase> {};

TEST_P(ReaderBoundDialog, EndsWithCancelOnlyWhenItsOwnCardLeaves)
{
    const RemovalCase& c = GetParam();
    ReaderDialog dialog(c.dialogReader);
    size_t subscriptions = vkevtsubSubscriptionCount();
    LogCapture log;
    auto holder = WhenDialogShows([&](HWND window) {
        RaiseCardEvent(VK_EVENT_CARD_REMOVED, c.removedFrom);
        vkevtsubWaitIdle(10000);
        // What the holder does when the dialog is still there.
        if (uidriver::WaitIdle(window) && IsWindowVisible(window))
            PostMessageW(window, WM_COMMAND, IDOK, 0);
    });
    INT_PTR result = dialog.DoModal();
    holder.join();
    EXPECT_EQ(c.ends ? IDCANCEL : IDOK, result);
    EXPECT_EQ(subscriptions, vkevtsubSubscriptionCount()) << "the subscriber goes with the window";
    EXPECT_TRUE(log.Has(VKLOG_INFO, L"VKDetectCardRemovedDlg::StopDetectingRemoveEvent: Card removed"));
}

INSTANTIATE_TEST_SUITE_P(
    Readers, ReaderBoundDialog,
    testing::Values(RemovalCase{"OwnReader", L"Smart Reader 0", L"Smart Reader 0", true},
                    RemovalCase{"OwnReaderOtherCase", L"Smart Reader 0", L"SMART reader 0", true},
                    RemovalCase{"OtherReader", L"Smart Reader 0", L"Smart Reader 1", false},
                    RemovalCase{"NoReaderNamed", nullptr, L"Smart Reader 1", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderBoundDialogMessages, TheRegisteredRemovalMessageEndsIt)
{
    ReaderDialog dialog(L"R");
    auto holder = WhenDialogShows([](HWND window) {
        PostMessageW(window, RegisterWindowMessageW(L"VKCardRemovedEvent"), 1, 0);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    holder.join();
}

TEST(ReaderBoundDialogMessages, WithoutASubscriptionItStillWorks)
{
    ReaderDialog dialog(L"R");
    vkevtsubFailNextSubscribe(31);
    LogCapture log;
    auto holder = WhenDialogShows([](HWND window) {
        RaiseCardEvent(VK_EVENT_CARD_REMOVED, L"R");
        vkevtsubWaitIdle(10000);
        uidriver::WaitIdle(window);
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(IDOK, dialog.DoModal());
    holder.join();
    EXPECT_TRUE(log.Has(VKLOG_ERROR, L"Subscribe failed (31)"));
}

TEST(ActivatedDialog, TheCaptionHelpButtonAsksForTheDialogsHelp)
{
    ReaderDialog dialog(L"R");
    auto holder = WhenDialogShows([](HWND window) {
        SendMessageW(window, WM_NCLBUTTONDOWN, HTHELP, 0);
        SendMessageW(window, WM_NCLBUTTONDOWN, HTNOWHERE, 0);
        SendMessageW(window, WM_NCLBUTTONDOWN, HTHELP, 0);
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    });
    dialog.DoModal();
    holder.join();
    EXPECT_EQ(2, dialog.m_nHelpRequests);
}

TEST(SecretDialogs, CloseAsCancelledWhenTheWorkstationLocks)
{
    for (int code : {10060, 10065}) {
        SecretDialog dialog;
        auto holder = WhenDialogShows([code](HWND) { RaiseSessionEvent(code); });
        EXPECT_EQ(IDCANCEL, dialog.DoModal()) << code;
        holder.join();
    }
}

TEST(SecretDialogs, StayOpenForOtherSessionEvents)
{
    SecretDialog dialog;
    auto holder = WhenDialogShows([](HWND window) {
        RaiseSessionEvent(10061);
        RaiseSessionEvent(10062);
        vkevtsubWaitIdle(10000);
        uidriver::WaitIdle(window);
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(IDOK, dialog.DoModal());
    holder.join();
}

TEST(SecretDialogs, ALockBeforeTheWindowExistsIsDropped)
{
    SecretDialog dialog;
    RaiseSessionEvent(10060);
    WaitDelivered();
    auto holder = WhenDialogShows([](HWND window) { PostMessageW(window, WM_COMMAND, IDOK, 0); });
    EXPECT_EQ(IDOK, dialog.DoModal());
    holder.join();
}

} // namespace
