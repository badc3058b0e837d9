// The card object layer against small card worlds served by the simulated
// controller: readers, the default reader, shared connections, card
// identifiers, the failure map, and every controller call failing in turn.
#include "CardWorldBuilder.h"
#include "ControllerSweep.h"
#include "Fixtures.h"

#include "cardobj/CobApi.h"
#include "cardobj/LayerResult.h"
#include "cardobj/VKByteArray.h"
#include "cardobj/VKCardProperties.h"
#include "cardobj/VKReaderList.h"
#include "mwctl_control.h"
#include "vklogu.h"

#include "SMMWController.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

std::vector<std::pair<std::wstring, int>> ListReaders()
{
    std::vector<std::pair<std::wstring, int>> seen;
    VKReaderList list;
    VKReaderList::Position position = list.GetFirstReaderPosition();
    while (VKReader* reader = list.GetNextReader(position))
        seen.emplace_back(reader->GetName().GetString(), reader->GetReaderState());
    return seen;
}

class CardLayer : public testing::Test {
protected:
    void SetUp() override
    {
        mwctlFailCall(0, 0);
        ASSERT_TRUE(m_world.Reader(L"Reader A", L"empty")
                        .Reader(L"Reader B", L"card", L"alice")
                        .Reader(L"Reader C", L"unavailable")
                        .Reader(L"Reader D", L"card", L"bob")
                        .Card(L"alice", {{L"Identifier", L"0a1B2c3D"}})
                        .Card(L"bob", {{L"Identifier", L"FFEE"}})
                        .Serve());
        mwctlClearCalls();
    }
    void TearDown() override { EXPECT_EQ(0u, mwctlOpenContexts()) << "a context stayed open"; }
    CardWorldBuilder m_world;
};

TEST_F(CardLayer, ListsTheReadersInOrderAndLooksEachUpByItsExactName)
{
    const std::vector<std::pair<std::wstring, int>> listed = {
        {L"Reader A", kReaderEmpty}, {L"Reader B", kReaderCardPresent},
        {L"Reader C", kReaderUnavailable}, {L"Reader D", kReaderCardPresent}};
    EXPECT_EQ(listed, ListReaders());
    struct Case {
        const wchar_t* name;
        int state;
    };
    for (Case c : {Case{L"Reader B", kReaderCardPresent}, Case{L"Reader A", kReaderEmpty},
                   Case{L"reader b", kReaderUnavailable}, Case{L"", kReaderUnavailable},
                   Case{nullptr, kReaderUnavailable}}) {
        VKReader reader(c.name);
        EXPECT_EQ(c.state, reader.GetReaderState()) << (c.name ? std::string(c.name, c.name + wcslen(c.name)) : "null");
    }
}

TEST_F(CardLayer, TheDefaultReaderIsTheFirstWithACardElseTheFirstEmptyOne)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::wstring, std::wstring>> readers; // name, state
        int result;
        std::wstring expected;
    };
    const Case cases[] = {
        {"card wins", {{L"R1", L"empty"}, {L"R2", L"empty"}, {L"R3", L"card"}}, kLayerOk, L"R3"},
        {"first empty", {{L"R1", L"empty"}, {L"R2", L"empty"}}, kLayerOk, L"R1"},
        {"unavailable skipped", {{L"R1", L"unavailable"}, {L"R2", L"empty"}}, kLayerOk, L"R2"},
        {"nothing usable", {{L"R1", L"unavailable"}}, kLayerNotFound, L""},
        {"no reader", {}, kLayerNotFound, L""},
    };
    for (const Case& c : cases) {
        CardWorldBuilder world;
        for (const auto& [name, state] : c.readers)
            world.Reader(name, state, state == L"card" ? L"x" : L"");
        world.Card(L"x", {{L"Identifier", L"01"}});
        ASSERT_TRUE(world.Serve());
        VKReaderList list;
        CSecStr name;
        EXPECT_EQ(c.result, list.GetDefaultReader(name)) << c.name;
        EXPECT_EQ(c.expected, name.GetString()) << c.name;
    }
}

TEST_F(CardLayer, CopiesOfAReaderShareOneContextUntilTheLastLetsItGo)
{
    VKReader first(L"Reader B");
    VKReader second(first);
    VKConnection a;
    VKConnection b;
    ASSERT_EQ(kLayerOk, first.Connect(a));
    ASSERT_NE(nullptr, a.m_pContext);
    EXPECT_EQ(1u, mwctlOpenContexts());
    ASSERT_EQ(kLayerOk, second.Connect(b));
    EXPECT_EQ(a.m_pContext, b.m_pContext);
    EXPECT_EQ(1u, mwctlOpenContexts());
    EXPECT_EQ(2, first.m_pReaderData->m_nConnections);

    VKConnection again;
    EXPECT_EQ(kLayerOk, first.Connect(again)) << "an already connected copy";
    EXPECT_EQ(a.m_pContext, again.m_pContext);
    EXPECT_EQ(2, first.m_pReaderData->m_nConnections) << "is not counted twice";

    EXPECT_EQ(kLayerOk, first.Disconnect());
    EXPECT_EQ(1u, mwctlOpenContexts()) << "the second copy still holds it";
    EXPECT_EQ(kLayerOk, second.Disconnect());
    EXPECT_EQ(0u, mwctlOpenContexts());

    // Assigning or destroying a copy lets its connection go.
    {
        VKReader b(L"Reader B");
        VKReader d(L"Reader D");
        VKConnection connection;
        ASSERT_EQ(kLayerOk, b.Connect(connection));
        b = d;
        EXPECT_EQ(0u, mwctlOpenContexts()) << "assignment disconnects first";
        EXPECT_STREQ(L"Reader D", b.GetName());
        EXPECT_EQ(2, d.m_pReaderData->m_nRefCount);
        b = b;
        EXPECT_EQ(2, d.m_pReaderData->m_nRefCount);
        ASSERT_EQ(kLayerOk, d.Connect(connection));
    }
    EXPECT_EQ(0u, mwctlOpenContexts()) << "destruction disconnects";
}

TEST_F(CardLayer, ConnectFailuresBecomeTheirLayerCodes)
{
    struct Case {
        const wchar_t* reader;
        int result;
    };
    for (Case c : {Case{L"Reader A", kLayerNoCardOrCancelled}, Case{L"Reader C", kLayerNotConnected},
                   Case{L"Nowhere", kLayerNotFound}, Case{L"", kLayerInvalidParameter}}) {
        VKReader reader(c.reader);
        VKConnection connection;
        EXPECT_EQ(c.result, reader.Connect(connection)) << std::string(c.reader, c.reader + wcslen(c.reader));
        EXPECT_EQ(nullptr, connection.m_pContext);
        EXPECT_EQ(kLayerOk, reader.Disconnect());
    }
    // Every identifier of the failure map, and those outside it (code 3).
    std::vector<int> ids = {0, -1};
    for (int id = 2999; id <= 3029; ++id)
        ids.push_back(id);
    for (int id : ids) {
        VKReader reader(L"Reader B");
        VKConnection connection;
        mwctlFailCall(1, id);
        EXPECT_EQ(LayerCodeOf(id), reader.Connect(connection)) << "getID " << id;
    }
}

// A long-running process makes calls without end: the controller keeps the
// latest and counts them all.
TEST_F(CardLayer, TheCallLogKeepsTheLatestCallsAndCountsThemAll)
{
    VKReader(L"Reader B").GetReaderState(); // the controller is loaded and initialized first
    mwctlClearCalls();
    for (int i = 0; i < 2000; ++i)
        VKReader(L"Reader B").GetReaderState(); // ListReaders, the names of A and B, GetState
    EXPECT_EQ(8000u, mwctlCallCount());
    wchar_t name[64] = {};
    EXPECT_FALSE(mwctlCallName(0, name, 64)) << "the oldest are let go";
    ASSERT_TRUE(mwctlCallName(7999, name, 64));
    EXPECT_STREQ(L"Reader::GetState", name);
}

// The controller serves a card identifier as bytes or as their text:
// either way the card is found by it, in either case, and gives its serial
// number. An identifier that is empty or not hexadecimal gives no serial
// number; one no card has finds no reader.
TEST_F(CardLayer, CardIdentifiersServedAsBytesOrTextFindTheCard)
{
    ASSERT_TRUE(mwctlSetCardField(L"bob", L"IdentifierForm", L"bytes"));
    VKReaderList list;
    struct Case {
        const wchar_t* identifier;
        const wchar_t* reader;
    };
    for (Case c : {Case{L"0A1b2C3d", L"Reader B"}, Case{L"ffee", L"Reader D"}}) {
        VKReader* found = list.GetReaderFromCUID(VKByteArray(c.identifier));
        ASSERT_NE(nullptr, found) << c.reader;
        EXPECT_STREQ(c.reader, found->GetName());
        CSecStr serial;
        EXPECT_EQ(kLayerOk, VKCardProperties(*found).GetSerialNumber(serial)) << c.reader;
        EXPECT_STREQ(CSecStr(c.identifier).MakeUpper(), serial) << c.reader;
    }
    EXPECT_EQ(nullptr, list.GetReaderFromCUID(VKByteArray(L"0102")));
    EXPECT_EQ(nullptr, list.GetReaderFromCUID(VKByteArray()));
    for (const wchar_t* malformed : {L"XYZ0", L"ABC", L""}) {
        mwctlSetCardField(L"alice", L"Identifier", malformed);
        CSecStr serial(L"stale");
        EXPECT_EQ(kLayerInvalidParameter, VKCardProperties(VKReader(L"Reader B")).GetSerialNumber(serial));
        EXPECT_STREQ(L"", serial);
    }
}

TEST(ByteArray, ReadsHexOfEitherCaseAndRefusesAnythingElse)
{
    struct Case {
        const wchar_t* text;
        std::vector<unsigned char> bytes;
        bool logged; // as invalid data
    };
    const Case cases[] = {
        {nullptr, {}, true},       {L"", {}, false},           {L"NULL", {}, false},      {L"null", {}, false},
        {L"ABC", {}, true},        {L"0G", {}, true},          {L"12 4", {}, true},       {L"-1", {}, true},
        {L"0a1B", {0x0A, 0x1B}, false}, {L"ff00", {0xFF, 0x00}, false},
    };
    for (const Case& c : cases) {
        const std::string name = c.text ? std::string(c.text, c.text + wcslen(c.text)) : "null";
        LogCapture log;
        VKByteArray array(c.text);
        EXPECT_EQ(c.bytes, std::vector<unsigned char>(array.Bytes().begin(), array.Bytes().end())) << name;
        EXPECT_EQ(c.logged, log.Count(L"VKByteArray(TCHAR *) failed, invalid data format given: ") == 1) << name;
    }
    EXPECT_TRUE(VKByteArray(L"0a1b") == VKByteArray(L"0A1B"));
    EXPECT_TRUE(VKByteArray(L"0a1b") != VKByteArray(L"0a1c"));
}

// Every operation of the layer, run while the controller fails its 1st,
// 2nd, ... call in turn: each run answers with the result the failed call
// calls for, leaves no context open and does not crash.
TEST_F(CardLayer, EachFailingControllerCallGivesItsResult)
{
    struct Operation {
        const char* name;
        std::function<int()> run;
        int clean;
        SweepExpectations failing;
    };
    const Operation operations[] = {
        // A reader whose name cannot be read is still listed.
        {"list readers", [] { return Found(ListReaders().size() == 4); }, kLayerOk,
         {{L"ListReaders", kLayerNotFound}}},
        // The list's own listing does not count: the default comes from a
        // listing of its own.
        {"default reader",
         [] {
             VKReaderList list;
             CSecStr name;
             return list.GetDefaultReader(name);
         },
         kLayerOk,
         {{L"ListReaders#2", kSweepMapped}, {L"Reader::GetState", kSweepMapped}, {L"Reader::GetProperty#5", kSweepMapped},
          {L"Reader::GetProperty#6", kSweepMapped}}},
        // A failure on the way to Reader D's card loses the card; one on
        // Reader B's only skips B.
        {"find by identifier",
         [] { return Found(VKReaderList().GetReaderFromCUID(VKByteArray(L"FFEE"))); },
         kLayerOk,
         {{L"ListReaders", kLayerNotFound}, {L"Reader::GetProperty#4", kLayerNotFound},
          {L"Reader::GetState#4", kLayerNotFound}, {L"EstablishContext#2", kLayerNotFound},
          {L"Context::GetCardObject#2", kLayerNotFound}, {L"Card::GetProperty#2", kLayerNotFound}}},
        // Connecting needs only the name; the shared context is released by
        // the last copy, whose failure to release is not the first's result.
        {"connect twice and disconnect",
         [] {
             VKReader first(L"Reader D");
             VKReader second(first);
             VKConnection a;
             VKConnection b;
             const int result = first.Connect(a);
             second.Connect(b);
             first.Disconnect();
             return result;
         },
         kLayerOk, {{L"EstablishContext", kSweepMapped}}},
        {"reader state", [] { return VKReader(L"Reader B").GetReaderState(); }, kReaderCardPresent,
         {{L"ListReaders", kReaderUnavailable}, {L"Reader::GetProperty", kReaderUnavailable},
          {L"Reader::GetState", kReaderUnavailable}}},
    };
    size_t injected = 0;
    for (const Operation& op : operations)
        injected += SweepAndExpect(op.name, op.run, op.failing, op.clean);
    printf("fault sweep: %zu controller calls failed in turn\n", injected);
}

#if defined(__GNUC__) && !defined(_MSC_VER)
// The vtable slot of a virtual member function: under the Itanium C++ ABI
// its pointer holds 1 + the slot's byte offset.
template <typename Member>
size_t SlotOf(Member member)
{
    struct {
        uintptr_t pointer;
        ptrdiff_t adjustment;
    } raw;
    static_assert(sizeof(raw) == sizeof(member));
    memcpy(&raw, &member, sizeof(raw));
    return (raw.pointer - 1) / sizeof(void*);
}

// The controller is a separate module: its interfaces must keep the slot
// order the controller was built with, the destructor's two slots first.
TEST(ControllerInterfaces, ListTheirOperationsInTheControllersOrder)
{
    const std::vector<std::pair<const char*, std::vector<size_t>>> interfaces = {
        {"controller",
         {SlotOf(&ISMMWController::Initialize), SlotOf(&ISMMWController::EstablishContext),
          SlotOf(&ISMMWController::ReleaseContext), SlotOf(&ISMMWController::ListReaders)}},
        {"reader", {SlotOf(&ISMMWReader::GetProperty), SlotOf(&ISMMWReader::GetState)}},
        {"context",
         {SlotOf(&ISMMWContext::FindCredentials), SlotOf(&ISMMWContext::ExecuteAction),
          SlotOf(&ISMMWContext::GetCardObject), SlotOf(&ISMMWContext::GetCredentialFactory),
          SlotOf(&ISMMWContext::BeginTransaction), SlotOf(&ISMMWContext::EndTransaction),
          SlotOf(&ISMMWContext::ResetTransactionTimeout), SlotOf(&ISMMWContext::GetDataMap),
          SlotOf(&ISMMWContext::DeleteCredential)}},
        {"credential",
         {SlotOf(&ISMMWCredential::GetProperty), SlotOf(&ISMMWCredential::SetAttribute),
          SlotOf(&ISMMWCredential::GetAccessControlList), SlotOf(&ISMMWCredential::GetUnblockChallenge),
          SlotOf(&ISMMWCredential::Unblock), SlotOf(&ISMMWCredential::SetAccessRights),
          SlotOf(&ISMMWCredential::ImportKey), SlotOf(&ISMMWCredential::SetValue)}},
    };
    for (const auto& [name, slots] : interfaces)
        for (size_t i = 0; i < slots.size(); ++i)
            EXPECT_EQ(2 + i, slots[i]) << name << ", operation " << i;
}
#endif

// The layer is initialized when the library loads: initializing again
// loads nothing more, so one Finalize lets its resource modules go.
TEST(CardLayerStart, InitializingTwiceLoadsNothingTheSecondTime)
{
    EXPECT_TRUE(vkCobAPI_Initialize());
    EXPECT_TRUE(vkCobAPI_Initialize());
    EXPECT_NE(nullptr, GetModuleHandleW(L"vkCobAPIrc.dll"));
    EXPECT_NE(nullptr, GetModuleHandleW(L"vkCobAPIlrc.dll"));
    vkCobAPI_Finalize();
    EXPECT_EQ(nullptr, GetModuleHandleW(L"vkCobAPIrc.dll"));
    EXPECT_EQ(nullptr, GetModuleHandleW(L"vkCobAPIlrc.dll"));
    EXPECT_TRUE(vkCobAPI_Initialize());
    EXPECT_NE(nullptr, GetModuleHandleW(L"vkCobAPIlrc.dll"));
}

} // namespace
