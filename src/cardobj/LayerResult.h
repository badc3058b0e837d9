#pragma once
// Result codes of the card object layer by name, and what the library knows
// of each in one table (LayerResult.cpp): the text GetErrorString gives a
// holder for it and the middleware failures that become it. A code cannot
// then mean one thing to the layer and another to the text shown for it.
enum LayerResult : int {
    kLayerOk = 0,
    kLayerWrongPin = 1,
    kLayerCardBlocked = 2,
    kLayerNotConnected = 3, // also the code of an unknown middleware failure
    kLayerCardOperationFailed = 4,
    kLayerAccessDenied = 5, // also the card's refusal of an unblock response
    kLayerCardFull = 6,
    kLayerTimeout = 7,
    kLayerNoCardOrCancelled = 8,
    kLayerBadCardData = 9,
    kLayerCardNotSupported = 10,
    kLayerWrongUnlockCode = 11,
    kLayerPinPolicy = 12,
    kLayerInvalidParameter = 13,
    kLayerModuleUnavailable = 14, // also a credential the card would not create (status 2 or 3)
    kLayerNotInitialized = 19,
    kLayerMiddlewareRejected = 21,
    kLayerNotFound = 22,
    kLayerCreationRefused = 23,
};

struct LayerResultInfo {
    LayerResult code;
    unsigned textId;  // the string of the resource module GetErrorString gives; 0: none
    int failures[9];  // the middleware failure identifiers that become this code, up to the first 0
};

// The row of `code`; null for a code the layer never gives.
const LayerResultInfo* FindLayerResult(int code);

// The code a middleware failure identifier becomes: kLayerNotConnected for
// one the table does not name.
LayerResult LayerResultOfFailure(int middlewareId);
