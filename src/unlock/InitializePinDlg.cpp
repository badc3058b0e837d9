#include "unlock/InitializePinDlg.h"

#include "base/Dpi.h"
#include "base/Foreground.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "base/NotifyEvent.h"
#include "base/VelkorExports.h"
#include "policies/VKPoliciesDlg.h"
#include "unlock/DisplayUnlockCodeDlg.h"
#include "unlock/UnlockOutcomeDlgs.h"
#include "unlock/UnlockSupport.h"

#include "pinrc_ids.h"
#include "qlreg.h"

#include <initializer_list>
#include <new>

namespace {

constexpr UINT kDisplayPolicies = WM_USER + 1;
constexpr uint32_t kDefaults[9] = {4, 25, 6, 0, 6, 0, 0, 0, 1};

// Field 8 says whether letters are allowed (1) or the first PIN must be
// digits only (anything else). Its default comes from "PreventAlphaPIN" of
// the PIN-initialization policies, read the way the same name is read under
// the PIN policies: exactly 1 forbids letters; any other value, or none,
// allows them.
uint32_t LettersPolicy()
{
    DWORD value = 0;
    const bool preventAlpha =
        qlRegReadDWORDValueEx(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Quellon\\Velkor\\PINInitializationPolicies",
                              L"PreventAlphaPIN", &value, KEY_WOW64_64KEY) == 0 &&
        value == 1;
    return preventAlpha ? 0 : 1;
}

// The host's get callback takes the code by reference, the display's by
// pointer: these carry the host's context and callbacks across, so that
// each is called with its own type.
struct HostCodeCallbacks {
    void* context;
    InitGetCodeCallback getCode;
    InitRemoveCodeCallback removeCode;
};

int GetThroughHost(void* callbacks, CSecStr* code)
{
    auto* host = static_cast<HostCodeCallbacks*>(callbacks);
    return code ? host->getCode(host->context, *code) : -1;
}

int RemoveThroughHost(void* callbacks)
{
    auto* host = static_cast<HostCodeCallbacks*>(callbacks);
    return host->removeCode(host->context);
}

} // namespace

CInitializePinDlg::CInitializePinDlg(CWnd* parent, PINPolicies* policies, void* context, InitPinCallback initPin,
                                     InitRemoveCodeCallback removeCode, InitGetCodeCallback getCode,
                                     const wchar_t* readerName)
    : VKDetectCardRemovedDlg(IDD_INIT_PIN, parent, readerName), m_pContext(context), m_pfnInitPin(initPin),
      m_pfnRemoveCode(removeCode), m_pfnGetCode(getCode)
{
    for (int i = 0; i < 9; ++i)
        m_policies.fields[i] = kDefaults[i];
    m_policies.fields[8] = LettersPolicy();
    if (policies)
        for (int i = 0; i < 9; ++i)
            if (policies->fields[i] != kPolicyDefault)
                m_policies.fields[i] = policies->fields[i];
}

CInitializePinDlg::~CInitializePinDlg()
{
    m_sNewPin.Empty();
    m_sConfirm.Empty();
}

INT_PTR CInitializePinDlg::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

void CInitializePinDlg::DoDataExchange(CDataExchange* dx)
{
    DDX_Control(dx, IDC_INIT_NEW_PIN_EDIT, m_editNewPin);
    DDX_Control(dx, IDC_INIT_CONFIRM_EDIT, m_editConfirm);
    DDX_TextSecure(dx, IDC_INIT_NEW_PIN_EDIT, m_sNewPin);
    DDX_TextSecure(dx, IDC_INIT_CONFIRM_EDIT, m_sConfirm);
}

BOOL CInitializePinDlg::OnInitDialog()
{
    VKDetectCardRemovedDlg::OnInitDialog();
    MakeHeadingBold(*this, IDC_OUTCOME_HEADING, m_fontBold);
    SetSmallIcon(*this, IDI_PIN_INIT, m_hIcon);
    ::SendMessageW(GetDlgItemHwnd(IDC_INIT_NEW_PIN_EDIT), EM_SETPASSWORDCHAR, L'*', 0);
    ::SendMessageW(GetDlgItemHwnd(IDC_INIT_CONFIRM_EDIT), EM_SETPASSWORDCHAR, L'*', 0);
    SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    TakeForeground(m_hWnd);
    PostMessage(kDisplayPolicies);
    return TRUE;
}

void CInitializePinDlg::MoveUpWindow(int id, int dy)
{
    OffsetChild(GetDlgItemHwnd(id), -dy);
}

LRESULT CInitializePinDlg::OnDisplayPINPolicies()
{
    HWND placeholder = GetDlgItemHwnd(IDC_INIT_POLICIES_PLACEHOLDER);
    if (!m_pPoliciesDlg && placeholder) {
        const uint32_t* f = m_policies.fields;
        PwdRuleArgs record = {f[8] != 1, f[6] == 1, 0, static_cast<int32_t>(f[0]), static_cast<int32_t>(f[1]), 0};
        RECT spot = ChildRect(placeholder);
        m_pPoliciesDlg.reset(new (std::nothrow) VKPoliciesDlg(&record, 0, &spot, this, 10, 20, 10));
        if (m_pPoliciesDlg && m_pPoliciesDlg->LocCreate(this)) {
            RECT panel;
            m_pPoliciesDlg->GetWindowRect(&panel);
            const int h = panel.bottom - panel.top;
            if (h > 0) {
                GrowWindow(m_hWnd, 0, h);
                MoveUpWindow(IDOK, -h);
                MoveUpWindow(IDCANCEL, -h);
            }
        } else {
            m_pPoliciesDlg.reset();
        }
    }
    if (m_pPoliciesDlg) {
        m_pPoliciesDlg->VerifyAndUpdatePolicies(CSecStr(), CSecStr(), CSecStr(), CSecStr());
        m_pPoliciesDlg->ShowWindow(SW_SHOW);
    }
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    return 0;
}

void CInitializePinDlg::OnChangeEditNewPin()
{
    UpdateData(TRUE);
    bool valid = false;
    if (m_pPoliciesDlg) {
        valid = m_pPoliciesDlg->VerifyAndUpdatePolicies(CSecStr(), m_sNewPin, m_sNewPin, m_sConfirm);
        m_pPoliciesDlg->RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    ::EnableWindow(GetDlgItemHwnd(IDOK), valid);
}

BOOL CInitializePinDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) == EN_CHANGE &&
        (LOWORD(wParam) == IDC_INIT_NEW_PIN_EDIT || LOWORD(wParam) == IDC_INIT_CONFIRM_EDIT)) {
        OnChangeEditNewPin();
        return TRUE;
    }
    return VKDetectCardRemovedDlg::OnCommand(wParam, lParam);
}

void CInitializePinDlg::OnOK()
{
    if (!::IsWindowEnabled(GetDlgItemHwnd(IDOK)))
        return;
    UpdateData(TRUE);
    int status = -1;
    {
        HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        const uint32_t* f = m_policies.fields;
        if (m_pfnInitPin)
            status = m_pfnInitPin(m_pContext, m_sNewPin, static_cast<int>(f[0]), static_cast<int>(f[1]),
                                  static_cast<int>(f[2]), static_cast<int>(f[6]), static_cast<int>(f[7]),
                                  static_cast<int>(f[4]));
        SetCursor(previous);
    }
    if (status == 0) {
        m_sNewPin.Empty();
        m_sConfirm.Empty();
        StopDetectingRemoveEvent();
        HostCodeCallbacks host{m_pContext, m_pfnGetCode, m_pfnRemoveCode};
        DisplayUnlockCode(this, &host, m_pfnGetCode ? GetThroughHost : nullptr,
                          m_pfnRemoveCode ? RemoveThroughHost : nullptr, m_sReaderName);
        NotifyEvent(kEventPinInitialized, m_sReaderName, reinterpret_cast<WPARAM>(m_hWnd));
        EndDialog(IDOK);
        return;
    }
    CSecStr text;
    text.Format(LoadResourceString(IDS_INIT_PIN_FAILED), GetErrorString(status));
    CUnlockFailedDlg(this, text, 1).DoModal();
}

void CInitializePinDlg::ResetToolTip()
{
    m_editNewPin.ResetToolTip();
    m_editConfirm.ResetToolTip();
}

void CInitializePinDlg::OnMove(int x, int y)
{
    VKDetectCardRemovedDlg::OnMove(x, y);
    ResetToolTip();
}

bool CInitializePinDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == kDisplayPolicies) {
        result = OnDisplayPINPolicies();
        return true;
    }
    return VKDetectCardRemovedDlg::OnMessage(msg, wParam, lParam, result);
}
