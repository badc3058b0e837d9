#include "policies/PinRules.h"

#include <cwchar>
#include <initializer_list>

namespace {

size_t Length(const wchar_t* s)
{
    return s ? wcslen(s) : 0;
}

bool Equal(const wchar_t* a, const wchar_t* b)
{
    return wcscmp(a ? a : L"", b ? b : L"") == 0;
}

RuleState Judge(bool applies, bool holds)
{
    if (!applies)
        return RuleState::Hidden;
    return holds ? RuleState::Satisfied : RuleState::Violated;
}

} // namespace

bool IsPinWeak(const wchar_t* pin, size_t length)
{
    if (!pin || length < 3)
        return true;
    const unsigned char step = static_cast<unsigned char>((pin[1] & 0xFF) - (pin[0] & 0xFF));
    for (size_t i = 2; i < length; ++i)
        if (static_cast<unsigned char>((pin[i] & 0xFF) - (pin[i - 1] & 0xFF)) != step)
            return false;
    return true;
}

bool IsAlphaPinWeak(const wchar_t* pin, size_t length)
{
    if (!pin)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (pin[i] < L'0' || pin[i] > L'9')
            return true;
    return false;
}

ActiveRules ActiveRules::From(const PwdRuleArgs* rules)
{
    ActiveRules active;
    if (!rules)
        return active;
    active.minLength = rules->nMinPINLen;
    active.maxLength = rules->nMaxPINLen;
    active.weak = rules->bWeakPINAllowed == 0;
    active.numericOnly = rules->bNumericOnly != 0;
    active.preventSame = rules->bPreventSamePIN != 0;
    return active;
}

int ActiveRules::OptionalRowCount() const
{
    return (minLength != -1) + (maxLength != -1) + weak + preventSame + numericOnly;
}

RuleVerdicts CheckPinRules(const ActiveRules& rules, const wchar_t* currentPin, const wchar_t* newPin,
                           const wchar_t* newPinAgain, const wchar_t* confirmPin)
{
    const size_t length = Length(newPin);
    RuleVerdicts v;
    // Lengths compare unsigned: a negative bound other than -1 is out of reach.
    v.minLength = Judge(rules.minLength != -1, static_cast<size_t>(static_cast<unsigned>(rules.minLength)) <= length);
    v.maxLength = Judge(rules.maxLength != -1, length <= static_cast<size_t>(static_cast<unsigned>(rules.maxLength)));
    v.samePin = Judge(rules.preventSame, !Equal(newPinAgain, currentPin));
    v.weakPin = Judge(rules.weak, !IsPinWeak(newPin, length));
    v.alphanumeric = Judge(rules.numericOnly, !IsAlphaPinWeak(newPin, length));
    v.confirmation = Judge(true, Equal(newPinAgain, confirmPin));
    v.allHold = true;
    for (RuleState state : {v.minLength, v.maxLength, v.samePin, v.weakPin, v.alphanumeric, v.confirmation})
        if (state == RuleState::Violated)
            v.allHold = false;
    return v;
}
