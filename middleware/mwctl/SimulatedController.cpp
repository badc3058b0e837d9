// The simulated controller: it serves the card world loaded last, counts
// and logs every call the layer makes, and fails the call a test asks for.
#include "CardWorld.h"
#include "mwctl_control.h"

#include "CException.h"
#include "SMMWController.h"
#include "vkevtsub_control.h"

#include <algorithm>
#include <memory>
#include <mutex>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// Failure identifiers of the controller.
enum Failure : int {
    kInvalidParameter = 3000,
    kNotFound = 3007,
    kNoCard = 3017,
    kReaderUnavailable = 3023,
    kCardGone = 3024,
};

class Controller;
Controller& TheController();

std::wstring OwnDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

[[noreturn]] void Fail(int id, const std::wstring& message)
{
    throw new CException(id, message.c_str());
}

class SimReader : public ISMMWReader {
public:
    explicit SimReader(std::wstring name) : m_name(std::move(name)) {}
    void GetProperty(int id, VKData& value) override;
    int GetState() override;
    const std::wstring& Name() const { return m_name; }

private:
    std::wstring m_name;
};

class SimCardObject : public ISMMWCardObject {
public:
    SimCardObject(std::wstring reader, std::wstring card) : m_reader(std::move(reader)), m_card(std::move(card)) {}
    void GetProperty(int id, VKData& value) override;
    bool HasCapability(const wchar_t* name) override;
    const std::wstring& Reader() const { return m_reader; }
    const std::wstring& Card() const { return m_card; }

private:
    std::wstring m_reader;
    std::wstring m_card;
};

class SimContext : public ISMMWContext {
public:
    SimContext(const std::wstring& reader, const std::wstring& card) : m_cardObject(reader, card) {}
    ISMMWCardObject* GetCardObject() override;
    void BeginTransaction() override;
    void EndTransaction() override;
    void ResetTransactionTimeout() override;

private:
    SimCardObject m_cardObject;
};

class Controller : public ISMMWController {
public:
    Controller()
    {
        wchar_t path[MAX_PATH] = {};
        DWORD n = GetEnvironmentVariableW(L"VELKOR_CARD_WORLD", path, MAX_PATH);
        m_world.Load(n && n < MAX_PATH ? std::wstring(path) : OwnDirectory() + L"cardworld\\default.ini");
    }

    int Initialize() override
    {
        Enter(L"Initialize");
        return 0;
    }

    ISMMWContext* EstablishContext(const ParameterMap& parameters) override
    {
        std::lock_guard<std::recursive_mutex> hold(m_lock);
        Enter(L"EstablishContext");
        if (!parameters.Has(L"ReaderName"))
            Fail(kInvalidParameter, L"EstablishContext: no reader named");
        const std::wstring name = parameters.Get(L"ReaderName");
        WorldReader* reader = m_world.FindReader(name);
        if (!reader)
            Fail(kNotFound, L"EstablishContext: no reader " + name);
        if (reader->state == 2)
            Fail(kReaderUnavailable, L"EstablishContext: reader " + name + L" is unavailable");
        if (!m_world.CardIn(*reader))
            Fail(kNoCard, L"EstablishContext: no card in reader " + name);
        m_contexts.push_back(std::make_unique<SimContext>(name, reader->card));
        return m_contexts.back().get();
    }

    void ReleaseContext(ISMMWContext* context) override
    {
        std::lock_guard<std::recursive_mutex> hold(m_lock);
        auto found = std::find_if(m_contexts.begin(), m_contexts.end(),
                                  [context](const auto& c) { return c.get() == context; });
        const bool known = found != m_contexts.end();
        // A release that fails still ends the context: the card is let go.
        if (known)
            m_contexts.erase(found);
        Enter(L"ReleaseContext");
        if (!known)
            Fail(kInvalidParameter, L"ReleaseContext: unknown context");
    }

    void ListReaders(std::vector<ISMMWReader*>& readers) override
    {
        std::lock_guard<std::recursive_mutex> hold(m_lock);
        Enter(L"ListReaders");
        readers.clear();
        for (const WorldReader& reader : m_world.readers)
            readers.push_back(ReaderObject(reader.name));
    }

    // Counts and logs a call; throws when it is the one a test asked to fail.
    void Enter(const wchar_t* operation)
    {
        std::lock_guard<std::recursive_mutex> hold(m_lock);
        m_calls.emplace_back(operation);
        if (m_nFailIn && --m_nFailIn == 0)
            Fail(m_nFailId, std::wstring(operation) + L": failure injected");
    }

    // Readers handed out stay valid for the life of the controller.
    SimReader* ReaderObject(const std::wstring& name)
    {
        for (auto& reader : m_readerObjects)
            if (reader->Name() == name)
                return reader.get();
        m_readerObjects.push_back(std::make_unique<SimReader>(name));
        return m_readerObjects.back().get();
    }

    std::recursive_mutex m_lock;
    CardWorld m_world;
    std::vector<std::unique_ptr<SimContext>> m_contexts;
    std::vector<std::unique_ptr<SimReader>> m_readerObjects;
    std::vector<std::wstring> m_calls;
    unsigned m_nFailIn = 0;
    int m_nFailId = 0;
};

Controller& TheController()
{
    static Controller* controller = new Controller();
    return *controller;
}

void SimReader::GetProperty(int id, VKData& value)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Reader::GetProperty");
    if (id != kReaderPropertyName)
        Fail(kInvalidParameter, L"Reader::GetProperty: unknown property");
    value.SetString(m_name.c_str());
}

int SimReader::GetState()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Reader::GetState");
    WorldReader* reader = c.m_world.FindReader(m_name);
    if (!reader)
        Fail(kNotFound, L"Reader::GetState: reader " + m_name + L" is gone");
    return reader->state;
}

// The card this object was opened on, or a failure when it left its reader.
const WorldCard& PresentCard(Controller& c, const SimCardObject& object)
{
    WorldReader* reader = c.m_world.FindReader(object.Reader());
    const WorldCard* card = reader ? c.m_world.CardIn(*reader) : nullptr;
    if (!card || card->name != object.Card())
        Fail(kCardGone, L"the card left reader " + object.Reader());
    return *card;
}

void SimCardObject::GetProperty(int id, VKData& value)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Card::GetProperty");
    const WorldCard& card = PresentCard(c, *this);
    if (id != kCardPropertyIdentifier)
        Fail(kNotFound, L"Card::GetProperty: no property " + std::to_wstring(id));
    value.SetString(card.Field(L"Identifier").c_str());
}

bool SimCardObject::HasCapability(const wchar_t* name)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Card::HasCapability");
    const WorldCard& card = PresentCard(c, *this);
    std::wstring list = L"," + card.Field(L"Capabilities") + L",";
    return name && list.find(L"," + std::wstring(name) + L",") != std::wstring::npos;
}

ISMMWCardObject* SimContext::GetCardObject()
{
    TheController().Enter(L"Context::GetCardObject");
    return &m_cardObject;
}

void SimContext::BeginTransaction()
{
    TheController().Enter(L"Context::BeginTransaction");
}

void SimContext::EndTransaction()
{
    TheController().Enter(L"Context::EndTransaction");
}

void SimContext::ResetTransactionTimeout()
{
    TheController().Enter(L"Context::ResetTransactionTimeout");
}

void Raise(int kind, const std::wstring& reader)
{
    vkevtsubRaise(&VK_CARD_EVENT_CHANNEL, kind, 0, reader.c_str());
}

} // namespace

extern "C" __declspec(dllexport) ISMMWController* GetSMMWController()
{
    return &TheController();
}

extern "C" bool mwctlLoadWorld(const wchar_t* path)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    return path && c.m_world.Load(path);
}

extern "C" bool mwctlInsertCard(const wchar_t* reader, const wchar_t* card)
{
    Controller& c = TheController();
    {
        std::lock_guard<std::recursive_mutex> hold(c.m_lock);
        WorldReader* r = reader ? c.m_world.FindReader(reader) : nullptr;
        if (!r || !card || !c.m_world.cards.count(card))
            return false;
        r->state = 0;
        r->card = card;
    }
    Raise(VK_EVENT_CARD_INSERTED, reader);
    return true;
}

extern "C" bool mwctlRemoveCard(const wchar_t* reader)
{
    Controller& c = TheController();
    {
        std::lock_guard<std::recursive_mutex> hold(c.m_lock);
        WorldReader* r = reader ? c.m_world.FindReader(reader) : nullptr;
        if (!r)
            return false;
        r->state = 1;
        r->card.clear();
    }
    Raise(VK_EVENT_CARD_REMOVED, reader);
    return true;
}

extern "C" bool mwctlAddReader(const wchar_t* reader)
{
    Controller& c = TheController();
    {
        std::lock_guard<std::recursive_mutex> hold(c.m_lock);
        if (!reader || !*reader || c.m_world.FindReader(reader))
            return false;
        c.m_world.readers.push_back(WorldReader{reader, 1, L""});
    }
    Raise(VK_EVENT_READER_INSERTED, reader);
    return true;
}

extern "C" bool mwctlRemoveReader(const wchar_t* reader)
{
    Controller& c = TheController();
    {
        std::lock_guard<std::recursive_mutex> hold(c.m_lock);
        auto& readers = c.m_world.readers;
        auto found = std::find_if(readers.begin(), readers.end(),
                                  [reader](const WorldReader& r) { return reader && r.name == reader; });
        if (found == readers.end())
            return false;
        readers.erase(found);
    }
    Raise(VK_EVENT_READER_REMOVED, reader);
    return true;
}

extern "C" void mwctlFailCall(unsigned nth, int id)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.m_nFailIn = nth;
    c.m_nFailId = id;
}

extern "C" size_t mwctlCallCount()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    return c.m_calls.size();
}

extern "C" bool mwctlCallName(size_t index, wchar_t* name, size_t chars)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    if (index >= c.m_calls.size() || !name || chars == 0)
        return false;
    wcsncpy(name, c.m_calls[index].c_str(), chars - 1);
    name[chars - 1] = L'\0';
    return true;
}

extern "C" void mwctlClearCalls()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.m_calls.clear();
}

extern "C" size_t mwctlOpenContexts()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    return c.m_contexts.size();
}
