#include "ChildProcess.h"

#include "Fixtures.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

ChildRun RunChild(const std::wstring& commandLine, const std::wstring& directory, DWORD timeoutMs)
{
    ChildRun run;
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
        return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {sizeof(startup)};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;
    run.started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                 directory.empty() ? nullptr : directory.c_str(), &startup, &process);
    CloseHandle(writeEnd);
    // Read while the child runs, so that a full pipe never holds it up.
    std::thread reader([readEnd, &run] {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got)
            run.output.append(buffer, got);
    });
    if (run.started) {
        run.finished = WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
        if (!run.finished)
            TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    reader.join();
    CloseHandle(readEnd);
    return run;
}

RunningChild::RunningChild(const std::wstring& commandLine, DWORD graceMs) : m_graceMs(graceMs)
{
    STARTUPINFOW startup = {sizeof(startup)};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &m_process))
        m_process = {};
}

RunningChild::~RunningChild()
{
    if (!Started())
        return;
    if (WaitForSingleObject(m_process.hProcess, m_graceMs) != WAIT_OBJECT_0)
        TerminateProcess(m_process.hProcess, 1);
    WaitForSingleObject(m_process.hProcess, INFINITE);
    CloseHandle(m_process.hProcess);
    CloseHandle(m_process.hThread);
}

ChildRun RunThisProgram(const std::wstring& gtestFilter,
                        const std::vector<std::pair<std::wstring, std::wstring>>& environment, DWORD timeoutMs)
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    for (const auto& [name, value] : environment)
        SetEnvironmentVariableW(name.c_str(), value.c_str());
    ChildRun run = RunChild(L"\"" + std::wstring(program) + L"\" --gtest_filter=" + gtestFilter, L"", timeoutMs);
    for (const auto& [name, value] : environment)
        SetEnvironmentVariableW(name.c_str(), nullptr);
    return run;
}

DWORD RunThisProgramAgain()
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    std::wstring line = GetCommandLineW();
    DWORD code = 1;
    if (!CreateProcessW(program, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return code;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code;
}

ChildRun RunHost(const std::wstring& arguments)
{
    return RunChild(L"\"" + BinDirectory() + L"velkor-host.exe\" " + arguments);
}

std::vector<unsigned char> ReadWholeFile(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::wstring& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}
