#pragma once
// Card dates and the times they become: an 8-digit year-month-day text
// read as local midnight, in 64-bit seconds since 1970, -1 for none. Plain
// C++ (no window code), also built natively.
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr int64_t kNoTime = -1;
inline constexpr int64_t kSecondsPerDay = 86400;

// The local time of midnight of the day `text` names: exactly 8 decimal
// digits, year, month and day, taken as the C library's local time takes
// them (a month or day out of range carries over into the next). kNoTime for
// any other text, or a day the C library cannot place.
int64_t CardDateToTime(std::wstring_view text);

// `time` as local time text in `format` (wcsftime's); empty for a time the C
// library cannot turn into a local date.
std::wstring LocalTimeText(int64_t time, const wchar_t* format);
