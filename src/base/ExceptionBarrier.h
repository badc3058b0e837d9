#pragma once
// No exception may leave an exported function or a card layer entry point:
// a C caller cannot catch one, and a host built apart from the library
// cannot know its types. Each such function ends in a catch-all handler
// that hands over to ExceptionFailure, so what is logged and returned is
// decided here once.
#include <cstddef>

// Describes the exception being handled ("out of memory", a middleware
// failure's message...) into `text` of `chars` characters, and deletes it
// when it was thrown as a pointer the library owns. Call it only from a
// catch handler.
void DescribeCurrentException(wchar_t* text, size_t chars) noexcept;

// Logs the exception being handled at level 1 under `tag` and `function`.
// Call it only from a catch handler.
void LogEscapingException(const wchar_t* tag, const wchar_t* function) noexcept;

// The result of a function whose barrier stopped an exception: logged,
// then the failure value the function documents.
template <typename Result>
Result ExceptionFailure(const wchar_t* tag, const wchar_t* function, Result failure) noexcept
{
    LogEscapingException(tag, function);
    return failure;
}
