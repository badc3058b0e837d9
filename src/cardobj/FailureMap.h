#pragma once
// The one place where middleware failures become layer result codes (by
// the result table of LayerResult.h).
#include "base/Log.h"

#include "CException.h"

// Logs `format` (with the failure's message for its %s) at level 2,
// deletes the failure and returns its layer result code. A null failure
// gives the code of an unknown one.
int TakeFailure(CException* failure, const wchar_t* format);

// The same for whatever exception is being handled; call it only from a
// catch handler. The controller's CException goes as above; anything else
// (out of memory, a type the layer does not know) is logged at level 1 and
// counts as an unknown failure, so that no exception leaves the layer and
// each operation cleans up after it as after any failure.
int TakeFailure(const wchar_t* format) noexcept;
