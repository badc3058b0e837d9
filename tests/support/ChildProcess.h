#pragma once
// Other programs a test starts (velkor-host, a second copy of the test
// program): their exit code and what they printed; and files read or
// written whole.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct ChildRun {
    bool started = false;
    bool finished = false; // ended before the deadline; ended by force otherwise
    DWORD exitCode = 999;
    std::string output; // standard output and standard error
};

// Runs `commandLine` without a window from `directory` (the test's own when
// empty) and waits up to `timeoutMs` for it to end.
ChildRun RunChild(const std::wstring& commandLine, const std::wstring& directory = L"", DWORD timeoutMs = 60000);

// A program that runs beside the test (a window of another process) until
// the test is done with it: started without a window of the console's and
// without waiting; when this goes away it is given `graceMs` to end by
// itself, then ended by force.
class RunningChild {
public:
    explicit RunningChild(const std::wstring& commandLine, DWORD graceMs = 5000);
    ~RunningChild();
    RunningChild(const RunningChild&) = delete;
    RunningChild& operator=(const RunningChild&) = delete;
    bool Started() const { return m_process.hProcess != nullptr; }
    DWORD ProcessId() const { return m_process.dwProcessId; }

private:
    PROCESS_INFORMATION m_process = {};
    DWORD m_graceMs;
};

// This test program again, running only the tests `gtestFilter` names,
// with `environment` set for it (and removed once it has ended).
ChildRun RunThisProgram(const std::wstring& gtestFilter,
                        const std::vector<std::pair<std::wstring, std::wstring>>& environment = {},
                        DWORD timeoutMs = 60000);

// This program once more with its own command line, its console and its
// handles, waited for: for a program that must start again to see a setting
// Wine reads when a program starts. Its exit code (1 when it did not start).
DWORD RunThisProgramAgain();

// bin/velkor-host.exe with `arguments`.
ChildRun RunHost(const std::wstring& arguments);

std::vector<unsigned char> ReadWholeFile(const std::wstring& path);
bool WriteWholeFile(const std::wstring& path, const std::vector<unsigned char>& bytes);
