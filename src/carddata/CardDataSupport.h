#pragma once
// What the card data readers share: the texts of the layer's string module,
// property values as text, the failures of one field's read, and the
// data map's silent mode.
#include "SecStr.h"
#include "VKData.h"
#include "vklogu.h"

class ISMMWContext;

// String `id` of "resources\vkCobAPIrc.dll"; empty when the module or the
// string is missing.
CSecStr LayerString(unsigned id);

// A property value as text: a string as it is, bytes as single-byte
// characters, a number in decimal, nothing as an empty text.
CSecStr TextOf(const VKData& value);

// The failure of a field read being handled: logs `format` (with the
// failure's text for its %s) at `level`, deletes it, and returns its
// middleware identifier (0 for a failure that is not the controller's own:
// out of memory, a foreign type). Call it only from a catch handler.
int TakeFieldFailure(const wchar_t* format, int level = VKLOG_ERROR) noexcept;

// Middleware identifiers a field read acts on.
enum FieldFailure : int {
    kFieldNeedsSecurityState = 3008, // the field shows the placeholder
    kFieldCancelled = 3017,          // the read ends, cancelled
    kFieldNeedsPin = 3018,           // silent from now on, the placeholder
    kFieldNeedsPinToo = 3028,
};

// Puts the context's data map in silent mode (no PIN prompts) or out of it.
// A failure is logged under `owner` and otherwise ignored: the mode only
// spares the holder prompts.
void SetSilent(ISMMWContext* context, bool silent, const wchar_t* owner);
