#include "validity/CardExpiryNotifyDlg.h"

#include "base/Dpi.h"
#include "base/Foreground.h"
#include "base/HelpTopic.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "unlock/UnlockSupport.h"
#include "validity/CardDate.h"

#include "WipingAllocator.h"
#include "pinrc_ids.h"
#include "qlreg.h"

#include <ctime>
#include <cwchar>
#include <vector>

namespace {

constexpr const wchar_t* kCardValidityKey = L"Software\\Policies\\Quellon\\Velkor\\Notifications\\CardValidity";
constexpr const wchar_t* kSentenceValue = L"ValidityCheckSentence";
constexpr const wchar_t* kDateFormat = L"%m/%d/%y";
// A sentence longer than this is not read.
constexpr DWORD kMaxSentenceBytes = 64 * 1024;
constexpr DWORD kCancelWatchJoinMs = 30000;
constexpr UINT kMaxDaysDigits = 5;

CSecStr DateText(__int64 time)
{
    return CSecStr(LocalTimeText(time, kDateFormat).c_str());
}

// The sentence the administrator set, or empty.
CSecStr ReadValiditySentence()
{
    std::vector<wchar_t, WipingAllocator<wchar_t>> buffer;
    LONG status = ERROR_MORE_DATA;
    for (DWORD bytes = 512; status == ERROR_MORE_DATA && bytes <= kMaxSentenceBytes; bytes *= 2) {
        buffer.assign(bytes / sizeof(wchar_t), L'\0');
        DWORD size = bytes;
        status = qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, kCardValidityKey, kSentenceValue, buffer.data(), &size,
                                        KEY_WOW64_64KEY);
    }
    if (status != ERROR_SUCCESS) {
        vklogLog(kGuiTag, VKLOG_ERROR,
                 L"CCardExpiryNotifyDlg::OnInitDialog: qlRegReadStringValueEx(%s, %s) failed with error code 0x%x",
                 kCardValidityKey, kSentenceValue, static_cast<unsigned>(status));
        return CSecStr();
    }
    vklogLog(kGuiTag, VKLOG_DETAIL, L"CCardExpiryNotifyDlg::OnInitDialog: qlRegReadStringValueEx(%s, %s) succeeded",
             kCardValidityKey, kSentenceValue);
    return CSecStr(buffer.data());
}

} // namespace

DWORD WINAPI DetectCancelThreadProc(LPVOID pDialog)
{
    vklogLog(kGuiTag, VKLOG_DETAIL, L"DetectCancelThreadProc");
    auto* dialog = static_cast<CCardExpiryNotifyDlg*>(pDialog);
    if (!dialog)
        return 0;
    HANDLE cancel = dialog->m_info.GetCancelEvent();
    HANDLE stop = dialog->m_hStopEvent.get();
    // Without a cancel event there is only the dialog's own end to wait for.
    HANDLE events[2] = {stop, cancel};
    const DWORD count = cancel ? 2 : 1;
    const DWORD which = WaitForMultipleObjects(count, events, FALSE, INFINITE);
    if (which == WAIT_OBJECT_0 + 1) {
        vklogLog(kGuiTag, VKLOG_INFO, L"Cancel Event detected. Close the dialog");
        ::PostMessageW(dialog->m_hWnd, WM_COMMAND, IDCANCEL, 0);
    } else if (which == WAIT_FAILED) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"DetectCancelThreadProc: the wait failed (%u)", GetLastError());
    }
    return 0;
}

CCardExpiryNotifyDlg::CCardExpiryNotifyDlg(CWnd* parent, VKExpiryNotificationInfo& info)
    : VKDetectCardRemovedDlg(IDD_CARD_EXPIRY_NOTIFY, parent, info.GetReaderName()), m_info(info),
      m_workstationLocked(this)
{
    m_sDays.Format(L"%d", info.GetNbDaysForNotificationDelay());
}

CCardExpiryNotifyDlg::~CCardExpiryNotifyDlg()
{
    StopCancelWatch();
}

INT_PTR CCardExpiryNotifyDlg::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

void CCardExpiryNotifyDlg::OnContextualHelp()
{
    DoDisplayTopic(kHelpExpiryNotification);
}

void CCardExpiryNotifyDlg::DoDataExchange(CDataExchange* dx)
{
    DDX_TextSecure(dx, IDC_EXPIRY_DAYS_EDIT, m_sDays);
}

int CCardExpiryNotifyDlg::Scaled(int pixels) const
{
    // The card line's place and the steps the controls move by are given for
    // 96 DPI; the template's controls grow with the display's DPI.
    return ScaleForDpi(pixels, DpiOf(m_hWnd));
}

void CCardExpiryNotifyDlg::MoveControls(std::initializer_list<int> ids, int dy)
{
    for (int id : ids) {
        HWND control = GetDlgItemHwnd(id);
        if (!control)
            continue;
        RECT r;
        ::GetWindowRect(control, &r);
        ScreenToClient(&r);
        ::SetWindowPos(control, nullptr, r.left, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CCardExpiryNotifyDlg::ResizeBy(int dy)
{
    GrowWindow(m_hWnd, 0, dy);
}

void CCardExpiryNotifyDlg::SetDaysRange(int days)
{
    m_nCurrentDays = m_nMaxDays = days;
    m_spin.SendMessage(UDM_SETRANGE32, 0, days);
}

void CCardExpiryNotifyDlg::SetRemindDateLabel(const CSecStr& dateText)
{
    CSecStr label;
    label.Format(L"days before %s", dateText.GetString());
    vklogLog(kGuiTag, VKLOG_DETAIL, L"CCardExpiryNotifyDlg::OnInitDialog:tLabelRemindDate = [%s]", label.GetString());
    GetDlgItem(IDC_EXPIRY_DAYS_LABEL).SetWindowText(label);
}

void CCardExpiryNotifyDlg::StartCancelWatch()
{
    m_hStopEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_hStopEvent) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"CCardExpiryNotifyDlg::OnInitDialog: CreateEvent failed (%u)", GetLastError());
        return;
    }
    m_hCancelThread.reset(CreateThread(nullptr, 0, DetectCancelThreadProc, this, 0, nullptr));
    if (!m_hCancelThread)
        vklogLog(kGuiTag, VKLOG_ERROR, L"CCardExpiryNotifyDlg::OnInitDialog: CreateThread failed (%u)", GetLastError());
}

void CCardExpiryNotifyDlg::StopCancelWatch()
{
    if (m_hCancelThread) {
        SetEvent(m_hStopEvent.get());
        if (WaitForSingleObject(m_hCancelThread.get(), kCancelWatchJoinMs) != WAIT_OBJECT_0)
            vklogLog(kGuiTag, VKLOG_ERROR, L"CCardExpiryNotifyDlg::OnDestroy: the cancel watch did not end in time");
    }
    m_hCancelThread.reset();
    m_hStopEvent.reset();
}

bool CCardExpiryNotifyDlg::ShowCardLine(__int64 now)
{
    CTime expiry;
    m_info.MustDisplayCardExpiry(expiry);
    const CSecStr date = DateText(expiry.GetTime());
    SetRemindDateLabel(date);
    CSecStr line;
    const bool valid = expiry.GetTime() > now;
    if (valid) {
        const int days = static_cast<int>((expiry.GetTime() - now) / kSecondsPerDay);
        SetDaysRange(days);
        m_sDays.Format(L"%d", days);
        GetDlgItem(IDC_EXPIRY_DAYS_EDIT).SetWindowText(m_sDays);
        const CSecStr format = LoadResourceString(IDS_EXPIRY_CARD_EXPIRES);
        if (!format.IsEmpty())
            line.Format(format, date.GetString());
    } else {
        line = LoadResourceString(IDS_EXPIRY_CARD_EXPIRED);
    }
    m_hCardLine = ::CreateWindowExW(0, L"STATIC", line, WS_CHILD | WS_VISIBLE | SS_LEFT, Scaled(12), Scaled(80),
                                    Scaled(350), Scaled(20), m_hWnd, nullptr, nullptr, nullptr);
    if (m_hCardLine) {
        Guard(m_hCardLine);
        ::SendMessageW(m_hCardLine, WM_SETFONT, reinterpret_cast<WPARAM>(GetFont()), FALSE);
    }
    return valid;
}

bool CCardExpiryNotifyDlg::FillCertificateList(__int64 now, __int64& earliestValid, CSecStr& earliestText)
{
    bool allValid = true;
    m_imageList.reset(ImageList_Create(Scaled(16), Scaled(16), ILC_COLOR24 | ILC_MASK, 2, 0));
    if (m_imageList) {
        for (UINT icon : {IDI_CERT_VALID, IDI_CERT_EXPIRED}) {
            CIcon loaded;
            loaded.Attach(LoadIconForDpi(g_hResourceModule, icon, 16, DpiOf(m_hWnd)));
            ImageList_AddIcon(m_imageList.get(), loaded);
        }
        m_list.SendMessage(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(m_imageList.get()));
    }
    const CSecStr columns[2] = {LoadResourceString(IDS_EXPIRY_COLUMN_LABEL), LoadResourceString(IDS_EXPIRY_COLUMN_DATE)};
    const int widths[2] = {Scaled(192), Scaled(150)};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = widths[i];
        column.pszText = const_cast<wchar_t*>(columns[i].GetString());
        column.iSubItem = i;
        m_list.SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    const CSecStr expiredSuffix = LoadResourceString(IDS_EXPIRY_EXPIRED_SUFFIX);
    for (int i = 0, n = m_info.GetNbCertExpiryNotificationInfo(); i < n; ++i) {
        const VKCertificateExpiryNotificationInfo* entry = m_info.GetCertificateExpiryNotificationInfo(i);
        CSecStr date = DateText(entry->m_tExpiry);
        int image = 0;
        if (entry->m_tExpiry < now) {
            date += expiredSuffix;
            image = 1;
            allValid = false;
        } else if (earliestValid == kNoTime || entry->m_tExpiry < earliestValid) {
            earliestValid = entry->m_tExpiry;
            earliestText = date;
        }
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = i;
        item.pszText = const_cast<wchar_t*>(entry->m_sLabel.GetString());
        item.iImage = image;
        const int row = static_cast<int>(m_list.SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (row < 0)
            continue;
        LVITEMW dateItem = {};
        dateItem.iSubItem = 1;
        dateItem.pszText = const_cast<wchar_t*>(date.GetString());
        m_list.SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&dateItem));
    }
    return allValid;
}

void CCardExpiryNotifyDlg::EnterExpiredMode()
{
    for (int id : {IDC_EXPIRY_DAYS_EDIT, IDC_EXPIRY_DAYS_SPIN, IDC_EXPIRY_REMIND_RADIO, IDC_EXPIRY_DAYS_LABEL,
                   IDC_EXPIRY_DONT_REMIND_RADIO})
        GetDlgItem(id).ShowWindow(SW_HIDE);
    CWnd check = GetDlgItem(IDC_EXPIRY_DONT_REMIND_CHECK);
    check.ShowWindow(SW_SHOW);
    RECT r = {};
    check.GetWindowRect(&r);
    const int height = r.bottom - r.top;
    MoveControls({IDC_EXPIRY_DONT_REMIND_CHECK, IDOK, IDCANCEL, IDC_EXPIRY_FURTHER_TEXT}, -height);
    ResizeBy(-height);
    GetDlgItem(IDOK).ShowWindow(SW_HIDE);
    CWnd cancel = GetDlgItem(IDCANCEL);
    cancel.SetWindowText(LoadResourceString(IDS_EXPIRY_CLOSE));
    // The default push button is hidden: Enter must close, not confirm.
    SendMessage(DM_SETDEFID, IDCANCEL);
    cancel.SetFocus();
}

BOOL CCardExpiryNotifyDlg::OnInitDialog()
{
    ScopedFunctionLog log(L"CCardExpiryNotifyDlg::OnInitDialog");
    VKDetectCardRemovedDlg::OnInitDialog();
    if (HFONT font = GetDlgItem(IDC_EXPIRY_HEADING).GetFont()) {
        LOGFONTW lf = {};
        if (GetObjectW(font, sizeof lf, &lf)) {
            lf.lfWidth = 0;
            lf.lfWeight = FW_BOLD;
            m_fontBold.CreateFontIndirect(&lf);
        }
    }
    StartCancelWatch();

    const __int64 now = _time64(nullptr);
    m_spin = GetDlgItem(IDC_EXPIRY_DAYS_SPIN);
    m_list = GetDlgItem(IDC_EXPIRY_CERT_LIST);
    m_spin.SendMessage(UDM_SETBUDDY, reinterpret_cast<WPARAM>(GetDlgItemHwnd(IDC_EXPIRY_DAYS_EDIT)));
    // Days never need more digits than this; a longer text would not read as a number.
    CEdit(GetDlgItemHwnd(IDC_EXPIRY_DAYS_EDIT)).SetLimitText(kMaxDaysDigits);
    SetDaysRange(m_info.GetNbDaysForNotificationDelay());
    CButton(GetDlgItemHwnd(IDC_EXPIRY_REMIND_RADIO)).SetCheck(BST_CHECKED);

    CTime unused;
    const bool hasCardLine = m_info.MustDisplayCardExpiry(unused) != 0;
    bool expired = hasCardLine && !ShowCardLine(now);

    CSecStr sentence = ReadValiditySentence();
    if (sentence.IsEmpty())
        sentence = LoadResourceString(IDS_EXPIRY_DEFAULT_SENTENCE);
    GetDlgItem(IDC_EXPIRY_SENTENCE).SetWindowText(sentence);

    if (hasCardLine) {
        ResizeBy(Scaled(30));
        MoveControls({IDC_EXPIRY_REMIND_RADIO, IDC_EXPIRY_DAYS_EDIT, IDC_EXPIRY_DAYS_SPIN, IDOK, IDCANCEL,
                      IDC_EXPIRY_CERT_CAPTION, IDC_EXPIRY_CERT_LIST, IDC_EXPIRY_FURTHER_TEXT, IDC_EXPIRY_DAYS_LABEL,
                      IDC_EXPIRY_DONT_REMIND_RADIO, IDC_EXPIRY_DONT_REMIND_CHECK},
                     Scaled(30));
    }
    __int64 earliestValid = kNoTime;
    CSecStr earliestText;
    if (m_info.GetNbCertExpiryNotificationInfo() == 0) {
        RECT r = {};
        m_list.GetWindowRect(&r);
        const int h = r.bottom - r.top + Scaled(20);
        MoveControls({IDC_EXPIRY_REMIND_RADIO, IDC_EXPIRY_DAYS_LABEL, IDC_EXPIRY_DAYS_EDIT, IDC_EXPIRY_DAYS_SPIN, IDOK,
                      IDCANCEL, IDC_EXPIRY_FURTHER_TEXT, IDC_EXPIRY_DONT_REMIND_RADIO, IDC_EXPIRY_DONT_REMIND_CHECK},
                     -h);
        m_list.ShowWindow(SW_HIDE);
        GetDlgItem(IDC_EXPIRY_CERT_CAPTION).ShowWindow(SW_HIDE);
        ResizeBy(-h);
    } else if (!FillCertificateList(now, earliestValid, earliestText)) {
        expired = true;
    }
    GetDlgItem(IDC_EXPIRY_HEADING).SetFont(m_fontBold);

    BringToFront(m_hWnd);
    if (expired) {
        EnterExpiredMode();
        return FALSE;
    }
    if (earliestValid != kNoTime) {
        const int days = static_cast<int>((earliestValid - now) / kSecondsPerDay);
        SetDaysRange(days);
        SetRemindDateLabel(earliestText);
        m_sDays.Format(L"%d", days);
        GetDlgItem(IDC_EXPIRY_DAYS_EDIT).SetWindowText(m_sDays);
    }
    GetDlgItem(IDC_EXPIRY_DONT_REMIND_CHECK).ShowWindow(SW_HIDE);
    return TRUE;
}

BOOL CCardExpiryNotifyDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (code == BN_CLICKED && (id == IDC_EXPIRY_REMIND_RADIO || id == IDC_EXPIRY_DONT_REMIND_RADIO)) {
        OnRadioClicked();
        return TRUE;
    }
    if (code == EN_CHANGE && id == IDC_EXPIRY_DAYS_EDIT) {
        OnDaysChanged();
        return TRUE;
    }
    if (code == BN_CLICKED && id == IDC_EXPIRY_DONT_REMIND_CHECK) {
        vklogLog(kGuiTag, VKLOG_DETAIL, L"The checkbox \"Do not remind me\" is visible");
        m_bDontRemindMe = CButton(GetDlgItemHwnd(IDC_EXPIRY_DONT_REMIND_CHECK)).GetCheck() == BST_CHECKED;
        vklogLog(kGuiTag, VKLOG_DETAIL,
                 m_bDontRemindMe ? L"And this checkbox is checked" : L"but this checkbox is unchecked");
        return TRUE;
    }
    return VKDetectCardRemovedDlg::OnCommand(wParam, lParam);
}

void CCardExpiryNotifyDlg::OnRadioClicked()
{
    const BOOL remind = CButton(GetDlgItemHwnd(IDC_EXPIRY_REMIND_RADIO)).GetCheck() == BST_CHECKED;
    GetDlgItem(IDC_EXPIRY_DAYS_EDIT).EnableWindow(remind);
    m_spin.EnableWindow(remind);
}

void CCardExpiryNotifyDlg::OnDaysChanged()
{
    const CSecStr text = ReadEdit(IDC_EXPIRY_DAYS_EDIT);
    const int days = _wtoi(text.GetString());
    if (days > m_nMaxDays) {
        CSecStr current;
        current.Format(L"%d", m_nCurrentDays);
        GetDlgItem(IDC_EXPIRY_DAYS_EDIT).SetWindowText(current);
    } else {
        m_nCurrentDays = days;
    }
}

void CCardExpiryNotifyDlg::OnOK()
{
    HWND radio = GetDlgItemHwnd(IDC_EXPIRY_DONT_REMIND_RADIO);
    if (radio && ::IsWindowVisible(radio)) {
        vklogLog(kGuiTag, VKLOG_DETAIL, L"The radiobutton \"Do not remind me\" is visible");
        if (CButton(radio).GetCheck() == BST_CHECKED) {
            vklogLog(kGuiTag, VKLOG_DETAIL, L"And this radiobutton is checked");
            m_bDontRemindMe = 1;
            m_sDays = L"0";
            UpdateData(FALSE);
        } else {
            vklogLog(kGuiTag, VKLOG_DETAIL, L"but this radiobutton is unchecked");
            m_bDontRemindMe = 0;
        }
    }
    VKDetectCardRemovedDlg::OnOK();
}

void CCardExpiryNotifyDlg::OnDestroy()
{
    StopCancelWatch();
    if (m_hCardLine)
        ::DestroyWindow(m_hCardLine);
    m_hCardLine = nullptr;
    VKDetectCardRemovedDlg::OnDestroy();
}
