// The controller module missing, or present without its export: the host
// runs from a folder of its own and must end cleanly, saying so in the log.
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

// Runs velkor-host `command` from a copy of bin/ in which the controller
// module is missing, or replaced by a DLL without GetSMMWController.
struct HostRun {
    DWORD exitCode = 999;
    std::string log;
};

HostRun RunHostWithoutController(bool keepAFakeModule, const std::wstring& command = L"readers")
{
    std::wstring dir = MakeTempDirectory();
    const std::wstring bin = BinDirectory();
    for (const wchar_t* file : {L"velkor-host.exe", L"vk.velkor.gui.dll", L"afx.dll", L"vklogu.dll", L"vkevtsub.dll",
                                L"vk.evtsessionstate.dll", L"qlwinextu.dll",
                                L"vk.crypto.parser.dll"})
        CopyFileW((bin + file).c_str(), (dir + file).c_str(), FALSE);
    if (keepAFakeModule) // a real DLL, but not the controller
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

} // namespace
