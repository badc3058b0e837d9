#include "cardobj/LayerResult.h"

#include "pinrc_ids.h"

namespace {

constexpr LayerResultInfo kLayerResults[] = {
    {kLayerOk, 0, {}},
    {kLayerWrongPin, IDS_ERROR_WRONG_PIN, {3004}},
    {kLayerCardBlocked, IDS_ERROR_CARD_BLOCKED, {3015}},
    {kLayerNotConnected, IDS_ERROR_NOT_CONNECTED, {3016, 3023, 3024, 3025, 3026, 3027}},
    {kLayerCardOperationFailed, IDS_ERROR_CARD_OPERATION, {3002, 3003, 3005, 3006, 3009, 3011, 3014, 3019, 3022}},
    {kLayerAccessDenied, IDS_ERROR_ACCESS_DENIED, {3008, 3010}},
    {kLayerCardFull, IDS_ERROR_CARD_FULL, {3028}},
    {kLayerTimeout, IDS_ERROR_TIMEOUT, {3018}},
    {kLayerNoCardOrCancelled, IDS_ERROR_CANCELLED, {3017}},
    {kLayerBadCardData, IDS_ERROR_BAD_CARD_DATA, {3012, 3020}},
    {kLayerCardNotSupported, IDS_ERROR_CARD_NOT_SUPPORTED, {}},
    {kLayerWrongUnlockCode, IDS_ERROR_WRONG_UNLOCK_CODE, {}},
    {kLayerPinPolicy, IDS_ERROR_PIN_POLICY, {}},
    {kLayerInvalidParameter, 0, {3000}},
    {kLayerModuleUnavailable, IDS_ERROR_MODULE_UNAVAILABLE, {3013}},
    {kLayerNotInitialized, 0, {}},
    {kLayerMiddlewareRejected, 0, {3001}},
    {kLayerNotFound, 0, {3007}},
    {kLayerCreationRefused, 0, {3021}},
};

} // namespace

const LayerResultInfo* FindLayerResult(int code)
{
    for (const LayerResultInfo& row : kLayerResults)
        if (row.code == code)
            return &row;
    return nullptr;
}

LayerResult LayerResultOfFailure(int middlewareId)
{
    // 0 ends a row's list, so it names no failure.
    if (middlewareId == 0)
        return kLayerNotConnected;
    for (const LayerResultInfo& row : kLayerResults)
        for (int failure : row.failures) {
            if (failure == 0)
                break;
            if (failure == middlewareId)
                return row.code;
        }
    return kLayerNotConnected;
}
