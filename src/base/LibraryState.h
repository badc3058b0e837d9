#pragma once
// Library-wide state, created at attach and living until detach. It belongs
// to the caller's user-interface thread and is not locked, except the
// custom PIN prompt text.
#include "SecStr.h"
#include "afxwin.h"

class CPopupAlert;

// The resource module "Resources\vk.velkor.gui.pinrc.dll"; null when it
// could not be loaded, in which case every text is empty and no dialog opens.
extern HINSTANCE g_hResourceModule;
// The one popup alert of the library; null if it could not be allocated.
extern CPopupAlert* g_pPopupAlert;
extern AFX_EXTENSION_MODULE g_extensionModule;
// The text the PIN prompt shows instead of its own, when not empty. The
// one piece of this state that any thread may set: it is locked, and read
// as a copy.
void SetCustomPinPrompt(const wchar_t* text);
CSecStr CustomPinPrompt();

// String `id` of the resource module; empty when it cannot be loaded.
CSecStr LoadResourceString(UINT id);
