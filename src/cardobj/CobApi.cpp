#include "cardobj/CobApi.h"

#include "base/ExceptionBarrier.h"
#include "base/ResourceLanguage.h"
#include "cardobj/FailureMap.h"

#include "LoadLibrarySync.h"
#include "vklogu.h"

namespace {

constexpr const wchar_t* kResourceFolder = L"resources";
constexpr const wchar_t* kStringModule = L"vkCobAPIrc.dll";
constexpr const wchar_t* kLocalizedModule = L"vkCobAPIlrc.dll";

HMODULE g_hStringResources = nullptr;
// Its being loaded is what "initialized" means for the layer.
HMODULE g_hLocalizedResources = nullptr;

// `module` in the holder's user-interface language, else in English. False
// when not even the English one loads.
bool LoadLayerModule(const wchar_t* module, HMODULE* handle)
{
    for (const WipingWString& path : ResourceModuleCandidates(GetUserDefaultUILanguage(), kResourceFolder, module)) {
        try {
            LoadLibrarySync(path.c_str(), handle, 0);
            return true;
        } catch (CMWException* e) {
            vklogLog(kLayerTag, VKLOG_INFO, L"vkCobAPI_Initialize: no %s (error code 0x%x)", path.c_str(),
                     e->GetError());
            delete e;
            *handle = nullptr;
        }
    }
    return false;
}

} // namespace

HMODULE vkCobAPI_StringResources()
{
    return g_hStringResources;
}

extern "C" bool vkCobAPI_Initialize()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"vkCobAPI_Initialize");
    if (g_hLocalizedResources) {
        vklogLog(kLayerTag, VKLOG_INFO, L"vkCobAPI_Initialize vkCobAPI already initialized!");
        return true;
    }
    const bool stringsLoaded = LoadLayerModule(kStringModule, &g_hStringResources);
    if (!LoadLayerModule(kLocalizedModule, &g_hLocalizedResources) || !stringsLoaded)
        vklogLog(kLayerTag, VKLOG_ERROR, L"vkCobAPI_Initialize: Unable to load resources library");
    if (!g_hStringResources)
        vklogLog(kLayerTag, VKLOG_ERROR, L"vkCobAPI_Initialize failed to load .\\resources\\vkCobAPIrc.dll!");
    if (!g_hLocalizedResources)
        vklogLog(kLayerTag, VKLOG_ERROR, L"vkCobAPI_Initialize failed to load .\\resources\\vkCobAPIlrc.dll!");
    const bool initialized = g_hLocalizedResources != nullptr;
    if (initialized)
        vklogLog(kLayerTag, VKLOG_INFO, L"vkCobAPI_Initialize vkCobAPI succeeded to initialize!");
    else
        vklogLog(kLayerTag, VKLOG_ERROR, L"vkCobAPI_Initialize vkCobAPI failed to initialize!");
    vklogLog(kLayerTag, VKLOG_EXIT, L"vkCobAPI_Initialize");
    return initialized;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"vkCobAPI_Initialize", false);
}

extern "C" void vkCobAPI_Finalize()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"vkCobAPI_Finalize");
    for (HMODULE* module : {&g_hStringResources, &g_hLocalizedResources}) {
        if (*module) {
            FreeLibrary(*module);
            *module = nullptr;
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"vkCobAPI_Finalize");
} catch (...) {
    LogEscapingException(kLayerTag, L"vkCobAPI_Finalize");
}
