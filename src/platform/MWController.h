#pragma once
// The security-module controller, loaded the first time the card object
// layer needs it and kept for the life of the process.
#include "SMMWController.h"

// The controller, or null when "vk.smmw.mwctl.dll" or its export is missing.
ISMMWController* GetMWController();
