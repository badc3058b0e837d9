#pragma once
// Start and stop of the card object layer: its two resource modules.
#include "base/VelkorExports.h"

extern "C" {
// True when the layer is (or already was) initialized; later calls load
// nothing.
VKGUI_API bool vkCobAPI_Initialize();
// Releases both resource modules. The controller stays loaded.
VKGUI_API void vkCobAPI_Finalize();
}
// The layer's text module ("resources\vkCobAPIrc.dll"), or null.
HMODULE vkCobAPI_StringResources();
