#pragma once
// Test control of the logging service: capture the lines logged in this
// process, from any module, while capture is on. The library never includes
// this header.
#include <cstddef>
#include "vklogu.h"

extern "C" {
// Starts capturing (clearing what was captured before).
VKLOGU_API void vklogCaptureStart();
VKLOGU_API void vklogCaptureStop();
VKLOGU_API size_t vklogCaptureCount();
// Copies line `index` out; false when there is no such line. Buffers are
// always terminated; a longer text is cut.
VKLOGU_API bool vklogCaptureGet(size_t index, int* level, wchar_t* tag, size_t tagChars,
                                wchar_t* text, size_t textChars);
}
