#pragma once
// Which resource module speaks the holder's language. English lives in the
// resource folder itself ("Resources\"); another language in a folder named
// after it ("Resources\de-DE\"), under the same module name.
#include "WipingAllocator.h"

#include <windows.h>

#include <vector>

// The relative paths of `module` in `folder` to try for `language`, best
// first: the folder of the language itself, then that of its main variant
// (German in Austria falls back to German in Germany), then the English
// module. English asks for the English module only.
std::vector<WipingWString> ResourceModuleCandidates(LANGID language, const wchar_t* folder, const wchar_t* module);
