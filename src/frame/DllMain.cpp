// Attach and detach of the library: the order matters, because later steps
// use what earlier ones set up, and detach undoes them in its own order.
#include "base/LibraryState.h"
#include "base/Log.h"
#include "base/ResourceLanguage.h"
#include "cardobj/CobApi.h"
#include "popup/HtmlText.h"
#include "popup/PopupAlert.h"
#include "popup/ProgressBar.h"

#include "LoadLibrarySync.h"

#include <new>
#include <vector>

namespace {

// The resource module in the holder's user-interface language, else the
// English one beside the library. A language the product does not ship (or
// whose module is missing) is logged and English is used.
void LoadResourceModule()
{
    g_hResourceModule = nullptr;
    const LANGID language = GetUserDefaultUILanguage();
    std::vector<WipingWString> candidates = ResourceModuleCandidates(language, L"Resources", L"vk.velkor.gui.pinrc.dll");
    for (size_t i = 0; i < candidates.size(); ++i) {
        const wchar_t* path = candidates[i].c_str();
        const bool last = i + 1 == candidates.size();
        try {
            LoadLibrarySync(path, &g_hResourceModule, 0);
            vklogLog(kGuiTag, VKLOG_INFO, L"DllMain: LoadLibrarySync(%s) succeeded", path);
            return;
        } catch (CMWException* e) {
            // The loader's last error travels in the exception: unwinding may
            // have overwritten the thread's own by now.
            if (last)
                vklogLog(kGuiTag, VKLOG_ERROR, L"DllMain: LoadLibrarySync(%s) failed with error code 0x%x", path,
                         e->GetError());
            else
                vklogLog(kGuiTag, VKLOG_INFO,
                         L"DllMain: no resource module for user interface language 0x%04x at %s (error code 0x%x), "
                         L"trying the next",
                         language, path, e->GetError());
            delete e;
            g_hResourceModule = nullptr;
        }
    }
}

BOOL Attach(HINSTANCE instance)
{
    RegisterProgressBarClass();
    RegisterHtmlTextClass();
    vkCobAPI_Initialize();
    LoadResourceModule();

    if (!AfxInitExtensionModule(g_extensionModule, instance))
        return FALSE;
    // Texts and dialogs live in the resource module, not in the library: that
    // is what a host's framework must find once InitGUIDll put us on its chain.
    if (g_hResourceModule)
        g_extensionModule.hResource = g_hResourceModule;

    g_pPopupAlert = new (std::nothrow) CPopupAlert();
    return TRUE;
}

void ReleasePopup()
{
    CPopupAlert* popup = g_pPopupAlert;
    g_pPopupAlert = nullptr;
    if (!popup)
        return;
    HWND window = popup->m_hWnd;
    if (window && ::IsWindow(window) && ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId())
        ::DestroyWindow(window);
    // A window left on another thread keeps its object: its messages still
    // reach it until that thread ends.
    if (!popup->m_hWnd)
        delete popup;
}

void Detach(bool processEnding)
{
    vkCobAPI_Finalize();
    if (g_hResourceModule) {
        FreeLibrary(g_hResourceModule);
        g_hResourceModule = nullptr;
    }
    // When the process ends the other threads and the event service are
    // gone already: the popup is left as it is.
    if (!processEnding)
        ReleasePopup();
    UnregisterProgressBarClass();
    UnregisterHtmlTextClass();
    AfxTermExtensionModule(g_extensionModule, FALSE);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return Attach(instance);
    case DLL_PROCESS_DETACH:
        Detach(reserved != nullptr);
        return TRUE;
    default:
        return TRUE;
    }
}
