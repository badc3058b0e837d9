#pragma once
// Checks on the policy texts a popup shows.
#include "SecStr.h"

// True when `text` holds an element with an href attribute: such a policy
// message is never shown, the popup's own text is.
bool HasLinkMarkup(const wchar_t* text);
// Turns each two-character sequence backslash, n into a line break.
void ExpandLineBreaks(CSecStr& text);
