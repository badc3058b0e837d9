#pragma once
// Logging conventions of the library: the dialogs log under "QLPINGUI", the
// card object layer and its controller loader under "VKCOBAPI"; level 8 on
// entry and 16 on exit with the function's qualified name.
#include "vklogu.h"

#include <windows.h>

inline constexpr const wchar_t* kGuiTag = L"QLPINGUI";
inline constexpr const wchar_t* kLayerTag = L"VKCOBAPI";

// Logs `name` at entry and again at exit of the enclosing scope.
class ScopedFunctionLog {
public:
    explicit ScopedFunctionLog(const wchar_t* name, const wchar_t* tag = kGuiTag)
        : m_name(name), m_tag(tag)
    {
        vklogLog(m_tag, VKLOG_ENTRY, L"%s", m_name);
    }
    ~ScopedFunctionLog() { vklogLog(m_tag, VKLOG_EXIT, L"%s", m_name); }
    ScopedFunctionLog(const ScopedFunctionLog&) = delete;
    ScopedFunctionLog& operator=(const ScopedFunctionLog&) = delete;

private:
    const wchar_t* m_name;
    const wchar_t* m_tag;
};

// A window handle as the 32-bit number the log lines print with %x.
inline unsigned HandleBits(const void* handle)
{
    return static_cast<unsigned>(reinterpret_cast<UINT_PTR>(handle));
}
