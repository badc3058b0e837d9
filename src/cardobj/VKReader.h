#pragma once
// VKReader: a card reader as the layer sees it. All copies of one reader
// share a VKReaderData and so one card context: the first Connect of any
// copy opens it, the last Disconnect releases it.
#include "SecStr.h"
#include "base/VelkorExports.h"
#include "cardobj/VKConnection.h"

class ISMMWReader;
class ISMMWContext;

struct VKReaderData {
    VKReaderData();
    ISMMWReader* m_pReader = nullptr;
    ISMMWContext* m_pContext = nullptr;
    int m_nRefCount = 1;
    int m_nConnections = 0;
};

class VKGUI_CLASS VKReader {
public:
    // Looks the reader up in the middleware by its exact name.
    explicit VKReader(const wchar_t* name);
    // A reader the middleware listed; its name is its property 0.
    explicit VKReader(ISMMWReader* reader);
    VKReader(const VKReader& source);
    VKReader& operator=(const VKReader& source);
    virtual ~VKReader();

    // 0 a card is present, 1 empty, 2 unavailable.
    int GetReaderState();
    // 0 on success, with the shared context in `cConnection` (null when no
    // controller could be had); else a layer result code.
    int Connect(VKConnection& cConnection);
    int Disconnect();

    const CSecStr& GetName() const { return m_strReaderName; }

    int m_bConnected = 0;
    VKReaderData* m_pReaderData = nullptr;
    CSecStr m_strReaderName;

private:
    void AllocateData();
    void DropShare();
};
