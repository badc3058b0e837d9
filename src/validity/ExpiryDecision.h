#pragma once
// ExpiryDecision: what one validity check decides from the card's dates,
// given the time it started and the two windows around an expiry date: the
// check period before it (warn from then on) and the grace period after it
// (keep warning until then). It finds the earliest expiry whose grace has
// not run out, whether the card and each certificate are to be shown,
// whether to prompt at all, and the date until which the holder's answer
// silences the next checks. Plain C++, also built natively.
#include "validity/CardDate.h"

#include <cstdint>

class ExpiryDecision {
public:
    // The periods are in whole days; each becomes days x 86400 seconds
    // reckoned in 32 bits, as unsigned.
    ExpiryDecision(int64_t now, uint32_t checkDays, uint32_t graceDays);

    // The card's own date: it counts as the earliest expiry while its grace
    // lasts, and is shown when `now` lies in its window.
    void ApplyCardDate(int64_t expiry);
    // A certificate's date, in the card's order; true when it is to be
    // listed (it lies in its window).
    bool ApplyCertificate(int64_t expiry);
    // Without a card date of its own, the card is shown with the earliest
    // certificate date when that lies in its window.
    void ApplyCertificateFallback();

    // Whether to prompt, given the date before which the holder asked not
    // to be reminded (kNoTime: none).
    bool MustPrompt(int64_t displayNotificationDate) const;
    // The date to store after the prompt, or kNoTime to store nothing:
    // `updatedDays` is the days the holder chose (-1: unchanged),
    // `dontRemindMe` the do-not-remind-me choice.
    int64_t DateToStore(int updatedDays, bool dontRemindMe) const;

    bool MustDisplayCard() const { return m_bDisplayCard; }
    int64_t CardExpiry() const { return m_tCardExpiry; }
    int64_t Earliest() const { return m_tEarliest; }
    int64_t Now() const { return m_tNow; }
    uint32_t CheckDays() const { return m_uCheckDays; }

private:
    bool InWindow(int64_t expiry) const;

    int64_t m_tNow;
    uint32_t m_uCheckDays;
    int64_t m_tCheck;
    int64_t m_tGrace;
    int64_t m_tEarliest = kNoTime;
    bool m_bDisplayCard = false;
    int64_t m_tCardExpiry = kNoTime;
};
