#include "dialogs/AboutDlg.h"

#include "base/Dpi.h"
#include "base/ExceptionBarrier.h"
#include "base/Foreground.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "qlreg.h"

#include "pinrc_ids.h"

#include <shellapi.h>

#include <vector>

namespace {

constexpr const wchar_t* kInstallKey = L"SOFTWARE\\Quellon\\Velkor";
constexpr REGSAM kRegistry64 = 0x100;
// The product code of the middleware's own installer, for an installation
// that did not record one.
constexpr const wchar_t* kDefaultProductCode = L"{5C7E2A91-3D4B-4F60-8E1A-9B0C2D3E4F51}";
// A package opened as a patch: the installer's read-only mode plus its patch flag.
const wchar_t* const kOpenPatchFile = reinterpret_cast<const wchar_t*>(static_cast<UINT_PTR>(0x20));
constexpr DWORD kInfoChars = 260;
constexpr UINT kNoMoreItems = ERROR_NO_MORE_ITEMS;

using MsiHandle = unsigned long;
using GetProductInfoFn = UINT(WINAPI*)(const wchar_t*, const wchar_t*, wchar_t*, DWORD*);
using EnumPatchesFn = UINT(WINAPI*)(const wchar_t*, DWORD, wchar_t*, wchar_t*, DWORD*);
using GetPatchInfoFn = UINT(WINAPI*)(const wchar_t*, const wchar_t*, wchar_t*, DWORD*);
using OpenDatabaseFn = UINT(WINAPI*)(const wchar_t*, const wchar_t*, MsiHandle*);
using DatabaseOpenViewFn = UINT(WINAPI*)(MsiHandle, const wchar_t*, MsiHandle*);
using ViewGetColumnInfoFn = UINT(WINAPI*)(MsiHandle, int, MsiHandle*);
using ViewExecuteFn = UINT(WINAPI*)(MsiHandle, MsiHandle);
using ViewFetchFn = UINT(WINAPI*)(MsiHandle, MsiHandle*);
using RecordGetStringFn = UINT(WINAPI*)(MsiHandle, UINT, wchar_t*, DWORD*);
using CloseHandleFn = UINT(WINAPI*)(MsiHandle);
using CloseAllHandlesFn = UINT(WINAPI*)();

template <class Function>
Function Lookup(HMODULE msi, const char* name, const wchar_t* logName)
{
    auto function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(msi, name)));
    if (!function)
        vklogLog(kGuiTag, VKLOG_ERROR, L"Unable to GetProcAddress for %s", logName);
    return function;
}

// The installer library, loaded while the box initializes.
class Installer {
public:
    Installer() : m_hModule(::LoadLibraryW(L"msi.dll")) {}
    ~Installer()
    {
        if (m_hModule)
            ::FreeLibrary(m_hModule);
    }
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;
    HMODULE Module() const { return m_hModule; }

    // A product or patch property read with `get`; false when it fails.
    static bool Info(GetProductInfoFn get, const wchar_t* code, const wchar_t* property, CSecStr& value)
    {
        std::vector<wchar_t> buffer(kInfoChars, L'\0');
        DWORD chars = kInfoChars;
        UINT status = get(code, property, buffer.data(), &chars);
        if (status == ERROR_MORE_DATA) {
            // The installer says how long the value is: ask again with room for it.
            buffer.assign(static_cast<size_t>(chars) + 1, L'\0');
            chars = static_cast<DWORD>(buffer.size());
            status = get(code, property, buffer.data(), &chars);
        }
        if (status != ERROR_SUCCESS)
            return false;
        value = CSecStr(buffer.data());
        return true;
    }

    // The first field of the row of `table` whose `keyColumn` is `key`, in
    // the package at `path` (opened as a patch when it is one).
    bool QueryPackage(const CSecStr& path, const wchar_t* table, const wchar_t* keyColumn, const wchar_t* key,
                      CSecStr& value) const
    {
        auto open = Lookup<OpenDatabaseFn>(m_hModule, "MsiOpenDatabaseW", L"MsiOpenDatabaseW");
        auto openView = Lookup<DatabaseOpenViewFn>(m_hModule, "MsiDatabaseOpenViewW", L"MsiDatabaseOpenViewW");
        auto columns = Lookup<ViewGetColumnInfoFn>(m_hModule, "MsiViewGetColumnInfo", L"MsiViewGetColumnInfo");
        auto execute = Lookup<ViewExecuteFn>(m_hModule, "MsiViewExecute", L"MsiViewExecute");
        auto fetch = Lookup<ViewFetchFn>(m_hModule, "MsiViewFetch", L"MsiViewFetch");
        auto getString = Lookup<RecordGetStringFn>(m_hModule, "MsiRecordGetStringW", L"MsiRecordGetStringW");
        auto close = Lookup<CloseHandleFn>(m_hModule, "MsiCloseHandle", L"MsiCloseHandle");
        auto closeAll = Lookup<CloseAllHandlesFn>(m_hModule, "MsiCloseAllHandles", L"MsiCloseAllHandles");
        if (!open || !openView || !columns || !execute || !fetch || !getString || !close || !closeAll)
            return false;

        const int length = path.GetLength();
        const bool isPatch = length >= 4 && path.Right(4).CompareNoCase(L".msp") == 0;
        MsiHandle database = 0;
        if (open(path, isPatch ? kOpenPatchFile : nullptr, &database) != ERROR_SUCCESS) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"Unable to open database!");
            return false;
        }
        CSecStr query;
        query.Format(L"SELECT `Value` FROM `%s` WHERE `%s` = '%s'", table, keyColumn, key);
        bool found = false;
        MsiHandle view = 0;
        if (openView(database, query, &view) == ERROR_SUCCESS) {
            MsiHandle names = 0;
            if (columns(view, 0 /* MSICOLINFO_NAMES */, &names) == ERROR_SUCCESS)
                close(names);
            MsiHandle record = 0;
            if (execute(view, 0) == ERROR_SUCCESS && fetch(view, &record) == ERROR_SUCCESS) {
                DWORD chars = 0;
                wchar_t probe[1] = {};
                UINT status = getString(record, 1, probe, &chars);
                if (status == ERROR_MORE_DATA || status == ERROR_SUCCESS) {
                    std::vector<wchar_t> buffer(static_cast<size_t>(chars) + 1, L'\0');
                    chars = static_cast<DWORD>(buffer.size());
                    if (getString(record, 1, buffer.data(), &chars) == ERROR_SUCCESS) {
                        value = CSecStr(buffer.data());
                        found = true;
                        vklogLog(kGuiTag, VKLOG_DETAIL, L"The value has been retreived from package.");
                    }
                }
                close(record);
            }
            close(view);
        }
        close(database);
        closeAll();
        return found;
    }

private:
    HMODULE m_hModule;
};

// The last patch of `product` whose package carries `property`.
bool PatchValue(const Installer& installer, const wchar_t* product, const wchar_t* property, CSecStr& value)
{
    auto enumPatches = Lookup<EnumPatchesFn>(installer.Module(), "MsiEnumPatchesW", L"MsiEnumPatchesW");
    auto patchInfo = Lookup<GetPatchInfoFn>(installer.Module(), "MsiGetPatchInfoW", L"MsiGetPatchInfoW");
    if (!enumPatches || !patchInfo)
        return false;
    bool found = false;
    DWORD index = 0;
    for (;; ++index) {
        wchar_t patch[39] = {};
        std::vector<wchar_t> transforms(kInfoChars, L'\0');
        DWORD transformChars = kInfoChars;
        UINT status = enumPatches(product, index, patch, transforms.data(), &transformChars);
        if (status == ERROR_MORE_DATA) {
            transforms.assign(static_cast<size_t>(transformChars) + 1, L'\0');
            transformChars = static_cast<DWORD>(transforms.size());
            status = enumPatches(product, index, patch, transforms.data(), &transformChars);
        }
        if (status != ERROR_SUCCESS)
            break;
        vklogLog(kGuiTag, VKLOG_INFO, L"Working with patch %d", static_cast<int>(index + 1));
        CSecStr package;
        if (!Installer::Info(patchInfo, patch, L"LocalPackage", package) || package.IsEmpty()) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"Unable to found local package for found patch!");
            continue;
        }
        CSecStr patchValue;
        if (installer.QueryPackage(package, L"MsiPatchMetadata", L"Property", property, patchValue)) {
            value = patchValue;
            found = true;
        } else {
            vklogLog(kGuiTag, VKLOG_ERROR, L"Unable to found value for local database package!");
        }
    }
    if (index == 0)
        vklogLog(kGuiTag, VKLOG_INFO, L"No patch found!");
    return found;
}

CSecStr ProductCode()
{
    wchar_t code[256] = {};
    DWORD bytes = sizeof(code);
    const LONG status =
        qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, kInstallKey, L"ProductCode", code, &bytes, kRegistry64);
    if (status != ERROR_SUCCESS || code[0] == L'\0') {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CAboutDlg::OnInitDialog: qlRegReadStringValueEx(%s, %s) failed with error code 0x%x",
                 kInstallKey, L"ProductCode", static_cast<unsigned>(status));
        vklogLog(kGuiTag, VKLOG_ERROR, L"Using default product code!");
        return CSecStr(kDefaultProductCode);
    }
    vklogLog(kGuiTag, VKLOG_INFO, L"CAboutDlg::OnInitDialog: qlRegReadStringValueEx(%s, %s) returned %s", kInstallKey,
             L"ProductCode", code);
    return CSecStr(code);
}

} // namespace

CAboutDlg::CAboutDlg(int paintBackground, const wchar_t* text)
    : CSecureDialog(IDD_ABOUT, nullptr), m_sText(text), m_nPaintBackground(paintBackground),
      m_hBackground(::CreateSolidBrush(::GetSysColor(COLOR_WINDOW)))
{
}

CAboutDlg::~CAboutDlg()
{
    if (m_hBackground)
        ::DeleteObject(m_hBackground);
}

INT_PTR CAboutDlg::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

CSecStr CAboutDlg::ProductLine() const
{
    Installer installer;
    if (!installer.Module()) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"LoadLibrary msi.dll failed!");
        return CSecStr();
    }
    const CSecStr code = ProductCode();
    auto productInfo = Lookup<GetProductInfoFn>(installer.Module(), "MsiGetProductInfoW", L"MsiGetProductInfoW");
    CSecStr name;
    CSecStr version;
    bool known = false;
    if (!productInfo) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"GetProcAddress MsiGetProductInfoA failed!");
    } else {
        const bool hasName = Installer::Info(productInfo, code, L"InstalledProductName", name);
        if (!hasName)
            vklogLog(kGuiTag, VKLOG_ERROR, L"Unable to retrieve product name!");
        const bool hasVersion = Installer::Info(productInfo, code, L"VersionString", version);
        if (!hasVersion)
            vklogLog(kGuiTag, VKLOG_ERROR, L"Unable to retrieve product version!");
        known = hasName && hasVersion;
    }
    if (!known) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"Unable to retrieve information from installed product!");
        return CSecStr();
    }
    CSecStr package;
    CSecStr packageVersion;
    if (Installer::Info(productInfo, code, L"LocalPackage", package) &&
        installer.QueryPackage(package, L"Property", L"Property", L"InternalVersion", packageVersion))
        version = packageVersion;
    else
        vklogLog(kGuiTag, VKLOG_ERROR, L"Unable to retrieve information from installed product database!");

    CSecStr reference;
    CSecStr patchVersion;
    if (PatchValue(installer, code, L"InternalVersion", patchVersion)) {
        version = patchVersion;
        if (!PatchValue(installer, code, L"Reference", reference))
            vklogLog(kGuiTag, VKLOG_ERROR, L"Unable to retrieve Reference from installed patches databases!");
    } else {
        vklogLog(kGuiTag, VKLOG_ERROR, L"Unable to retrieve InternalVersion from installed patches databases!");
    }
    CSecStr line = name + L" (" + version + L")";
    if (!reference.IsEmpty())
        line += CSecStr(L" - ") + reference;
    return line;
}

BOOL CAboutDlg::OnInitDialog()
{
    ScopedFunctionLog log(L"CAboutDlg::OnInitDialog");
    OnInitDialogSecure();
    SetWindowText(LoadResourceString(IDS_ABOUT_TITLE));
    ::SetDlgItemTextW(m_hWnd, IDC_ABOUT_PRODUCT, ProductLine());
    ::SetDlgItemTextW(m_hWnd, IDC_ABOUT_NOTICE, LoadResourceString(IDS_ABOUT_NOTICE));
    ::SetDlgItemTextW(m_hWnd, IDC_ABOUT_RIGHTS, LoadResourceString(IDS_ABOUT_RIGHTS));
    ::SetDlgItemTextW(m_hWnd, IDC_ABOUT_TEXT, m_sText);
    TakeForeground(m_hWnd);
    ::UpdateWindow(m_hWnd);
    // The box opens on OK, not on the first button: Enter then closes it,
    // where on Credits it would open the licence file.
    ::SetFocus(GetDlgItemHwnd(IDOK));
    return FALSE;
}

BOOL CAboutDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == IDC_ABOUT_CREDITS && HIWORD(wParam) == BN_CLICKED) {
        OnBnClickedCredits();
        return TRUE;
    }
    return CSecureDialog::OnCommand(wParam, lParam);
}

HBRUSH CAboutDlg::OnCtlColor(CDC* dc, CWnd* control, UINT kind)
{
    if (!m_nPaintBackground || !m_hBackground || !dc)
        return CSecureDialog::OnCtlColor(dc, control, kind);
    dc->SetBkColor(::GetSysColor(COLOR_WINDOW));
    dc->SetTextColor(::GetSysColor(COLOR_WINDOWTEXT));
    return m_hBackground;
}

void CAboutDlg::OnSysColorChange()
{
    if (m_hBackground)
        ::DeleteObject(m_hBackground);
    m_hBackground = ::CreateSolidBrush(::GetSysColor(COLOR_WINDOW));
    CSecureDialog::OnSysColorChange();
}

void CAboutDlg::OnBnClickedCredits()
{
    ScopedFunctionLog log(L"CAboutDlg::OnBnClickedCredits");
    wchar_t path[261] = {};
    DWORD bytes = sizeof(path);
    const LONG status =
        qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, kInstallKey, L"ThirdPartyLicenseFile", path, &bytes, kRegistry64);
    if (status != ERROR_SUCCESS) {
        vklogLog(kGuiTag, VKLOG_ERROR,
                 L"CAboutDlg::OnBnClickedCredits: qlRegReadStringValueEx(%s, %s) failed with error code 0x%x",
                 kInstallKey, L"ThirdPartyLicenseFile", static_cast<unsigned>(status));
        return;
    }
    vklogLog(kGuiTag, VKLOG_INFO, L"CAboutDlg::OnBnClickedCredits: qlRegReadStringValueEx(%s, %s) returned %s",
             kInstallKey, L"ThirdPartyLicenseFile", path);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.lpFile = path;
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info))
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShellExecuteEx %s failed (%d)", path, static_cast<int>(::GetLastError()));
}

extern "C" int ShowAbout(int backgroundFlag, int, const wchar_t* text)
try {
    ScopedFunctionLog log(L"ShowAbout");
    CAboutDlg dialog(backgroundFlag, text ? text : L"");
    const int result = static_cast<int>(dialog.DoModal());
    vklogLog(kGuiTag, result == -1 ? VKLOG_ERROR : VKLOG_INFO, L"ShowAbout: returns: %d", result);
    return result;
} catch (...) {
    return ExceptionFailure(kGuiTag, L"ShowAbout", -1);
}
