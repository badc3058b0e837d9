// A crash anywhere in a test program fails it: each way of crashing runs in
// a child copy of this program and must end it with the crash's exit code
// and a report naming it. The crashing cases are disabled so that only the
// child runs them; ctest also runs the first one directly, expecting failure.
#include "ChildProcess.h"
#include "CrashGuard.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

namespace {

void WriteThroughNull()
{
    *static_cast<volatile int*>(nullptr) = 1;
}

TEST(CrashOnPurpose, DISABLED_AccessViolationOnAnotherThread)
{
    std::thread(WriteThroughNull).join();
}

TEST(CrashOnPurpose, DISABLED_ExceptionLeavingAnotherThread)
{
    std::thread([] { throw std::runtime_error("thrown on purpose"); }).join();
}

// A named CALLBACK: a lambda has the wrong calling convention on x86.
LRESULT CALLBACK CrashOnAppMessage(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_APP)
        WriteThroughNull();
    return DefWindowProcW(w, msg, wp, lp);
}

TEST(CrashOnPurpose, DISABLED_AccessViolationInAWindowProcedure)
{
    // A window on a thread of its own, crashing on a message sent to it
    // from this thread.
    HWND window = nullptr;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread owner([&] {
        WNDCLASSW wc = {};
        wc.lpszClassName = L"VkCrashOnPurpose";
        wc.lpfnWndProc = CrashOnAppMessage;
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        SetEvent(ready);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
    });
    WaitForSingleObject(ready, 10000);
    SendMessageW(window, WM_APP, 0, 0);
    owner.join();
}

TEST(CrashGuard, EachWayOfCrashingEndsTheProgramWithItsOwnCodeAndAReport)
{
    struct Case {
        const char* test;
        UINT exitCode;
        const char* report;
    };
    const Case cases[] = {
        {"AccessViolationOnAnotherThread", kUnhandledExceptionExitCode, "unhandled exception 0xC0000005"},
        {"ExceptionLeavingAnotherThread", kTerminateExitCode, "std::terminate with exception \"thrown on purpose\""},
        {"AccessViolationInAWindowProcedure", kUnhandledExceptionExitCode, "unhandled exception 0xC0000005"},
    };
    for (const Case& c : cases) {
        const std::string name = std::string("CrashOnPurpose.DISABLED_") + c.test;
        ChildRun run = RunThisProgram(std::wstring(name.begin(), name.end()), {{L"GTEST_ALSO_RUN_DISABLED_TESTS", L"1"}},
                                      20000);
        EXPECT_EQ(c.exitCode, run.exitCode) << c.test << "\n" << run.output;
        EXPECT_NE(std::string::npos, run.output.find(c.report)) << c.test << "\n" << run.output;
        EXPECT_NE(std::string::npos, run.output.find("during " + name)) << c.test << "\n" << run.output;
    }
}

} // namespace
