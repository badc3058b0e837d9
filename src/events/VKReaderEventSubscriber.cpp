#include "events/VKReaderEventSubscriber.h"

#include "base/Log.h"

#include <mutex>
#include <new>
#include <set>

namespace {

// The reader names posted and not yet released. A message's lParam is only
// taken for one of them: anyone can post the registered message with any
// value, and a forged one must be neither read nor freed.
std::mutex& PostedLock()
{
    static std::mutex lock;
    return lock;
}
std::set<const CSecStr*>& PostedNames()
{
    static std::set<const CSecStr*> names;
    return names;
}

void Remember(const CSecStr* name)
{
    std::lock_guard<std::mutex> lock(PostedLock());
    PostedNames().insert(name);
}

// True when `name` was posted by a subscriber and is now the caller's.
bool Forget(const CSecStr* name)
{
    std::lock_guard<std::mutex> lock(PostedLock());
    return PostedNames().erase(name) == 1;
}

} // namespace

VKReaderEventSubscriber::VKReaderEventSubscriber(CWnd* dialog, UINT message, int eventKind)
    : m_pDialog(dialog), m_uMessage(message)
{
    if (int status = Subscribe(eventKind, &VK_CARD_EVENT_CHANNEL))
        vklogLog(kGuiTag, VKLOG_ERROR, L"Subscribe failed (%d)", status);
}

VKReaderEventSubscriber::~VKReaderEventSubscriber()
{
    UnSubscribe();
}

void VKReaderEventSubscriber::HandleEvent(const VKEventRecord* record)
{
    CSecStr* name = nullptr;
    if (record) {
        name = new (std::nothrow) CSecStr(record->pszReaderName);
        if (!name) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"VKReaderEventSubscriber::HandleEvent: out of memory");
            return;
        }
        try {
            Remember(name);
        } catch (...) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"VKReaderEventSubscriber::HandleEvent: out of memory");
            delete name;
            return;
        }
    }
    HWND window = m_pDialog ? m_pDialog->m_hWnd : nullptr;
    if (window && ::PostMessageW(window, m_uMessage, 0, reinterpret_cast<LPARAM>(name)))
        return;
    FreeReaderName(reinterpret_cast<LPARAM>(name));
}

const CSecStr* VKReaderEventSubscriber::PeekReaderName(LPARAM readerName)
{
    const auto* name = reinterpret_cast<const CSecStr*>(readerName);
    std::lock_guard<std::mutex> lock(PostedLock());
    return PostedNames().count(name) ? name : nullptr;
}

void VKReaderEventSubscriber::FreeReaderName(LPARAM readerName)
{
    if (!readerName)
        return;
    auto* name = reinterpret_cast<CSecStr*>(readerName);
    if (!Forget(name)) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"VKReaderEventSubscriber::FreeReaderName: not a reader name of ours");
        return;
    }
    delete name;
}

void VKReaderEventSubscriber::FreeQueuedReaderNames(HWND window, UINT message)
{
    if (!window || !message)
        return;
    MSG msg;
    while (::PeekMessageW(&msg, window, message, message, PM_REMOVE))
        FreeReaderName(msg.lParam);
}

long VKReaderEventSubscriber::LiveCopies()
{
    std::lock_guard<std::mutex> lock(PostedLock());
    return static_cast<long>(PostedNames().size());
}
