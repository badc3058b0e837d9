// Event service stand-in. Events wait in one queue; one delivery thread
// hands each, in the order raised, to every matching subscription (a card
// removed must never overtake the insertion before it). A
// subscription being delivered to is marked busy, and UnSubscribe waits for
// it, so a subscriber is never called once UnSubscribe has returned.
#include "vkevtsub_control.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kErrorNotSubscribed = 1;

struct Subscription {
    VKDelegateSubscriber* subscriber;
    int kind;
    GUID channel;
    bool removed = false;
    // Threads delivering to this subscription right now.
    std::vector<std::thread::id> deliverers;
};

struct Event {
    GUID channel;
    int kind;
    bool hasRecord;
    int code;
    bool hasReader;
    std::wstring reader;
};

class Service {
public:
    static Service& Instance()
    {
        // Never destroyed: its threads may still run while the process exits.
        static Service* service = new Service();
        return *service;
    }

    int Subscribe(VKDelegateSubscriber* subscriber, int kind, const GUID* channel, void** handle)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_nFailNext) {
            int code = m_nFailNext;
            m_nFailNext = 0;
            return code;
        }
        auto subscription = std::make_shared<Subscription>();
        subscription->subscriber = subscriber;
        subscription->kind = kind;
        subscription->channel = *channel;
        m_subscriptions.push_back(subscription);
        *handle = subscription.get();
        return 0;
    }

    int UnSubscribe(void* handle)
    {
        std::unique_lock<std::mutex> hold(m_lock);
        auto found = std::find_if(m_subscriptions.begin(), m_subscriptions.end(),
                                  [handle](const auto& s) { return s.get() == handle; });
        if (found == m_subscriptions.end())
            return kErrorNotSubscribed;
        std::shared_ptr<Subscription> subscription = *found;
        m_subscriptions.erase(found);
        subscription->removed = true;
        // A subscriber may unsubscribe from inside its own HandleEvent; only
        // other threads' deliveries are waited for.
        const auto self = std::this_thread::get_id();
        m_changed.wait(hold, [&] {
            return std::all_of(subscription->deliverers.begin(), subscription->deliverers.end(),
                               [self](std::thread::id id) { return id == self; });
        });
        return 0;
    }

    void Raise(Event event)
    {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            StartThreadsOnce();
            m_queue.push_back(std::move(event));
        }
        m_queued.notify_one();
    }

    bool WaitIdle(DWORD timeoutMs)
    {
        std::unique_lock<std::mutex> hold(m_lock);
        return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                                  [this] { return m_queue.empty() && m_nDelivering == 0; });
    }

    void FailNextSubscribe(int code)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_nFailNext = code;
    }

    size_t Count()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_subscriptions.size();
    }

    uint64_t Delivered() const { return m_nDelivered.load(); }

private:
    void StartThreadsOnce()
    {
        if (m_bStarted)
            return;
        m_bStarted = true;
        std::thread([this] { DeliveryLoop(); }).detach();
    }

    void DeliveryLoop()
    {
        std::unique_lock<std::mutex> hold(m_lock);
        for (;;) {
            m_queued.wait(hold, [this] { return !m_queue.empty(); });
            Event event = std::move(m_queue.front());
            m_queue.pop_front();
            ++m_nDelivering;
            std::vector<std::shared_ptr<Subscription>> targets;
            for (const auto& s : m_subscriptions)
                if (s->kind == event.kind && IsEqualGUID(s->channel, event.channel))
                    targets.push_back(s);
            for (const auto& target : targets)
                Deliver(hold, *target, event);
            --m_nDelivering;
            m_changed.notify_all();
        }
    }

    void Deliver(std::unique_lock<std::mutex>& hold, Subscription& target, const Event& event)
    {
        if (target.removed)
            return;
        const auto self = std::this_thread::get_id();
        target.deliverers.push_back(self);
        hold.unlock();
        VKEventRecord record = {event.code, event.hasReader ? event.reader.c_str() : nullptr};
        try {
            target.subscriber->HandleEvent(event.hasRecord ? &record : nullptr);
        } catch (...) {
            // A subscriber's failure must not stop the service.
        }
        ++m_nDelivered;
        hold.lock();
        target.deliverers.erase(std::find(target.deliverers.begin(), target.deliverers.end(), self));
        m_changed.notify_all();
    }

    std::mutex m_lock;
    std::condition_variable m_queued;
    std::condition_variable m_changed;
    std::deque<Event> m_queue;
    std::vector<std::shared_ptr<Subscription>> m_subscriptions;
    int m_nDelivering = 0;
    int m_nFailNext = 0;
    bool m_bStarted = false;
    std::atomic<uint64_t> m_nDelivered{0};
};

} // namespace

VKDelegateSubscriber::VKDelegateSubscriber() = default;

VKDelegateSubscriber::~VKDelegateSubscriber()
{
    // A subclass unsubscribes first; this catches one that forgot.
    UnSubscribe();
}

void VKDelegateSubscriber::HandleEvent(const VKEventRecord*)
{
}

int VKDelegateSubscriber::Subscribe(int eventKind, const GUID* channel)
{
    if (!channel)
        return ERROR_INVALID_PARAMETER;
    if (m_pSubscription)
        return ERROR_ALREADY_EXISTS;
    return Service::Instance().Subscribe(this, eventKind, channel, &m_pSubscription);
}

int VKDelegateSubscriber::UnSubscribe()
{
    if (!m_pSubscription)
        return kErrorNotSubscribed;
    int result = Service::Instance().UnSubscribe(m_pSubscription);
    m_pSubscription = nullptr;
    return result;
}

extern "C" void vkevtsubRaise(const GUID* channel, int kind, int code, const wchar_t* reader)
{
    if (!channel)
        return;
    Service::Instance().Raise({*channel, kind, true, code, reader != nullptr, reader ? reader : L""});
}

extern "C" void vkevtsubRaiseNullRecord(const GUID* channel, int kind)
{
    if (!channel)
        return;
    Service::Instance().Raise({*channel, kind, false, 0, false, L""});
}

extern "C" bool vkevtsubWaitIdle(DWORD timeoutMs)
{
    return Service::Instance().WaitIdle(timeoutMs);
}

extern "C" void vkevtsubFailNextSubscribe(int code)
{
    Service::Instance().FailNextSubscribe(code);
}

extern "C" size_t vkevtsubSubscriptionCount()
{
    return Service::Instance().Count();
}

extern "C" uint64_t vkevtsubDeliveredCount()
{
    return Service::Instance().Delivered();
}
