// The PIN prompt entry points: GetPINFromUser and ShowPINAlwaysPrompt.
#include "base/ExceptionBarrier.h"
#include "base/Foreground.h"
#include "base/Log.h"
#include "base/VelkorExports.h"
#include "dialogs/EnterPinDlg.h"
#include "dialogs/PINAlwaysPromptDlg.h"
#include "dialogs/PinPromptSupport.h"

#include "WipingAllocator.h"

#include <cstdlib>

namespace {

int LogResult(const wchar_t* function, int result)
{
    vklogLog(kGuiTag, result == -1 ? VKLOG_ERROR : VKLOG_INFO, L"%s: returns: %d", function, result);
    vklogLog(kGuiTag, VKLOG_EXIT, L"%s", function);
    return result;
}

// Flags for the PIN's conversion to the system code page. A character the
// code page lacks becomes its default character, never a look-alike letter
// ("ä" would otherwise become "a" on code page 932 and weaken the PIN).
// UTF-8 takes no such flag.
DWORD NoBestFit(UINT codePage)
{
    return codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
}

// Converts the PIN to the system code page into a new heap buffer for the
// caller, then wipes the wide PIN. A character may take several bytes (two
// on code pages 932 and 936), so the buffer is sized by the conversion
// itself and the caller gets the byte count it reports, followed by a zero
// byte that the count leaves out. 0, or -1 when the buffer cannot be had.
int HandOverPin(CSecStr& pin, char** out, int* outLength)
{
    const int n = pin.GetLength();
    if (n == 0) {
        vklogLog(kGuiTag, VKLOG_INFO, L"GetPINFromUser: PIN empty");
        *outLength = 0;
        *out = nullptr;
        return 0;
    }
    const UINT codePage = GetACP();
    const DWORD flags = NoBestFit(codePage);
    BOOL lossy = FALSE;
    BOOL* lossyOut = codePage == CP_UTF8 ? nullptr : &lossy;
    int result = -1;
    const int bytes = WideCharToMultiByte(codePage, flags, pin, n, nullptr, 0, nullptr, nullptr);
    auto* buffer = bytes > 0 ? static_cast<char*>(malloc(static_cast<size_t>(bytes) + 1)) : nullptr;
    if (bytes <= 0) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"GetPINFromUser: the PIN cannot be converted to code page %u (0x%x)",
                 codePage, GetLastError());
    } else if (!buffer) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"GetPINFromUser: PIN buffer allocation failed");
    } else {
        const int written = WideCharToMultiByte(codePage, flags, pin, n, buffer, bytes, nullptr, lossyOut);
        if (written <= 0) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"GetPINFromUser: the PIN cannot be converted to code page %u (0x%x)",
                     codePage, GetLastError());
            SecureWipe(buffer, static_cast<size_t>(bytes) + 1);
            free(buffer);
        } else {
            if (lossy)
                vklogLog(kGuiTag, VKLOG_INFO,
                         L"GetPINFromUser: the PIN has characters code page %u lacks; they go as its default character",
                         codePage);
            buffer[written] = '\0';
            *outLength = written;
            *out = buffer;
            result = 0;
        }
    }
    SecureWipe(pin.GetBuffer(), static_cast<size_t>(n) * sizeof(wchar_t));
    pin.Empty();
    return result;
}

// Takes the one slot the PIN prompts share, unless the workstation is
// locked or a prompt is open already; gives it back when it goes.
class PromptSlot {
public:
    // `function` and `action` name the caller in the log ("GetPINFromUser",
    // "Enter PIN action").
    PromptSlot(const wchar_t* function, const wchar_t* action)
    {
        vklogLog(kGuiTag, VKLOG_INFO, L"%s: check if workstation is locked", function);
        if (IsWorkstationLocked()) {
            vklogLog(kGuiTag, VKLOG_INFO, L"%s: workstation is locked, %s aborted", function, function);
            return;
        }
        // The check and the taking are one step: nothing may come between.
        int free = 0;
        if (!g_nPinPromptBusy.compare_exchange_strong(free, 1)) {
            vklogLog(kGuiTag, VKLOG_INFO, L"%s: %s NOT allowed", function, action);
            return;
        }
        m_bTaken = true;
        vklogLog(kGuiTag, VKLOG_INFO, L"%s: %s allowed", function, action);
    }
    ~PromptSlot()
    {
        if (m_bTaken)
            g_nPinPromptBusy.store(0);
    }
    PromptSlot(const PromptSlot&) = delete;
    PromptSlot& operator=(const PromptSlot&) = delete;
    bool Taken() const { return m_bTaken; }

private:
    bool m_bTaken = false;
};

} // namespace

extern "C" int GetPINFromUser(HWND parent, const wchar_t* reader, int lastTry, int minLength, int maxLength,
                              char** pin, int* pinLength, PinTimerCallback timerCallback, void* timerArgument,
                              unsigned int timerPeriod)
try {
    vklogLog(kGuiTag, VKLOG_ENTRY, L"GetPINFromUser");
    vklogLog(kGuiTag, VKLOG_INFO, L"GetPINFromUser: hParent = %x, Reader = %s", HandleBits(parent),
             reader ? reader : L"");
    if (!pin || !pinLength) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"GetPINFromUser: no place to return the PIN");
        return LogResult(L"GetPINFromUser", -1);
    }
    if (lastTry) {
        vklogLog(kGuiTag, VKLOG_INFO, L"GetPINFromUser: DisplayLastPINTry");
        if (int answer = DisplayLastPINTry(reader))
            return LogResult(L"GetPINFromUser", answer);
    }
    int result = -1;
    {
        PromptSlot slot(L"GetPINFromUser", L"Enter PIN action");
        if (!slot.Taken())
            return LogResult(L"GetPINFromUser", -1);
        if (parent)
            TakeForeground(parent);
        CWnd owner(parent);
        CEnterPinDlg dialog(parent ? &owner : nullptr, reader, minLength, maxLength, timerCallback, timerArgument,
                            timerPeriod);
        if (dialog.DoModal() != IDOK) {
            vklogLog(kGuiTag, VKLOG_INFO, L"GetPINFromUser: Enter PIN action cancelled");
        } else {
            vklogLog(kGuiTag, VKLOG_INFO, L"GetPINFromUser: Enter PIN action validated");
            CSecStr value = dialog.GetPinValue();
            result = HandOverPin(value, pin, pinLength);
        }
    }
    return LogResult(L"GetPINFromUser", result);
} catch (...) {
    return ExceptionFailure(kGuiTag, L"GetPINFromUser", -1);
}

extern "C" int ShowPINAlwaysPrompt(HWND parent, const wchar_t* reader)
try {
    vklogLog(kGuiTag, VKLOG_ENTRY, L"ShowPINAlwaysPrompt");
    vklogLog(kGuiTag, VKLOG_INFO, L"ShowPINAlwaysPrompt: hParent = %x, Reader = %s", HandleBits(parent),
             reader ? reader : L"");
    int result = -1;
    {
        PromptSlot slot(L"ShowPINAlwaysPrompt", L"PIN Always Prompt action");
        if (!slot.Taken())
            return LogResult(L"ShowPINAlwaysPrompt", -1);
        CWnd owner(parent);
        CPINAlwaysPromptDlg dialog(parent ? &owner : nullptr, reader);
        if (dialog.DoModal() == IDOK) {
            vklogLog(kGuiTag, VKLOG_INFO, L"ShowPINAlwaysPrompt: PIN Always Prompt action validated");
            result = 0;
        } else {
            vklogLog(kGuiTag, VKLOG_INFO, L"ShowPINAlwaysPrompt: PIN Always Prompt action cancelled");
        }
    }
    return LogResult(L"ShowPINAlwaysPrompt", result);
} catch (...) {
    return ExceptionFailure(kGuiTag, L"ShowPINAlwaysPrompt", -1);
}
