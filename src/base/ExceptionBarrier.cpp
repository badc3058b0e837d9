#include "base/ExceptionBarrier.h"

#include "CException.h"
#include "LoadLibrarySync.h"
#include "vklogu.h"

#include <cwchar>
#include <exception>
#include <new>

void DescribeCurrentException(wchar_t* text, size_t chars) noexcept
{
    if (!text || chars == 0)
        return;
    try {
        throw;
    } catch (CException* e) {
        swprintf(text, chars, L"middleware failure %d: %ls", e ? e->getID() : 0, e ? e->getMessage() : L"");
        delete e;
    } catch (CMWException* e) {
        swprintf(text, chars, L"module %ls could not be loaded (0x%lx)", e ? e->GetPath() : L"",
                 e ? static_cast<unsigned long>(e->GetError()) : 0ul);
        delete e;
    } catch (const std::bad_alloc&) {
        swprintf(text, chars, L"out of memory");
    } catch (const std::exception& e) {
        // what() is narrow text of unknown code page: only its ASCII is kept.
        const char* what = e.what();
        size_t n = 0;
        for (; what && what[n] && n + 1 < chars; ++n)
            text[n] = static_cast<unsigned char>(what[n]) < 0x80 ? static_cast<wchar_t>(what[n]) : L'?';
        text[n] = L'\0';
    } catch (...) {
        swprintf(text, chars, L"an exception of an unknown type");
    }
    text[chars - 1] = L'\0';
}

void LogEscapingException(const wchar_t* tag, const wchar_t* function) noexcept
{
    wchar_t text[256] = L"";
    DescribeCurrentException(text, sizeof(text) / sizeof(text[0]));
    try {
        vklogLog(tag, VKLOG_ERROR, L"%s: stopped %s", function, text);
    } catch (...) {
        // The log itself ran out of memory: nothing more can be said.
    }
}
