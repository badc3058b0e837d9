#include "cardobj/FailureMap.h"

#include "base/ExceptionBarrier.h"
#include "cardobj/LayerResult.h"

#include "vklogu.h"

namespace {

// Identifiers 3000 to 3028 in order.
constexpr int kCodes[] = {
    13, 21, 4, 4, 1, 4, 4, 22, 5, 4,  // 3000..3009
    5,  4,  9, 14, 4, 2, 3, 8, 7, 4,  // 3010..3019
    9,  23, 4, 3, 3, 3, 3, 3, 6,      // 3020..3028
};
constexpr int kFirstId = 3000;

} // namespace

int LayerResultOf(int middlewareId)
{
    int index = middlewareId - kFirstId;
    if (index < 0 || index >= static_cast<int>(sizeof(kCodes) / sizeof(kCodes[0])))
        return kLayerNotConnected;
    return kCodes[index];
}

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
    int code = LayerResultOf(failure->getID());
    delete failure;
    return code;
}
