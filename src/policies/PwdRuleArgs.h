#pragma once
// The PIN rule record that callers fill, and the PIN-initialization policy
// record that is turned into it.
#include <cstdint>

struct PwdRuleArgs {
    int32_t bNumericOnly;    // non-zero: digits only
    int32_t bWeakPINAllowed; // zero: weak PINs are refused
    int32_t bPreventSamePIN; // non-zero: the new PIN must differ from the current one
    int32_t nMinPINLen;      // -1: no minimum
    int32_t nMaxPINLen;      // -1: no maximum
    int32_t bDisableCancel;  // non-zero: the change-PIN dialog cannot be cancelled
};

// Nine fields; 0xFFFFFFFF in a field keeps the PIN initialization dialog's
// default for it. Fields 0 and 1 are the length bounds, field 6 at 1 allows
// weak PINs, field 8 at 1 allows letters (any other value: digits only).
struct PINPolicies {
    uint32_t fields[9];
};

inline constexpr uint32_t kPolicyDefault = 0xFFFFFFFF;
