#pragma once
// The middleware's logging service: one call, vklogLog(tag, level, format, ...).
// The format is printf-style with the wide-character conventions of the
// Windows C runtime (%s takes a wide string).

#ifdef VKLOGU_BUILD
#define VKLOGU_API __declspec(dllexport)
#else
#define VKLOGU_API __declspec(dllimport)
#endif

enum VKLogLevel : int {
    VKLOG_DETAIL = 0,
    VKLOG_ERROR = 1,
    VKLOG_INFO = 2,
    VKLOG_ENTRY = 8,
    VKLOG_EXIT = 16,
};

extern "C" VKLOGU_API void vklogLog(const wchar_t* tag, int level, const wchar_t* format, ...);
