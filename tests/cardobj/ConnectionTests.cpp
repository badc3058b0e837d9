// Credentials and transactions through a connection, against card worlds
// of the simulated controller.
#include "CardWorldBuilder.h"
#include "ControllerSweep.h"
#include "Fixtures.h"

#include "cardobj/LayerResult.h"
#include "cardobj/VKReader.h"
#include "mwctl_control.h"

#include "SMMWController.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using Fields = std::vector<std::pair<std::wstring, std::wstring>>;

// A world of one reader holding one card with `fields`, connected for the
// life of the object.
class ConnectedCard {
public:
    explicit ConnectedCard(Fields fields) : m_reader(nullptr)
    {
        m_world.Reader(L"R", L"card", L"c").Card(L"c", std::move(fields));
        m_bServed = m_world.Serve();
        m_reader = std::make_unique<VKReader>(L"R");
        m_nConnect = m_reader->Connect(connection);
    }
    ~ConnectedCard() { m_reader->Disconnect(); }
    ConnectedCard(const ConnectedCard&) = delete;
    ConnectedCard& operator=(const ConnectedCard&) = delete;
    bool Ready() const { return m_bServed && m_nConnect == kLayerOk && connection.m_pContext; }
    VKConnection connection;

private:
    CardWorldBuilder m_world;
    bool m_bServed = false;
    std::unique_ptr<VKReader> m_reader;
    int m_nConnect = -1;
};

TEST(Credentials, TheUserPinIsTheOnePrimaryPinElseTheOneNotPrimary)
{
    struct Case {
        const char* name;
        Fields fields;
        bool found;
    };
    const Case cases[] = {
        {"one primary", {{L"PINCredentials", L"1"}}, true},
        {"two primaries", {{L"PINCredentials", L"2"}}, false},
        {"one not primary", {{L"PINCredentials", L"1"}, {L"PINPrimary", L"0"}}, true},
        {"two not primary", {{L"PINCredentials", L"2"}, {L"PINPrimary", L"0"}}, false},
        {"no PIN", {{L"PINCredentials", L"0"}}, false},
    };
    for (const Case& c : cases) {
        ConnectedCard card(c.fields);
        ASSERT_TRUE(card.Ready()) << c.name;
        EXPECT_EQ(c.found, card.connection.GetUserPinCredential() != nullptr) << c.name;
    }
}

TEST(Credentials, DataCredentialsKeyContainersAndCertificateImportAsTheCardHasThem)
{
    {
        ConnectedCard data(Fields{{L"DataObjects", L"2,10,10"}, {L"DataObject.2", L"3019D4"}, {L"Capabilities", L"Other"}});
        ASSERT_TRUE(data.Ready());
        EXPECT_NE(nullptr, data.connection.GetDataCredential(2));
        EXPECT_EQ(nullptr, data.connection.GetDataCredential(10)) << "two of them";
        EXPECT_EQ(nullptr, data.connection.GetDataCredential(5)) << "none";
        std::vector<ISMMWCredential*> listed;
        data.connection.ListDataCredentials(10, listed);
        EXPECT_EQ(2u, listed.size());
        data.connection.ListDataCredentials(2, listed);
        EXPECT_EQ(3u, listed.size()) << "the list is appended to";
        EXPECT_FALSE(data.connection.IsCardSupportImportCertificate()) << "the card cannot take certificates";
    }
    // Each certificate has its own key container.
    ConnectedCard pki(Fields{{L"PKICredentials", L"3"}, {L"Capabilities", L"SecurityModuleCapabilityx509EnrollSupported"}});
    ASSERT_TRUE(pki.Ready());
    EXPECT_TRUE(pki.connection.IsCardSupportImportCertificate());
    std::vector<ISMMWCredential*> all;
    std::vector<ISMMWCredential*> primary;
    pki.connection.ListPKICredentials(all, false);
    pki.connection.ListPKICredentials(primary, true);
    ASSERT_EQ(3u, all.size());
    EXPECT_EQ(1u, primary.size());
    std::vector<ISMMWCredential*> containers;
    for (ISMMWCredential* certificate : all) {
        ISMMWCredential* container = pki.connection.GetAssociatedKCCredential(certificate);
        ASSERT_NE(nullptr, container);
        EXPECT_EQ(containers.end(), std::find(containers.begin(), containers.end(), container));
        containers.push_back(container);
    }
    EXPECT_EQ(nullptr, pki.connection.GetAssociatedKCCredential(nullptr));
}

TEST(Credentials, CreationStatusesBecomeLayerCodes)
{
    struct Case {
        int status;
        int result;
    };
    for (Case c : {Case{4, kLayerOk}, Case{0, 23}, Case{1, 23}, Case{2, 14}, Case{3, 14}, Case{7, kLayerNotConnected}}) {
        ConnectedCard card(Fields{{L"CreateStatus", std::to_wstring(c.status)}, {L"PKICredentials", L"1"}});
        ASSERT_TRUE(card.Ready());
        auto* const untouched = reinterpret_cast<ISMMWCredential*>(static_cast<intptr_t>(0x1234));
        ISMMWCredential* made = untouched;
        EXPECT_EQ(c.result, card.connection.CreatePKICredential(VKData(L"key"), &made, 2048)) << c.status;
        ISMMWCredential* data = untouched;
        EXPECT_EQ(c.result, card.connection.CreateDataCredential(VKData(WipingBytes{1, 2, 3}), &data)) << c.status;
        std::vector<ISMMWCredential*> certificates;
        card.connection.ListPKICredentials(certificates, false);
        if (c.result == kLayerOk) {
            ASSERT_NE(untouched, made);
            VKData size;
            made->GetProperty(kAttributeKeySize, size);
            EXPECT_EQ(2048u, size.GetUInt());
            EXPECT_EQ(2u, certificates.size());
            EXPECT_NE(untouched, data);
        } else {
            EXPECT_EQ(untouched, made) << "a refused creation leaves *out alone";
            EXPECT_EQ(untouched, data);
            EXPECT_EQ(1u, certificates.size());
        }
    }
}

std::wstring Creation(size_t index)
{
    wchar_t text[512] = {};
    return mwctlCreation(index, text, 512) ? text : L"(none)";
}

struct CreationCase {
    const char* name;
    std::function<int(VKConnection&, ISMMWCredential**)> create;
    const wchar_t* storeCall; // the call that puts the key or value in
    const wchar_t* described; // the creation as the card saw it
};

const CreationCase kCreations[] = {
    {"certificate", [](VKConnection& c, ISMMWCredential** made) { return c.CreatePKICredential(VKData(L"key"), made, 2048); },
     L"Credential::ImportKey",
     L"type=0 refresh=ActionRefreshCmapFile rights=ActionGetValue:3:always;ActionImportKey:0:pin;ActionSign:0:pin "
     L"keysize=2048 import=2048/1 state=complete"},
    {"data", [](VKConnection& c, ISMMWCredential** made) { return c.CreateDataCredential(VKData(WipingBytes{1, 2, 3}), made); },
     L"Credential::SetValue",
     L"type=5 data=5 refresh=ActionRefreshMsRoots rights=ActionGetValue:3:always;ActionSetValue:0:always+pin value=3 "
     L"state=complete"},
};

// The card sees the rights as they are when it creates the credential, the
// refresh that went before, and the key with its size; the object handed
// out is the caller's, the credential stays on the card. A credential whose
// key or value the card then refuses is of no use: it is removed from the
// card, and the object the card handed out is deleted.
TEST(Credentials, ACreatedCredentialCarriesItsRightsAndIsRemovedWhenItsKeyCannotBeStored)
{
    for (const CreationCase& c : kCreations) {
        SCOPED_TRACE(c.name);
        ConnectedCard card(Fields{{L"PKICredentials", L"1"}});
        ASSERT_TRUE(card.Ready());
        mwctlClearCalls();
        ISMMWCredential* made = nullptr;
        EXPECT_EQ(kLayerOk, c.create(card.connection, &made));
        ASSERT_NE(nullptr, made);
        EXPECT_EQ(c.described, Creation(0));
        delete made;
        EXPECT_EQ(0u, mwctlCreatedCredentialsHeld());
        std::vector<ISMMWCredential*> certificates;
        card.connection.ListPKICredentials(certificates, false);
        std::vector<ISMMWCredential*> data;
        card.connection.ListDataCredentials(5, data);
        EXPECT_EQ(2u, certificates.size() + data.size()) << "the new credential stays on the card";

        const unsigned store = ControllerCallNumber(c.storeCall);
        ASSERT_NE(0u, store);
        mwctlClearCalls();
        mwctlFailCall(store, 3004);
        made = nullptr;
        EXPECT_EQ(1, c.create(card.connection, &made)) << "the failure map's code";
        mwctlFailCall(0, 0);
        EXPECT_EQ(nullptr, made);
        EXPECT_NE(std::wstring::npos, Creation(0).find(L"state=deleted")) << Creation(0).c_str();
        EXPECT_EQ(0u, mwctlCreatedCredentialsHeld());
    }
}

TEST(Credentials, UpdateChecksItsHandleBeforeItsArguments)
{
    ConnectedCard card(Fields{});
    ASSERT_TRUE(card.Ready());
    EXPECT_EQ(kLayerInvalidParameter, card.connection.UpdateCredential(nullptr, 30, VKData(true)));
    ISMMWCredential* pin = card.connection.GetUserPinCredential();
    ASSERT_NE(nullptr, pin);
    EXPECT_EQ(kLayerOk, card.connection.UpdateCredential(pin, 30, VKData(true)));
    VKData value;
    pin->GetProperty(30, value);
    EXPECT_TRUE(value.GetBool());
    mwctlFailCall(1, 3004);
    EXPECT_EQ(kLayerNotConnected, card.connection.UpdateCredential(pin, 30, VKData(false)));
}

TEST(Credentials, WithoutAConnectionEveryCallIsRefused)
{
    VKConnection none;
    ISMMWCredential* made = nullptr;
    const struct {
        const char* name;
        std::function<int()> call;
        int expected;
    } calls[] = {
        {"user PIN", [&] { return Found(none.GetUserPinCredential()); }, kLayerNotFound},
        {"data credential", [&] { return Found(none.GetDataCredential(2)); }, kLayerNotFound},
        {"capability", [&] { return Found(none.IsCardSupportImportCertificate()); }, kLayerNotFound},
        {"create certificate", [&] { return none.CreatePKICredential(VKData(), &made, 1024); }, kLayerNotInitialized},
        {"create data", [&] { return none.CreateDataCredential(VKData(), &made); }, kLayerNotInitialized},
        {"update", [&] { return none.UpdateCredential(nullptr, 30, VKData(true)); }, kLayerNotInitialized},
        {"begin", [&] { return none.BeginTransaction(); }, kLayerNotConnected},
        {"end", [&] { return none.EndTransaction(); }, kLayerNotConnected},
        {"keep alive", [&] { return none.ResetTransactionTimeout(); }, kLayerNotConnected},
    };
    for (const auto& c : calls)
        EXPECT_EQ(c.expected, c.call()) << c.name;
}

// Two readers looked up by name each open a context of their own on the
// card: while one holds a transaction the card answers only that one; a
// transaction ends when the card's time-out passes unrenewed; one still
// open when its context goes is reported.
TEST(Transactions, OneContextAtATimeUntilEndedOrTimedOut)
{
    CardWorldBuilder world;
    ASSERT_TRUE(world.Reader(L"R", L"card", L"c").Card(L"c", {{L"Identifier", L"01"}, {L"TransactionTimeout", L"1000"}}).Serve());
    VKReader first(L"R");
    VKReader second(L"R");
    VKConnection a;
    VKConnection b;
    ASSERT_EQ(kLayerOk, first.Connect(a));
    ASSERT_EQ(kLayerOk, second.Connect(b));
    ASSERT_EQ(2u, mwctlOpenContexts());
    struct Step {
        const char* name;
        std::function<int()> act;
        int result;
        size_t expired;
    };
    const Step steps[] = {
        {"first begins", [&] { return a.BeginTransaction(); }, kLayerOk, 0},
        {"second is refused", [&] { return b.BeginTransaction(); }, kLayerNotConnected, 0},
        {"the card answers only the first", [&] { return Found(b.GetUserPinCredential()); }, kLayerNotFound, 0},
        {"the holder is served", [&] { return Found(a.GetUserPinCredential()); }, kLayerOk, 0},
        {"kept alive before the time-out", [&] { mwctlAdvanceClock(900); return a.ResetTransactionTimeout(); }, kLayerOk, 0},
        {"ended in time", [&] { mwctlAdvanceClock(900); return a.EndTransaction(); }, kLayerOk, 0},
        {"nothing left to end", [&] { return a.EndTransaction(); }, kLayerNotConnected, 0},
        {"second begins now", [&] { return b.BeginTransaction(); }, kLayerOk, 0},
        {"left past the time-out", [&] { mwctlAdvanceClock(1000); return b.ResetTransactionTimeout(); }, kLayerNotConnected, 1},
        {"nothing left to end after it", [&] { return b.EndTransaction(); }, kLayerNotConnected, 1},
        {"first begins again", [&] { return a.BeginTransaction(); }, kLayerOk, 1},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(step.result, step.act()) << step.name;
        EXPECT_EQ(step.expired, mwctlExpiredTransactions()) << step.name;
    }
    EXPECT_EQ(1u, mwctlOpenTransactions());
    first.Disconnect();
    EXPECT_EQ(1u, mwctlOpenTransactions()) << "released with its transaction open: reported";
    second.Disconnect();
    EXPECT_EQ(0u, mwctlOpenContexts());
}

// Each operation of a connection, with the controller failing its 1st,
// 2nd, ... call in turn: the operation answers with the code the failed
// call calls for, lets the card go, and leaves a transaction open only when
// ending it was the call that failed (the controller then reports it).
TEST(Credentials, EachFailingControllerCallGivesItsResult)
{
    CardWorldBuilder world;
    world.Reader(L"R", L"card", L"c")
        .Card(L"c", {{L"DataObjects", L"2"}, {L"PKICredentials", L"2"}, {L"Capabilities",
                                                                          L"SecurityModuleCapabilityx509EnrollSupported"}});
    ASSERT_TRUE(world.Serve());
    constexpr int kMapped = kSweepMapped;
    // A created credential is the caller's: deleted here, on the card still.
    auto created = [](const std::function<int(ISMMWCredential**)>& create) {
        ISMMWCredential* made = nullptr;
        const int result = create(&made);
        delete made;
        return result;
    };
    const SweepExpectations creation = {
        {L"EstablishContext", kMapped},           {L"Context::ExecuteAction", kMapped},
        {L"Context::GetCredentialFactory", kMapped}, {L"Factory::NewCredentialTemplate", kMapped},
        {L"Factory::NewDataCredentialTemplate", kMapped}, {L"Credential::SetAccessRights", kMapped},
        {L"Credential::SetAttribute", kMapped},   {L"Factory::CreateCredential", kMapped},
        {L"Credential::ImportKey", kMapped},      {L"Credential::SetValue", kMapped},
        // Without the user PIN the card refuses the PIN right.
        {L"Context::FindCredentials", kLayerInvalidParameter}};
    struct Operation {
        const char* name;
        std::function<int(VKConnection&)> run;
        SweepExpectations failing;
    };
    const Operation operations[] = {
        {"user PIN", [&](VKConnection& c) { return Found(c.GetUserPinCredential()); },
         {{L"EstablishContext", kMapped}, {L"Context::FindCredentials", kLayerNotFound}}},
        {"data credential", [&](VKConnection& c) { return Found(c.GetDataCredential(2)); },
         {{L"EstablishContext", kMapped}, {L"Context::FindCredentials", kLayerNotFound}}},
        {"capability", [&](VKConnection& c) { return Found(c.IsCardSupportImportCertificate()); },
         {{L"EstablishContext", kMapped}, {L"Context::GetCardObject", kLayerNotFound},
          {L"Card::GetSecurityModuleCapabilities", kLayerNotFound}, {L"Capabilities::GetCapability", kLayerNotFound}}},
        {"key containers",
         [&](VKConnection& c) {
             std::vector<ISMMWCredential*> all;
             c.ListPKICredentials(all, false);
             size_t containers = 0;
             for (ISMMWCredential* certificate : all)
                 containers += c.GetAssociatedKCCredential(certificate) != nullptr;
             return Found(all.size() == 2 && containers == 2);
         },
         {{L"EstablishContext", kMapped}, {L"Context::FindCredentials", kLayerNotFound},
          {L"Credential::GetProperty", kLayerNotFound}}},
        {"create certificate",
         [&](VKConnection& c) {
             return created([&c](ISMMWCredential** made) { return c.CreatePKICredential(VKData(L"k"), made, 1024); });
         },
         creation},
        {"create data",
         [&](VKConnection& c) {
             return created([&c](ISMMWCredential** made) { return c.CreateDataCredential(VKData(WipingBytes{9}), made); });
         },
         creation},
        {"transaction",
         [](VKConnection& c) {
             int result = c.BeginTransaction();
             if (result != kLayerOk)
                 return result;
             result = c.ResetTransactionTimeout();
             const int ended = c.EndTransaction();
             return result != kLayerOk ? result : ended;
         },
         {{L"EstablishContext", kMapped},
          {L"Context::BeginTransaction", kMapped},
          {L"Context::ResetTransactionTimeout", kMapped},
          {L"Context::EndTransaction", kMapped}}},
    };
    size_t injected = 0;
    for (const Operation& op : operations) {
        injected += SweepAndExpect(
            op.name,
            [&] {
                VKReader reader(L"R");
                VKConnection connection;
                int result = reader.Connect(connection);
                if (result == kLayerOk)
                    result = op.run(connection);
                reader.Disconnect();
                return result;
            },
            op.failing, kLayerOk);
        EXPECT_EQ(0u, mwctlCreatedCredentialsHeld()) << op.name << ": a created credential was not deleted";
    }
    printf("fault sweep: %zu controller calls failed in turn\n", injected);
}

} // namespace
