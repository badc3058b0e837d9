// The about box against a product the Windows Installer really installed:
// the test builds a small package with the installer's own database
// functions, installs it with msiexec, and records a patch of it the way
// the installer records an applied one.
#include "ChildProcess.h"
#include "Fixtures.h"
#include "HolderActions.h"
#include "ImportPatch.h"
#include "KeyboardHolder.h"
#include "UiDriver.h"

#include "base/VelkorExports.h"
#include "vklogu.h"
#include "pinrc_ids.h"

#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <propidl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const wchar_t* kProductCode = L"{3F2B6C1D-8A4E-4B7F-9C0D-1E2F3A4B5C6D}";
constexpr const wchar_t* kUnknownProduct = L"{00000000-1111-2222-3333-444444444444}";

// Runs SQL statements on a new database at `path` and commits it: an
// installer package, or with `patch` the storage of a patch file.
bool BuildDatabase(const std::wstring& path, const std::vector<std::wstring>& statements, bool patch)
{
    DeleteFileW(path.c_str());
    MSIHANDLE database = 0;
    const wchar_t* mode = patch ? MSIDBOPEN_CREATE + MSIDBOPEN_PATCHFILE : MSIDBOPEN_CREATE;
    if (MsiOpenDatabaseW(path.c_str(), mode, &database) != ERROR_SUCCESS)
        return false;
    bool done = true;
    for (const std::wstring& sql : statements) {
        MSIHANDLE view = 0;
        done = done && MsiDatabaseOpenViewW(database, sql.c_str(), &view) == ERROR_SUCCESS &&
               MsiViewExecute(view, 0) == ERROR_SUCCESS;
        if (view)
            MsiCloseHandle(view);
        if (!done) {
            ADD_FAILURE() << "the installer refused: " << std::string(sql.begin(), sql.end());
            break;
        }
    }
    if (done && !patch) {
        MSIHANDLE summary = 0;
        done = MsiGetSummaryInformationW(database, nullptr, 10, &summary) == ERROR_SUCCESS;
#ifdef _WIN64
        const wchar_t* platform = L"x64;1033";
#else
        const wchar_t* platform = L"Intel;1033";
#endif
        done = done && MsiSummaryInfoSetPropertyW(summary, PIDSI_TEMPLATE, VT_LPSTR, 0, nullptr, platform) == ERROR_SUCCESS &&
               MsiSummaryInfoSetPropertyW(summary, PIDSI_REVNUMBER, VT_LPSTR, 0, nullptr,
                                          L"{6E5D4C3B-2A19-4F8E-8D7C-6B5A49382716}") == ERROR_SUCCESS &&
               MsiSummaryInfoSetPropertyW(summary, PIDSI_PAGECOUNT, VT_I4, 200, nullptr, nullptr) == ERROR_SUCCESS &&
               MsiSummaryInfoSetPropertyW(summary, PIDSI_WORDCOUNT, VT_I4, 2, nullptr, nullptr) == ERROR_SUCCESS &&
               MsiSummaryInfoPersist(summary) == ERROR_SUCCESS;
        MsiCloseHandle(summary);
    }
    done = done && MsiDatabaseCommit(database) == ERROR_SUCCESS;
    MsiCloseHandle(database);
    return done;
}

std::vector<std::wstring> ProductPackage()
{
    std::vector<std::wstring> sql = {
        L"CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, `Value` LONGCHAR NOT NULL PRIMARY KEY `Property`)",
        L"CREATE TABLE `Directory` (`Directory` CHAR(72) NOT NULL, `Directory_Parent` CHAR(72), "
        L"`DefaultDir` CHAR(255) NOT NULL LOCALIZABLE PRIMARY KEY `Directory`)",
        L"CREATE TABLE `InstallExecuteSequence` (`Action` CHAR(72) NOT NULL, `Condition` CHAR(255), "
        L"`Sequence` SHORT PRIMARY KEY `Action`)",
        // The installer registers a product only when a feature of it is installed.
        L"CREATE TABLE `Feature` (`Feature` CHAR(38) NOT NULL, `Feature_Parent` CHAR(38), `Title` CHAR(64), "
        L"`Description` CHAR(255), `Display` SHORT, `Level` SHORT NOT NULL, `Directory_` CHAR(72), "
        L"`Attributes` SHORT NOT NULL PRIMARY KEY `Feature`)",
        L"CREATE TABLE `Component` (`Component` CHAR(72) NOT NULL, `ComponentId` CHAR(38), `Directory_` CHAR(72) "
        L"NOT NULL, `Attributes` SHORT NOT NULL, `Condition` CHAR(255), `KeyPath` CHAR(72) PRIMARY KEY `Component`)",
        L"CREATE TABLE `FeatureComponents` (`Feature_` CHAR(38) NOT NULL, `Component_` CHAR(72) NOT NULL "
        L"PRIMARY KEY `Feature_`, `Component_`)",
        L"INSERT INTO `Directory` (`Directory`, `Directory_Parent`, `DefaultDir`) VALUES ('TARGETDIR', '', 'SourceDir')",
        L"INSERT INTO `Feature` (`Feature`, `Feature_Parent`, `Title`, `Description`, `Display`, `Level`, "
        L"`Directory_`, `Attributes`) VALUES ('Main', '', 'Main', '', 0, 1, 'TARGETDIR', 0)",
    };
    const std::pair<const wchar_t*, std::wstring> properties[] = {
        {L"ProductCode", kProductCode},       {L"ProductName", L"Velkor Test Suite"},
        {L"ProductVersion", L"7.1.0"},        {L"Manufacturer", L"Quellon"},
        {L"ProductLanguage", L"1033"},        {L"ALLUSERS", L"1"},
        {L"InternalVersion", L"7.1.0.31"},
    };
    for (const auto& [name, value] : properties)
        sql.push_back(std::wstring(L"INSERT INTO `Property` (`Property`, `Value`) VALUES ('") + name + L"', '" + value +
                      L"')");
    const std::pair<const wchar_t*, int> actions[] = {
        {L"CostInitialize", 800},     {L"FileCost", 900},        {L"CostFinalize", 1000},
        {L"InstallValidate", 1400},   {L"InstallInitialize", 1500}, {L"RegisterProduct", 6100},
        {L"PublishFeatures", 6300},   {L"PublishProduct", 6400}, {L"InstallFinalize", 6600},
    };
    for (const auto& [action, sequence] : actions)
        sql.push_back(std::wstring(L"INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('") + action +
                      L"', " + std::to_wstring(sequence) + L")");
    return sql;
}

// Whether the installer knows the product's name.
bool Installed()
{
    wchar_t name[64] = {};
    DWORD chars = 64;
    return MsiGetProductInfoW(kProductCode, INSTALLPROPERTY_INSTALLEDPRODUCTNAME, name, &chars) == ERROR_SUCCESS;
}

// The product installed by msiexec, once per prefix.
bool EnsureInstalled()
{
    if (Installed())
        return true;
    const std::wstring folder = MakeTempDirectory();
    const std::wstring package = folder + L"\\velkor-test.msi";
    const std::wstring log = folder + L"\\install.log";
    const std::wstring install = L"msiexec.exe /i \"" + package + L"\" /qn /l*v \"" + log + L"\"";
    const DWORD status = BuildDatabase(package, ProductPackage(), false) ? RunChild(install, L"", 90000).exitCode : 999;
    const bool installed = status == 0 && Installed();
    if (!installed) {
        // The installer's own account of what went wrong (in UTF-16, read
        // as bytes): its actions, without the properties it lists.
        std::string actions;
        std::string line;
        for (unsigned char c : ReadWholeFile(log)) {
            if (c)
                line += static_cast<char>(c);
            if (c != '\n')
                continue;
            if (line.compare(0, 9, "Property(") != 0)
                actions += line;
            line.clear();
        }
        ADD_FAILURE() << "msiexec answered " << status << ", product state " << MsiQueryProductStateW(kProductCode)
                      << "; its log:\n" << actions.substr(actions.size() > 4000 ? actions.size() - 4000 : 0);
    }
    RemoveDirectoryTree(folder);
    return installed;
}

// The installer's key form of a GUID: each part's hexadecimal digits reversed,
// the last eight bytes digit pair by digit pair.
std::wstring Squashed(const std::wstring& guid)
{
    std::wstring hex;
    for (wchar_t c : guid)
        if (iswxdigit(c))
            hex += c;
    std::wstring squashed;
    for (auto [first, last] : {std::pair{0, 8}, std::pair{8, 12}, std::pair{12, 16}})
        squashed.append(hex.rend() - last, hex.rend() - first);
    for (size_t i = 16; i < 32; i += 2) {
        squashed += hex[i + 1];
        squashed += hex[i];
    }
    return squashed;
}

using Metadata = std::vector<std::pair<std::wstring, std::wstring>>;

// Patches applied to the installed product, in order, recorded where the
// installer records them, each with its cached package: a patch file whose
// MsiPatchMetadata table carries the patch's rows.
class RecordedPatches {
public:
    explicit RecordedPatches(const std::vector<Metadata>& patches) : m_folder(MakeTempDirectory())
    {
        const std::wstring product = Squashed(kProductCode);
        std::wstring list;
        for (size_t i = 0; i < patches.size() && i < std::size(kPatchCodes); ++i) {
            const std::wstring package = m_folder + L"\\velkor-test-" + std::to_wstring(i) + L".msp";
            std::vector<std::wstring> sql = {L"CREATE TABLE `MsiPatchMetadata` (`Company` CHAR(72), `Property` "
                                             L"CHAR(72) NOT NULL, `Value` CHAR(0) NOT NULL PRIMARY KEY `Company`, "
                                             L"`Property`)"};
            for (const auto& [property, value] : patches[i])
                sql.push_back(L"INSERT INTO `MsiPatchMetadata` (`Company`, `Property`, `Value`) VALUES ('', '" +
                              property + L"', '" + value + L"')");
            m_bBuilt = BuildDatabase(package, sql, true) && (m_bBuilt || i == 0);
            const std::wstring patch = Squashed(kPatchCodes[i]);
            list += patch + L'\0';
            m_registry.SetString(kClasses + product + L"\\Patches", patch, L":velkor-test");
            m_registry.SetDword(kUserData + L"Products\\" + product + L"\\Patches\\" + patch, L"State", 1);
            m_registry.SetString(kUserData + L"Patches\\" + patch, L"LocalPackage", package);
        }
        m_registry.SetRaw(kClasses + product + L"\\Patches", L"Patches", REG_MULTI_SZ, list.c_str(),
                          static_cast<DWORD>((list.size() + 1) * sizeof(wchar_t)));
    }
    ~RecordedPatches() { RemoveDirectoryTree(m_folder); }
    bool Built() const { return m_bBuilt; }

private:
    inline static const std::wstring kClasses = L"Software\\Classes\\Installer\\Products\\";
    inline static const std::wstring kUserData =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\";
    inline static const wchar_t* const kPatchCodes[] = {L"{9A8B7C6D-5E4F-4A3B-8C2D-1E0F9A8B7C6E}",
                                                        L"{1B2C3D4E-5F60-4718-9A2B-3C4D5E6F7081}"};
    std::wstring m_folder;
    RegistryFixture m_registry;
    bool m_bBuilt = false;
};

TEST(AboutBox, ShowsTheProductAsTheInstallerRecordsIt)
{
    ASSERT_TRUE(EnsureInstalled()) << "msiexec did not install the test package";
    struct Case {
        const char* name;
        const wchar_t* productCode;
        std::vector<Metadata> patches;
        std::wstring productLine;
    };
    const Case cases[] = {
        {"installed package", kProductCode, {}, L"Velkor Test Suite (7.1.0.31)"},
        {"patched", kProductCode,
         {{{L"InternalVersion", L"7.1.1.2"}, {L"Reference", L"Hotfix 11"}},
          {{L"InternalVersion", L"7.1.2.5"}, {L"Reference", L"Hotfix 12"}}},
         L"Velkor Test Suite (7.1.2.5) - Hotfix 12"},
        {"patch without a version", kProductCode, {{{L"Reference", L"Hotfix 12"}}}, L"Velkor Test Suite (7.1.0.31)"},
        {"no package", kUnknownProduct, {}, L""},
    };
    for (const Case& c : cases) {
        RegistryFixture registry;
        registry.SetString(kInstallKey, L"ProductCode", c.productCode);
        RecordedPatches patches(c.patches);
        ASSERT_TRUE(c.patches.empty() || patches.Built()) << c.name;
        std::wstring line, text, title;
        auto holder = uidriver::ActOnDialog([&](HWND dialog) {
            uidriver::WaitIdle(dialog);
            line = uidriver::TextOf(GetDlgItem(dialog, IDC_ABOUT_PRODUCT));
            text = uidriver::TextOf(GetDlgItem(dialog, IDC_ABOUT_TEXT));
            title = uidriver::TextOf(dialog);
            Press(dialog, IDOK);
        });
        EXPECT_EQ(IDOK, ShowAbout(1, 0, L"Caller's own words")) << c.name;
        holder.join();
        EXPECT_EQ(c.productLine, line) << c.name;
        EXPECT_EQ(L"Caller's own words", text) << c.name;
        EXPECT_EQ(L"About Velkor", title) << c.name;
    }
}

// What the library asked the shell to open.
struct ShellRequest {
    int calls = 0;
    std::wstring file;
    int show = 0;
    bool hasVerbOrParameters = false;
};
ShellRequest g_request;

BOOL WINAPI RecordShellExecute(SHELLEXECUTEINFOW* info)
{
    ++g_request.calls;
    g_request.file = info->lpFile ? info->lpFile : L"";
    g_request.show = info->nShow;
    g_request.hasVerbOrParameters = info->lpVerb || info->lpParameters || info->lpDirectory;
    // An existing file would open in another program, a missing one in the
    // shell's own error box: the answer alone is given.
    if (GetFileAttributesW(info->lpFile) != INVALID_FILE_ATTRIBUTES)
        return TRUE;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

TEST(AboutBoxCredits, OpensTheLicenceFileTheInstallationNames)
{
    const std::wstring folder = MakeTempDirectory();
    const std::wstring licence = folder + L"\\third-party.txt";
    HANDLE file = CreateFileW(licence.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    ImportPatch patch(GetModuleHandleW(L"vk.velkor.gui.dll"), "shell32.dll", "ShellExecuteExW",
                      reinterpret_cast<void*>(&RecordShellExecute));
    ASSERT_NE(nullptr, patch.Original());

    struct Case {
        const char* name;
        bool set;
        std::wstring path;
        int calls;
    };
    const Case cases[] = {
        {"existing file", true, licence, 1},
        {"missing file", true, folder + L"\\missing.txt", 1},
        {"no value", false, L"", 0},
    };
    for (const Case& c : cases) {
        RegistryFixture registry;
        if (c.set)
            registry.SetString(kInstallKey, L"ThirdPartyLicenseFile", c.path);
        else
            registry.Remove(kInstallKey, L"ThirdPartyLicenseFile");
        g_request = {};
        LogCapture log;
        bool stayed = false;
        std::vector<int> order;
        auto holder = uidriver::ActOnDialog([&](HWND dialog) {
            // The keyboard alone: the box opens on OK, Credits is pressed
            // by its letter and Enter closes the box.
            order = TabOrder(dialog);
            PressAccessKey(dialog, L'C');
            stayed = IsWindowVisible(dialog);
            PressKey(dialog, VK_TAB);
            PressKey(dialog, VK_RETURN);
        });
        EXPECT_EQ(IDOK, ShowAbout(0, 0, nullptr)) << c.name;
        holder.join();
        EXPECT_TRUE(stayed) << c.name;
        EXPECT_EQ((std::vector<int>{IDOK, IDC_ABOUT_CREDITS}), order) << c.name;
        EXPECT_EQ(c.calls, g_request.calls) << c.name;
        if (c.calls) {
            EXPECT_EQ(c.path, g_request.file) << c.name;
            EXPECT_EQ(SW_SHOWNORMAL, g_request.show) << c.name;
            EXPECT_FALSE(g_request.hasVerbOrParameters) << c.name;
        }
        const bool failed = c.calls && GetFileAttributesW(c.path.c_str()) == INVALID_FILE_ATTRIBUTES;
        EXPECT_EQ(failed, log.Has(VKLOG_ERROR, L"ShellExecuteEx " + c.path + L" failed (2)")) << c.name;
    }
    RemoveDirectoryTree(folder);
}

} // namespace
