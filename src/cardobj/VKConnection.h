#pragma once
// VKConnection: the handle of one open card connection, filled by
// VKReader::Connect. It must not outlive the reader that filled it.
#include "frame/VelkorExports.h"

class ISMMWContext;

class VKGUI_CLASS VKConnection {
public:
    VKConnection();
    ISMMWContext* m_pContext;
};
