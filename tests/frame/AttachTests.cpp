#include "LibraryLoader.h"

namespace {

bool ProgressBarClassRegistered()
{
    WNDCLASSEXW wc = {sizeof(wc)};
    return GetClassInfoExW(GetModuleHandleW(nullptr), L"VkProgressBar", &wc) != 0;
}

// Attach loads the resource module and registers the progress bar, and
// detach takes both away again, however often the library comes and goes.
TEST(Attach, LoadsTheResourceModuleAndRegistersTheProgressBarUntilDetach)
{
    ASSERT_FALSE(ProgressBarClassRegistered());
    for (int i = 0; i < 20; ++i) {
        LibraryLoader library;
        ASSERT_NE(nullptr, library.Handle());
        ASSERT_TRUE(ProgressBarClassRegistered());
        ASSERT_NE(nullptr, GetModuleHandleW(L"vk.velkor.gui.pinrc.dll"));
        for (const wchar_t* module : {L"vkevtsub.dll", L"vk.evtsessionstate.dll"})
            ASSERT_EQ(nullptr, GetModuleHandleW(module)) << "attach has no use for it: it comes with the first prompt";
        ASSERT_NE(L'\0', library.Get<GetErrorStringFn>("GetErrorString")(3)[0]);
    }
    EXPECT_FALSE(ProgressBarClassRegistered());
    EXPECT_EQ(nullptr, GetModuleHandleW(L"vk.velkor.gui.pinrc.dll")) << "the resource module must be freed";
}

TEST(Attach, SucceedsWithoutTheResourceModuleAndLeavesEveryTextEmpty)
{
    // A copy of the library in a folder of its own, with no Resources beside it.
    std::wstring dir = MakeTempDirectory();
    std::wstring copy = dir + L"vk.velkor.gui.dll";
    ASSERT_TRUE(CopyFileW((BinDirectory() + L"vk.velkor.gui.dll").c_str(), copy.c_str(), FALSE));
    LogCapture log;
    {
        LibraryLoader library(copy);
        ASSERT_NE(nullptr, library.Handle()) << "attach must succeed";
        auto getErrorString = library.Get<GetErrorStringFn>("GetErrorString");
        for (int code : {1, 11, 14})
            EXPECT_STREQ(L"", getErrorString(code));
        // Dialogs cannot be built: the prompts fail as a cancel, and again.
        using GetPinFn = int(__cdecl*)(HWND, const wchar_t*, int, int, int, char**, int*, void(CALLBACK*)(void*),
                                       void*, unsigned);
        auto getPin = library.Get<GetPinFn>("GetPINFromUser");
        auto pinAlways = library.Get<int(__cdecl*)(HWND, const wchar_t*)>("ShowPINAlwaysPrompt");
        ASSERT_TRUE(getPin && pinAlways);
        for (int attempt = 0; attempt < 2; ++attempt) {
            char* pin = nullptr;
            int length = 0;
            EXPECT_EQ(-1, getPin(nullptr, L"R", 0, 4, 8, &pin, &length, nullptr, nullptr, 0));
            EXPECT_EQ(nullptr, pin);
            EXPECT_EQ(-1, pinAlways(nullptr, L"R"));
        }
        EXPECT_EQ(0u, log.Count(L"action NOT allowed")) << "a failed prompt leaves none marked open";
    }
    RemoveDirectoryTree(dir);
}

} // namespace
