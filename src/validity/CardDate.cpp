#include "validity/CardDate.h"

#include <ctime>
#include <cwchar>

namespace {

bool ToLocal(int64_t time, std::tm& out)
{
#ifdef _WIN32
    const __time64_t t = time;
    return _localtime64_s(&out, &t) == 0;
#else
    const std::time_t t = static_cast<std::time_t>(time);
    return localtime_r(&t, &out) != nullptr;
#endif
}

int64_t FromLocal(std::tm& local)
{
#ifdef _WIN32
    return _mktime64(&local);
#else
    return static_cast<int64_t>(std::mktime(&local));
#endif
}

} // namespace

int64_t CardDateToTime(std::wstring_view text)
{
    if (text.size() != 8)
        return kNoTime;
    int digits[8] = {};
    for (size_t i = 0; i < 8; ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return kNoTime;
        digits[i] = text[i] - L'0';
    }
    std::tm local = {};
    local.tm_year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3] - 1900;
    local.tm_mon = digits[4] * 10 + digits[5] - 1;
    local.tm_mday = digits[6] * 10 + digits[7];
    // Standard time, whatever the season: the day's midnight as a card
    // issuer wrote it, not moved by a daylight-saving guess.
    local.tm_isdst = 0;
    const int64_t time = FromLocal(local);
    return time < 0 ? kNoTime : time;
}

std::wstring LocalTimeText(int64_t time, const wchar_t* format)
{
    std::tm local = {};
    if (!format || !ToLocal(time, local))
        return {};
    wchar_t text[128] = {};
    const size_t length = std::wcsftime(text, sizeof text / sizeof text[0], format, &local);
    return std::wstring(text, length);
}
