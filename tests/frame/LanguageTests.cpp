// The library speaks the holder's user-interface language when its module
// is installed, and English otherwise. ctest runs these cases once more as
// language:de-DE, under a German Unix locale from which Wine takes the
// user-interface language.
#include "LibraryLoader.h"
#include "ResourceModule.h"
#include "UiDriver.h"

#include "base/ResourceLanguage.h"
#include "pinrc_ids.h"

#include <cstdlib>
#include <thread>
#include <vector>

namespace {

bool GermanUserInterface()
{
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_GERMAN;
}

TEST(ResourceLanguage, EachLanguageTriesItsOwnFolderThenItsMainVariantThenEnglish)
{
    const std::wstring english = L"Resources\\vk.velkor.gui.pinrc.dll";
    const struct {
        LANGID language;
        std::vector<std::wstring> paths;
    } cases[] = {
        {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), {english}},
        {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK), {english}},
        {MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), {english}},
        {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), {L"Resources\\de-DE\\vk.velkor.gui.pinrc.dll", english}},
        {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_AUSTRIAN),
         {L"Resources\\de-AT\\vk.velkor.gui.pinrc.dll", L"Resources\\de-DE\\vk.velkor.gui.pinrc.dll", english}},
        {MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), {L"Resources\\fr-FR\\vk.velkor.gui.pinrc.dll", english}},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> paths;
        for (const WipingWString& p : ResourceModuleCandidates(c.language, L"Resources", L"vk.velkor.gui.pinrc.dll"))
            paths.emplace_back(p.c_str());
        EXPECT_EQ(c.paths, paths) << "language 0x" << std::hex << c.language;
    }
}

// ctest's German run must really run German: else it would pass as English.
TEST(Language, RunsInTheUserInterfaceLanguageCtestAskedFor)
{
    const char* expected = std::getenv("VELKOR_EXPECTED_UI_LANGUAGE");
    if (!expected)
        GTEST_SKIP() << "run without a language to expect";
    EXPECT_EQ(std::strtoul(expected, nullptr, 0), GetUserDefaultUILanguage());
}

// A copy of the library installed with and without its German module: the
// texts and the dialogs are German only where the holder reads German and
// the modules are there; a missing module is logged and English shown.
TEST(Language, TextsAndDialogsComeFromTheModuleOfTheUserInterfaceLanguage)
{
    const bool german = GermanUserInterface();
    ASSERT_NE(ResourceModule().Text(IDS_ERROR_WRONG_PIN), ResourceModule(L"de-DE\\").Text(IDS_ERROR_WRONG_PIN));
    for (bool withGerman : {true, false}) {
        SCOPED_TRACE(withGerman ? "installed with German" : "installed without German");
        const std::wstring dir = MakeTempDirectory();
        ASSERT_TRUE(CopyFileW((BinDirectory() + L"vk.velkor.gui.dll").c_str(), (dir + L"vk.velkor.gui.dll").c_str(),
                              FALSE));
        std::vector<std::wstring> folders = {L"Resources\\"};
        if (withGerman)
            folders.push_back(L"Resources\\de-DE\\");
        for (const std::wstring& folder : folders) {
            ASSERT_TRUE(CreateDirectoryW((dir + folder).c_str(), nullptr));
            for (const wchar_t* module : {L"vk.velkor.gui.pinrc.dll", L"vkCobAPIrc.dll", L"vkCobAPIlrc.dll"})
                ASSERT_TRUE(CopyFileW((BinDirectory() + folder + module).c_str(), (dir + folder + module).c_str(), FALSE));
        }
        const bool expectGerman = german && withGerman;
        LogCapture log;
        {
            LibraryLoader library(dir + L"vk.velkor.gui.dll");
            ASSERT_NE(nullptr, library.Handle());
            EXPECT_EQ(ResourceModule(expectGerman ? L"de-DE\\" : L"").Text(IDS_ERROR_WRONG_PIN),
                      library.Get<GetErrorStringFn>("GetErrorString")(1));
            std::wstring cancel;
            std::thread holder = uidriver::ActOnDialog([&](HWND dialog) {
                cancel = uidriver::TextOf(uidriver::FindControl(dialog, IDCANCEL));
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            });
            library.Get<int(__cdecl*)(HWND, const wchar_t*)>("ShowPINAlwaysPrompt")(nullptr, L"R");
            holder.join();
            EXPECT_EQ(expectGerman ? L"Abbrechen" : L"Cancel", cancel);
            // The card layer's texts follow the same language.
            for (const wchar_t* module : {L"vkCobAPIrc.dll", L"vkCobAPIlrc.dll"}) {
                wchar_t path[MAX_PATH] = {};
                GetModuleFileNameW(GetModuleHandleW(module), path, MAX_PATH);
                EXPECT_EQ(expectGerman, std::wstring(path).find(L"\\de-DE\\") != std::wstring::npos) << path;
            }
        }
        EXPECT_EQ(german && !withGerman ? 1u : 0u, log.Count(L"no resource module for user interface language"));
        RemoveDirectoryTree(dir);
    }
}

} // namespace
