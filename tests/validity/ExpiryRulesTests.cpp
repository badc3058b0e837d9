// The validity check's rules as plain code: card dates read as local
// midnight, and what one check decides from the dates it found. The native
// build runs the same cases under the sanitizers.
#include "validity/CardDate.h"
#include "validity/ExpiryDecision.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

// The process's time zone, for the C library's local time, until the scope ends.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_hadOld = old != nullptr;
        if (old)
            m_old = old;
        Set(zone);
    }
    ~ScopedTimeZone() { Set(m_hadOld ? m_old.c_str() : nullptr); }

private:
    static void Set(const char* zone)
    {
#ifdef _WIN32
        _putenv_s("TZ", zone ? zone : "");
        _tzset();
#else
        if (zone)
            setenv("TZ", zone, 1);
        else
            unsetenv("TZ");
        tzset();
#endif
    }
    bool m_hadOld = false;
    std::string m_old;
};

TEST(CardDate, ReadsEightDigitsAsLocalMidnight)
{
    struct Case {
        const char* zone;
        const wchar_t* text;
        int64_t expected;
    };
    const Case cases[] = {
        {"UTC0", L"20270101", 1798761600},
        {"UTC0", L"20271231", 1830211200},
        {"UTC0", L"20240229", 1709164800},           // a leap day
        {"UTC0", L"20230229", 1677628800},           // no leap day that year: the first of March
        {"UTC0", L"20270230", 1803859200 + 86400},   // past the month's end: carried into March
        {"UTC0", L"20380119", 2147472000},           // the last day 32-bit seconds reach
        {"UTC0", L"20380120", 2147558400},
        {"UTC0", L"21000301", 4107542400},           // 2100 is no leap year
        {"UTC0", L"19691231", kNoTime},              // before 1970
        // An hour east of UTC, with summer time: midnight standard time on
        // the days the clocks change and in summer alike.
        {"CET-1CEST,M3.5.0,M10.5.0/3", L"20270328", 1806192000 - 3600},
        {"CET-1CEST,M3.5.0,M10.5.0/3", L"20271031", 1824940800 - 3600},
        {"CET-1CEST,M3.5.0,M10.5.0/3", L"20270701", 1814400000 - 3600},
        {"UTC0", L"", kNoTime},
        {"UTC0", L"2027010", kNoTime},
        {"UTC0", L"202701011", kNoTime},
        {"UTC0", L"2027O101", kNoTime},
        {"UTC0", L"2027-1-1", kNoTime},
        {"UTC0", L" 2027010", kNoTime},
        {"UTC0", L"+2027010", kNoTime},
    };
    for (const Case& c : cases) {
        ScopedTimeZone zone(c.zone);
        EXPECT_EQ(c.expected, CardDateToTime(c.text)) << c.zone << " " << std::string(c.text, c.text + wcslen(c.text));
    }
    ScopedTimeZone utc("UTC0");
    EXPECT_EQ(L"01/31/27", LocalTimeText(1801353600, L"%m/%d/%y"));
}

constexpr int64_t kNow = 1800000000;
constexpr int64_t kDay = 86400;
constexpr int64_t kNone = kNoTime;

TEST(ExpiryDecision, FindsWhatToShowAndWhetherToPrompt)
{
    struct Case {
        const char* what;
        int64_t card;                      // days from now, or kNone
        std::vector<int64_t> certificates; // days from now
        bool fallback;
        int64_t stored;                    // days from now, or kNone
        bool prompt;
        int64_t shownCard;                 // days from now, or kNone: not shown
        std::vector<bool> listed;
        int64_t earliest;                  // days from now, or kNone
    };
    const Case cases[] = {
        {"neither", kNone, {}, false, kNone, false, kNone, {}, kNone},
        {"card inside the check period", 40, {}, false, kNone, true, 40, {}, 40},
        {"card just past the check period", 61, {}, false, kNone, false, kNone, {}, 61},
        {"card expired inside the grace period", -3, {}, false, kNone, true, -3, {}, -3},
        {"card expired past the grace period", -6, {}, false, kNone, false, kNone, {}, kNone},
        {"certificate only", kNone, {10}, false, kNone, true, kNone, {true}, 10},
        {"certificates in the card's order, one far", kNone, {20, 10, 400}, false, kNone, true, kNone,
         {true, true, false}, 10},
        {"certificate past its grace is no expiry", kNone, {-30}, false, kNone, false, kNone, {false}, kNone},
        {"both: the earlier one counts", 40, {10}, false, kNone, true, 40, {true}, 10},
        {"both: a far card, an expired certificate", 400, {-2}, false, kNone, true, kNone, {true}, -2},
        {"fallback: the earliest certificate is the card's", kNone, {30, 12}, true, kNone, true, 12, {true, true}, 12},
        {"fallback outside its window", kNone, {90}, true, kNone, false, kNone, {false}, 90},
        {"reminder stored for tomorrow", 40, {}, false, 1, false, 40, {}, 40},
        {"reminder stored for yesterday", 40, {}, false, -1, true, 40, {}, 40},
        {"reminder stored for now", 40, {}, false, 0, true, 40, {}, 40},
    };
    for (const Case& c : cases) {
        ExpiryDecision decision(kNow, 60, 5);
        if (c.card != kNone)
            decision.ApplyCardDate(kNow + c.card * kDay);
        std::vector<bool> listed;
        for (int64_t days : c.certificates)
            listed.push_back(decision.ApplyCertificate(kNow + days * kDay));
        if (c.fallback)
            decision.ApplyCertificateFallback();
        auto at = [](int64_t days) { return days == kNone ? kNone : kNow + days * kDay; };
        EXPECT_EQ(c.prompt, decision.MustPrompt(at(c.stored))) << c.what;
        EXPECT_EQ(c.shownCard != kNone, decision.MustDisplayCard()) << c.what;
        EXPECT_EQ(at(c.shownCard), decision.CardExpiry()) << c.what;
        EXPECT_EQ(c.listed, listed) << c.what;
        EXPECT_EQ(at(c.earliest), decision.Earliest()) << c.what;
    }
}

TEST(ExpiryDecision, WindowsAreStrictAndReckonedInThirtyTwoBits)
{
    ExpiryDecision decision(kNow, 60, 5);
    EXPECT_FALSE(decision.ApplyCertificate(kNow + 60 * kDay)); // the check period's first second is outside
    EXPECT_TRUE(decision.ApplyCertificate(kNow + 60 * kDay - 1));
    EXPECT_FALSE(decision.ApplyCertificate(kNow - 5 * kDay));  // so is the grace period's last
    EXPECT_TRUE(decision.ApplyCertificate(kNow - 5 * kDay + 1));
    // 50000 days overflow 32 bits: the period is what is left of them.
    const int64_t wrapped = (50000LL * kDay) % (1LL << 32);
    ExpiryDecision huge(kNow, 50000, 0);
    EXPECT_TRUE(huge.ApplyCertificate(kNow + wrapped - 1));
    EXPECT_FALSE(huge.ApplyCertificate(kNow + wrapped + 1));
}

TEST(ExpiryDecision, StoresTheDateTheHolderChose)
{
    struct Case {
        const char* what;
        int64_t earliest; // days from now
        int days;
        bool dontRemind;
        int64_t stored;   // seconds from now, or kNone
    };
    const Case cases[] = {
        {"cancelled", 40, -1, false, kNone},
        {"days changed to 10", 40, 10, false, (40 - 10) * kDay},
        {"days equal to the check period", 40, 60, false, kNone},
        {"days 0: not reminded before the expiry", 40, 0, true, 40 * kDay},
        {"expired, do not remind me", -3, -1, true, (-3 + 5) * kDay},
        {"expired, reminded", -3, -1, false, kNone},
    };
    for (const Case& c : cases) {
        ExpiryDecision decision(kNow, 60, 5);
        decision.ApplyCardDate(kNow + c.earliest * kDay);
        const int64_t stored = decision.DateToStore(c.days, c.dontRemind);
        EXPECT_EQ(c.stored == kNone ? kNone : kNow + c.stored, stored) << c.what;
    }
}

} // namespace
