// The library binds the toasts and the certificate parser on their first
// use (attach does not load them). When one of them is missing, each of its
// functions answers 0 instead of the loader raising an exception into the
// caller: no toast manager (a dialog is shown instead), no toast support,
// no certificate parsed. The event service and the session state have no
// such answer (their calls cannot be stood in for): their failure stays
// the loader's exception, logged here first.
#include "base/Log.h"

#include <windows.h>

#include <delayimp.h>

namespace {

// Every function of the two modules is a C-convention call whose caller
// cleans the stack and that reads 0 as "none", so one stand-in fits all.
extern "C" INT_PTR AnswerNone()
{
    return 0;
}

bool AnswersNoneWhenMissing(const char* dll)
{
    return dll && (lstrcmpiA(dll, "qlwinextu.dll") == 0 || lstrcmpiA(dll, "vk.crypto.parser.dll") == 0);
}

FARPROC WINAPI OnDelayLoadFailure(unsigned notify, PDelayLoadInfo info)
{
    if (!info)
        return nullptr;
    const char* dll = info->szDll ? info->szDll : "?";
    if (notify == dliFailLoadLib) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"DelayLoad: %hs could not be loaded (error %u)", dll, info->dwLastError);
        // A module that is always there, whose exports the names are not:
        // each function then fails on its own and gets the stand-in. Loading
        // it again only counts a reference, which the loader gives back if
        // another thread bound the module first.
        return AnswersNoneWhenMissing(info->szDll) ? reinterpret_cast<FARPROC>(LoadLibraryW(L"kernel32.dll"))
                                                   : nullptr;
    }
    if (notify == dliFailGetProc && AnswersNoneWhenMissing(info->szDll)) {
        if (info->dlp.fImportByName && info->dlp.szProcName)
            vklogLog(kGuiTag, VKLOG_ERROR, L"DelayLoad: %hs has no %hs; it answers none", dll, info->dlp.szProcName);
        return reinterpret_cast<FARPROC>(&AnswerNone);
    }
    return nullptr;
}

} // namespace

extern "C" {
PfnDliHook __pfnDliFailureHook2 = OnDelayLoadFailure;
}
