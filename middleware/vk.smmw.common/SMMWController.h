#pragma once
// The interfaces of the security-module middleware controller, as the card
// object layer uses them. The controller lives in "vk.smmw.mwctl.dll",
// whose export GetSMMWController hands out the one controller; readers,
// contexts and card objects belong to it. Every failure is thrown as a
// CException* that the caller deletes.
#include "ParameterMap.h"
#include "VKData.h"

#include <vector>

// Reader property 0 is the reader's name.
inline constexpr int kReaderPropertyName = 0;
// Card object property 0 is the card identifier, as hexadecimal text.
inline constexpr int kCardPropertyIdentifier = 0;

class ISMMWReader {
public:
    virtual ~ISMMWReader() = default;
    virtual void GetProperty(int id, VKData& value) = 0;
    // 0: a card is present, 1: empty, 2: unavailable.
    virtual int GetState() = 0;
};

class ISMMWCardObject {
public:
    virtual ~ISMMWCardObject() = default;
    virtual void GetProperty(int id, VKData& value) = 0;
    virtual bool HasCapability(const wchar_t* name) = 0;
};

class ISMMWContext {
public:
    virtual ~ISMMWContext() = default;
    virtual ISMMWCardObject* GetCardObject() = 0;
    virtual void BeginTransaction() = 0;
    virtual void EndTransaction() = 0;
    virtual void ResetTransactionTimeout() = 0;
};

class ISMMWController {
public:
    virtual ~ISMMWController() = default;
    virtual int Initialize() = 0;
    // A context on the card of the reader named "ReaderName".
    virtual ISMMWContext* EstablishContext(const ParameterMap& parameters) = 0;
    virtual void ReleaseContext(ISMMWContext* context) = 0;
    virtual void ListReaders(std::vector<ISMMWReader*>& readers) = 0;
};

// The controller module's one export.
using GetSMMWControllerFunction = ISMMWController* (*)();
