// Every dialog template of the resource module, in every language it is
// built in, opened at this display's DPI: no text may be cut and no control
// may stand outside its dialog. The same program runs at 96 and, as
// layout_144dpi_tests, at 144 DPI.
#include "Fixtures.h"
#include "KeyboardHolder.h"
#include "LayoutCheck.h"
#include "ResourceModule.h"
#include "ScopedGdi.h"
#include "ChangePinOnScreen.h"
#include "UiDriver.h"

#include "base/VelkorExports.h"
#include "pinrc_ids.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

INT_PTR CALLBACK PlainDialog(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG;
}

// English, German and the pseudo-localized texts, which are longer than
// any translation should be.
const std::pair<const char*, const wchar_t*> kLanguages[] = {
    {"en-US", L""},
    {"de-DE", L"de-DE\\"},
    {"qps-ploc", L"qps-ploc\\"},
};

const std::pair<const char*, UINT> kTemplates[] = {
    {"EnterPin", IDD_ENTER_PIN},
    {"PinAlways", IDD_PIN_ALWAYS},
    {"PolicyPanel", IDD_POLICIES},
    {"ChangePinPage", IDD_CHANGE_PIN_PAGE},
    {"ChangePinFrame", IDD_CHANGE_PIN},
    {"UnlockFailed", IDD_UNLOCK_FAILED},
    {"UnlockSuccess", IDD_UNLOCK_SUCCESS},
    {"UnlockTool", IDD_UNLOCK_TOOL},
    {"UnlockCodeFrame", IDD_DISPLAY_UNLOCK_CODE},
    {"UnlockCodePage", IDD_UNLOCK_CODE_PAGE},
    {"UnlockCard", IDD_UNLOCK_CARD},
    {"InitializePin", IDD_INIT_PIN},
    {"ResetPage", IDD_RESET_PAGE},
    {"ResetFrame", IDD_RESET_FRAME},
    {"SelectCard", IDD_SELECT_CARD},
    {"CardManagerLocked", IDD_CM_LOCKED},
    {"About", IDD_ABOUT},
    {"CardExpiryNotice", IDD_CARD_EXPIRY_NOTIFY},
};

// Opens each dialog template of each language's resource module as it is,
// on the screen, and hands it to `check`.
void ForEachTemplate(const std::function<void(HWND)>& check)
{
    for (const auto& [language, folder] : kLanguages) {
        SCOPED_TRACE(language);
        ResourceModule resources(folder);
        ASSERT_NE(nullptr, resources.Handle());
        for (const auto& [name, id] : kTemplates) {
            SCOPED_TRACE(name);
            // Child templates (pages and panels) are opened inside a plain window.
            HWND host = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, nullptr, nullptr,
                                        nullptr, nullptr);
            HWND dialog = CreateDialogParamW(resources.Handle(), MAKEINTRESOURCEW(id), host, PlainDialog, 0);
            EXPECT_NE(nullptr, dialog);
            if (dialog) {
                ShowWindow(dialog, SW_SHOW);
                check(dialog);
                DestroyWindow(dialog);
            }
            DestroyWindow(host);
        }
    }
}

TEST(DialogLayout, EveryTextFitsAndEveryControlIsInside)
{
    RecordProperty("dpi", GetDeviceCaps(ScopedGetDC(nullptr), LOGPIXELSY));
    ForEachTemplate([](HWND dialog) {
        for (const std::wstring& problem : LayoutProblems(dialog))
            ADD_FAILURE() << std::string(problem.begin(), problem.end());
    });
}

// A holder reaches each field by the letter of its label, and no letter
// leads to two places.
TEST(DialogKeys, EveryFieldLabelHasAnAccessKeyOfItsOwn)
{
    ForEachTemplate([](HWND dialog) {
        for (const std::wstring& problem : AccessKeyProblems(dialog))
            ADD_FAILURE() << std::string(problem.begin(), problem.end());
    });
}

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
    EXPECT_TRUE(mentions(L"control 505 \"Covered\" overlaps control 506"));
    EXPECT_FALSE(mentions(L"control 504"));
}

// The change-PIN dialog as it opens with every rule shown at once.
TEST(LiveDialogLayout, ChangePinWithEveryRuleShown)
{
    RegistryFixture registry;
    registry.SetDword(L"Software\\Policies\\Quellon\\Velkor\\ChangePINPolicies", L"PreventSamePINChange", 1);
    std::vector<std::wstring> problems;
    int visibleRows = 0;
    LookAtChangePin([&](HWND frame) {
        for (int id : {IDC_RULE_MIN_TEXT, IDC_RULE_MAX_TEXT, IDC_RULE_WEAK_TEXT, IDC_RULE_SAME_TEXT,
                       IDC_RULE_ALPHA_TEXT, IDC_RULE_CONFIRM_TEXT})
            visibleRows += IsWindowVisible(uidriver::FindControl(frame, id)) ? 1 : 0;
        problems = LayoutProblems(frame);
    });
    EXPECT_EQ(6, visibleRows);
    for (const std::wstring& problem : problems)
        ADD_FAILURE() << std::string(problem.begin(), problem.end());
}

} // namespace
