#include "cardobj/VKReader.h"

#include "base/ExceptionBarrier.h"
#include "base/Log.h"
#include "cardobj/FailureMap.h"
#include "cardobj/LayerResult.h"
#include "platform/MWController.h"

#include <new>

VKReaderData::VKReaderData()
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReaderData::VKReaderData : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReaderData::VKReaderData");
}

void VKReader::AllocateData()
{
    m_pReaderData = new (std::nothrow) VKReaderData();
    if (!m_pReaderData)
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKReader::VKReader : Error while allocating memory for m_pReaderData");
}

VKReader::VKReader(const wchar_t* name) : m_strReaderName(name)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReader::VKReader : this=%#x", HandleBits(this));
    AllocateData();
    if (m_pReaderData) {
        ISMMWController* controller = GetMWController();
        if (!controller) {
            vklogLog(kLayerTag, VKLOG_ERROR, L"VKReader::VKReader : GetMWController() returned NULL");
        } else {
            try {
                vklogLog(kLayerTag, VKLOG_DETAIL, L"VKReader::VKReader : calling listReaders");
                std::vector<ISMMWReader*> readers;
                controller->ListReaders(readers);
                for (ISMMWReader* reader : readers) {
                    VKData value;
                    reader->GetProperty(kReaderPropertyName, value);
                    if (value.GetString().Compare(m_strReaderName) == 0) {
                        m_pReaderData->m_pReader = reader;
                        break;
                    }
                }
            } catch (...) {
                TakeFailure(L"VKReader::VKReader : Error while trying to find reader: %s.");
            }
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReader::VKReader");
}

VKReader::VKReader(ISMMWReader* reader)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReader::VKReader : this=%#x", HandleBits(this));
    AllocateData();
    if (m_pReaderData && reader) {
        m_pReaderData->m_pReader = reader;
        try {
            VKData value;
            reader->GetProperty(kReaderPropertyName, value);
            m_strReaderName = value.GetString();
        } catch (...) {
            TakeFailure(L"VKReader::VKReader : Error while trying to find reader: %s.");
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReader::VKReader");
}

VKReader::VKReader(const VKReader& source) : m_pReaderData(source.m_pReaderData), m_strReaderName(source.m_strReaderName)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReader::VKReader : this=%#x", HandleBits(this));
    if (m_pReaderData)
        ++m_pReaderData->m_nRefCount;
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReader::VKReader");
}

VKReader& VKReader::operator=(const VKReader& source)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReader::operator = : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_INFO, L"VKReader::operator = : &Src=%#x", HandleBits(&source));
    if (this != &source) {
        Disconnect();
        VKReaderData* shared = source.m_pReaderData;
        if (shared)
            ++shared->m_nRefCount; // before dropping ours: the two may be one record
        DropShare();
        m_pReaderData = shared;
        m_strReaderName = source.m_strReaderName;
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReader::operator =");
    return *this;
}

VKReader::~VKReader()
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReader::~VKReader : this=%#x", HandleBits(this));
    Disconnect();
    DropShare();
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReader::~VKReader");
}

void VKReader::DropShare()
{
    if (m_pReaderData && --m_pReaderData->m_nRefCount == 0)
        delete m_pReaderData;
    m_pReaderData = nullptr;
}

int VKReader::GetReaderState()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReader::GetReaderState");
    int state = kReaderUnavailable;
    if (!m_pReaderData || !m_pReaderData->m_pReader) {
        vklogLog(kLayerTag, VKLOG_ERROR,
                 m_pReaderData ? L"VKReader::GetReaderState : m_pReaderData->m_pReader is NULL"
                               : L"VKReader::GetReaderState : m_pReaderData is NULL");
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKReader::GetReaderState : will return READER_STATE_UNAVAILABLE");
    } else {
        try {
            state = m_pReaderData->m_pReader->GetState();
        } catch (...) {
            TakeFailure(L"VKReader::GetReaderState : Error while trying to retrieve reader state: %s.");
            state = kReaderUnavailable;
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReader::GetReaderState : ret=(%#x)", state);
    return state;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKReader::GetReaderState", static_cast<int>(kReaderUnavailable));
}

int VKReader::Connect(VKConnection& cConnection)
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReader::Connect");
    vklogLog(kLayerTag, VKLOG_INFO, L"VKReader::Connect : &cConnection=%#x", HandleBits(&cConnection));
    int result = kLayerOk;
    if (!m_pReaderData) {
        result = kLayerNotConnected;
    } else if (m_bConnected) {
        vklogLog(kLayerTag, VKLOG_INFO, L"VKReader::Connect : This copy of the reader is already connected");
    } else if (m_pReaderData->m_nConnections == 0) {
        vklogLog(kLayerTag, VKLOG_INFO, L"VKReader::Connect : Connection to the card is the first one.");
        ParameterMap parameters;
        if (!m_strReaderName.IsEmpty())
            parameters.Set(L"ReaderName", m_strReaderName.GetString());
        if (ISMMWController* controller = GetMWController()) {
            try {
                m_pReaderData->m_pContext = controller->EstablishContext(parameters);
                m_pReaderData->m_nConnections = 1;
            } catch (...) {
                result = TakeFailure(L"VKReader::Connect : EstablishContext failed: %s.");
            }
        }
    } else {
        vklogLog(kLayerTag, VKLOG_INFO, L"VKReader::Connect : There was already (%d) opened connection(s)",
                 m_pReaderData->m_nConnections);
        ++m_pReaderData->m_nConnections;
    }
    if (result == kLayerOk && m_pReaderData) {
        m_bConnected = 1;
        cConnection.m_pContext = m_pReaderData->m_pContext;
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReader::Connect : ret=(%#x)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKReader::Connect", static_cast<int>(kLayerNotConnected));
}

int VKReader::Disconnect()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReader::Disconnect");
    int result = kLayerOk;
    if (m_bConnected && m_pReaderData) {
        if (m_pReaderData->m_nConnections > 0 && --m_pReaderData->m_nConnections == 0) {
            vklogLog(kLayerTag, VKLOG_INFO, L"VKReader::Disconnect : Connection was the last one opened.");
            ISMMWController* controller = GetMWController();
            if (controller && m_pReaderData->m_pContext) {
                try {
                    controller->ReleaseContext(m_pReaderData->m_pContext);
                } catch (...) {
                    result = TakeFailure(L"VKReader::Disconnect : ReleaseContext failed: %s.");
                }
            }
            m_pReaderData->m_pContext = nullptr;
        }
        m_bConnected = 0;
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReader::Disconnect : ret=(%#x)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKReader::Disconnect", static_cast<int>(kLayerNotConnected));
}
