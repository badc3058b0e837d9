// The simulated controller: it serves the card world loaded last, counts
// and logs every call the layer makes, and fails the call a test asks for.
#include "CardData.h"
#include "CardWorld.h"
#include "mwctl_control.h"

#include "CException.h"
#include "SMMWController.h"
#include "TripleDes.h"
#include "vkevtsub_control.h"

#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

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

class SimContext;

class SimCardObject : public ISMMWCardObject, public ISMMWSecurityModuleCapabilities {
public:
    SimCardObject(std::wstring reader, std::wstring card, const SimContext* context)
        : m_reader(std::move(reader)), m_card(std::move(card)), m_pContext(context)
    {
    }
    void GetProperty(int id, VKData& value) override;
    ISMMWSecurityModuleCapabilities* GetSecurityModuleCapabilities() override;
    void GetCapability(const wchar_t* name, VKData& value) override;
    const std::wstring& Reader() const { return m_reader; }
    const std::wstring& Card() const { return m_card; }
    const SimContext* Context() const { return m_pContext; }

private:
    std::wstring m_reader;
    std::wstring m_card;
    const SimContext* m_pContext;
};

// The rights of one action of a credential, as the card world gives them.
class SimAccessList : public ISMMWAccessControlList {
public:
    bool IsAuthenticable() override;
    bool m_bAuthenticable = true;
};

// A right as the controller read it when the credential was created.
struct ReadRight {
    int aclType;
    int acrType;
    ISMMWCredential* credential;
};

class SimCredential : public ISMMWCredential {
public:
    SimCredential(int type, int dataType) : m_nType(type), m_nDataType(dataType) {}
    SimCredential(const SimCredential&) = default;
    ~SimCredential() override;
    void GetProperty(int id, VKData& value) override;
    void SetAttribute(int id, const VKData& value) override;
    ISMMWAccessControlList* GetAccessControlList(const wchar_t* action) override;
    void GetUnblockChallenge(WipingBytes& challenge) override;
    bool Unblock(const WipingBytes& response, const WipingBytes& newPin, int flags) override;
    void SetAccessRights(const wchar_t* action, const std::vector<CSMMWAccessControlRight*>& rights,
                         int accessMode) override;
    void ImportKey(const VKData& key, const ParameterMap& parameters, int flags) override;
    void SetValue(const VKData& value) override;

    bool Matches(const Filter& filter) const;
    int m_nType;
    int m_nDataType;
    std::map<int, VKData> m_attributes;
    VKData m_value;
    // Per action, the rights as the caller handed them over (read only when
    // the credential is created) and the access mode.
    std::map<std::wstring, std::pair<std::vector<CSMMWAccessControlRight*>, int>> m_pendingRights;
    // Per action, the rights read at creation, and the access mode.
    std::map<std::wstring, std::pair<std::vector<ReadRight>, int>> m_rights;
    // Non-zero for a credential created through a context: its entry in the
    // controller's list of creations.
    unsigned m_nCreation = 0;
    // For a certificate of the card world, its key prefix ("PKI.1.",
    // "CA.2."): deleting it marks it deleted there.
    std::wstring m_sWorldKey;
    std::wstring m_sWorldCard;
    // The "ActionDeleteCredential" list, when the card has one for it.
    bool m_bHasDeleteList = false;
    SimAccessList m_deleteList;
};

// The user PIN of a card: its lengths, switches, unlock code and tries live
// in the card's fields of the world, so every context on the card sees the
// same card.
class SimPinCredential : public SimCredential, public ISMMWAccessControlList {
public:
    SimPinCredential(std::wstring reader, std::wstring card, const SimContext* context)
        : SimCredential(kCredentialPIN, 0), m_reader(std::move(reader)), m_card(std::move(card)), m_pContext(context)
    {
    }
    void GetProperty(int id, VKData& value) override;
    void SetAttribute(int id, const VKData& value) override;
    ISMMWAccessControlList* GetAccessControlList(const wchar_t* action) override;
    void GetUnblockChallenge(WipingBytes& challenge) override;
    bool Unblock(const WipingBytes& response, const WipingBytes& newPin, int flags) override;
    bool IsAuthenticable() override;

private:
    WorldCard& Card();
    std::wstring m_reader;
    std::wstring m_card;
    const SimContext* m_pContext;
};

// What the caller of CreateCredential receives: its own object, which it
// deletes, standing for the credential that stays on the card.
class SimCreatedCredential : public ISMMWCredential {
public:
    explicit SimCreatedCredential(unsigned creation);
    ~SimCreatedCredential() override;
    void GetProperty(int id, VKData& value) override { Made(L"Credential::GetProperty").GetProperty(id, value); }
    void SetAttribute(int id, const VKData& value) override { Made(L"Credential::SetAttribute").SetAttribute(id, value); }
    ISMMWAccessControlList* GetAccessControlList(const wchar_t* action) override
    {
        return Made(L"Credential::GetAccessControlList").GetAccessControlList(action);
    }
    void GetUnblockChallenge(WipingBytes& challenge) override
    {
        Made(L"Credential::GetUnblockChallenge").GetUnblockChallenge(challenge);
    }
    bool Unblock(const WipingBytes& response, const WipingBytes& newPin, int flags) override
    {
        return Made(L"Credential::Unblock").Unblock(response, newPin, flags);
    }
    void SetAccessRights(const wchar_t* action, const std::vector<CSMMWAccessControlRight*>& rights,
                         int accessMode) override
    {
        Made(L"Credential::SetAccessRights").SetAccessRights(action, rights, accessMode);
    }
    void ImportKey(const VKData& key, const ParameterMap& parameters, int flags) override
    {
        Made(L"Credential::ImportKey").ImportKey(key, parameters, flags);
    }
    void SetValue(const VKData& value) override { Made(L"Credential::SetValue").SetValue(value); }
    unsigned Creation() const { return m_nCreation; }

private:
    // The credential on the card; a failure when it is gone (deleted, or
    // its context released).
    SimCredential& Made(const wchar_t* operation);
    unsigned m_nCreation;
};

// One credential created through a context, as the control interface
// reports it.
struct Creation {
    int type = 0;
    int dataType = 0;
    std::wstring refresh;
    std::wstring rights;
    std::wstring keySize;
    std::wstring import;
    size_t valueBytes = 0;
    WipingBytes value; // of a data credential, as written
    bool primary = false; // attribute 38 written true after the creation
    std::wstring state = L"made";
    SimCredential* record = nullptr; // while it is on the card

    std::wstring Describe() const
    {
        std::wstring text = L"type=" + std::to_wstring(type);
        if (type == kCredentialData)
            text += L" data=" + std::to_wstring(dataType);
        text += L" refresh=" + (refresh.empty() ? std::wstring(L"none") : refresh) + L" rights=" + rights;
        if (!keySize.empty())
            text += L" keysize=" + keySize;
        if (!import.empty())
            text += L" import=" + import;
        if (type == kCredentialData)
            text += L" value=" + std::to_wstring(valueBytes);
        if (primary)
            text += L" primary=1";
        return text + L" state=" + state;
    }
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
    void FindCredentials(const Filter& filter, std::vector<ISMMWCredential*>& found) override;
    void ExecuteAction(const wchar_t* name, const ParameterMap& in, ParameterMap& out) override;
    ISMMWCardObject* GetCardObject() override;
    ISMMWCredentialFactory* GetCredentialFactory() override;
    void BeginTransaction() override;
    void EndTransaction() override;
    void ResetTransactionTimeout() override;
    MWDataMap* GetDataMap() override;
    void DeleteCredential(ISMMWCredential* credential) override;
    ISMMWCredential* NewCredentialTemplate(int type) override;
    ISMMWCredential* NewDataCredentialTemplate(int dataType) override;
    int CreateCredential(ISMMWCredential* credentialTemplate, ISMMWCredential** created) override;
    void AddSilentContext(bool silent) override;

    const std::wstring& CardName() const { return m_cardObject.Card(); }
    // True for the card's own PIN credentials of this context.
    bool IsOwnPin(const ISMMWCredential* credential) const;

    bool m_bSilent = false;
    int m_nTransactions = 0;

private:
    SimCardObject m_cardObject;
    std::vector<std::unique_ptr<SimCredential>> m_credentials;
    // The action run last, which the next creation reports.
    std::wstring m_sLastAction;
};

// A card's transaction: which context holds it, and when it ends by itself
// (0: never).
struct CardTransaction {
    SimContext* holder = nullptr;
    ULONGLONG deadline = 0;
};

// Calls kept for the control interface; older ones are dropped, counted.
constexpr size_t kCallLogLimit = 4096;

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
        if (reader->state == kReaderUnavailable)
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
        // A release that fails still ends the context: the card is let go,
        // and a transaction left open on it is ended and remembered.
        if (known) {
            ExpireTransactions();
            SimContext* released = found->get();
            if (released->m_nTransactions > 0) {
                m_nAbandonedTransactions += static_cast<size_t>(released->m_nTransactions);
                m_transactions.erase(released->CardName());
            }
            m_contexts.erase(found);
        }
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
        if (m_hHoldReached && m_sHoldName == operation && --m_nHoldOccurrence == 0) {
            const HANDLE reached = std::exchange(m_hHoldReached, nullptr);
            SetEvent(reached);
            WaitForSingleObject(m_hHoldRelease, 30000);
        }
        m_calls.emplace_back(operation);
        if (m_calls.size() > kCallLogLimit) {
            m_calls.pop_front();
            ++m_nCallsDropped;
        }
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
        auto found = m_readerObjects.find(name);
        if (found != m_readerObjects.end())
            return found->second.get();
        return m_readerObjects.emplace(name, std::make_unique<SimReader>(name)).first->second.get();
    }

    ULONGLONG Now() const { return GetTickCount64() + m_nClockAhead; }

    // The card's transaction time-out in milliseconds; 0 for none.
    static ULONGLONG TransactionTimeout(const WorldCard& card)
    {
        const long long timeout = _wtoi64(card.Field(L"TransactionTimeout").c_str());
        return timeout > 0 ? static_cast<ULONGLONG>(timeout) : 0;
    }

    // Ends every transaction whose card time-out has passed unrenewed.
    void ExpireTransactions()
    {
        const ULONGLONG now = Now();
        for (auto it = m_transactions.begin(); it != m_transactions.end();) {
            if (it->second.deadline && now >= it->second.deadline) {
                m_nExpiredTransactions += static_cast<size_t>(it->second.holder->m_nTransactions);
                it->second.holder->m_nTransactions = 0;
                it = m_transactions.erase(it);
            } else {
                ++it;
            }
        }
    }

    // A card left its reader: its transaction ends with it.
    void DropTransaction(const std::wstring& card)
    {
        auto found = m_transactions.find(card);
        if (found == m_transactions.end())
            return;
        found->second.holder->m_nTransactions = 0;
        m_transactions.erase(found);
    }

    std::recursive_mutex m_lock;
    CardWorld m_world;
    std::vector<std::unique_ptr<SimContext>> m_contexts;
    std::map<std::wstring, std::unique_ptr<SimReader>> m_readerObjects;
    std::deque<std::wstring> m_calls;
    size_t m_nCallsDropped = 0;
    unsigned m_nFailIn = 0;
    int m_nFailId = 0;
    int m_nFailKind = kMwctlCException;
    // The call mwctlHoldCall waits in.
    std::wstring m_sHoldName;
    unsigned m_nHoldOccurrence = 0;
    HANDLE m_hHoldReached = nullptr;
    HANDLE m_hHoldRelease = nullptr;
    // Per card name.
    std::map<std::wstring, CardTransaction> m_transactions;
    size_t m_nAbandonedTransactions = 0;
    size_t m_nExpiredTransactions = 0;
    ULONGLONG m_nClockAhead = 0;
    std::map<unsigned, Creation> m_creations;
    unsigned m_nNextCreation = 1;
    size_t m_nCreatedHeld = 0;
};

Controller& TheController()
{
    static Controller* controller = new Controller();
    return *controller;
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

// While one context's transaction is open, the card answers no other.
void CheckNotInOthersTransaction(Controller& c, const std::wstring& card, const SimContext* context)
{
    c.ExpireTransactions();
    auto found = c.m_transactions.find(card);
    if (found != c.m_transactions.end() && found->second.holder != context)
        Fail(kFailureCardInTransaction, L"card " + card + L" is in another context's transaction");
}

// The card this object was opened on, or a failure when it left its reader
// or another context holds it in a transaction.
const WorldCard& PresentCard(Controller& c, const SimCardObject& object)
{
    WorldReader* reader = c.m_world.FindReader(object.Reader());
    const WorldCard* card = reader ? c.m_world.CardIn(*reader) : nullptr;
    if (!card || card->name != object.Card())
        Fail(kCardGone, L"the card left reader " + object.Reader());
    CheckNotInOthersTransaction(c, card->name, object.Context());
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
        // Cards whose middleware hands out the identifier's bytes, and cards
        // whose middleware hands out their hexadecimal text.
        if (_wcsicmp(card.Field(L"IdentifierForm").c_str(), L"bytes") == 0)
            value = VKData(HexBytes(card.Field(L"Identifier")));
        else
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

// Card data bytes as text, one character per byte.
std::wstring ByteText(const CardBytes& bytes)
{
    return std::wstring(bytes.begin(), bytes.end());
}

std::wstring FaultText(const wchar_t* what, CardDataFault fault, size_t where)
{
    const char* text = CardDataFaultText(fault);
    return std::wstring(what) + L" is malformed: " + std::wstring(text, text + strlen(text)) + L" at byte " +
           std::to_wstring(where);
}

// A CHUID property, decoded from the container as the middleware does.
void ChuidProperty(const WipingBytes& bytes, int id, VKData& value)
{
    std::map<uint32_t, CardBytes> elements;
    size_t where = 0;
    const CardDataFault fault = ParseChuid(bytes.data(), bytes.size(), elements, where);
    if (fault != CardDataFault::None)
        Fail(kInvalidParameter, FaultText(L"the CHUID", fault, where));
    auto element = [&elements, id](uint32_t tag) -> const CardBytes& {
        auto found = elements.find(tag);
        if (found == elements.end())
            Fail(kNotFound, L"Credential::GetProperty: the CHUID has no property " + std::to_wstring(id));
        return found->second;
    };
    static const std::map<int, uint32_t> kTextElements = {
        {98, kChuidExpiration}, {99, kChuidAgencyCode}, {100, kChuidOrganization}, {101, kChuidDuns}};
    if (id == 97) {
        static const wchar_t kDigits[] = L"0123456789ABCDEF";
        std::wstring hex;
        for (uint8_t b : element(kChuidGuid)) {
            hex += kDigits[b >> 4];
            hex += kDigits[b & 0x0F];
        }
        value.SetString(hex.c_str());
        return;
    }
    if (kTextElements.count(id)) {
        value.SetString(ByteText(element(kTextElements.at(id))).c_str());
        return;
    }
    if (id < 103 || id > 111)
        Fail(kNotFound, L"Credential::GetProperty: the CHUID has no property " + std::to_wstring(id));
    Fascn fascn;
    if (!DecodeFascn(element(kChuidFascn), fascn))
        Fail(kInvalidParameter, L"Credential::GetProperty: the FASC-N does not decode");
    const std::string* fields[] = {&fascn.agency, &fascn.system, &fascn.credential, &fascn.series, &fascn.issue,
                                   &fascn.person, &fascn.category, &fascn.organization, &fascn.association};
    const std::string& field = *fields[id - 103];
    value.SetString(std::wstring(field.begin(), field.end()).c_str());
}

// A tag of a demographic container, as bytes.
void DemographicProperty(const WipingBytes& bytes, int id, VKData& value)
{
    if (id < 0 || id > 0xFF)
        Fail(kNotFound, L"Credential::GetProperty: no demographic tag " + std::to_wstring(id));
    CardBytes found;
    bool present = false;
    size_t where = 0;
    const CardDataFault fault =
        FindSimpleTlv(bytes.data(), bytes.size(), static_cast<uint8_t>(id), found, present, where);
    if (fault != CardDataFault::None)
        Fail(kInvalidParameter, FaultText(L"the demographic data", fault, where));
    if (!present)
        Fail(kNotFound, L"Credential::GetProperty: no demographic tag " + std::to_wstring(id));
    value = VKData(WipingBytes(found.begin(), found.end()));
}

void SimCredential::GetProperty(int id, VKData& value)
{
    TheController().Enter(L"Credential::GetProperty");
    // A certificate data object's value is its certificate.
    if (m_nType == kCredentialData && m_nDataType == kDataCredentialCertificate && id == kPropertyCertificate) {
        value = m_value;
        return;
    }
    auto found = m_attributes.find(id);
    if (found != m_attributes.end()) {
        value = found->second;
        return;
    }
    // The card data credentials answer from their value, as decoded.
    if (m_nType == kCredentialData && m_nDataType == kDataTypeChuid)
        return ChuidProperty(m_value.GetBytes(), id, value);
    if (m_nType == kCredentialData && m_nDataType == kDataTypeDemographic && id != kPropertyLabel)
        return DemographicProperty(m_value.GetBytes(), id, value);
    Fail(kNotFound, L"Credential::GetProperty: no property " + std::to_wstring(id));
}

void SimCredential::SetAttribute(int id, const VKData& value)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Credential::SetAttribute");
    m_attributes[id] = value;
    // A certificate of the world keeps its default mark on the card.
    auto card = c.m_world.cards.find(m_sWorldCard);
    if (id == kAttributePrimary && m_nType == kCredentialPKI && card != c.m_world.cards.end())
        card->second.fields[m_sWorldKey + L"Default"] = value.GetBool() ? L"1" : L"0";
    auto found = c.m_creations.find(m_nCreation);
    if (m_nCreation && found != c.m_creations.end() && id == kAttributePrimary)
        found->second.primary = value.GetBool();
}

SimCredential::~SimCredential()
{
    if (!m_nCreation)
        return;
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    auto found = c.m_creations.find(m_nCreation);
    if (found != c.m_creations.end() && found->second.record == this)
        found->second.record = nullptr;
}

void SimCredential::SetAccessRights(const wchar_t* action, const std::vector<CSMMWAccessControlRight*>& rights,
                                    int accessMode)
{
    TheController().Enter(L"Credential::SetAccessRights");
    // Kept as handed over: a card reads the rights when it creates the
    // credential.
    m_pendingRights[action ? action : L""] = {rights, accessMode};
}

void SimCredential::ImportKey(const VKData& key, const ParameterMap& parameters, int flags)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Credential::ImportKey");
    m_value = key;
    auto found = c.m_creations.find(m_nCreation);
    if (found != c.m_creations.end()) {
        found->second.import = parameters.Get(L"KeySize") + L"/" + std::to_wstring(flags);
        found->second.state = L"complete";
    }
}

void SimCredential::SetValue(const VKData& value)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Credential::SetValue");
    m_value = value;
    auto found = c.m_creations.find(m_nCreation);
    if (found != c.m_creations.end()) {
        found->second.valueBytes = value.GetBytes().size();
        found->second.value = value.GetBytes();
        found->second.state = L"complete";
    }
}

SimCreatedCredential::SimCreatedCredential(unsigned creation) : m_nCreation(creation)
{
    ++TheController().m_nCreatedHeld;
}

SimCreatedCredential::~SimCreatedCredential()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    --c.m_nCreatedHeld;
}

SimCredential& SimCreatedCredential::Made(const wchar_t* operation)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    auto found = c.m_creations.find(m_nCreation);
    if (found == c.m_creations.end() || !found->second.record) {
        c.Enter(operation);
        Fail(kNotFound, std::wstring(operation) + L": the credential is no longer on the card");
    }
    return *found->second.record;
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

ISMMWAccessControlList* SimCredential::GetAccessControlList(const wchar_t* action)
{
    TheController().Enter(L"Credential::GetAccessControlList");
    if (m_bHasDeleteList && action && std::wstring(action) == L"ActionDeleteCredential")
        return &m_deleteList;
    return nullptr;
}

bool SimAccessList::IsAuthenticable()
{
    TheController().Enter(L"ACL::IsAuthenticable");
    return m_bAuthenticable;
}

WorldCard& SimPinCredential::Card()
{
    Controller& c = TheController();
    WorldReader* reader = c.m_world.FindReader(m_reader);
    auto found = c.m_world.cards.find(m_card);
    if (!reader || reader->state != 0 || reader->card != m_card || found == c.m_world.cards.end())
        Fail(kCardGone, L"the card left reader " + m_reader);
    CheckNotInOthersTransaction(c, m_card, m_pContext);
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
    // A PIN flagged "not primary" (138 false) stands in for the primary one
    // only for a search that asks for it with 138 = false.
    const auto& criteria = filter.Attributes();
    const bool acceptsNotPrimary = std::any_of(criteria.begin(), criteria.end(), [](const auto& criterion) {
        return criterion.first == kAttributeNotPrimaryFallback && !criterion.second.GetBool();
    });
    const auto flag = m_attributes.find(kAttributeNotPrimaryFallback);
    const bool notPrimary = flag != m_attributes.end() && !flag->second.GetBool();
    const auto& types = filter.CredentialTypes();
    if (!types.empty() && std::find(types.begin(), types.end(), m_nType) == types.end())
        return false;
    const auto& dataTypes = filter.DataCredentialTypes();
    if (!dataTypes.empty() && std::find(dataTypes.begin(), dataTypes.end(), m_nDataType) == dataTypes.end())
        return false;
    for (const auto& [attribute, wanted] : criteria) {
        if (attribute == kAttributePrimary && wanted.GetBool() && acceptsNotPrimary && notPrimary)
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
    // A PEM file ("-----BEGIN ...") stands for the DER bytes it encodes.
    static const char kPem[] = "-----BEGIN";
    if (bytes.size() > sizeof(kPem) && std::equal(kPem, kPem + sizeof(kPem) - 1, bytes.begin())) {
        DWORD size = 0;
        const DWORD length = static_cast<DWORD>(bytes.size());
        const char* text = reinterpret_cast<const char*>(bytes.data());
        WipingBytes der;
        if (CryptStringToBinaryA(text, length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
            der.resize(size);
            if (!CryptStringToBinaryA(text, length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
                der.clear();
            der.resize(std::min<size_t>(der.size(), size));
        }
        return der;
    }
    return bytes;
}

// A comma-separated list of texts, blanks around each trimmed.
std::vector<std::wstring> ItemList(const std::wstring& text)
{
    std::vector<std::wstring> items;
    size_t start = 0;
    while (start < text.size()) {
        size_t comma = text.find(L',', start);
        std::wstring item = text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        item.erase(0, item.find_first_not_of(L" \t"));
        item.erase(item.find_last_not_of(L" \t") + 1);
        if (!item.empty())
            items.push_back(item);
        if (comma == std::wstring::npos)
            break;
        start = comma + 1;
    }
    return items;
}

std::wstring DefaultContainerGuid(const std::wstring& card, int index)
{
    wchar_t text[40];
    swprintf(text, 40, L"{%08X-0000-4000-8000-%012X}", static_cast<unsigned>(std::hash<std::wstring>()(card)),
             static_cast<unsigned>(index + 1));
    return text;
}

void AppendBigEndian(WipingBytes& bytes, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<unsigned char>(value >> shift));
}

// A value of a card world field: "none" for an empty byte array, text in
// double quotes for a value of the wrong kind (a string), else hexadecimal
// digits or @file as for data objects.
VKData FieldValue(const std::wstring& text, const std::wstring& worldFolder)
{
    if (text == L"none")
        return VKData(WipingBytes());
    if (!text.empty() && text[0] == L'"')
        return VKData(text.c_str());
    return VKData(DataObjectBytes(text, worldFolder));
}

// A PKI credential's certificate (property 3), its attribute record (4: the
// encryption rank, then the label in UTF-8) and its public key attribute
// record (2: key size in bits and key usage bits, each 4 bytes, most
// significant first), as the card's fields give them or, for the records,
// built from Label, EncryptionRank and KeyBits; and its delete right.
void AddCertificateFields(SimCredential& pki, const WorldCard& card, const std::wstring& key,
                          const std::wstring& worldFolder)
{
    const std::wstring certificate = card.Field(key + L"Certificate");
    if (certificate.empty())
        return;
    pki.m_attributes[kPropertyCertificate] = FieldValue(certificate, worldFolder);
    const std::wstring attributes = card.Field(key + L"Attributes");
    if (!attributes.empty()) {
        pki.m_attributes[kPropertyCertificateAttributes] = FieldValue(attributes, worldFolder);
    } else {
        WipingBytes record(1, static_cast<unsigned char>(_wtoi(card.Field(key + L"EncryptionRank", L"0").c_str())));
        const std::wstring label = card.Field(key + L"Label", L"Certificate " + key.substr(4, key.size() - 5));
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, label.c_str(), static_cast<int>(label.size()), nullptr, 0,
                                              nullptr, nullptr);
        if (bytes > 0) {
            record.resize(1 + static_cast<size_t>(bytes));
            WideCharToMultiByte(CP_UTF8, 0, label.c_str(), static_cast<int>(label.size()),
                                reinterpret_cast<char*>(record.data() + 1), bytes, nullptr, nullptr);
        }
        pki.m_attributes[kPropertyCertificateAttributes] = VKData(record);
    }
    const std::wstring publicKey = card.Field(key + L"PublicKeyAttributes");
    if (!publicKey.empty()) {
        pki.m_attributes[kPropertyPublicKeyAttributes] = FieldValue(publicKey, worldFolder);
    } else {
        WipingBytes record;
        AppendBigEndian(record, static_cast<uint32_t>(_wtoi(card.Field(key + L"KeyBits", L"2048").c_str())));
        AppendBigEndian(record, static_cast<uint32_t>(wcstoul(card.Field(key + L"KeyUsage", L"0").c_str(), nullptr, 16)));
        pki.m_attributes[kPropertyPublicKeyAttributes] = VKData(record);
    }
    const std::wstring deletable = card.Field(key + L"Delete", L"allowed");
    pki.m_bHasDeleteList = deletable != L"none";
    pki.m_deleteList.m_bAuthenticable = deletable == L"allowed";
}

SimContext::SimContext(const std::wstring& reader, const WorldCard& card, const std::wstring& worldFolder)
    : m_cardObject(reader, card.name, this)
{
    // Counts are bounded here too: a test may change a card's fields after
    // the world was checked.
    auto count = [&card](const wchar_t* key, int fallback) { return std::clamp(card.Count(key, fallback), 0, kMaxWorldCount); };
    const bool primaryPin = card.Field(L"PINPrimary", L"1") != L"0";
    for (int i = 0, n = count(L"PINCredentials", 1); i < n; ++i) {
        auto pin = std::make_unique<SimPinCredential>(reader, card.name, this);
        if (primaryPin)
            pin->m_attributes[kAttributePrimary] = VKData(true);
        else
            pin->m_attributes[kAttributeNotPrimaryFallback] = VKData(false);
        m_credentials.push_back(std::move(pin));
    }
    std::vector<int> dataTypes = NumberList(card.Field(L"DataObjects"));
    dataTypes.resize(std::min(dataTypes.size(), static_cast<size_t>(kMaxWorldCount)));
    for (int dataType : dataTypes) {
        auto data = std::make_unique<SimCredential>(kCredentialData, dataType);
        data->m_value = VKData(DataObjectBytes(card.Field(L"DataObject." + std::to_wstring(dataType)), worldFolder));
        m_credentials.push_back(std::move(data));
    }
    // The CHUID that the card's CHUID.* fields describe, unless DataObjects
    // gives its bytes; and the card's labelled demographic containers.
    WipingBytes chuid;
    std::wstring fault;
    if (std::find(dataTypes.begin(), dataTypes.end(), kDataTypeChuid) == dataTypes.end() && card.HasChuid() &&
        card.ChuidBytes(chuid, fault)) {
        auto data = std::make_unique<SimCredential>(kCredentialData, kDataTypeChuid);
        data->m_value = VKData(chuid);
        m_credentials.push_back(std::move(data));
    }
    const std::wstring signature = card.Field(L"CHUID.SignatureStatus");
    for (auto& credential : m_credentials)
        if (credential->m_nDataType == kDataTypeChuid && credential->m_nType == kCredentialData && !signature.empty())
            credential->m_attributes[kPropertySignatureStatus] = VKData(static_cast<uint8_t>(_wtoi(signature.c_str())));
    for (int i = 1, n = count(L"Demographics", 0); i <= n; ++i) {
        auto data = std::make_unique<SimCredential>(kCredentialData, kDataTypeDemographic);
        const std::wstring prefix = L"Demographic." + std::to_wstring(i) + L".";
        if (card.fields.count(prefix + L"Label"))
            data->m_attributes[kPropertyLabel] = VKData(card.Field(prefix + L"Label").c_str());
        WipingBytes bytes;
        if (card.fields.count(prefix + L"Data"))
            bytes = DataObjectBytes(card.Field(prefix + L"Data"), worldFolder);
        else
            card.DemographicBytes(i, bytes, fault);
        data->m_value = VKData(bytes);
        m_credentials.push_back(std::move(data));
    }
    for (int i = 0, n = count(L"PKICredentials", 0); i < n; ++i) {
        const std::wstring key = L"PKI." + std::to_wstring(i + 1) + L".";
        if (card.Field(key + L"Deleted") == L"1")
            continue;
        auto pki = std::make_unique<SimCredential>(kCredentialPKI, 0);
        pki->m_sWorldKey = key;
        pki->m_sWorldCard = card.name;
        const std::wstring primary = card.Field(key + L"Default");
        pki->m_attributes[kAttributePrimary] = VKData(primary.empty() ? i == 0 : primary == L"1");
        pki->m_attributes[kAttributeKeyContainerLink] = VKData(static_cast<uint32_t>(100 + i));
        AddCertificateFields(*pki, card, key, worldFolder);
        const bool hasContainer = card.Field(key + L"KeyContainer", L"1") != L"0";
        m_credentials.push_back(std::move(pki));
        if (!hasContainer)
            continue;
        auto container = std::make_unique<SimCredential>(kCredentialKeyContainer, 0);
        container->m_attributes[kAttributeKeyContainerLink] = VKData(static_cast<uint32_t>(100 + i));
        const std::wstring guid = card.Field(key + L"Container");
        container->m_attributes[kPropertyContainerGuid] =
            VKData(guid == L"none" ? L"" : guid.empty() ? DefaultContainerGuid(card.name, i).c_str() : guid.c_str());
        const std::wstring info = card.Field(key + L"ContainerInfo", L"01");
        container->m_attributes[kPropertyContainerInfo] = VKData(info == L"none" ? WipingBytes() : HexBytes(info));
        m_credentials.push_back(std::move(container));
    }
    // CA certificates: data objects of type 5 whose value is the certificate.
    std::vector<std::wstring> authorities = ItemList(card.Field(L"CACertificates"));
    authorities.resize(std::min(authorities.size(), static_cast<size_t>(kMaxWorldCount)));
    for (size_t i = 0; i < authorities.size(); ++i) {
        const std::wstring key = L"CA." + std::to_wstring(i + 1) + L".";
        if (card.Field(key + L"Deleted") == L"1")
            continue;
        auto data = std::make_unique<SimCredential>(kCredentialData, kDataCredentialCertificate);
        data->m_sWorldKey = key;
        data->m_sWorldCard = card.name;
        data->m_value = FieldValue(authorities[i], worldFolder);
        const std::wstring deletable = card.Field(key + L"Delete", L"allowed");
        data->m_bHasDeleteList = deletable != L"none";
        data->m_deleteList.m_bAuthenticable = deletable == L"allowed";
        m_credentials.push_back(std::move(data));
    }
}

ISMMWCardObject* SimContext::GetCardObject()
{
    TheController().Enter(L"Context::GetCardObject");
    return &m_cardObject;
}

bool SimContext::IsOwnPin(const ISMMWCredential* credential) const
{
    return credential && std::any_of(m_credentials.begin(), m_credentials.end(), [credential](const auto& own) {
               return own.get() == credential && own->m_nType == kCredentialPIN;
           });
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
    m_sLastAction = action;
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

// A right as it reads in the control interface: "always", "pin" (the
// card's own PIN), or "ACL/ACR" with "+credential" for another credential.
std::wstring DescribeRight(const ReadRight& right, const SimContext& context)
{
    if (right.aclType == 0 && right.acrType == 0 && !right.credential)
        return L"always";
    if (right.aclType == 0 && right.acrType == 2 && context.IsOwnPin(right.credential))
        return L"pin";
    return std::to_wstring(right.aclType) + L"/" + std::to_wstring(right.acrType) +
           (right.credential ? L"+credential" : L"");
}

int SimContext::CreateCredential(ISMMWCredential* credentialTemplate, ISMMWCredential** created)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Factory::CreateCredential");
    auto* source = dynamic_cast<SimCredential*>(credentialTemplate);
    if (!source || !created)
        Fail(kInvalidParameter, L"CreateCredential: no template");
    const WorldCard& card = PresentCard(c, m_cardObject);
    // The refresh run for this creation is spent whatever the outcome.
    const std::wstring refresh = std::exchange(m_sLastAction, std::wstring());
    // The rights are read now, as a card reads them while it creates.
    std::map<std::wstring, std::pair<std::vector<ReadRight>, int>> rights;
    std::wstring described;
    for (const auto& [action, given] : source->m_pendingRights) {
        std::wstring list;
        for (const CSMMWAccessControlRight* right : given.first) {
            if (!right || !right->IsLive())
                Fail(kInvalidParameter, L"CreateCredential: a right of " + action + L" was deleted before the creation");
            if (right->ACRType() == 2 && !IsOwnPin(right->Credential()))
                Fail(kInvalidParameter, L"CreateCredential: the user-PIN right of " + action + L" names no PIN of the card");
            rights[action].first.push_back({right->ACLType(), right->ACRType(), right->Credential()});
            list += (list.empty() ? L"" : L"+") + DescribeRight(rights[action].first.back(), *this);
        }
        rights[action].second = given.second;
        described += (described.empty() ? L"" : L";") + action + L":" + std::to_wstring(given.second) + L":" + list;
    }
    const int status = card.Count(L"CreateStatus", kCredentialCreated);
    if (status != kCredentialCreated)
        return status;
    // A new PKI credential takes the card's type for certificates.
    auto made = std::make_unique<SimCredential>(*source);
    made->m_pendingRights.clear();
    made->m_rights = std::move(rights);
    if (made->m_nType == kCredentialNewPKI)
        made->m_nType = kCredentialPKI;
    Creation creation;
    creation.type = made->m_nType;
    creation.dataType = made->m_nDataType;
    creation.refresh = refresh;
    creation.rights = described;
    auto size = made->m_attributes.find(kAttributeKeySize);
    if (size != made->m_attributes.end())
        creation.keySize = std::to_wstring(size->second.GetUInt());
    creation.record = made.get();
    made->m_nCreation = c.m_nNextCreation++;
    c.m_creations[made->m_nCreation] = creation;
    *created = new SimCreatedCredential(made->m_nCreation);
    m_credentials.push_back(std::move(made));
    return kCredentialCreated;
}

void SimContext::DeleteCredential(ISMMWCredential* credential)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Context::DeleteCredential");
    auto* handle = dynamic_cast<SimCreatedCredential*>(credential);
    // A certificate of the card world goes from the card for the life of
    // the controller: every later context finds it deleted.
    auto world = std::find_if(m_credentials.begin(), m_credentials.end(), [credential](const auto& own) {
        return own.get() == credential && !own->m_sWorldKey.empty();
    });
    if (!handle && world != m_credentials.end()) {
        c.m_world.cards[CardName()].fields[(*world)->m_sWorldKey + L"Deleted"] = L"1";
        m_credentials.erase(world);
        return;
    }
    auto found = std::find_if(m_credentials.begin(), m_credentials.end(), [handle](const auto& own) {
        return handle && own->m_nCreation == handle->Creation();
    });
    if (found == m_credentials.end())
        Fail(kInvalidParameter, L"DeleteCredential: not a credential made through this context");
    c.m_creations[handle->Creation()].state = L"deleted";
    m_credentials.erase(found);
}

void SimContext::BeginTransaction()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Context::BeginTransaction");
    const WorldCard& card = PresentCard(c, m_cardObject);
    c.ExpireTransactions();
    CardTransaction& transaction = c.m_transactions[CardName()];
    if (transaction.holder && transaction.holder != this)
        Fail(kFailureCardInTransaction, L"BeginTransaction: card " + CardName() + L" is in another context's transaction");
    transaction.holder = this;
    const ULONGLONG timeout = Controller::TransactionTimeout(card);
    transaction.deadline = timeout ? c.Now() + timeout : 0;
    ++m_nTransactions;
}

// The transaction this context holds on its card; a failure when it holds
// none (never begun, ended, or ended by the card's time-out).
CardTransaction& HeldTransaction(Controller& c, SimContext& context, const wchar_t* operation)
{
    c.ExpireTransactions();
    auto found = c.m_transactions.find(context.CardName());
    if (found == c.m_transactions.end() || found->second.holder != &context)
        Fail(kFailureNoTransaction, std::wstring(operation) + L": no transaction open on this context");
    return found->second;
}

void SimContext::EndTransaction()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Context::EndTransaction");
    PresentCard(c, m_cardObject);
    HeldTransaction(c, *this, L"EndTransaction");
    if (--m_nTransactions == 0)
        c.m_transactions.erase(CardName());
}

void SimContext::ResetTransactionTimeout()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.Enter(L"Context::ResetTransactionTimeout");
    const WorldCard& card = PresentCard(c, m_cardObject);
    CardTransaction& transaction = HeldTransaction(c, *this, L"ResetTransactionTimeout");
    const ULONGLONG timeout = Controller::TransactionTimeout(card);
    transaction.deadline = timeout ? c.Now() + timeout : 0;
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
    // A new world starts a new count of what tests assert afterwards.
    c.m_nAbandonedTransactions = 0;
    c.m_nExpiredTransactions = 0;
    c.m_creations.clear();
    if (!path) {
        c.m_world.Clear();
        return false;
    }
    return c.m_world.Load(path);
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
        c.DropTransaction(r->card);
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
        c.DropTransaction(found->card);
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
    return c.m_nCallsDropped + c.m_calls.size();
}

extern "C" bool mwctlCallName(size_t index, wchar_t* name, size_t chars)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    if (index < c.m_nCallsDropped || index - c.m_nCallsDropped >= c.m_calls.size() || !name || chars == 0)
        return false;
    wcsncpy(name, c.m_calls[index - c.m_nCallsDropped].c_str(), chars - 1);
    name[chars - 1] = L'\0';
    return true;
}

extern "C" void mwctlClearCalls()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.m_calls.clear();
    c.m_nCallsDropped = 0;
    c.m_creations.clear();
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
    c.ExpireTransactions();
    size_t open = c.m_nAbandonedTransactions;
    for (const auto& context : c.m_contexts)
        open += static_cast<size_t>(context->m_nTransactions);
    return open;
}

extern "C" size_t mwctlExpiredTransactions()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.ExpireTransactions();
    return c.m_nExpiredTransactions;
}

extern "C" void mwctlAdvanceClock(unsigned milliseconds)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.m_nClockAhead += milliseconds;
}

extern "C" size_t mwctlCreationCount()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    return c.m_creations.size();
}

extern "C" bool mwctlCreation(size_t index, wchar_t* text, size_t chars)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    if (index >= c.m_creations.size() || !text || chars == 0)
        return false;
    const std::wstring described = std::next(c.m_creations.begin(), static_cast<ptrdiff_t>(index))->second.Describe();
    wcsncpy(text, described.c_str(), chars - 1);
    text[chars - 1] = L'\0';
    return true;
}

extern "C" size_t mwctlCreatedCredentialsHeld()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    return c.m_nCreatedHeld;
}

extern "C" bool mwctlSetCardField(const wchar_t* card, const wchar_t* key, const wchar_t* value)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    if (!card || !key || !*key || !value)
        return false;
    auto found = c.m_world.cards.find(card);
    if (found == c.m_world.cards.end())
        return false;
    found->second.fields[key] = value;
    return true;
}

extern "C" void mwctlHoldCall(const wchar_t* name, unsigned occurrence, HANDLE reached, HANDLE release)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    c.m_sHoldName = name ? name : L"";
    c.m_nHoldOccurrence = occurrence;
    c.m_hHoldReached = name && occurrence ? reached : nullptr;
    c.m_hHoldRelease = release;
}

extern "C" size_t mwctlOpenContexts()
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    return c.m_contexts.size();
}

extern "C" size_t mwctlCreationValue(size_t index, unsigned char* bytes, size_t size)
{
    Controller& c = TheController();
    std::lock_guard<std::recursive_mutex> hold(c.m_lock);
    if (index >= c.m_creations.size())
        return 0;
    const WipingBytes& value = std::next(c.m_creations.begin(), static_cast<ptrdiff_t>(index))->second.value;
    if (bytes)
        std::copy_n(value.begin(), std::min(size, value.size()), bytes);
    return value.size();
}
