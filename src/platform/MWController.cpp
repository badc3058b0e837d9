#include "platform/MWController.h"

#include "base/ExceptionBarrier.h"
#include "base/Log.h"

#include "CException.h"
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

// The controller's own failures are logged as the card layer logs them
// (level 2); anything else it lets out at level 1.
void LogInitializationFailure() noexcept
{
    constexpr const wchar_t* format = L"GetMWController: initialization failed: %s.";
    try {
        try {
            throw;
        } catch (CException* failure) {
            vklogLog(kLayerTag, VKLOG_INFO, format, failure ? failure->getMessage() : L"(unknown failure)");
            delete failure;
        } catch (...) {
            wchar_t text[256] = L"";
            DescribeCurrentException(text, sizeof(text) / sizeof(text[0]));
            vklogLog(kLayerTag, VKLOG_ERROR, format, text);
        }
    } catch (...) {
        // The log itself failed: the controller is kept all the same.
    }
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
            // A controller that failed to start is still kept: its calls then
            // fail one by one and the card layer reports each.
            try {
                controller->Initialize();
            } catch (...) {
                LogInitializationFailure();
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
