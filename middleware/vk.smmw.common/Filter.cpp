#include "Filter.h"

void* CSMMWAccessControlRight::operator new(size_t size) { return ::operator new(size); }
void CSMMWAccessControlRight::operator delete(void* memory)
{
    if (!memory)
        return;
    const unsigned dead = kDeadTag;
    std::memcpy(static_cast<char*>(memory) + offsetof(CSMMWAccessControlRight, m_nTag), &dead, sizeof(dead));
    void* evicted = nullptr;
    {
        static std::mutex lock;
        static void* held[kQuarantine] = {};
        static size_t next = 0;
        std::lock_guard<std::mutex> hold(lock);
        evicted = held[next];
        held[next] = memory;
        next = (next + 1) % kQuarantine;
    }
    ::operator delete(evicted);
}
