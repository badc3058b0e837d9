#pragma once
// Start and stop of the card object layer.

// True when the layer is (or already was) initialized.
bool vkCobAPI_Initialize();
// Releases what the layer holds.
void vkCobAPI_Finalize();
