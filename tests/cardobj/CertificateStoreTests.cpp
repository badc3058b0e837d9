// The certificate store against cards holding real certificates (made by
// the build with openssl): what each certificate reads as, the load order
// and type rule, the default mark, saving, deleting, stopping a load from
// another thread, bad card data, and every controller call failing in turn.
#include "CardWorldBuilder.h"
#include "ControllerSweep.h"
#include "Fixtures.h"

#include "cardobj/LayerResult.h"
#include "cardobj/VKCardCertificateStore.h"
#include "carddata/PKCSTLVBuffer.h"
#include "mwctl_control.h"
#include "UiDriver.h"

#include "CertificateProperties.h"

#include <gtest/gtest.h>

#include <ctime>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using Field = std::pair<std::wstring, std::wstring>;

// PKI credential N's fields: its certificate and what else is given.
void AddPki(std::vector<Field>& fields, int n, const std::wstring& certificate, std::vector<Field> more = {})
{
    const std::wstring key = L"PKI." + std::to_wstring(n) + L".";
    fields.emplace_back(key + L"Certificate", certificate);
    for (auto& [name, value] : more)
        fields.emplace_back(key + name, value);
}

std::vector<VKCertificate*> Certificates(VKCertificateStore& store)
{
    std::vector<VKCertificate*> all;
    for (auto position = store.GetFirstCertificatePosition(); position;)
        all.push_back(store.GetNextCertificate(position));
    return all;
}

VKCertificateStore::Position PositionOf(VKCertificateStore& store, const wchar_t* label)
{
    for (auto position = store.GetFirstCertificatePosition(); position;) {
        auto current = position;
        if (store.GetNextCertificate(position)->GetLabel() == label)
            return current;
    }
    return nullptr;
}

class CertificateStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        mwctlFailCall(0, 0);
        std::vector<Field> card = {{L"Identifier", L"0C0C"}, {L"PKICredentials", L"8"},
                                   {L"CACertificates", CardWorldBuilder::Certificate(L"root") + L"," +
                                                           CardWorldBuilder::Certificate(L"issuing")},
                                   {L"CA.1.Delete", L"denied"}};
        AddPki(card, 1, CardWorldBuilder::Certificate(L"signature.pem"), {{L"Label", L"Signature"}});
        AddPki(card, 2, CardWorldBuilder::Certificate(L"encryption"), {{L"Label", L"Encryption"}, {L"EncryptionRank", L"2"}});
        AddPki(card, 3, CardWorldBuilder::Certificate(L"expired"), {{L"Label", L"Expired"}, {L"Delete", L"denied"}});
        AddPki(card, 4, CardWorldBuilder::Certificate(L"future"), {{L"Label", L"Future"}, {L"Delete", L"none"}});
        AddPki(card, 5, CardWorldBuilder::Certificate(L"nokeyusage"), {{L"Label", L"Plain"}, {L"ContainerInfo", L"none"}});
        AddPki(card, 6, CardWorldBuilder::Certificate(L"big"), {{L"Label", L"Big"}, {L"EncryptionRank", L"1"},
                                                                {L"KeyBits", L"4096"}});
        AddPki(card, 7, CardWorldBuilder::Certificate(L"root"), {{L"Label", L"Root"}, {L"KeyContainer", L"0"}});
        AddPki(card, 8, CardWorldBuilder::Certificate(L"issuing"), {{L"Label", L"Issuing"}, {L"KeyContainer", L"0"}});
        m_world.Reader(L"Cert Reader", L"card", L"certs").Reader(L"Empty Reader", L"empty").Card(L"certs", card);
    }
    void TearDown() override { EXPECT_EQ(0u, mwctlOpenContexts()); }
    CardWorldBuilder m_world;
};

TEST_F(CertificateStoreTest, ReadsEveryCertificateInCardOrderWithItsTypeAndParts)
{
    ASSERT_TRUE(m_world.Serve());
    VKCardCertificateStore store{VKReader(L"Cert Reader")};
    ASSERT_EQ(kLayerOk, store.LoadFromPhysicalStore());
    struct Expected {
        const wchar_t* label;
        const wchar_t* subject;
        int type;
        bool isDefault, mayDelete, key, skip, okAsDefault, keyUsage;
        unsigned keyBits;
        int64_t expires;
    };
    constexpr int U = VKCertificate::USER_CERTIFICATE, R = VKCertificate::ROOT_CA_CERTIFICATE,
                  I = VKCertificate::INTERMEDIATE_CA_CERTIFICATE;
    constexpr int64_t k2040 = 2208988800, k2016 = 1451606400, k2045 = 2366841600;
    const Expected expected[] = {
        {L"Signature", L"Alice Card Signature", U, true, true, true, false, true, true, 2048, k2040},
        {L"Encryption", L"Alice Card Encryption", U, false, true, true, false, false, true, 2048, k2040},
        {L"Expired", L"Alice Card Expired", U, false, false, true, false, false, true, 2048, k2016},
        {L"Future", L"Alice Card Future", U, false, false, true, false, false, true, 2048, k2045},
        {L"Plain", L"Alice Card Plain", U, false, true, true, true, true, false, 2048, k2040},
        {L"Big", L"Alice Card 4096", U, false, true, true, false, true, true, 4096, k2040},
        {L"Root", L"Velkor Test Root CA", R, false, true, false, false, false, true, 2048, 0},
        {L"Issuing", L"Velkor Test Issuing CA", I, false, true, false, false, false, true, 2048, k2045},
        {L"", L"Velkor Test Root CA", R, false, false, false, false, false, true, 2048, 0},
        {L"", L"Velkor Test Issuing CA", I, false, true, false, false, false, true, 2048, k2045},
    };
    const auto loaded = Certificates(store);
    ASSERT_EQ(std::size(expected), loaded.size());
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    for (size_t i = 0; i < loaded.size(); ++i) {
        const Expected& e = expected[i];
        const VKCertificate& c = *loaded[i];
        SCOPED_TRACE(testing::Message() << "certificate " << i);
        EXPECT_STREQ(e.label, c.GetLabel());
        EXPECT_STREQ(e.subject, c.m_certificate.GetSubjectName());
        EXPECT_EQ(e.type, c.eCertificateType);
        EXPECT_EQ(e.isDefault, c.bDefault);
        EXPECT_EQ(e.mayDelete, c.bDelete);
        EXPECT_EQ(e.key, c.bPrivateKeyPresent);
        EXPECT_EQ(e.key, !c.m_sContainerGuid.IsEmpty());
        EXPECT_EQ(e.skip, c.bSkip);
        EXPECT_EQ(e.okAsDefault, c.m_certificate.GetProperties()->vkIsCertOKForSetAsDefault(now));
        unsigned usage = 0;
        EXPECT_EQ(e.keyUsage, c.m_certificate.GetKeyUsage(usage));
        EXPECT_EQ(e.keyBits, c.m_certificate.GetPublicKeyBits());
        if (e.expires) {
            EXPECT_EQ(e.expires, c.GetExpirationTime());
        }
        if (e.key) {
            EXPECT_EQ(e.keyBits, c.m_publicKeyAttributes.GetKeySize()) << "the card's order is reversed";
        }
    }
    const VKCertificate& signature = *loaded[0];
    EXPECT_STREQ(L"alice.card@example.com", signature.m_certificate.GetEmail());
    EXPECT_TRUE(signature.m_certificate.IsSmartCardLogon());
    EXPECT_FALSE(signature.m_certificate.IsForFileEncryption());
    EXPECT_TRUE(loaded[1]->m_certificate.IsForFileEncryption());
    EXPECT_TRUE(loaded[1]->m_certificate.IsForSecureEmail());
    EXPECT_STREQ(L"Velkor Test Issuing CA", signature.m_certificate.GetIssuerName());
    EXPECT_STREQ(L"Alice Card 4096", store.GetNextCertificate(*std::make_unique<VKCertificateStore::Position>(
                                         store.GetDefaultEFSCertificate()))->m_certificate.GetSubjectName())
        << "the smallest non-zero encryption rank wins";
    EXPECT_TRUE(loaded[5]->bEncryptionDefault);
    EXPECT_FALSE(loaded[1]->bEncryptionDefault);
}

TEST(CertificateDates, ReadAsTheHolderSeesThemAndBytesReverseInPlace)
{
    const std::tuple<int64_t, bool, const wchar_t*> cases[] = {
        {0, false, L"01/01/1970"},
        {951782400, false, L"02/29/2000"},
        {2208988800, false, L"01/01/2040"},
        {-1, false, L"Invalid Date"},
        {0, true, L"Thursday, January 01, 1970, 12:00:00 AM GMT"},
        {1700000000, true, L"Tuesday, November 14, 2023, 10:13:20 PM GMT"},
        {946729800, true, L"Saturday, January 01, 2000, 12:30:00 PM GMT"},
        {-5, true, L"Invalid Date"},
    };
    for (const auto& [time, longForm, text] : cases)
        EXPECT_STREQ(text, VKCertificateBlob::GetCertDate(time, longForm)) << time;
    unsigned char three[] = {1, 2, 3};
    EXPECT_EQ(1, ReverseBytes(nullptr, 3));
    EXPECT_EQ(2, ReverseBytes(three, 0));
    EXPECT_EQ(0, ReverseBytes(three, 3));
    EXPECT_EQ((std::vector<unsigned char>{3, 2, 1}), std::vector<unsigned char>(three, three + 3));
}

TEST_F(CertificateStoreTest, MarksSavesAndDeletesOnTheCard)
{
    ASSERT_TRUE(m_world.Serve());
    VKCardCertificateStore store{VKReader(L"Cert Reader")};
    ASSERT_EQ(kLayerOk, store.LoadFromPhysicalStore());
    EXPECT_EQ(kLayerOk, store.SetDefaultCertificateInPhysicalStore(PositionOf(store, L"Encryption")));
    EXPECT_EQ(kLayerInvalidParameter, store.SetDefaultCertificateInPhysicalStore(nullptr));
    EXPECT_EQ(kLayerInvalidParameter, store.DeleteCertificateInPhysicalStore(PositionOf(store, L"Expired")))
        << "the card denies deleting it";
    EXPECT_EQ(kLayerOk, store.DeleteCertificateInPhysicalStore(PositionOf(store, L"Plain")));
    EXPECT_EQ(9u, store.GetCount());

    VKCardCertificateStore again{VKReader(L"Cert Reader")};
    ASSERT_EQ(kLayerOk, again.LoadFromPhysicalStore());
    EXPECT_EQ(nullptr, PositionOf(again, L"Plain")) << "deleted from the card";
    ASSERT_NE(nullptr, again.GetDefaultCertificatePosition());
    EXPECT_EQ(PositionOf(again, L"Encryption"), again.GetDefaultCertificatePosition()) << "the one default, on the card";
    EXPECT_EQ(kLayerOk, again.UnSetDefaultCertificateInPhysicalStore());
    EXPECT_EQ(nullptr, again.GetDefaultCertificatePosition());

    // Saving: one certificate data object holding a PKCS TLV buffer, marked
    // default only when the certificate is fit for it.
    mwctlClearCalls();
    const VKCertificate* signature = Certificates(again)[0];
    const VKCertificate* expired = Certificates(again)[1];
    EXPECT_EQ(kLayerOk, again.SaveOneCertificateInPhysicalStore(*signature));
    EXPECT_EQ(kLayerOk, again.SaveOneCertificateInPhysicalStore(*expired));
    ASSERT_EQ(2u, mwctlCreationCount());
    wchar_t text[512];
    ASSERT_TRUE(mwctlCreation(0, text, 512));
    EXPECT_NE(nullptr, wcsstr(text, L"type=5 data=5 ")) << text;
    EXPECT_NE(nullptr, wcsstr(text, L" primary=1 state=complete")) << text;
    ASSERT_TRUE(mwctlCreation(1, text, 512));
    EXPECT_EQ(nullptr, wcsstr(text, L"primary=1")) << "an expired certificate is not made the default: " << text;
    std::vector<unsigned char> value(mwctlCreationValue(0, nullptr, 0));
    mwctlCreationValue(0, value.data(), value.size());
    const PKCSTLVBuffer written(value.data(), value.size());
    WipingBytes der, attributes;
    EXPECT_TRUE(written.GetValue(3, der));
    EXPECT_TRUE(written.GetValue(17, attributes));
    EXPECT_EQ(signature->m_certificate.GetBytes(), der);
    EXPECT_EQ(signature->m_attributes.GetBytes(), attributes);
    EXPECT_EQ(8 + der.size() + 8 + attributes.size(), value.size()) << "tag 3 then tag 17, nothing else";

    // The reader found by its card's identifier, and what the store cannot reach.
    VKCardCertificateStore byCard{VKReader(L"")};
    byCard.SetCardIdentifier(VKByteArray(L"0C0C"));
    EXPECT_EQ(kLayerOk, byCard.LoadFromPhysicalStore());
    EXPECT_EQ(9u, byCard.GetCount()) << "the card's certificates, less the one deleted above";
    VKCardCertificateStore unknown{VKReader(L"")};
    unknown.SetCardIdentifier(VKByteArray(L"FFFF"));
    EXPECT_EQ(kLayerNoCardOrCancelled, unknown.LoadFromPhysicalStore());
    VKCardCertificateStore empty{VKReader(L"Empty Reader")};
    EXPECT_EQ(8, empty.LoadFromPhysicalStore()) << "no card in the reader (3017)";
    EXPECT_EQ(nullptr, empty.GetDefaultEFSCertificate());
    EXPECT_FALSE(empty.IsSupportImportCertificate());
    VKConnection connection;
    EXPECT_EQ(kLayerInvalidParameter, byCard.GetDefaultCertificateCredentialId(connection, nullptr));
    EXPECT_EQ(kLayerInvalidParameter, byCard.DeleteCertificate(nullptr));
    EXPECT_EQ(kLayerNotFound, byCard.SetDefaultEFSCertificateByLabel(CSecStr(L"No such label")));
    EXPECT_EQ(kLayerOk, byCard.SetDefaultEFSCertificateByLabel(CSecStr(L"Encryption")));
}

TEST_F(CertificateStoreTest, LeavesOutBadCardDataAndLoadsTheRest)
{
    std::vector<unsigned char> cut = CardWorldBuilder::CertificateBytes(L"signature");
    ASSERT_FALSE(cut.empty());
    cut.resize(cut.size() / 2);
    std::vector<Field> card = {{L"Identifier", L"0B0B"}, {L"PKICredentials", L"6"},
                               {L"CACertificates", L"03000000FFFFFFFF30,1100000000000000,"
                                                   L"\"a text where bytes belong\""}};
    AddPki(card, 1, m_world.File(L"cut.der", cut));
    AddPki(card, 2, CardWorldBuilder::Certificate(L"signature"), {{L"Attributes", L"\"Signature\""}});
    AddPki(card, 3, m_world.File(L"huge.der", std::vector<unsigned char>(70000, 0x30)));
    AddPki(card, 4, L"none");
    AddPki(card, 5, L"3000");
    AddPki(card, 6, CardWorldBuilder::Certificate(L"encryption"), {{L"Label", L"Good"}});
    m_world.Reader(L"Bad Reader", L"card", L"bad").Card(L"bad", card);
    ASSERT_TRUE(m_world.Serve());
    LogCapture log;
    VKCardCertificateStore store{VKReader(L"Bad Reader")};
    EXPECT_EQ(kLayerInvalidParameter, store.LoadFromPhysicalStore());
    ASSERT_EQ(1u, store.GetCount());
    EXPECT_STREQ(L"Good", Certificates(store)[0]->GetLabel());
    EXPECT_EQ(1u, log.Count(L": the certificate is not a byte array")) << "the oversized one";
    EXPECT_EQ(1u, log.Count(L": the certificate attributes is not a byte array")) << "the wrong kind";
    EXPECT_EQ(1u, log.Count(L": the CA certificate is not a byte array"));
}

TEST_F(CertificateStoreTest, StopEndsALoadFromAnotherThread)
{
    std::vector<Field> card = {{L"Identifier", L"0D0D"}, {L"PKICredentials", L"64"}};
    for (int n = 1; n <= 64; ++n)
        AddPki(card, n, CardWorldBuilder::Certificate(L"signature"));
    m_world.Reader(L"Full Reader", L"card", L"full").Card(L"full", card);
    ASSERT_TRUE(m_world.Serve());
    VKCardCertificateStore store{VKReader(L"Full Reader")};
    store.Stop();
    EXPECT_EQ(kLayerNoCardOrCancelled, store.LoadFromPhysicalStore()) << "a stop made before the load ends it";
    EXPECT_EQ(0u, store.GetCount());
    ASSERT_EQ(kLayerOk, store.LoadFromPhysicalStore()) << "the flag was cleared";
    EXPECT_EQ(64u, store.GetCount());

    mwctlClearCalls();
    std::thread stopper([&] {
        // Once the load is well under way (its calls counted), stop it.
        EXPECT_TRUE(uidriver::WaitUntil([] { return mwctlCallCount() > 60; }, 10000));
        store.Stop();
    });
    const int result = store.LoadFromPhysicalStore();
    stopper.join();
    EXPECT_EQ(kLayerNoCardOrCancelled, result);
    EXPECT_GT(store.GetCount(), 0u);
    EXPECT_LT(store.GetCount(), 64u);
}

TEST_F(CertificateStoreTest, EveryControllerFailureDuringALoadGivesItsCode)
{
    std::vector<Field> card = {{L"Identifier", L"0E0E"}, {L"PKICredentials", L"1"},
                               {L"CACertificates", CardWorldBuilder::Certificate(L"root")}};
    AddPki(card, 1, CardWorldBuilder::Certificate(L"signature"));
    m_world.Reader(L"Sweep Reader", L"card", L"sweep").Card(L"sweep", card);
    ASSERT_TRUE(m_world.Serve());
    VKCardCertificateStore store{VKReader(L"Sweep Reader")};
    size_t loaded = 0;
    const size_t runs = SweepAndExpect(
        "LoadFromPhysicalStore",
        [&] {
            const int result = store.LoadFromPhysicalStore();
            loaded = store.GetCount();
            EXPECT_TRUE(result == kLayerOk || loaded == 0) << "a failed load leaves nothing half read";
            return result;
        },
        {{L"EstablishContext", kSweepMapped}, {L"Credential::GetProperty", kSweepMapped},
         // The key container's link: without it the certificate reads as a CA's.
         {L"Credential::GetProperty#4", kLayerOk}, {L"Credential::GetAccessControlList", kSweepMapped},
         {L"ACL::IsAuthenticable", kSweepMapped}},
        kLayerOk);
    EXPECT_GT(runs, 30u);
    EXPECT_EQ(2u, loaded);
}

} // namespace
