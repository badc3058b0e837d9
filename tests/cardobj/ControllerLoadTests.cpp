// The controller module missing, present without its export, or the
// certificate parser missing: the host runs from a folder of its own and
// must end cleanly, saying so in the log.
#include "CardWorldBuilder.h"
#include "ChildProcess.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ControllerModule, WithoutAModuleTheHostEndsCleanlyAndSaysWhy)
{
    CardWorldBuilder world;
    world.Reader(L"Parser Reader", L"card", L"alice")
        .Card(L"alice", {{L"PKICredentials", L"1"}, {L"PKI.1.Certificate", CardWorldBuilder::Certificate(L"signature")}});
    ASSERT_TRUE(world.Serve());
    struct Case {
        const char* name;
        const wchar_t* module;   // of bin/, beside the host's own
        bool fakeController;     // a real DLL without the export in the controller's place
        const wchar_t* command;
        DWORD exitCode;
        std::vector<const char*> logged;
        const char* notLogged;
    };
    const Case cases[] = {
        {"no controller", L"vk.crypto.parser.dll", false, L"readers", 0,
         {"GetMWController: Unable to retrieve GetSMMWController function",
          "VKReaderList::GetReaderList : GetMWController() returned NULL"}, nullptr},
        {"a controller without the export", L"vk.crypto.parser.dll", true, L"readers", 0,
         {"GetMWController: Unable to retrieve GetSMMWController function (0x7f) !"}, nullptr},
        // No card, so no serial number and no date kept under an empty one.
        {"no controller, a date to keep", L"vk.crypto.parser.dll", false,
         L"card-info --reader \"Any Reader\" --set-notification-date 1765000000", 1, {}, "DataCacheClient"},
        // The parser is bound on its first use: the host says so instead of
        // the loader ending it (a crash ends with its exception code).
        {"no certificate parser", L"vk.smmw.mwctl.dll", false, L"card-data --reader \"Parser Reader\"", 1,
         {"DelayLoad: vk.crypto.parser.dll could not be loaded"}, nullptr},
    };
    const std::wstring bin = BinDirectory();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring dir = MakeTempDirectory();
        for (const wchar_t* file : {L"velkor-host.exe", L"vk.velkor.gui.dll", L"afx.dll", L"vklogu.dll", L"vkevtsub.dll",
                                    L"vk.evtsessionstate.dll", L"qlwinextu.dll", c.module})
            CopyFileW((bin + file).c_str(), (dir + file).c_str(), FALSE);
        if (c.fakeController)
            CopyFileW((bin + L"vk.evtsessionstate.dll").c_str(), (dir + L"vk.smmw.mwctl.dll").c_str(), FALSE);
        SetEnvironmentVariableW(L"VELKOR_LOG", (dir + L"host.log").c_str());
        SetEnvironmentVariableW(L"VELKOR_CARD_WORLD", world.Path().c_str());
        const ChildRun run = RunChild(L"\"" + dir + L"velkor-host.exe\" " + c.command, dir);
        SetEnvironmentVariableW(L"VELKOR_LOG", nullptr);
        SetEnvironmentVariableW(L"VELKOR_CARD_WORLD", nullptr);
        const std::vector<unsigned char> bytes = ReadWholeFile(dir + L"host.log");
        const std::string log(bytes.begin(), bytes.end());
        RemoveDirectoryTree(dir);
        EXPECT_EQ(c.exitCode, run.exitCode);
        for (const char* line : c.logged)
            EXPECT_NE(std::string::npos, log.find(line)) << line;
        if (c.notLogged) {
            EXPECT_EQ(std::string::npos, log.find(c.notLogged)) << "the cache was asked to store a date";
        }
    }
}

} // namespace
