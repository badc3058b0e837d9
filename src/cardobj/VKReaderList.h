#pragma once
// VKReaderList: the readers the middleware knows, in its order. It owns its
// readers. Callers may derive from it and delete through the base.
#include "cardobj/VKByteArray.h"
#include "cardobj/VKReader.h"

#include <list>

class VKGUI_CLASS VKReaderList {
public:
    // The address of a list slot; null past the end.
    using Position = void*;

    VKReaderList();
    virtual ~VKReaderList();
    VKReaderList(const VKReaderList&) = delete;
    VKReaderList& operator=(const VKReaderList&) = delete;

    // Rebuilds the list; 0 or a layer result code.
    int GetReaderList();
    Position GetFirstReaderPosition();
    // The reader at `position`, which then moves to the next one (null at the end).
    VKReader* GetNextReader(Position& position);
    // The first reader holding a card, else the first empty one; 22 when
    // there is neither.
    int GetDefaultReader(CSecStr& name);
    // The reader whose card has this identifier (a member of the list), or
    // null. The controller may serve an identifier as bytes or as text.
    VKReader* GetReaderFromCUID(const VKByteArray& cuid);

private:
    void Clear();
    std::list<VKReader*> m_readers;
};
