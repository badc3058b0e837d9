// ShowUnlockCode and DisplayUnlockCode: the card's backup unlock code, shown
// to be written down and, at the holder's word, removed from the card.
#include "base/ExceptionBarrier.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "base/VelkorExports.h"
#include "cardobj/LayerResult.h"
#include "cardobj/VKCardManagement.h"
#include "unlock/DisplayUnlockCodeDlg.h"
#include "unlock/UnlockOutcomeDlgs.h"
#include "unlock/UnlockSupport.h"

#include "pinrc_ids.h"
#include "qlreg.h"
#include "vkmsgbox.h"

namespace {

// Shows the wait cursor until the object goes.
class WaitCursor {
public:
    WaitCursor() : m_hPrevious(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(m_hPrevious); }

private:
    HCURSOR m_hPrevious;
};

bool DisplayIsSuppressed()
{
    DWORD hide = 0;
    return qlRegReadDWORDValueEx(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Quellon\\Velkor\\UserConsole",
                                 L"HideUnlockCode", &hide, KEY_WOW64_64KEY) == 0 &&
           hide != 0;
}

} // namespace

extern "C" int DisplayUnlockCode(CWnd* parent, void* context, GetUnlockCodeCallback getCode,
                                 RemoveUnlockCodeCallback removeCode, const wchar_t* readerName)
try {
    vklogLog(kGuiTag, VKLOG_ENTRY, L"DisplayUnlockCode");
    int result = 0;
    CSecStr code;
    int status = -1;
    {
        WaitCursor wait;
        if (getCode)
            status = getCode(context, &code);
    }
    if (status != 0) {
        vklogLog(kGuiTag, VKLOG_INFO, L"pGetUnlockCode returned an error (%d)", status);
        CSecStr text;
        text.Format(LoadResourceString(IDS_UNLOCK_CODE_ERROR), GetErrorString(status));
        VKErrMesDisplayEx(0xFFFFFFFF, text, 0, 0, 0);
    } else {
        vklogLog(kGuiTag, VKLOG_INFO, L"pGetUnlockCode returned VK_OBJ_API_OK");
        if (code.IsEmpty()) {
            result = 1;
            MessageBoxW(parent ? parent->m_hWnd : nullptr, LoadResourceString(IDS_NO_UNLOCK_CODE), L"Velkor",
                        MB_ICONINFORMATION);
        } else if (!DisplayIsSuppressed()) {
            CSecStr grouped = GroupByFour(code);
            CDisplayUnlockCodeDlg dialog(parent, grouped, readerName, 0);
            grouped.Empty();
            if (dialog.DoModal() == IDOK) {
                if (removeCode)
                    removeCode(context);
                result = 1;
            }
        }
    }
    code.Empty();
    vklogLog(kGuiTag, VKLOG_EXIT, L"DisplayUnlockCode (%d)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kGuiTag, L"DisplayUnlockCode", 0);
}

extern "C" int ShowUnlockCode(HWND parent, const wchar_t* readerName)
try {
    vklogLog(kGuiTag, VKLOG_ENTRY, L"ShowUnlockCode");
    CWnd owner(parent);
    CWnd* ownerWnd = parent ? &owner : nullptr;
    int result = 0;
    {
        VKReader reader(readerName);
        VKConnection connection;
        int code = reader.Connect(connection);
        if (code != kLayerOk) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"Reader.Connect failed (%d)", code);
            CSecStr text;
            text.Format(L"The following error has occured while connecting to the reader:\n\n%s", GetErrorString(code));
            CUnlockFailedDlg(ownerWnd, text, 1).DoModal();
        } else {
            VKCardManagement card(reader);
            // The layer's adapter takes the string untyped; this one has the
            // callback's own type, so no call goes through a cast.
            auto getCode = [](void* context, CSecStr* code) { return UnlockCodeAdapter(context, code); };
            result = DisplayUnlockCode(ownerWnd, &card, getCode, RemoveUnlockCodeAdapter, readerName) == 1 ? 1 : 0;
        }
        reader.Disconnect();
    }
    vklogLog(kGuiTag, VKLOG_EXIT, L"ShowUnlockCode (%d)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kGuiTag, L"ShowUnlockCode", 0);
}
