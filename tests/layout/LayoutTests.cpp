// Every dialog template of the resource module, opened at this display's
// DPI: no text may be cut and no control may stand outside its dialog. The
// same program runs at 96 and, as layout_144dpi_tests, at 144 DPI.
#include "Fixtures.h"
#include "LayoutCheck.h"
#include "ScopedGdi.h"
#include "UiDriver.h"

#include "base/VelkorExports.h"
#include "pinrc_ids.h"

#include <gtest/gtest.h>

namespace {

struct Template {
    const char* name;
    UINT id;
};

void PrintTo(const Template& t, std::ostream* out)
{
    *out << t.name;
}

class ResourceModule {
public:
    ResourceModule()
        : m_hModule(LoadLibraryExW((BinDirectory() + L"Resources\\vk.velkor.gui.pinrc.dll").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~ResourceModule() { FreeLibrary(m_hModule); }
    HMODULE m_hModule;
};

INT_PTR CALLBACK PlainDialog(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG;
}

class DialogLayout : public testing::TestWithParam<Template> {};

TEST_P(DialogLayout, EveryTextFitsAndEveryControlIsInside)
{
    ResourceModule resources;
    ASSERT_NE(nullptr, resources.m_hModule);
    // Child templates (pages and panels) are opened inside a plain window.
    HWND host = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, nullptr, nullptr, nullptr,
                                nullptr);
    HWND dialog = CreateDialogParamW(resources.m_hModule, MAKEINTRESOURCEW(GetParam().id), host, PlainDialog, 0);
    ASSERT_NE(nullptr, dialog);
    ShowWindow(dialog, SW_SHOW);
    for (const std::wstring& problem : LayoutProblems(dialog))
        ADD_FAILURE() << std::string(problem.begin(), problem.end());
    int dpi = GetDeviceCaps(ScopedGetDC(nullptr), LOGPIXELSY);
    RecordProperty("dpi", dpi);
    DestroyWindow(dialog);
    DestroyWindow(host);
}

INSTANTIATE_TEST_SUITE_P(Templates, DialogLayout,
                         testing::Values(Template{"EnterPin", IDD_ENTER_PIN}, Template{"PinAlways", IDD_PIN_ALWAYS},
                                         Template{"PolicyPanel", IDD_POLICIES},
                                         Template{"ChangePinPage", IDD_CHANGE_PIN_PAGE},
                                         Template{"ChangePinFrame", IDD_CHANGE_PIN},
                                         Template{"UnlockFailed", IDD_UNLOCK_FAILED},
                                         Template{"UnlockSuccess", IDD_UNLOCK_SUCCESS},
                                         Template{"UnlockTool", IDD_UNLOCK_TOOL},
                                         Template{"UnlockCodeFrame", IDD_DISPLAY_UNLOCK_CODE},
                                         Template{"UnlockCodePage", IDD_UNLOCK_CODE_PAGE},
                                         Template{"UnlockCard", IDD_UNLOCK_CARD},
                                         Template{"InitializePin", IDD_INIT_PIN},
                                         Template{"ResetPage", IDD_RESET_PAGE},
                                         Template{"ResetFrame", IDD_RESET_FRAME},
                                         Template{"SelectCard", IDD_SELECT_CARD},
                                         Template{"CardManagerLocked", IDD_CM_LOCKED},
                                         Template{"About", IDD_ABOUT},
                                         Template{"CardExpiryNotice", IDD_CARD_EXPIRY_NOTIFY}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

TEST(LayoutCheck, SeesCutTextsAndControlsOutsideTheDialog)
{
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(500), nullptr, PlainDialog, 0);
    ASSERT_NE(nullptr, dialog);
    ShowWindow(dialog, SW_SHOW);
    std::vector<std::wstring> problems = LayoutProblems(dialog);
    DestroyWindow(dialog);
    auto mentions = [&](const wchar_t* what) {
        for (const std::wstring& p : problems)
            if (p.find(what) != std::wstring::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(mentions(L"control 501"));
    EXPECT_TRUE(mentions(L"control 502"));
    EXPECT_TRUE(mentions(L"control 503 \"Outside\" lies outside"));
    EXPECT_FALSE(mentions(L"control 504"));
}

} // namespace

namespace {

// The change-PIN dialog as it opens with every rule shown at once.
TEST(LiveDialogLayout, ChangePinWithEveryRuleShown)
{
    RegistryFixture registry;
    registry.SetDword(L"Software\\Policies\\Quellon\\Velkor\\ChangePINPolicies", L"PreventSamePINChange", 1);
    std::vector<std::wstring> problems;
    int visibleRows = 0;
    std::thread holder = uidriver::ActOnDialog([&](HWND frame) {
        uidriver::WaitPainted(frame);
        for (int id : {IDC_RULE_MIN_TEXT, IDC_RULE_MAX_TEXT, IDC_RULE_WEAK_TEXT, IDC_RULE_SAME_TEXT,
                       IDC_RULE_ALPHA_TEXT, IDC_RULE_CONFIRM_TEXT})
            visibleRows += IsWindowVisible(uidriver::FindControl(frame, id)) ? 1 : 0;
        problems = LayoutProblems(frame);
        PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
    });
    wchar_t fresh[128];
    wchar_t current[128];
    int freshLength = 0;
    int currentLength = 0;
    GetChangePINInfoFromUser(1, 0, 4, 8, 0, 0, fresh, &freshLength, current, &currentLength, L"R", nullptr, true,
                             nullptr, nullptr, 0);
    holder.join();
    EXPECT_EQ(6, visibleRows);
    for (const std::wstring& problem : problems)
        ADD_FAILURE() << std::string(problem.begin(), problem.end());
}

} // namespace
