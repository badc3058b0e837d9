// The small exported functions of the frame.
#include "base/ExceptionBarrier.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "base/VelkorExports.h"

#include "pinrc_ids.h"
#include "vkmsgbox.h"
#include "WipingAllocator.h"

#include <cstdlib>
#include <cwchar>
#include <new>

namespace {

constexpr int kErrorTextChars = 4096;
constexpr DWORD kNoErrorNumber = 0xFFFFFFFF;
constexpr UINT kOkCancelBox = 1;
constexpr DWORD kPinHelpTopic = 1015;

// GetErrorString hands out the same buffer every time, so a text stays valid
// until the next successful lookup.
wchar_t g_szErrorText[kErrorTextChars];
wchar_t g_szErrorScratch[kErrorTextChars];

struct ErrorText {
    int code;
    UINT stringId;
};

// Card layer result codes that have a text of their own; 11, 12 and 14 are
// out of numeric order on purpose.
constexpr ErrorText kErrorTexts[] = {
    {1, IDS_ERROR_WRONG_PIN},           {2, IDS_ERROR_CARD_BLOCKED},
    {3, IDS_ERROR_NOT_CONNECTED},       {4, IDS_ERROR_CARD_OPERATION},
    {5, IDS_ERROR_ACCESS_DENIED},       {6, IDS_ERROR_CARD_FULL},
    {7, IDS_ERROR_TIMEOUT},             {8, IDS_ERROR_CANCELLED},
    {9, IDS_ERROR_BAD_CARD_DATA},       {10, IDS_ERROR_CARD_NOT_SUPPORTED},
    {11, IDS_ERROR_WRONG_UNLOCK_CODE},  {12, IDS_ERROR_PIN_POLICY},
    {14, IDS_ERROR_MODULE_UNAVAILABLE},
};

UINT ErrorStringId(int code)
{
    for (const ErrorText& entry : kErrorTexts)
        if (entry.code == code)
            return entry.stringId;
    return 0;
}

} // namespace

extern "C" void InitGUIDll()
try {
    ScopedFunctionLog log(L"InitGUIDll");
    // The framework keeps the record on its chain until the extension module
    // is terminated at detach, which deletes it.
    if (!new (std::nothrow) CDynLinkLibrary(g_extensionModule))
        vklogLog(kGuiTag, VKLOG_ERROR, L"InitGUIDll: out of memory");
} catch (...) {
    LogEscapingException(kGuiTag, L"InitGUIDll");
}

extern "C" void SetPinPromptString(const wchar_t* prompt)
try {
    ScopedFunctionLog log(L"SetPinPromptString");
    SetCustomPinPrompt(prompt);
} catch (...) {
    LogEscapingException(kGuiTag, L"SetPinPromptString");
}

extern "C" const wchar_t* GetErrorString(int code)
try {
    UINT id = ErrorStringId(code);
    if (!id) {
        vklogLog(kGuiTag, VKLOG_INFO, L"GetErrorString: no text for code %d", code);
        return g_szErrorText;
    }
    wmemset(g_szErrorScratch, L'\0', kErrorTextChars);
    if (!g_hResourceModule || LoadStringW(g_hResourceModule, id, g_szErrorScratch, kErrorTextChars) <= 0)
        vklogLog(kGuiTag, VKLOG_ERROR, L"GetErrorString: string %u of code %d could not be loaded", id, code);
    wcsncpy(g_szErrorText, g_szErrorScratch, kErrorTextChars - 1);
    g_szErrorText[kErrorTextChars - 1] = L'\0';
    return g_szErrorText;
} catch (...) {
    return ExceptionFailure(kGuiTag, L"GetErrorString", static_cast<const wchar_t*>(g_szErrorText));
}

extern "C" void FreeGetPinBuffer(void* buffer, unsigned int length)
try {
    vklogLog(kGuiTag, VKLOG_ENTRY, L"--->FreeBuffer");
    if (buffer) {
        SecureWipe(buffer, length);
        free(buffer);
    } else {
        vklogLog(kGuiTag, VKLOG_INFO, L"FreeBuffer: no buffer to free");
    }
    vklogLog(kGuiTag, VKLOG_EXIT, L"<---FreeBuffer");
} catch (...) {
    LogEscapingException(kGuiTag, L"FreeGetPinBuffer");
}

extern "C" void FreeReaderNameBuffer()
try {
    vklogLog(kGuiTag, VKLOG_ENTRY, L"--->FreeReaderNameBuffer");
    vklogLog(kGuiTag, VKLOG_EXIT, L"<---FreeReaderNameBuffer");
} catch (...) {
    LogEscapingException(kGuiTag, L"FreeReaderNameBuffer");
}

extern "C" int DisplayLastPINTry(const wchar_t* reader)
try {
    vklogLog(kGuiTag, VKLOG_ENTRY, L"--->DisplayLastPINTry");
    CSecStr text = LoadResourceString(IDS_LAST_PIN_TRY);
    if (text.IsEmpty())
        vklogLog(kGuiTag, VKLOG_ERROR, L"DisplayLastPINTry: the warning text could not be loaded");
    int box = VKErrMesDisplayExWithParentParamAndReaderAndHelp(nullptr, kNoErrorNumber, text, 0, 0, 0, 0,
                                                               reader, kOkCancelBox, kPinHelpTopic);
    vklogLog(kGuiTag, VKLOG_EXIT, L"<---DisplayLastPINTry");
    return box == IDOK ? 0 : -1;
} catch (...) {
    return ExceptionFailure(kGuiTag, L"DisplayLastPINTry", -1);
}
