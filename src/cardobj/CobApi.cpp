#include "cardobj/CobApi.h"

// The layer has nothing to load yet; its resource modules come with the readers.
bool vkCobAPI_Initialize()
{
    return true;
}

void vkCobAPI_Finalize()
{
}
