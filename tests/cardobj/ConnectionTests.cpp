// Credentials and transactions through a connection, against card worlds
// of the simulated controller.
#include "CardWorldBuilder.h"
#include "Fixtures.h"

#include "cardobj/LayerResult.h"
#include "cardobj/VKReader.h"
#include "mwctl_control.h"
#include "vklogu.h"

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
    VKConnection unconnected;
    EXPECT_EQ(nullptr, unconnected.GetUserPinCredential());
}

TEST(Credentials, ADataCredentialIsFoundOnlyWhenItIsTheOneOfItsType)
{
    ConnectedCard card(Fields{{L"DataObjects", L"2,10,10"}, {L"DataObject.2", L"3019D4"}});
    ASSERT_TRUE(card.Ready());
    EXPECT_NE(nullptr, card.connection.GetDataCredential(2));
    EXPECT_EQ(nullptr, card.connection.GetDataCredential(10)) << "two of them";
    EXPECT_EQ(nullptr, card.connection.GetDataCredential(5)) << "none";
    std::vector<ISMMWCredential*> listed;
    card.connection.ListDataCredentials(10, listed);
    EXPECT_EQ(2u, listed.size());
    card.connection.ListDataCredentials(2, listed);
    EXPECT_EQ(3u, listed.size()) << "the list is appended to";
    VKConnection unconnected;
    EXPECT_EQ(nullptr, unconnected.GetDataCredential(2));
}

TEST(Credentials, EachCertificateHasItsOwnKeyContainer)
{
    ConnectedCard card(Fields{{L"PKICredentials", L"3"}});
    ASSERT_TRUE(card.Ready());
    std::vector<ISMMWCredential*> all;
    std::vector<ISMMWCredential*> primary;
    card.connection.ListPKICredentials(all, false);
    card.connection.ListPKICredentials(primary, true);
    ASSERT_EQ(3u, all.size());
    EXPECT_EQ(1u, primary.size());
    std::vector<ISMMWCredential*> containers;
    for (ISMMWCredential* certificate : all) {
        ISMMWCredential* container = card.connection.GetAssociatedKCCredential(certificate);
        ASSERT_NE(nullptr, container);
        EXPECT_EQ(containers.end(), std::find(containers.begin(), containers.end(), container));
        containers.push_back(container);
    }
    EXPECT_EQ(nullptr, card.connection.GetAssociatedKCCredential(nullptr));
}

TEST(Credentials, CertificateImportFollowsTheCardsCapability)
{
    for (bool capable : {true, false}) {
        ConnectedCard card(Fields{{L"Capabilities", capable ? L"SecurityModuleCapabilityx509EnrollSupported" : L"Other"}});
        ASSERT_TRUE(card.Ready());
        EXPECT_EQ(capable, card.connection.IsCardSupportImportCertificate());
    }
    VKConnection unconnected;
    EXPECT_FALSE(unconnected.IsCardSupportImportCertificate());
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
    VKConnection unconnected;
    ISMMWCredential* made = nullptr;
    EXPECT_EQ(kLayerNotInitialized, unconnected.CreatePKICredential(VKData(), &made, 1024));
    EXPECT_EQ(kLayerNotInitialized, unconnected.CreateDataCredential(VKData(), &made));
}

TEST(Credentials, UpdateChecksItsHandleBeforeItsArguments)
{
    VKConnection unconnected;
    EXPECT_EQ(kLayerNotInitialized, unconnected.UpdateCredential(nullptr, 30, VKData(true)));
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

TEST(Transactions, BeginEndAndKeepAlive)
{
    ConnectedCard card(Fields{});
    ASSERT_TRUE(card.Ready());
    EXPECT_EQ(kLayerOk, card.connection.BeginTransaction());
    EXPECT_EQ(1u, mwctlOpenTransactions());
    EXPECT_EQ(kLayerOk, card.connection.ResetTransactionTimeout());
    EXPECT_EQ(kLayerOk, card.connection.EndTransaction());
    EXPECT_EQ(0u, mwctlOpenTransactions());
    mwctlFailCall(1, 3018);
    EXPECT_EQ(7, card.connection.BeginTransaction()) << "the failure map's code";
    VKConnection unconnected;
    LogCapture log;
    EXPECT_EQ(kLayerNotConnected, unconnected.BeginTransaction());
    EXPECT_EQ(kLayerNotConnected, unconnected.EndTransaction());
    EXPECT_EQ(kLayerNotConnected, unconnected.ResetTransactionTimeout());
    EXPECT_TRUE(log.Has(VKLOG_EXIT, L"VKConnection::BeginTransaction : ret=(0x3)"));
}

// Each operation of a connection, with the controller failing its 1st,
// 2nd, ... call in turn: no crash, no context or transaction left open.
TEST(Credentials, SurviveEachControllerCallFailingInTurn)
{
    CardWorldBuilder world;
    world.Reader(L"R", L"card", L"c")
        .Card(L"c", {{L"DataObjects", L"2"}, {L"PKICredentials", L"2"}, {L"Capabilities",
                                                                          L"SecurityModuleCapabilityx509EnrollSupported"}});
    ASSERT_TRUE(world.Serve());
    struct Operation {
        const char* name;
        std::function<void(VKConnection&)> run;
    };
    const Operation operations[] = {
        {"user PIN", [](VKConnection& c) { c.GetUserPinCredential(); }},
        {"data credential", [](VKConnection& c) { c.GetDataCredential(2); }},
        {"capability", [](VKConnection& c) { c.IsCardSupportImportCertificate(); }},
        {"key containers",
         [](VKConnection& c) {
             std::vector<ISMMWCredential*> all;
             c.ListPKICredentials(all, false);
             for (ISMMWCredential* certificate : all)
                 c.GetAssociatedKCCredential(certificate);
         }},
        {"create certificate",
         [](VKConnection& c) {
             ISMMWCredential* made = nullptr;
             c.CreatePKICredential(VKData(L"k"), &made, 1024);
         }},
        {"create data",
         [](VKConnection& c) {
             ISMMWCredential* made = nullptr;
             c.CreateDataCredential(VKData(WipingBytes{9}), &made);
         }},
        {"transaction",
         [](VKConnection& c) {
             if (c.BeginTransaction() == kLayerOk) {
                 c.ResetTransactionTimeout();
                 c.EndTransaction();
             }
         }},
    };
    int injected = 0;
    for (const Operation& op : operations) {
        auto once = [&] {
            VKReader reader(L"R");
            VKConnection connection;
            if (reader.Connect(connection) == kLayerOk && connection.m_pContext)
                op.run(connection);
            reader.Disconnect();
        };
        mwctlClearCalls();
        once();
        const size_t calls = mwctlCallCount();
        for (unsigned nth = 1; nth <= calls; ++nth) {
            mwctlFailCall(nth, 3000 + static_cast<int>(nth % 29));
            once();
            mwctlFailCall(0, 0);
            ++injected;
            EXPECT_EQ(0u, mwctlOpenContexts()) << op.name << ", call " << nth;
            EXPECT_EQ(0u, mwctlOpenTransactions()) << op.name << ", call " << nth;
        }
    }
    printf("fault sweep: %d controller calls failed in turn\n", injected);
}

} // namespace
