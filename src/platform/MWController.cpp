#include "platform/MWController.h"

#include "cardobj/FailureMap.h"

#include "LoadLibrarySync.h"
#include "vklogu.h"

#include <atomic>

namespace {

constexpr const wchar_t* kControllerModule = L"vk.smmw.mwctl.dll";

HMODULE g_hControllerModule = nullptr;
// Read without the loader mutex by every caller after the first, so it is
// published whole, and only once the controller is initialized.
std::atomic<ISMMWController*> g_pSMMWController{nullptr};

HANDLE LoaderMutex()
{
    static HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    return mutex;
}

} // namespace

ISMMWController* GetMWController()
{
    HANDLE mutex = LoaderMutex();
    if (ISMMWController* held = g_pSMMWController.load(std::memory_order_acquire))
        return held;
    try {
        LoadLibrariesSync({{kControllerModule, &g_hControllerModule}}, mutex);
    } catch (CMWException* e) {
        SetLastError(e->GetError());
        delete e;
    }
    if (mutex)
        WaitForSingleObject(mutex, INFINITE);
    ISMMWController* controller = g_pSMMWController.load(std::memory_order_acquire);
    if (!controller && g_hControllerModule) {
        auto get = reinterpret_cast<GetSMMWControllerFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(g_hControllerModule, "GetSMMWController")));
        if (!get) {
            vklogLog(kLayerTag, VKLOG_ERROR, L"GetMWController: Unable to retrieve GetSMMWController function (0x%x) !",
                     GetLastError());
        } else if (!(controller = get())) {
            vklogLog(kLayerTag, VKLOG_ERROR, L"GetMWController: Unable to retrieve SMMWController (0x%x) !",
                     GetLastError());
        } else {
            try {
                controller->Initialize();
            } catch (...) {
                TakeFailure(L"GetMWController: initialization failed: %s.");
            }
            g_pSMMWController.store(controller, std::memory_order_release);
        }
    } else if (!controller) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"GetMWController: Unable to retrieve GetSMMWController function (0x%x) !",
                 GetLastError());
    }
    if (mutex)
        ReleaseMutex(mutex);
    return controller;
}
