#pragma once
// The rules a new PIN must satisfy, as plain checks with no window code.
#include "PwdRuleArgs.h"

#include <cstddef>

// A PIN whose character codes, on their low 8 bits and modulo 256, form an
// arithmetic progression ("1111", "1234", "9753", "aaa"), or that has fewer
// than three characters.
bool IsPinWeak(const wchar_t* pin, size_t length);

// True when some character is not one of the digits "0" to "9"; false for
// the empty PIN.
bool IsAlphaPinWeak(const wchar_t* pin, size_t length);

// How a rule's row stands.
enum class RuleState {
    Hidden,    // the rule does not apply
    Satisfied,
    Violated,
};

// The rules that apply, taken from a rule record.
struct ActiveRules {
    int minLength = -1; // -1: no minimum rule
    int maxLength = -1; // -1: no maximum rule
    bool weak = false;
    bool numericOnly = false;
    bool preventSame = false;

    static ActiveRules From(const PwdRuleArgs* rules);
    // Optional rows shown: the length rows that apply and the three switches.
    int OptionalRowCount() const;
};

struct RuleVerdicts {
    RuleState minLength;
    RuleState maxLength;
    RuleState samePin;
    RuleState weakPin;
    RuleState alphanumeric;
    RuleState confirmation; // never hidden
    bool allHold;
};

// Judges a new PIN. `newPin` feeds the length, weak and alphanumeric rules;
// `newPinAgain` is compared with `currentPin` (same PIN) and `confirmPin`
// (confirmation), case-sensitively. Null strings count as empty.
RuleVerdicts CheckPinRules(const ActiveRules& rules, const wchar_t* currentPin, const wchar_t* newPin,
                           const wchar_t* newPinAgain, const wchar_t* confirmPin);
