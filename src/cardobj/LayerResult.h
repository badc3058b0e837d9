#pragma once
// Result codes of the card object layer. 0 is success; the other values a
// caller meets come from the middleware failure map.
enum LayerResult : int {
    kLayerOk = 0,
    kLayerNotConnected = 3,     // also the code of an unknown middleware failure
    kLayerNoCardOrCancelled = 8,
    kLayerInvalidParameter = 13,
    kLayerNotInitialized = 19,
    kLayerNotFound = 22,
};
