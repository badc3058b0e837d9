#include "cardobj/VKReaderList.h"

#include "base/ExceptionBarrier.h"
#include "base/Log.h"
#include "cardobj/FailureMap.h"
#include "cardobj/LayerResult.h"
#include "platform/MWController.h"

#include <new>

VKReaderList::VKReaderList()
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReaderList::VKReaderList : this=%#x", HandleBits(this));
    GetReaderList();
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReaderList::VKReaderList");
}

VKReaderList::~VKReaderList()
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReaderList::~VKReaderList : this=%#x", HandleBits(this));
    Clear();
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReaderList::~VKReaderList");
}

void VKReaderList::Clear()
{
    for (VKReader* reader : m_readers)
        delete reader;
    m_readers.clear();
}

int VKReaderList::GetReaderList()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReaderList::GetReaderList");
    Clear();
    int result = kLayerOk;
    ISMMWController* controller = GetMWController();
    if (!controller) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKReaderList::GetReaderList : GetMWController() returned NULL");
    } else {
        try {
            vklogLog(kLayerTag, VKLOG_DETAIL, L"VKReaderList::GetReaderList : calling ListReaders");
            std::vector<ISMMWReader*> readers;
            controller->ListReaders(readers);
            for (ISMMWReader* reader : readers) {
                VKReader* entry = new (std::nothrow) VKReader(reader);
                if (!entry) {
                    vklogLog(kLayerTag, VKLOG_ERROR,
                             L"VKReaderList::GetReaderList : Error while allocating memory for pTmp");
                    continue;
                }
                m_readers.push_back(entry);
            }
        } catch (...) {
            result = TakeFailure(L"VKReaderList::GetReaderList : Error while listing readers: %s.");
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReaderList::GetReaderList : ret=(%#x)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKReaderList::GetReaderList", static_cast<int>(kLayerNotConnected));
}

VKReaderList::Position VKReaderList::GetFirstReaderPosition()
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReaderList::GetFirstReaderPosition");
    Position position = m_readers.empty() ? nullptr : &m_readers.front();
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReaderList::GetFirstReaderPosition : ret=(%#x)", HandleBits(position));
    return position;
}

VKReader* VKReaderList::GetNextReader(Position& position)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReaderList::GetNextReader");
    vklogLog(kLayerTag, VKLOG_INFO, L"VKReaderList::GetNextReader : pos=%#x", HandleBits(position));
    VKReader* reader = nullptr;
    for (auto it = m_readers.begin(); it != m_readers.end(); ++it) {
        if (&*it != position)
            continue;
        reader = *it;
        auto next = std::next(it);
        position = next == m_readers.end() ? nullptr : &*next;
        break;
    }
    if (!reader)
        position = nullptr;
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReaderList::GetNextReader : ret=(%#x)", HandleBits(reader));
    return reader;
}

int VKReaderList::GetDefaultReader(CSecStr& name)
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReaderList::GetDefaultReader");
    int result = kLayerNotFound;
    ISMMWController* controller = GetMWController();
    if (!controller) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKReaderList::GetDefaultReader : GetMWController() returned NULL");
    } else {
        try {
            std::vector<ISMMWReader*> readers;
            controller->ListReaders(readers);
            bool haveEmpty = false;
            for (ISMMWReader* reader : readers) {
                int state = reader->GetState();
                if (state == kReaderCardPresent) {
                    vklogLog(kLayerTag, VKLOG_INFO, L"VKReaderList::GetDefaultReader : found a reader with a card");
                    VKData value;
                    reader->GetProperty(kReaderPropertyName, value);
                    name = value.GetString();
                    result = kLayerOk;
                    break;
                }
                if (state == kReaderEmpty && !haveEmpty) {
                    vklogLog(kLayerTag, VKLOG_INFO, L"VKReaderList::GetDefaultReader : found an empty reader");
                    VKData value;
                    reader->GetProperty(kReaderPropertyName, value);
                    name = value.GetString();
                    haveEmpty = true;
                    result = kLayerOk;
                }
            }
        } catch (...) {
            result = TakeFailure(L"VKReaderList::GetDefaultReader : Error while listing readers: %s.");
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReaderList::GetDefaultReader: returns %d", result);
    return result;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKReaderList::GetDefaultReader", static_cast<int>(kLayerNotConnected));
}

VKReader* VKReaderList::GetReaderFromCUID(const VKByteArray& cuid)
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKReaderList::GetReaderFromCUID");
    VKReader* found = nullptr;
    for (VKReader* reader : m_readers) {
        const wchar_t* name = reader->GetName();
        vklogLog(kLayerTag, VKLOG_INFO, L"VKReaderList::GetReaderFromCUID : Testing reader %s", name);
        if (reader->GetReaderState() != kReaderCardPresent)
            continue;
        vklogLog(kLayerTag, VKLOG_INFO, L"VKReaderList::GetReaderFromCUID : Reader %s has a card, checking its CUID",
                 name);
        VKReader copy(*reader);
        VKConnection connection;
        if (copy.Connect(connection) != kLayerOk || !connection.m_pContext)
            continue;
        VKByteArray identifier;
        try {
            VKData value;
            connection.m_pContext->GetCardObject()->GetProperty(kCardPropertyIdentifier, value);
            identifier = VKByteArray(value);
        } catch (...) {
            TakeFailure(L"VKReaderList::GetReaderFromCUID : Error while trying to retrieve card identifier: %s.");
        }
        copy.Disconnect();
        if (!identifier.IsEmpty() && identifier == cuid) {
            vklogLog(kLayerTag, VKLOG_INFO, L"VKReaderList::GetReaderFromCUID : Reader %s has the needed card", name);
            found = reader;
            break;
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKReaderList::GetReaderFromCUID : ret=(%#x)", HandleBits(found));
    return found;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKReaderList::GetReaderFromCUID", static_cast<VKReader*>(nullptr));
}
