// The simulated controller: it serves the card world loaded last, counts
// and logs every call the layer makes, and fails the call a test asks for.
#include "CardWorld.h"
#include "mwctl_control.h"

#include "CException.h"
#include "SMMWController.h"
#include "TripleDes.h"
#include "vkevtsub_control.h"

#include <bcrypt.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// Failure identifiers of the controller.
enum Failure : int {
    kInvalidParameter = 3000,
    kNotFound = 3007,
    kNoCard = 3017,
    kUnavailableReader = 3023,
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

// What a controller of another make might throw: a type the library has
// never heard of.
struct ForeignFailure {
    const wchar_t* operation;
};

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

class SimCardObject : public ISMMWCardObject, public ISMMWSecurityModuleCapabilities {
public:
    SimCardObject(std::wstring reader, std::wstring card) : m_reader(std::move(reader)), m_card(std::move(card)) {}
    void GetProperty(int id, VKData& value) override;
    ISMMWSecurityModuleCapabilities* GetSecurityModuleCapabilities() override;
    void GetCapability(const wchar_t* name, VKData& value) override;
    const std::wstring& Reader() const { return m_reader; }
    const std::wstring& Card() const { return m_card; }

private:
    std::wstring m_reader;
    std::wstring m_card;
};

class SimCredential : public ISMMWCredential {
public:
    SimCredential(int type, int dataType) : m_nType(type), m_nDataType(dataType) {}
    void GetProperty(int id, VKData& value) override;
    void SetAttribute(int id, const VKData& value) override;
    void SetAccessRights(const wchar_t* action, const std::vector<CSMMWAccessControlRight*>& rights,
                         int accessMode) override;
    void ImportKey(const VKData& key, const ParameterMap& parameters, int flags) override;
    void SetValue(const VKData& value) override;
    void GetUnblockChallenge(WipingBytes& challenge) override;
    bool Unblock(const WipingBytes& response, const WipingBytes& newPin, int flags) override;
    ISMMWAccessControlList* GetAccessControlList(const wchar_t* action) override;

    bool Matches(const Filter& filter) const;
    int m_nType;
    int m_nDataType;
    std::map<int, VKData> m_attributes;
    VKData m_value;
    // Per action: (ACL type, ACR type) of each right, and the access mode.
    std::map<std::wstring, std::pair<std::vector<std::pair<int, int>>, int>> m_rights;
};

// The user PIN of a card: its lengths, switches, unlock code and tries live
// in the card's fields of the world, so every context on the card sees the
// same card.
class SimPinCredential : public SimCredential, public ISMMWAccessControlList {
public:
    SimPinCredential(std::wstring reader, std::wstring card)
        : SimCredential(kCredentialPIN, 0), m_reader(std::move(reader)), m_card(std::move(card))
    {
    }
    void GetProperty(int id, VKData& value) override;
    void SetAttribute(int id, const VKData& value) override;
    void GetUnblockChallenge(WipingBytes& challenge) override;
    bool Unblock(const WipingBytes& response, const WipingBytes& newPin, int flags) override;
    ISMMWAccessControlList* GetAccessControlList(const wchar_t* action) override;
    bool IsAuthenticable() override;

private:
    WorldCard& Card();
    std::wstring m_reader;
    std::wstring m_card;
};

// The challenge a card issued last lives on the card, whichever context
// asked for it: an answer must come for that one.
std::map<std::wstring, WipingBytes>& LastChallenges()
{
    static std::map<std::wstring, WipingBytes> challenges;
    return challenges;
}

class SimContext : public ISMMWContext, public ISMMWCredentialFactory, public MWDataMap {
public:
    SimContext(const std::wstring& reader, const WorldCard& card, const std::wstring& worldFolder);
    ISMMWCardObject* GetCardObject() override;
    void FindCredentials(const Filter& filter, std::vector<ISMMWCredential*>& found) override;
    void ExecuteAction(const wchar_t* name, const ParameterMap& in, ParameterMap& out) override;
    ISMMWCredentialFactory* GetCredentialFactory() override;
    MWDataMap* GetDataMap() override;
    void BeginTransaction() override;
    void EndTransaction() override;
    void ResetTransactionTimeout() override;
    ISMMWCredential* NewCredentialTemplate(int type) override;
    ISMMWCredential* NewDataCredentialTemplate(int dataType) override;
    int CreateCredential(ISMMWCredential* credentialTemplate, ISMMWCredential** created) override;
    void AddSilentContext(bool silent) override;

    bool m_bSilent = false;
    int m_nTransactions = 0;

private:
    SimCardObject m_cardObject;
    int m_nCreateStatus;
    std::vector<std::unique_ptr<SimCredential>> m_credentials;
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
            Fail(kUnavailableReader, L"EstablishContext: reader " + name + L" is unavailable");
        if (!m_world.CardIn(*reader))
            Fail(kNoCard, L"EstablishContext: no card in reader " + name);
        m_contexts.push_back(std::make_unique<SimContext>(name, *m_world.CardIn(*reader), m_world.folder));
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
        if (m_nFailIn && --m_nFailIn == 0) {
            if (m_nFailKind == kMwctlOutOfMemory)
                throw std::bad_alloc();
            if (m_nFailKind == kMwctlForeign)
                throw ForeignFailure{operation};
            Fail(m_nFailId, std::wstring(operation) + L": failure injected");
        }
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
    int m_nFailKind = kMwctlCException;
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
    const std::wstring type = card.Field(L"Type");
    switch (id) {
    case kCardPropertyIdentifier:
        value.SetString(card.Field(L"Identifier").c_str());
        return;
    case kCardPropertyIsCAC:
        value = VKData(static_cast<uint8_t>(_wcsicmp(type.c_str(), L"CAC") == 0 ? 1 : 0));
        return;
    case kCardPropertyIsPIV:
        value = VKData(static_cast<uint8_t>(_wcsicmp(type.c_str(), L"PIV") == 0 ? 1 : 0));
        return;
    case kCardPropertyTransactionTimeout:
        if (card.Field(L"TransactionTimeout").empty())
            Fail(kNotFound, L"Card::GetProperty: no transaction timeout");
        value = VKData(static_cast<uint32_t>(_wtoi(card.Field(L"TransactionTimeout").c_str())));
        return;
    default:
        Fail(kNotFound, L"Card::GetProperty: no property " + std::to_wstring(id));
    }
}

ISMMWSecurityModuleCapabilities* SimCardObject::GetSecurityModuleCapabilities()
{
    TheController().Enter(L"Card::GetSecurityModuleCapabilities");
    return this;
}

void SimCardObject::GetCapability(const wchar_t* name, VKData& value)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Capabilities::GetCapability");
    const WorldCard& card = PresentCard(c, *this);
    std::wstring list = L"," + card.Field(L"Capabilities") + L",";
    bool has = name && list.find(L"," + std::wstring(name) + L",") != std::wstring::npos;
    value = VKData(static_cast<uint8_t>(has ? 1 : 0));
}

std::vector<int> NumberList(const std::wstring& text)
{
    std::vector<int> numbers;
    size_t start = 0;
    while (start < text.size()) {
        size_t comma = text.find(L',', start);
        std::wstring item = text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        if (!item.empty())
            numbers.push_back(_wtoi(item.c_str()));
        if (comma == std::wstring::npos)
            break;
        start = comma + 1;
    }
    return numbers;
}

// Hexadecimal text as bytes; an odd count of digits reads as if it had a
// leading zero.
WipingBytes HexBytes(const std::wstring& text)
{
    const std::wstring hex = text.size() % 2 ? L"0" + text : text;
    WipingBytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(wcstoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    return bytes;
}

void SimCredential::GetProperty(int id, VKData& value)
{
    TheController().Enter(L"Credential::GetProperty");
    auto found = m_attributes.find(id);
    if (found == m_attributes.end())
        Fail(kNotFound, L"Credential::GetProperty: no property " + std::to_wstring(id));
    value = found->second;
}

void SimCredential::SetAttribute(int id, const VKData& value)
{
    TheController().Enter(L"Credential::SetAttribute");
    m_attributes[id] = value;
}

void SimCredential::SetAccessRights(const wchar_t* action, const std::vector<CSMMWAccessControlRight*>& rights,
                                    int accessMode)
{
    TheController().Enter(L"Credential::SetAccessRights");
    std::vector<std::pair<int, int>> kept;
    for (const CSMMWAccessControlRight* right : rights)
        kept.emplace_back(right->ACLType(), right->ACRType());
    m_rights[action ? action : L""] = {kept, accessMode};
}

void SimCredential::ImportKey(const VKData& key, const ParameterMap&, int)
{
    TheController().Enter(L"Credential::ImportKey");
    m_value = key;
}

void SimCredential::SetValue(const VKData& value)
{
    TheController().Enter(L"Credential::SetValue");
    m_value = value;
}

void SimCredential::GetUnblockChallenge(WipingBytes&)
{
    TheController().Enter(L"Credential::GetUnblockChallenge");
    Fail(kInvalidParameter, L"GetUnblockChallenge: not a PIN");
}

bool SimCredential::Unblock(const WipingBytes&, const WipingBytes&, int)
{
    TheController().Enter(L"Credential::Unblock");
    Fail(kInvalidParameter, L"Unblock: not a PIN");
}

ISMMWAccessControlList* SimCredential::GetAccessControlList(const wchar_t*)
{
    TheController().Enter(L"Credential::GetAccessControlList");
    return nullptr;
}

WorldCard& SimPinCredential::Card()
{
    Controller& c = TheController();
    WorldReader* reader = c.m_world.FindReader(m_reader);
    auto found = c.m_world.cards.find(m_card);
    if (!reader || reader->state != 0 || reader->card != m_card || found == c.m_world.cards.end())
        Fail(kCardGone, L"the card left reader " + m_reader);
    return found->second;
}

void SimPinCredential::GetProperty(int id, VKData& value)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    WorldCard& card = Card();
    switch (id) {
    case kPinPropertyMinLength:
    case kPinPropertyMaxLength: {
        c.Enter(L"Credential::GetProperty");
        const wchar_t* key = id == kPinPropertyMinLength ? L"MinPINLen" : L"MaxPINLen";
        std::wstring text = card.Field(key);
        if (text.empty())
            Fail(kNotFound, std::wstring(L"Credential::GetProperty: no ") + key);
        value = VKData(static_cast<uint8_t>(_wtoi(text.c_str())));
        return;
    }
    case kPinPropertyWeakCheck:
        c.Enter(L"Credential::GetProperty");
        value = VKData(static_cast<uint8_t>(card.Field(L"WeakPINCheck", L"0") == L"1" ? 1 : 0));
        return;
    case kPinPropertyUnlockCode: {
        c.Enter(L"Credential::GetProperty");
        std::wstring code = card.Field(L"UnlockCode");
        if (code.empty())
            value = VKData(WipingBytes());
        else
            value = VKData(HexBytes(code));
        return;
    }
    default:
        SimCredential::GetProperty(id, value);
    }
}

void SimPinCredential::SetAttribute(int id, const VKData& value)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    if (id == kPinPropertyWeakCheck) {
        c.Enter(L"Credential::SetAttribute");
        Card().fields[L"WeakPINCheck"] = value.GetUInt() ? L"1" : L"0";
        return;
    }
    if (id != kPinPropertyUnlockCode) {
        SimCredential::SetAttribute(id, value);
        return;
    }
    c.Enter(L"Credential::SetAttribute");
    WorldCard& card = Card();
    std::wstring hex;
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    for (unsigned char b : value.GetBytes()) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 0x0F];
    }
    card.fields[L"UnlockCode"] = hex;
}

void SimPinCredential::GetUnblockChallenge(WipingBytes& challenge)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Credential::GetUnblockChallenge");
    Card();
    // Fresh random bytes each time: an answer works for one challenge only.
    WipingBytes& last = LastChallenges()[m_card];
    last.assign(8, 0);
    BCryptGenRandom(nullptr, last.data(), 8, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    challenge = last;
}

bool SimPinCredential::Unblock(const WipingBytes& response, const WipingBytes& newPin, int)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Credential::Unblock");
    WorldCard& card = Card();
    int adminTries = _wtoi(card.Field(L"AdminTries", L"3").c_str());
    if (adminTries <= 0)
        Fail(3015, L"Unblock: the admin key is blocked");
    WipingBytes& last = LastChallenges()[m_card];
    WipingBytes expected;
    const bool answered = !last.empty() && TripleDesEncryptEcb(HexBytes(card.Field(L"AdminKey")), last, expected) &&
                          response == expected;
    last.clear();
    if (!answered) {
        card.fields[L"AdminTries"] = std::to_wstring(adminTries - 1);
        return false;
    }
    card.fields[L"PIN"] = std::wstring(newPin.begin(), newPin.end());
    card.fields[L"PINTries"] = card.Field(L"PINMaxTries", L"3");
    return true;
}

ISMMWAccessControlList* SimPinCredential::GetAccessControlList(const wchar_t* action)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Credential::GetAccessControlList");
    if (!action || std::wstring(action) != L"ActionUnblock" || Card().Field(L"UnblockACL") == L"none")
        return nullptr;
    return this;
}

bool SimPinCredential::IsAuthenticable()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"ACL::IsAuthenticable");
    return Card().Field(L"UnblockACL", L"authenticable") == L"authenticable";
}

bool SimCredential::Matches(const Filter& filter) const
{
    const auto& types = filter.CredentialTypes();
    if (!types.empty() && std::find(types.begin(), types.end(), m_nType) == types.end())
        return false;
    const auto& dataTypes = filter.DataCredentialTypes();
    if (!dataTypes.empty() && std::find(dataTypes.begin(), dataTypes.end(), m_nDataType) == dataTypes.end())
        return false;
    for (const auto& [attribute, wanted] : filter.Attributes()) {
        // A PIN flagged "not primary" (138 false) stands in for the primary
        // one, as the card's middleware treats it.
        if (attribute == kAttributePrimary && wanted.GetBool() && m_attributes.count(kAttributeNotPrimaryFallback) &&
            !m_attributes.at(kAttributeNotPrimaryFallback).GetBool())
            continue;
        auto found = m_attributes.find(attribute);
        if (found == m_attributes.end() || found->second.GetUInt() != wanted.GetUInt() ||
            found->second.GetString() != wanted.GetString())
            return false;
    }
    return true;
}

// The card's credentials, as its section in the world describes them:
// PINCredentials (1) PIN credentials flagged primary when PINPrimary (1),
// one data credential per type in DataObjects (value in DataObject.N),
// PKICredentials certificates (the first primary) each with its key
// container, and the status CreateStatus (4) that creating one answers.
// A data object's bytes: hexadecimal digits, or "@file" for the bytes of a
// file beside the world (or at an absolute path).
WipingBytes DataObjectBytes(const std::wstring& value, const std::wstring& worldFolder)
{
    if (value.empty() || value[0] != L'@')
        return HexBytes(value);
    std::wstring path = value.substr(1);
    if (path.size() < 2 || (path[1] != L':' && path[0] != L'\\'))
        path = worldFolder + path;
    WipingBytes bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (1 << 24)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        bytes.resize(read);
    }
    CloseHandle(file);
    return bytes;
}

SimContext::SimContext(const std::wstring& reader, const WorldCard& card, const std::wstring& worldFolder)
    : m_cardObject(reader, card.name), m_nCreateStatus(_wtoi(card.Field(L"CreateStatus", L"4").c_str()))
{
    const bool primaryPin = card.Field(L"PINPrimary", L"1") != L"0";
    for (int i = 0, n = _wtoi(card.Field(L"PINCredentials", L"1").c_str()); i < n; ++i) {
        auto pin = std::make_unique<SimPinCredential>(reader, card.name);
        if (primaryPin)
            pin->m_attributes[kAttributePrimary] = VKData(true);
        else
            pin->m_attributes[kAttributeNotPrimaryFallback] = VKData(false);
        m_credentials.push_back(std::move(pin));
    }
    for (int dataType : NumberList(card.Field(L"DataObjects"))) {
        auto data = std::make_unique<SimCredential>(kCredentialData, dataType);
        data->m_value = VKData(DataObjectBytes(card.Field(L"DataObject." + std::to_wstring(dataType)), worldFolder));
        m_credentials.push_back(std::move(data));
    }
    for (int i = 0, n = _wtoi(card.Field(L"PKICredentials", L"0").c_str()); i < n; ++i) {
        auto pki = std::make_unique<SimCredential>(kCredentialPKI, 0);
        pki->m_attributes[kAttributePrimary] = VKData(i == 0);
        pki->m_attributes[kAttributeKeyContainerLink] = VKData(static_cast<uint32_t>(100 + i));
        auto container = std::make_unique<SimCredential>(kCredentialKeyContainer, 0);
        container->m_attributes[kAttributeKeyContainerLink] = VKData(static_cast<uint32_t>(100 + i));
        m_credentials.push_back(std::move(pki));
        m_credentials.push_back(std::move(container));
    }
}

ISMMWCardObject* SimContext::GetCardObject()
{
    TheController().Enter(L"Context::GetCardObject");
    return &m_cardObject;
}

void SimContext::FindCredentials(const Filter& filter, std::vector<ISMMWCredential*>& found)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Context::FindCredentials");
    PresentCard(c, m_cardObject);
    for (const auto& credential : m_credentials)
        if (credential->Matches(filter))
            found.push_back(credential.get());
}

void SimContext::ExecuteAction(const wchar_t* name, const ParameterMap&, ParameterMap&)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Context::ExecuteAction");
    const std::wstring action = name ? name : L"";
    if (action != L"ActionRefreshCmapFile" && action != L"ActionRefreshMsRoots")
        Fail(kInvalidParameter, L"ExecuteAction: unknown action " + action);
}

ISMMWCredentialFactory* SimContext::GetCredentialFactory()
{
    TheController().Enter(L"Context::GetCredentialFactory");
    return this;
}

MWDataMap* SimContext::GetDataMap()
{
    TheController().Enter(L"Context::GetDataMap");
    return this;
}

void SimContext::AddSilentContext(bool silent)
{
    TheController().Enter(L"DataMap::AddSilentContext");
    m_bSilent = silent;
}

ISMMWCredential* SimContext::NewCredentialTemplate(int type)
{
    TheController().Enter(L"Factory::NewCredentialTemplate");
    return new SimCredential(type, 0);
}

ISMMWCredential* SimContext::NewDataCredentialTemplate(int dataType)
{
    TheController().Enter(L"Factory::NewDataCredentialTemplate");
    return new SimCredential(kCredentialData, dataType);
}

int SimContext::CreateCredential(ISMMWCredential* credentialTemplate, ISMMWCredential** created)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Factory::CreateCredential");
    auto* source = dynamic_cast<SimCredential*>(credentialTemplate);
    if (!source || !created)
        Fail(kInvalidParameter, L"CreateCredential: no template");
    if (m_nCreateStatus != kCredentialCreated)
        return m_nCreateStatus;
    // A new PKI credential takes the card's type for certificates.
    auto made = std::make_unique<SimCredential>(*source);
    if (made->m_nType == kCredentialNewPKI)
        made->m_nType = kCredentialPKI;
    *created = made.get();
    m_credentials.push_back(std::move(made));
    return kCredentialCreated;
}

void SimContext::BeginTransaction()
{
    TheController().Enter(L"Context::BeginTransaction");
    ++m_nTransactions;
}

void SimContext::EndTransaction()
{
    TheController().Enter(L"Context::EndTransaction");
    if (m_nTransactions > 0)
        --m_nTransactions;
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
        r->state = kReaderCardPresent;
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
        r->state = kReaderEmpty;
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
    mwctlFailCallAs(nth, id, kMwctlCException);
}

extern "C" void mwctlFailCallAs(unsigned nth, int id, int kind)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.m_nFailIn = nth;
    c.m_nFailId = id;
    c.m_nFailKind = kind;
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

extern "C" bool mwctlCardField(const wchar_t* card, const wchar_t* key, wchar_t* value, size_t chars)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    if (!card || !key || !value || chars == 0)
        return false;
    auto found = c.m_world.cards.find(card);
    if (found == c.m_world.cards.end() || !found->second.fields.count(key))
        return false;
    wcsncpy(value, found->second.fields.at(key).c_str(), chars - 1);
    value[chars - 1] = L'\0';
    return true;
}

extern "C" size_t mwctlOpenTransactions()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    size_t open = 0;
    for (const auto& context : c.m_contexts)
        open += static_cast<size_t>(context->m_nTransactions);
    return open;
}

extern "C" size_t mwctlOpenContexts()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    return c.m_contexts.size();
}
