// The controller module missing, or present without its export: the host
// runs from a folder of its own and must end cleanly, saying so in the log.
#include "CardWorldBuilder.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace {

// Runs velkor-host `command` from a folder that holds only `files` of bin/
// (and, with `keepAFakeModule`, a real DLL that is not the controller in
// the controller's place).
struct HostRun {
    DWORD exitCode = 999;
    std::string log;
};

const std::vector<std::wstring> kHostFiles = {L"velkor-host.exe", L"vk.velkor.gui.dll", L"afx.dll", L"vklogu.dll",
                                              L"vkevtsub.dll", L"vk.evtsessionstate.dll", L"qlwinextu.dll"};

HostRun RunHostFromCopy(const std::vector<std::wstring>& files, const std::wstring& command,
                        bool keepAFakeModule = false)
{
    std::wstring dir = MakeTempDirectory();
    const std::wstring bin = BinDirectory();
    for (const std::wstring& file : files)
        CopyFileW((bin + file).c_str(), (dir + file).c_str(), FALSE);
    if (keepAFakeModule)
        CopyFileW((bin + L"vk.evtsessionstate.dll").c_str(), (dir + L"vk.smmw.mwctl.dll").c_str(), FALSE);
    std::wstring logPath = dir + L"host.log";
    SetEnvironmentVariableW(L"VELKOR_LOG", logPath.c_str());
    std::wstring commandLine = L"\"" + dir + L"velkor-host.exe\" " + command;
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    HostRun run;
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    SetEnvironmentVariableW(L"VELKOR_LOG", nullptr);
    std::ifstream in(std::string(logPath.begin(), logPath.end()), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    run.log = text.str();
    in.close();
    RemoveDirectoryTree(dir);
    return run;
}

HostRun RunHostWithoutController(bool keepAFakeModule, const std::wstring& command = L"readers")
{
    std::vector<std::wstring> files = kHostFiles;
    files.push_back(L"vk.crypto.parser.dll");
    return RunHostFromCopy(files, command, keepAFakeModule);
}

TEST(ControllerModule, AMissingModuleIsLoggedAndTheLayerAnswersEmpty)
{
    HostRun run = RunHostWithoutController(false);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_NE(std::string::npos, run.log.find("GetMWController: Unable to retrieve GetSMMWController function"));
    EXPECT_NE(std::string::npos, run.log.find("VKReaderList::GetReaderList : GetMWController() returned NULL"));
}

TEST(ControllerModule, AModuleWithoutTheExportIsLoggedAndTheLayerAnswersEmpty)
{
    HostRun run = RunHostWithoutController(true);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_NE(std::string::npos, run.log.find("GetMWController: Unable to retrieve GetSMMWController function (0x7f) !"));
}

// Without a controller there is no card, so no serial number and no date
// kept under an empty one: the host reports no card.
TEST(ControllerModule, WithoutTheModuleACardHasNoSerialNumber)
{
    HostRun run = RunHostWithoutController(false, L"card-info --reader \"Any Reader\" --set-notification-date 1765000000");
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_EQ(std::string::npos, run.log.find("DataCacheClient")) << "the cache was asked to store a date";
}

// The certificate parser is bound on its first use; without it the card's
// certificates cannot be read, and the host says so instead of the loader
// ending it.
TEST(ControllerModule, WithoutTheCertificateParserNoCertificateIsReadAndNothingCrashes)
{
    CardWorldBuilder world;
    world.Reader(L"Parser Reader", L"card", L"alice")
        .Card(L"alice", {{L"PKICredentials", L"1"}, {L"PKI.1.Certificate", CardWorldBuilder::Certificate(L"signature")}});
    ASSERT_TRUE(world.Serve());
    std::vector<std::wstring> files = kHostFiles;
    files.push_back(L"vk.smmw.mwctl.dll");
    SetEnvironmentVariableW(L"VELKOR_CARD_WORLD", world.Path().c_str());
    HostRun run = RunHostFromCopy(files, L"card-data --reader \"Parser Reader\"");
    SetEnvironmentVariableW(L"VELKOR_CARD_WORLD", nullptr);
    EXPECT_EQ(1u, run.exitCode) << "a crash ends with its exception code";
    EXPECT_NE(std::string::npos, run.log.find("DelayLoad: vk.crypto.parser.dll could not be loaded"));
}

} // namespace
