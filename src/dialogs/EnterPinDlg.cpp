#include "dialogs/EnterPinDlg.h"

#include "base/Dpi.h"
#include "base/Foreground.h"
#include "base/HelpTopic.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "dialogs/PinPromptSupport.h"

#include "pinrc_ids.h"
#include "qlreg.h"

namespace {

constexpr const wchar_t* kPinPoliciesKey = L"Software\\Policies\\Quellon\\Velkor\\PINPolicies";
constexpr UINT_PTR kKeepAliveTimer = 1;

// A policy switch is on only when it can be read and is exactly 1.
bool PolicyIsOn(const wchar_t* name)
{
    DWORD value = 0;
    return qlRegReadDWORDValueEx(HKEY_LOCAL_MACHINE, kPinPoliciesKey, name, &value, KEY_WOW64_64KEY) == 0 &&
           value == 1;
}

} // namespace

CEnterPinDlg::CEnterPinDlg(CWnd* parent, const wchar_t* reader, int minLength, int maxLength,
                           PinTimerCallback timerCallback, void* timerArgument, unsigned int timerPeriod)
    : VKDetectCardRemovedDlg(IDD_ENTER_PIN, parent, reader), m_nMinLength(minLength), m_nMaxLength(maxLength),
      m_workstationLocked(this), m_pfnTimerCallback(timerCallback), m_pTimerArgument(timerArgument),
      m_uTimerPeriod(timerPeriod)
{
    ScopedFunctionLog log(L"CEnterPinDlg");
    vklogLog(kGuiTag, VKLOG_INFO, L"CEnterPinDlg: pParent = %x, Reader = %s", HandleBits(parent ? parent->m_hWnd : nullptr),
             m_sReaderName.GetString());
}

CEnterPinDlg::~CEnterPinDlg()
{
    m_sPin.Empty();
}

INT_PTR CEnterPinDlg::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

void CEnterPinDlg::OnModalStep(ModalStep step, HINSTANCE instance, HWND owner)
{
    LogModalStep(L"CEnterPinDlg", *this, step, instance, owner);
}

CSecStr CEnterPinDlg::GetPinValue()
{
    vklogLog(kGuiTag, VKLOG_DETAIL, L"CEnterPinDlg::GetPinValue");
    return m_sPin;
}

void CEnterPinDlg::DoDataExchange(CDataExchange* dx)
{
    DDX_Control(dx, IDC_PIN_EDIT, m_editPin);
    DDX_TextSecure(dx, IDC_PIN_EDIT, m_sPin);
}

BOOL CEnterPinDlg::OnInitDialog()
{
    ScopedFunctionLog log(L"CEnterPinDlg::OnInitDialog");
    VKDetectCardRemovedDlg::OnInitDialog();
    if (CSecStr prompt = CustomPinPrompt(); !prompt.IsEmpty())
        ::SetWindowTextW(GetDlgItemHwnd(IDC_PIN_PROMPT), prompt);
    InsertBrandingBitmap(*this, m_banners, L"CEnterPinDlg");
    BringToFront(m_hWnd);
    OnEnChangeEditPassword();
    if (m_pfnTimerCallback && m_uTimerPeriod != 0)
        SetTimer(kKeepAliveTimer, m_uTimerPeriod);
    return TRUE;
}

BOOL CEnterPinDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == IDC_PIN_EDIT && HIWORD(wParam) == EN_CHANGE) {
        OnEnChangeEditPassword();
        return TRUE;
    }
    return VKDetectCardRemovedDlg::OnCommand(wParam, lParam);
}

void CEnterPinDlg::OnEnChangeEditPassword()
{
    vklogLog(kGuiTag, VKLOG_DETAIL, L"CEnterPinDlg::OnEnChangeEditPassword:BEG");
    UpdateData(TRUE);
    const bool preventSmall = PolicyIsOn(L"PreventSmallPINEntry");
    const bool enableLarge = PolicyIsOn(L"EnableLargePINEntry");
    vklogLog(kGuiTag, VKLOG_INFO, L"CEnterPinDlg::OnEnChangeEditPassword: bPreventSmallPINEntry = 0x%x", preventSmall);
    vklogLog(kGuiTag, VKLOG_INFO, L"CEnterPinDlg::OnEnChangeEditPassword: bEnableLargePINEntry = 0x%x", enableLarge);
    const int length = m_sPin.GetLength();
    bool ok = true;
    if (preventSmall && length < m_nMinLength)
        ok = false;
    if (!enableLarge && length > m_nMaxLength)
        ok = false;
    ::EnableWindow(GetDlgItemHwnd(IDOK), ok);
    vklogLog(kGuiTag, VKLOG_DETAIL, L"CEnterPinDlg::OnEnChangeEditPassword:END");
}

void CEnterPinDlg::OnMove(int x, int y)
{
    VKDetectCardRemovedDlg::OnMove(x, y);
    m_editPin.ResetToolTip();
}

void CEnterPinDlg::OnTimer(UINT_PTR id)
{
    ScopedFunctionLog log(L"CEnterPinDlg::OnTimer");
    // Only our own timer keeps the card alive, not a timer message anyone posts.
    if (id == kKeepAliveTimer && m_pfnTimerCallback)
        m_pfnTimerCallback(m_pTimerArgument);
}

void CEnterPinDlg::OnContextualHelp()
{
    DoDisplayTopic(kHelpPin);
}
