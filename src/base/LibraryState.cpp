#include "base/LibraryState.h"

#include <mutex>

HINSTANCE g_hResourceModule = nullptr;
CPopupAlert* g_pPopupAlert = nullptr;
AFX_EXTENSION_MODULE g_extensionModule = {};

namespace {

// SetPinPromptString may come from any thread while a prompt on another
// thread reads the text: both hold this lock, and readers take a copy.
std::mutex g_customPinPromptLock;
CSecStr g_customPinPrompt;

} // namespace

void SetCustomPinPrompt(const wchar_t* text)
{
    // The new text is built outside the lock; only the exchange is inside.
    CSecStr fresh(text);
    std::lock_guard<std::mutex> hold(g_customPinPromptLock);
    g_customPinPrompt = std::move(fresh);
}

CSecStr CustomPinPrompt()
{
    std::lock_guard<std::mutex> hold(g_customPinPromptLock);
    return g_customPinPrompt;
}

CSecStr LoadResourceString(UINT id)
{
    CSecStr text;
    text.LoadStringW(g_hResourceModule, id);
    return text;
}
