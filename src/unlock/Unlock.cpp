// ShowUnlockDialog: unlock a blocked card by challenge and response with a
// new PIN, the card transaction held open for as long as the dialog runs.
#include "base/ExceptionBarrier.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "base/VelkorExports.h"
#include "cardobj/LayerResult.h"
#include "cardobj/VKCardManagement.h"
#include "unlock/UnlockCardDlg.h"
#include "unlock/UnlockOutcomeDlgs.h"

#include "ToastManager.h"
#include "pinrc_ids.h"

#include <memory>

namespace {

CSecStr StringOr(UINT id, const wchar_t* fallback)
{
    CSecStr text = LoadResourceString(id);
    return text.IsEmpty() ? CSecStr(fallback) : text;
}

} // namespace

extern "C" int ShowUnlockDialog(HWND parent, const wchar_t* readerName, VKReader* reader)
try {
    vklogLog(kGuiTag, VKLOG_ENTRY, L"ShowUnlockDialog");
    CWnd owner(parent);
    CWnd* ownerWnd = parent ? &owner : nullptr;
    std::unique_ptr<VKReader> ours;
    if (!reader) {
        vklogLog(kGuiTag, VKLOG_INFO, L"ShowUnlockDialog: creating new VKReader");
        ours = std::make_unique<VKReader>(readerName);
    } else {
        ours = std::make_unique<VKReader>(*reader);
    }
    vklogLog(kGuiTag, VKLOG_INFO, L"ShowUnlockDialog: connecting to reader");
    VKConnection connection;
    int code = ours->Connect(connection);
    if (code != kLayerOk) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShowUnlockDialog: connection to reader failed with error code 0x%x", code);
        CSecStr text;
        text.Format(L"The following error has occured while connecting to the reader:\n\n%s", GetErrorString(code));
        CUnlockFailedDlg(ownerWnd, text, 0).DoModal();
        vklogLog(kGuiTag, VKLOG_EXIT, L"ShowUnlockDialog");
        return IDCANCEL;
    }

    int result = IDCANCEL;
    {
        VKCardManagement card(*ours);
        vklogLog(kGuiTag, VKLOG_INFO, L"ShowUnlockDialog: calling IsUnlockAlllowed");
        if (!card.IsUnlockAllowed()) {
            vklogLog(kGuiTag, VKLOG_INFO, L"ShowUnlockDialog: IsUnlockAllowed returned FALSE");
            CSecStr title = StringOr(IDS_PIN_BLOCKED_TITLE, L"PIN Blocked");
            CSecStr text = StringOr(IDS_PIN_BLOCKED_TEXT, L"Your smart card is locked. Please contact your administrator.");
            CToastManager* toast = qlCreateToastManager(title, text, true);
            if (toast)
                toast->Show();
            else
                result = static_cast<int>(CUnlockInitToolDlg(ownerWnd, readerName, 1).DoModal());
            qlDeleteToastManager(toast);
        } else {
            vklogLog(kGuiTag, VKLOG_INFO, L"ShowUnlockDialog: IsUnlockAllowed returned TRUE");
            PwdRuleArgs rules = {};
            rules.bNumericOnly = card.IsAlphaPINCheckActivated() ? 1 : 0;
            rules.bWeakPINAllowed = card.IsWeakPINCheckActivated() ? 0 : 1;
            rules.nMinPINLen = -1;
            rules.nMaxPINLen = -1;
            card.GetMinPINLen(&rules.nMinPINLen);
            card.GetMaxPINLen(&rules.nMaxPINLen);
            unsigned timeout = 0;
            card.GetTransactionTimeoutValue(&timeout);

            CToastManager* toast = nullptr;
            const int mode = qlGetUIMode();
            if (mode == 2 || mode == 3) {
                toast = qlCreateToastManager(
                    StringOr(IDS_PIN_BLOCKED_TITLE, L"PIN Blocked"),
                    StringOr(IDS_PIN_BLOCKED_SWITCH_DESKTOP,
                             L"Your smart card is locked. Please switch to the Desktop to access the Unlock tool."),
                    true);
                if (toast)
                    toast->ShowNoWait();
            }
            vklogLog(kGuiTag, VKLOG_INFO, L"ShowUnlockDialog: displaying unlock dialog box");
            // A transaction that could not be begun is not ended: the card
            // would refuse, and another context may hold it.
            const bool inTransaction = connection.BeginTransaction() == kLayerOk;
            CUnlockCardDlg dialog(ownerWnd, &rules, &card, UnlockAdapter, ChallengeAdapter, readerName,
                                  TimeoutCallback, &connection, static_cast<int>(timeout / 2));
            result = static_cast<int>(dialog.DoModal());
            vklogLog(kGuiTag, VKLOG_INFO, L"ShowUnlockDialog: unlock dialog box returned 0x%x", result);
            if (inTransaction)
                connection.EndTransaction();
            if (toast)
                toast->Withdraw();
            qlDeleteToastManager(toast);
        }
    }
    ours->Disconnect();
    vklogLog(kGuiTag, VKLOG_EXIT, L"ShowUnlockDialog");
    return result;
} catch (...) {
    return ExceptionFailure(kGuiTag, L"ShowUnlockDialog", static_cast<int>(IDCANCEL));
}
