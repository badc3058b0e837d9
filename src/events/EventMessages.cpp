#include "events/EventMessages.h"

const UINT g_uCardRemovedEvent = RegisterWindowMessageW(L"VKCardRemovedEvent");
const UINT g_uCardInsertedEvent = RegisterWindowMessageW(L"VKCardInsertedEvent");
const UINT g_uReaderInsEvent = RegisterWindowMessageW(L"VKReaderInsEvent");
const UINT g_uReaderRemEvent = RegisterWindowMessageW(L"VKReaderRemEvent");
