#include "EventTestSupport.h"

#include "events/CardRemoved.h"
#include "events/VKDelegateSubscriberCardRemoved.h"
#include "events/VKReaderEventSubscriber.h"

#include <climits>

namespace {

constexpr UINT kTestMessage = WM_APP + 7;

TEST(CardRemovedSubscriber, PostsOnlyForItsReaderWhateverTheCaseAndOnlyToAWindow)
{
    struct Case {
        const wchar_t* subscribed;
        const wchar_t* removedFrom;
        bool posts;
    };
    const Case cases[] = {
        {L"Reader A", L"Reader A", true},
        {L"Reader A", L"READER a", true},
        {L"Reader A", L"Reader B", false},
        {L"Reader A", nullptr, false},
        {L"", L"any reader at all", true},
        {L"", nullptr, true},
        {nullptr, L"Reader B", true},
    };
    for (const Case& c : cases) {
        MessageSink sink;
        VKDelegateSubscriberCardRemoved subscriber(sink.Target(), kTestMessage, c.subscribed);
        RaiseCardEvent(VK_EVENT_CARD_REMOVED, c.removedFrom);
        RaiseCardEvent(VK_EVENT_CARD_INSERTED, c.removedFrom);
        vkevtsubRaiseNullRecord(&VK_CARD_EVENT_CHANNEL, VK_EVENT_CARD_REMOVED);
        WaitDelivered();
        auto posted = sink.Drain();
        ASSERT_EQ(c.posts ? 1u : 0u, posted.size()) << (c.subscribed ? "named" : "null") << " reader";
        if (c.posts) {
            EXPECT_EQ(kTestMessage, posted[0].message);
            EXPECT_EQ(1u, posted[0].wParam);
            EXPECT_EQ(0, posted[0].lParam);
        }
    }
    // Nothing is posted while its window does not exist.
    CWnd noWindowYet;
    VKDelegateSubscriberCardRemoved early(&noWindowYet, kTestMessage, L"R");
    VKDelegateSubscriberCardRemoved noTarget(nullptr, kTestMessage, L"R");
    RaiseCardEvent(VK_EVENT_CARD_REMOVED, L"R");
    WaitDelivered();
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, kTestMessage, kTestMessage, PM_REMOVE));
}

TEST(WorkstationLockedSubscriber, ClosesItsWindowOnlyWhenTheWorkstationLocks)
{
    struct Case {
        int code;
        bool closes;
    };
    for (Case c : {Case{10060, true}, Case{10065, true}, Case{10061, false}, Case{0, false}, Case{-10060, false}}) {
        MessageSink sink;
        VKDelegateSubscriberWorkstationLocked subscriber(sink.Target());
        RaiseSessionEvent(c.code);
        RaiseCardEvent(VK_EVENT_CARD_REMOVED, L"R"); // another channel: never a lock
        vkevtsubRaiseNullRecord(&VK_SESSION_EVENT_CHANNEL, VK_EVENT_SESSION);
        WaitDelivered();
        auto posted = sink.Drain();
        ASSERT_EQ(c.closes ? 1u : 0u, posted.size()) << c.code;
        if (c.closes) {
            EXPECT_EQ(static_cast<UINT>(WM_CLOSE), posted[0].message);
        }
    }
}

// Each kind of reader event posts a copy of the reader name that the
// receiver owns. Any program can post the same messages with any lParam:
// only a name a subscriber posted is read or released, and only once.
TEST(ReaderEventSubscriber, PostsACopyOfTheReaderNameThatTheReceiverOwns)
{
    const long before = VKReaderEventSubscriber::LiveCopies();
    MessageSink sink;
    struct Kind {
        int kind;
        UINT message;
    };
    const Kind kinds[] = {{VK_EVENT_CARD_INSERTED, Registered(L"VKCardInsertedEvent")},
                          {VK_EVENT_CARD_REMOVED, Registered(L"VKCardRemovedEvent")},
                          {VK_EVENT_READER_INSERTED, Registered(L"VKReaderInsEvent")},
                          {VK_EVENT_READER_REMOVED, Registered(L"VKReaderRemEvent")}};
    std::vector<std::unique_ptr<VKReaderEventSubscriber>> subscribers;
    for (const Kind& k : kinds)
        subscribers.push_back(std::make_unique<VKReaderEventSubscriber>(sink.Target(), k.message, k.kind));
    std::wstring longName(10000, L'N');
    for (const Kind& k : kinds) {
        RaiseCardEvent(k.kind, L"Reader 1");
        RaiseCardEvent(k.kind, longName.c_str());
        vkevtsubRaiseNullRecord(&VK_CARD_EVENT_CHANNEL, k.kind);
        WaitDelivered();
        auto posted = sink.Drain();
        ASSERT_EQ(3u, posted.size());
        for (const MSG& msg : posted)
            EXPECT_EQ(k.message, msg.message);
        EXPECT_STREQ(L"Reader 1", *VKReaderEventSubscriber::PeekReaderName(posted[0].lParam));
        EXPECT_EQ(longName, reinterpret_cast<CSecStr*>(posted[1].lParam)->GetString());
        EXPECT_EQ(0, posted[2].lParam) << "a null record posts no copy";
        CSecStr notPosted(L"Reader 2");
        for (LPARAM forged : {LPARAM(1), LPARAM(-1), LPARAM(0x1234), LPARAM(INT_MAX),
                              reinterpret_cast<LPARAM>(&notPosted), posted[0].lParam + 8}) {
            EXPECT_EQ(nullptr, VKReaderEventSubscriber::PeekReaderName(forged)) << forged;
            VKReaderEventSubscriber::FreeReaderName(forged);
        }
        EXPECT_STREQ(L"Reader 2", notPosted) << "a name we did not post is left alone";
        EXPECT_EQ(before + 2, VKReaderEventSubscriber::LiveCopies());
        for (const MSG& msg : posted)
            VKReaderEventSubscriber::FreeReaderName(msg.lParam);
        EXPECT_EQ(nullptr, VKReaderEventSubscriber::PeekReaderName(posted[0].lParam)) << "released: no longer taken";
        VKReaderEventSubscriber::FreeReaderName(posted[0].lParam);
        EXPECT_EQ(before, VKReaderEventSubscriber::LiveCopies());
    }
}

// A copy that cannot be posted (no window yet, a window that is gone) is
// released at once; those still queued when the window goes are released
// by the receiver.
TEST(ReaderEventSubscriber, ReleasesEveryCopyItCannotPostOrThatIsLeftQueued)
{
    const long before = VKReaderEventSubscriber::LiveCopies();
    const UINT inserted = Registered(L"VKReaderInsEvent");
    {
        CWnd noWindow;
        VKReaderEventSubscriber subscriber(&noWindow, inserted, VK_EVENT_READER_INSERTED);
        CWnd gone(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7777)));
        VKReaderEventSubscriber stale(&gone, inserted, VK_EVENT_READER_INSERTED);
        MessageSink sink;
        VKReaderEventSubscriber queued(sink.Target(), inserted, VK_EVENT_READER_INSERTED);
        for (int i = 0; i < 10; ++i)
            RaiseCardEvent(VK_EVENT_READER_INSERTED, L"Reader 9");
        WaitDelivered();
        EXPECT_EQ(before + 10, VKReaderEventSubscriber::LiveCopies()) << "only the queued ones are left";
        VKReaderEventSubscriber::FreeQueuedReaderNames(sink.Handle(), inserted);
    }
    EXPECT_EQ(before, VKReaderEventSubscriber::LiveCopies());
}

// Every subscriber leaves with its object; one whose subscription failed
// receives nothing, and a popup subscriber without its popup takes events
// unharmed.
TEST(Subscription, NoneOutlivesItsObject)
{
    size_t before = vkevtsubSubscriptionCount();
    {
        MessageSink sink;
        VKDelegateSubscriberCardRemoved a(sink.Target(), kTestMessage, L"");
        VKDelegateSubscriberWorkstationLocked b(sink.Target());
        VKReaderEventSubscriber c(sink.Target(), kTestMessage, VK_EVENT_READER_INSERTED);
        CCardRemoved orphan(nullptr);
        EXPECT_EQ(before + 4, vkevtsubSubscriptionCount());
        RaiseCardEvent(VK_EVENT_CARD_REMOVED, L"any");
        WaitDelivered();
    }
    EXPECT_EQ(before, vkevtsubSubscriptionCount());

    MessageSink sink;
    vkevtsubFailNextSubscribe(5);
    VKDelegateSubscriberCardRemoved failed(sink.Target(), kTestMessage, L"");
    EXPECT_EQ(before, vkevtsubSubscriptionCount());
    RaiseCardEvent(VK_EVENT_CARD_REMOVED, L"R");
    WaitDelivered();
    EXPECT_TRUE(sink.Drain().empty());
}

} // namespace
