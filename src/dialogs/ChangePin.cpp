// GetChangePINInfoFromUser: the current and new PIN, checked live against
// the PIN rules, copied into the caller's buffers.
#include "base/ExceptionBarrier.h"
#include "base/Log.h"
#include "base/VelkorExports.h"
#include "dialogs/ChangePINDialogMain.h"

#include "WipingAllocator.h"
#include "qlreg.h"

#include <cwchar>

namespace {

constexpr const wchar_t* kChangePinPolicies = L"Software\\Policies\\Quellon\\Velkor\\ChangePINPolicies";

bool PolicyIsOn(const wchar_t* name)
{
    DWORD value = 0;
    return qlRegReadDWORDValueEx(HKEY_LOCAL_MACHINE, kChangePinPolicies, name, &value, KEY_WOW64_64KEY) == 0 &&
           value == 1;
}

// Copies a PIN into a caller's buffer of kMaxPinChars + 1 characters.
void CopyOut(const CSecStr& pin, wchar_t* out, int* outLength)
{
    int length = pin.GetLength();
    if (length > CChangePINDialog::kMaxPinChars)
        length = CChangePINDialog::kMaxPinChars;
    if (out) {
        wmemcpy(out, pin, static_cast<size_t>(length));
        out[length] = L'\0';
    }
    if (outLength)
        *outLength = length;
}

// Reads both PINs out of a page, wiping the copies taken on the way.
void HandOverPins(CChangePINDialog& page, wchar_t* newPin, int* newPinLength, wchar_t* currentPin,
                  int* currentPinLength)
{
    CSecStr current = page.CurrentPin();
    CopyOut(current, currentPin, currentPinLength);
    current.Empty();
    CSecStr fresh = page.NewPin();
    CopyOut(fresh, newPin, newPinLength);
    fresh.Empty();
}

int Result(int result)
{
    vklogLog(kGuiTag, result == -1 ? VKLOG_ERROR : VKLOG_INFO, L"GetChangePINInfoFromUser: returns: %d", result);
    vklogLog(kGuiTag, VKLOG_EXIT, L"GetChangePINInfoFromUser");
    return result;
}

} // namespace

extern "C" int GetChangePINInfoFromUser(int numericOnly, int weakPINAllowed, int minLength, int maxLength,
                                        int firstUse, int lastTry, wchar_t* newPin, int* newPinLength,
                                        wchar_t* currentPin, int* currentPinLength, const wchar_t* reader,
                                        HWND parent, bool askCurrentPin, ChangePinTimerCallback timerCallback,
                                        void* timerArgument, unsigned int timerPeriod)
try {
    vklogLog(kGuiTag, VKLOG_ENTRY, L"GetChangePINInfoFromUser");
    if (!newPin || !newPinLength || !currentPin || !currentPinLength) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"GetChangePINInfoFromUser: no place to return the PINs");
        return Result(-1);
    }
    if (lastTry) {
        if (int answer = DisplayLastPINTry(reader))
            return Result(answer);
    }

    // A page open in the caller's own dialog answers without a dialog of its
    // own. Which dialog holds a page is asked of its window now: a page built
    // before its dialog had a window was given no owner that could tell.
    CChangePINDialog* open = nullptr;
    if (parent)
        for (CChangePINDialog* page : CChangePINDialog::Pages())
            if (page->m_hWnd && ::IsWindow(page->m_hWnd) && ::GetParent(page->m_hWnd) == parent)
                open = page;
    if (open) {
        CSecStr scratch = open->NewPin();
        bool holds = open->VerifyAndUpdateAllPolicies(scratch);
        scratch.Empty();
        if (!holds)
            return Result(-1);
        HandOverPins(*open, newPin, newPinLength, currentPin, currentPinLength);
        return Result(0);
    }

    PwdRuleArgs rules = {};
    rules.bNumericOnly = numericOnly;
    rules.bWeakPINAllowed = weakPINAllowed;
    rules.nMinPINLen = minLength;
    rules.nMaxPINLen = maxLength;
    rules.bPreventSamePIN = PolicyIsOn(L"PreventSamePINChange") ? 1 : 0;
    vklogLog(kGuiTag, VKLOG_INFO, L"GetChangePINInfoFromUser: bPreventSamePIN = 0x%x", rules.bPreventSamePIN);
    rules.bDisableCancel = PolicyIsOn(L"DisableCancelChangePINatFirstUse") && firstUse == 1 ? 1 : 0;
    vklogLog(kGuiTag, VKLOG_INFO, L"GetChangePINInfoFromUser: DisableCancelChangePINatFirstUse = 0x%x",
             rules.bDisableCancel);

    CWnd owner(parent);
    CChangePINDialogMain frame(parent ? &owner : nullptr, rules, askCurrentPin, reader, timerCallback, timerArgument,
                               timerPeriod);
    int result = -1;
    if (frame.DoModal() == IDOK && frame.Page()) {
        HandOverPins(*frame.Page(), newPin, newPinLength, currentPin, currentPinLength);
        result = 0;
    }
    return Result(result);
} catch (...) {
    return ExceptionFailure(kGuiTag, L"GetChangePINInfoFromUser", -1);
}
