// Entry point of every test program: GoogleTest, a screenshot of the whole
// screen under build/test-artifacts/ for each test that fails, and a crash
// on any thread failing the run.
#include "CrashGuard.h"
#include "DialogWatchdog.h"
#include "Fixtures.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

namespace {

// Every driven dialog is closed within seconds; one open this long waits for nobody.
constexpr DWORD kMaxDialogOpenMs = 30000;

class TestHooks : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& info) override
    {
        // A library or a test may have put in a handler of its own meanwhile.
        InstallCrashGuard();
        SetCrashContext((std::string(info.test_suite_name()) + "." + info.name()).c_str());
        StartDialogWatchdog(kMaxDialogOpenMs);
    }
    void OnTestEnd(const testing::TestInfo& info) override
    {
        StopDialogWatchdog();
        SetCrashContext("");
        if (!info.result()->Failed())
            return;
        const std::string name = std::string(info.test_suite_name()) + "." + info.name();
        uidriver::SaveScreenshot(nullptr, ArtifactPath(name, L".bmp"));
    }
};

} // namespace

int main(int argc, char** argv)
{
    InstallCrashGuard();
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new TestHooks);
    return RUN_ALL_TESTS();
}
