#pragma once
// The one place where middleware failures become layer result codes.
#include "CException.h"

// The layer result code of a middleware failure identifier.
int LayerResultOf(int middlewareId);

// Logs `format` (with the failure's message for its %s) at level 2,
// deletes the failure and returns its layer result code. A null failure
// gives the code of an unknown one.
int TakeFailure(CException* failure, const wchar_t* format);

inline constexpr const wchar_t* kLayerTag = L"VKCOBAPI";
