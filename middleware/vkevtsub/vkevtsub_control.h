#pragma once
// Test control of the event service: raise events as the middleware would,
// wait until they have been delivered, make a subscription fail. The
// library never includes this header.
#include "vkevtsub.h"

#include <cstddef>
#include <cstdint>

extern "C" {
// Queues an event for delivery. A null reader gives a record whose reader
// name is null.
VKEVTSUB_API void vkevtsubRaise(const GUID* channel, int kind, int code, const wchar_t* reader);
// Queues an event whose record pointer is null.
VKEVTSUB_API void vkevtsubRaiseNullRecord(const GUID* channel, int kind);
// Waits until every queued event has been delivered; false on time-out.
VKEVTSUB_API bool vkevtsubWaitIdle(DWORD timeoutMs);
// The next Subscribe call fails with `code` (0 cancels).
VKEVTSUB_API void vkevtsubFailNextSubscribe(int code);
VKEVTSUB_API size_t vkevtsubSubscriptionCount();
// HandleEvent calls made since the process started.
VKEVTSUB_API uint64_t vkevtsubDeliveredCount();
}
