// Entry point of every test program: GoogleTest, plus a screenshot of the
// whole screen under build/test-artifacts/ for each test that fails.
#include "Fixtures.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

namespace {

class ScreenshotOnFailure : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& info) override
    {
        if (!info.result()->Failed())
            return;
        std::string name = std::string(info.test_suite_name()) + "." + info.name();
        for (char& c : name)
            if (c == '/' || c == '\\' || c == ':')
                c = '_';
        std::wstring path = ArtifactsDirectory() + std::wstring(name.begin(), name.end()) + L".bmp";
        uidriver::SaveScreenshot(nullptr, path);
    }
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new ScreenshotOnFailure);
    return RUN_ALL_TESTS();
}
