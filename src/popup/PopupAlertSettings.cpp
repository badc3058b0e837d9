// CPopupAlert's notification settings: whether a popup type is shown, how
// long it waits and which message it carries, from the policy registry.
#include "popup/PopupAlert.h"
#include "popup/PopupText.h"

#include "base/LibraryState.h"
#include "base/Log.h"

#include "WipingAllocator.h"
#include "pinrc_ids.h"
#include "qlreg.h"

#include <algorithm>
#include <vector>

namespace {

constexpr REGSAM kRegistry64 = 0x100;
constexpr const wchar_t* kNoReaderKey = L"Software\\Policies\\Quellon\\Velkor\\Notifications\\NoReaderWarning";
constexpr const wchar_t* kCardAlertKey =
    L"Software\\Policies\\Quellon\\Velkor\\Notifications\\SmartCardPresenceWarning";
constexpr const wchar_t* kAutoUpdateKey = L"Software\\Policies\\Quellon\\Velkor\\Notifications\\CardAutoUpdateWarning";
constexpr const wchar_t* kAgentKey = L"Software\\Policies\\Quellon\\Velkor\\SmartCardAgent";
constexpr DWORD kDefaultDurationSeconds = 5;
constexpr DWORD kDefaultOtpTimeoutMs = 10000;
constexpr DWORD kDefaultAutoUpdateMs = 5000;
// A policy message longer than this is not read (1 MiB of text).
constexpr DWORD kMaxMessageBytes = 1u << 20;

// The longest wait a timer can take, in whole seconds: a larger policy
// would wrap around to a short wait.
constexpr DWORD kMaxSeconds = USER_TIMER_MAXIMUM / 1000;

bool ReadDword(const wchar_t* key, const wchar_t* name, DWORD* value)
{
    return qlRegReadDWORDValueEx(HKEY_LOCAL_MACHINE, key, name, value, kRegistry64) == 0;
}

// A policy in seconds, in milliseconds; `fallbackMs` when it cannot be read.
DWORD ReadMilliseconds(const wchar_t* key, const wchar_t* name, DWORD fallbackMs)
{
    DWORD seconds = 0;
    if (!ReadDword(key, name, &seconds))
        return fallbackMs;
    return std::min(seconds, kMaxSeconds) * 1000;
}

// Reads a string policy of any length: the buffer grows until the value
// fits, and every buffer is wiped when it is let go.
LONG ReadPolicyString(const wchar_t* key, const wchar_t* name, CSecStr& text)
{
    std::vector<wchar_t, WipingAllocator<wchar_t>> buffer;
    for (DWORD bytes = 512; bytes <= kMaxMessageBytes; bytes *= 2) {
        std::vector<wchar_t, WipingAllocator<wchar_t>> larger(bytes / sizeof(wchar_t) + 1, L'\0');
        buffer.swap(larger);
        DWORD size = bytes;
        const LONG status = qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, key, name, buffer.data(), &size, kRegistry64);
        if (status == 0) {
            text = buffer.data();
            return 0;
        }
        if (status != ERROR_MORE_DATA)
            return status;
    }
    return ERROR_MORE_DATA;
}

} // namespace

bool CPopupAlert::GetRegistryParameters(CSecStr& csText, DWORD* pdwDuration, int iWndType)
{
    ScopedFunctionLog log(L"CPopupAlert::GetRegistryParameters");
    if (iWndType == DIALOG_POPUP_CARD_OTP) {
        if (!pdwDuration)
            return false;
        *pdwDuration = ReadMilliseconds(kAgentKey, L"OTPWindowTimeout", kDefaultOtpTimeoutMs);
        return true;
    }
    if (iWndType == DIALOG_POPUP_AUTOUPDATE_START) {
        csText = LoadResourceString(IDS_POPUP_AUTOUPDATE_TEXT);
        if (!pdwDuration)
            return false;
        *pdwDuration = ReadMilliseconds(kAutoUpdateKey, L"Duration", kDefaultAutoUpdateMs);
        return true;
    }

    const bool cardAlert = iWndType == DIALOG_POPUP_CARD_ALERT;
    const wchar_t* key = cardAlert ? kCardAlertKey : kNoReaderKey;
    CSecStr defaultText;
    if (iWndType == DIALOG_POPUP_NO_READER)
        defaultText = LoadResourceString(IDS_POPUP_NO_READER_DEFAULT);
    else if (cardAlert)
        defaultText = LoadResourceString(IDS_POPUP_CARD_ALERT_DEFAULT);

    DWORD dwDisable = 0;
    if (!ReadDword(key, L"Disable", &dwDisable))
        dwDisable = 0;
    DWORD dwDuration = 0;
    if (!ReadDword(key, L"Duration", &dwDuration) || dwDuration < 1)
        dwDuration = kDefaultDurationSeconds;
    dwDuration = std::min(dwDuration, kMaxSeconds);
    CSecStr message;
    const LONG status = ReadPolicyString(key, L"Message", message);
    if (status == 0 && !message.IsEmpty()) {
        vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::GetRegistryParameters: qlRegReadStringValueEx(%s, %s) succeeded",
                 key, L"Message");
    } else {
        vklogLog(kGuiTag, VKLOG_ERROR,
                 L"CPopupAlert::GetRegistryParameters: qlRegReadStringValueEx(%s, %s) failed with error code 0x%x", key,
                 L"Message", static_cast<unsigned>(status ? status : ERROR_FILE_NOT_FOUND));
        message = defaultText;
    }

    const bool shown = dwDisable == 0;
    if (shown) {
        if (pdwDuration)
            *pdwDuration = dwDuration * 1000;
        if ((m_iWndType == DIALOG_POPUP_NO_READER || m_iWndType == DIALOG_POPUP_CARD_ALERT) &&
            HasLinkMarkup(message)) {
            vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::GetRegistryParameters: Security pattern matched !");
            if (m_iWndType == DIALOG_POPUP_NO_READER) {
                vklogLog(kGuiTag, VKLOG_INFO,
                         L"CPopupAlert::GetRegistryParameters: Displaying default message DIALOG_POPUP_NO_READER");
                csText = LoadResourceString(IDS_POPUP_NO_READER_DEFAULT);
            } else {
                vklogLog(kGuiTag, VKLOG_INFO,
                         L"CPopupAlert::GetRegistryParameters: Displaying default message DIALOG_POPUP_CARD_ALERT");
                csText = LoadResourceString(IDS_POPUP_CARD_ALERT_DEFAULT);
            }
        } else {
            csText = message;
            ExpandLineBreaks(csText);
        }
    }
    message.Empty();
    vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::GetRegistryParameters: returning dwDisable = 0x%x", dwDisable);
    vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::GetRegistryParameters: returning dwDuration = 0x%x", dwDuration);
    vklogLog(kGuiTag, VKLOG_INFO, L"CPopupAlert::GetRegistryParameters: returning csText = %s", csText.GetString());
    return shown;
}
