#include "frame/LibraryState.h"

HINSTANCE g_hResourceModule = nullptr;
CPopupAlert* g_pPopupAlert = nullptr;
AFX_EXTENSION_MODULE g_extensionModule = {};
CSecStr g_customPinPrompt;

CSecStr LoadResourceString(UINT id)
{
    CSecStr text;
    text.LoadStringW(g_hResourceModule, id);
    return text;
}
