#include "cardobj/FailureMap.h"

#include "base/ExceptionBarrier.h"
#include "cardobj/LayerResult.h"

#include "vklogu.h"

int TakeFailure(const wchar_t* format) noexcept
{
    try {
        throw;
    } catch (CException* failure) {
        try {
            return TakeFailure(failure, format);
        } catch (...) {
            return kLayerNotConnected;
        }
    } catch (...) {
        wchar_t text[256] = L"";
        DescribeCurrentException(text, sizeof(text) / sizeof(text[0]));
        try {
            vklogLog(kLayerTag, VKLOG_ERROR, format, text);
        } catch (...) {
            // The log itself failed: the code still goes back.
        }
        return kLayerNotConnected;
    }
}

int TakeFailure(CException* failure, const wchar_t* format)
{
    if (!failure) {
        vklogLog(kLayerTag, VKLOG_INFO, format, L"(unknown failure)");
        return kLayerNotConnected;
    }
    vklogLog(kLayerTag, VKLOG_INFO, format, failure->getMessage());
    int code = LayerResultOfFailure(failure->getID());
    delete failure;
    return code;
}
