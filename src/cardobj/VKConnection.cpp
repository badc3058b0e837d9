#include "cardobj/VKConnection.h"

#include "cardobj/FailureMap.h"
#include "frame/Log.h"

VKConnection::VKConnection() : m_pContext(nullptr)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKConnection::VKConnection : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKConnection::VKConnection");
}
