#include "cardobj/CobApi.h"

#include "base/ExceptionBarrier.h"
#include "cardobj/FailureMap.h"

#include "LoadLibrarySync.h"
#include "vklogu.h"

namespace {

constexpr const wchar_t* kStringModule = L"resources\\vkCobAPIrc.dll";
constexpr const wchar_t* kLocalizedModule = L"resources\\vkCobAPIlrc.dll";

HMODULE g_hStringResources = nullptr;
// Its being loaded is what "initialized" means for the layer.
HMODULE g_hLocalizedResources = nullptr;

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
    try {
        LoadLibrariesSync({{kStringModule, &g_hStringResources}, {kLocalizedModule, &g_hLocalizedResources}},
                          nullptr);
    } catch (CMWException* e) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"vkCobAPI_Initialize: Unable to load resources library");
        delete e;
    }
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
