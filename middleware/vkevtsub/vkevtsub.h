#pragma once
// The middleware's event subscription service: card, reader and
// workstation-session events delivered to in-process subscribers on the
// service's own threads.
#include <windows.h>

#ifdef VKEVTSUB_BUILD
#define VKEVTSUB_API __declspec(dllexport)
#else
#define VKEVTSUB_API __declspec(dllimport)
#endif

// Card and reader events.
inline constexpr GUID VK_CARD_EVENT_CHANNEL = {
    0xE9F60E34, 0xE16C, 0x4C33, {0xA5, 0xF0, 0xAA, 0x46, 0xDB, 0x99, 0xCA, 0x32}};
// Workstation session events.
inline constexpr GUID VK_SESSION_EVENT_CHANNEL = {
    0xF0C38807, 0x4D99, 0x4004, {0x8C, 0x00, 0x7C, 0x1E, 0xA1, 0x49, 0x23, 0x5D}};

enum VKEventKind : int {
    VK_EVENT_CARD_INSERTED = 10001,
    VK_EVENT_CARD_REMOVED = 10002,
    VK_EVENT_READER_INSERTED = 10003,
    VK_EVENT_READER_REMOVED = 10004,
    VK_EVENT_SESSION = 10001,
};

// Session event codes that mean the workstation is being locked.
enum VKSessionCode : int {
    VK_SESSION_LOCKING = 10060,
    VK_SESSION_LOCKED = 10065,
};

// What a subscriber is handed; it lives only for the HandleEvent call.
struct VKEventRecord {
    int nEventCode;
    const wchar_t* pszReaderName;
};

// Base of every subscriber. A subclass subscribes once, from its own
// constructor once its fields are set (an event may arrive at once), and
// unsubscribes from its own destructor: once UnSubscribe has returned no
// HandleEvent call is in progress or will come.
class VKEVTSUB_API VKDelegateSubscriber {
public:
    VKDelegateSubscriber();
    VKDelegateSubscriber(const VKDelegateSubscriber&) = delete;
    VKDelegateSubscriber& operator=(const VKDelegateSubscriber&) = delete;
    virtual ~VKDelegateSubscriber();
    // Called on a thread of the service; `record` may be null.
    virtual void HandleEvent(const VKEventRecord* record);

protected:
    // 0 on success, else an error code (the object then receives nothing).
    int Subscribe(int eventKind, const GUID* channel);
    int UnSubscribe();

private:
    void* m_pSubscription = nullptr;
};
