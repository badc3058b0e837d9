// The small exported functions of the frame.
#include "base/ExceptionBarrier.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "base/VelkorExports.h"
#include "cardobj/LayerResult.h"

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

// The text of a card layer result code, from the layer's result table; 0
// for a code without one.
UINT ErrorStringId(int code)
{
    const LayerResultInfo* result = FindLayerResult(code);
    return result ? result->textId : 0;
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
