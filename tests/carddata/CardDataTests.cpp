// The cardholder unique identifier and the demographic records of cards in
// small card worlds: field by field with their display texts, the code
// tables as the resource module carries them, malformed card data, a Stop
// from another thread, and every controller call failing in turn.
#include "CardWorldBuilder.h"
#include "CodeLists.h"
#include "ControllerSweep.h"
#include "Fixtures.h"

#include "carddata/CodeTables.h"
#include "carddata/VKDemographicDataList.h"
#include "carddata/VKDemographicInfoList.h"
#include "carddata/VKPIVCardholderUniqueIdentifier.h"
#include "cardobj/LayerResult.h"
#include "mwctl_control.h"

#include "SMMWController.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <future>
#include <memory>

namespace {

using Chuid = VKPIVCardholderUniqueIdentifier;
using Fields = std::vector<std::pair<std::wstring, std::wstring>>;

const Fields kChuidFields = {
    {L"Identifier", L"C1D0000000000001"},  {L"CHUID.Agency", L"9700"},       {L"CHUID.System", L"0123"},
    {L"CHUID.Credential", L"456789"},      {L"CHUID.Series", L"1"},          {L"CHUID.Issue", L"2"},
    {L"CHUID.Person", L"1234567890"},      {L"CHUID.OrgCategory", L"1"},     {L"CHUID.OrgIdentifier", L"7000"},
    {L"CHUID.Association", L"5"},          {L"CHUID.Expiration", L"20301231"}, {L"CHUID.AgencyCode", L"1900"},
    {L"CHUID.Organization", L"0003"},      {L"CHUID.DUNS", L"123456789"},
    {L"CHUID.GUID", L"00112233445566778899AABBCCDDEEFF"},                     {L"CHUID.SignatureStatus", L"2"},
};

const Fields kDemographicFields = {
    {L"Identifier", L"CAC0000000000002"},
    {L"Demographics", L"2"},
    {L"Demographic.1.Label", L"Personnel"},
    {L"Demographic.1.70", L"A"},
    {L"Demographic.2.Label", L"Cardholder information"},
    {L"Demographic.2.49", L"JOHN"},
    {L"Demographic.2.54", L"20151231"},
    {L"Demographic.2.56", L"S"},
    {L"Demographic.2.67", L"A"},
    {L"Demographic.2.69", L"CPT"},
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring FromUtf8(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

// Runs `operation` on another thread, holds the `occurrence`th controller
// call named `name`, runs `meanwhile` while it waits, then lets it go on.
template <typename Result>
Result WhileCallHeld(const wchar_t* name, unsigned occurrence, std::function<Result()> operation,
                     const std::function<void()>& meanwhile)
{
    HANDLE reached = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    mwctlHoldCall(name, occurrence, reached, release);
    auto running = std::async(std::launch::async, operation);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(reached, 10000)) << "the call was never made";
    meanwhile();
    SetEvent(release);
    Result result = running.get();
    mwctlHoldCall(nullptr, 0, nullptr, nullptr);
    CloseHandle(reached);
    CloseHandle(release);
    return result;
}

class CardDataTest : public testing::Test {
protected:
    void SetUp() override
    {
        mwctlFailCall(0, 0);
        m_world.Reader(L"PIV Reader", L"card", L"piv")
            .Reader(L"CAC Reader", L"card", L"cac")
            .Reader(L"Plain Reader", L"card", L"plain")
            .Card(L"piv", kChuidFields)
            .Card(L"cac", kDemographicFields)
            .Card(L"plain", {{L"Identifier", L"0A1B"}});
        ASSERT_TRUE(m_world.Serve());
    }

    std::unique_ptr<VKDemographicInfo> Record(const wchar_t* label, int tag, bool* silentOut = nullptr)
    {
        VKReader reader(L"CAC Reader");
        VKDemographicDataList list(reader);
        bool silent = true;
        std::unique_ptr<VKDemographicInfo> info(list.GetDemographicInfo(silent, label, tag));
        if (silentOut)
            *silentOut = silent;
        return info;
    }

    CardWorldBuilder m_world;
};

TEST_F(CardDataTest, ChuidFieldsReadRawAndDisplayed)
{
    VKReader reader(L"PIV Reader");
    Chuid chuid(reader);
    bool silent = true;
    ASSERT_EQ(kLayerOk, chuid.Load(silent));
    EXPECT_TRUE(silent);
    const struct {
        int key;
        const wchar_t* raw;
        const wchar_t* display;
    } fields[] = {
        {Chuid::kChuidGuid, L"00112233445566778899AABBCCDDEEFF", nullptr},
        {Chuid::kChuidExpirationDate, L"20301231", nullptr},
        {Chuid::kChuidAgencyCode, L"1900", L"STATE, Department of"},
        {Chuid::kChuidOrganizationIdentifier, L"0003", nullptr}, // not an agency code: shown as it is
        {Chuid::kChuidDuns, L"123456789", nullptr},
        {Chuid::kFascnAgencyCode, L"9700", L"DEFENSE, Department of (except military departments)"},
        {Chuid::kFascnSystemCode, L"0123", nullptr},
        {Chuid::kFascnCredentialNumber, L"456789", nullptr},
        {Chuid::kFascnCredentialSeries, L"1", nullptr},
        {Chuid::kFascnIndividualCredentialIssue, L"2", nullptr},
        {Chuid::kFascnPersonIdentifier, L"1234567890", nullptr},
        {Chuid::kFascnOrganizationalCategory, L"1", L"Federal government agency"},
        {Chuid::kFascnOrganizationalIdentifier, L"7000", L"HOMELAND SECURITY, Department of"},
        {Chuid::kFascnAssociationCategory, L"5", L"Contractor"},
    };
    for (const auto& field : fields) {
        EXPECT_STREQ(field.raw, chuid.GetRawValue(field.key)) << field.key;
        EXPECT_STREQ(field.display ? field.display : field.raw, chuid.GetDisplayValue(field.key)) << field.key;
    }
    EXPECT_EQ(2, chuid.GetSignatureStatus());
    EXPECT_STREQ(L"", chuid.GetRawValue(99));
    EXPECT_EQ(0u, mwctlOpenContexts());
    // The organizational identifier is named by the list its category points to.
    const struct {
        const wchar_t* category;
        const wchar_t* identifier;
        const wchar_t* categoryText;
        const wchar_t* identifierText;
    } cases[] = {
        {L"1", L"7000", L"Federal government agency", L"HOMELAND SECURITY, Department of"},
        {L"1", L"0003", L"Federal government agency", L"0003"},
        {L"2", L"0006", L"State government agency", L"California"},
        {L"2", L"0003", L"State government agency", L"0003"},
        {L"3", L"1234", L"Commercial enterprise", L"1234"},
        {L"4", L"0826", L"Foreign government", L"United Kingdom"},
        {L"4", L"0248", L"Foreign government", L"0248"},
        {L"5", L"0006", L"Other organization", L"0006"},
        {L"6", L"0006", L"6", L"0006"},
    };
    for (const auto& c : cases) {
        mwctlSetCardField(L"piv", L"CHUID.OrgCategory", c.category);
        mwctlSetCardField(L"piv", L"CHUID.OrgIdentifier", c.identifier);
        mwctlSetCardField(L"piv", L"CHUID.Association", c.category);
        ASSERT_EQ(kLayerOk, chuid.Load(silent));
        EXPECT_STREQ(c.categoryText, chuid.GetDisplayValue(Chuid::kFascnOrganizationalCategory)) << c.category;
        EXPECT_STREQ(c.identifierText, chuid.GetDisplayValue(Chuid::kFascnOrganizationalIdentifier)) << c.category;
        EXPECT_STREQ(c.identifier, chuid.GetRawValue(Chuid::kFascnOrganizationalIdentifier)) << c.category;
    }
    mwctlSetCardField(L"piv", L"CHUID.Association", L"8");
    ASSERT_EQ(kLayerOk, chuid.Load(silent));
    EXPECT_STREQ(L"8", chuid.GetDisplayValue(Chuid::kFascnAssociationCategory));
}

TEST_F(CardDataTest, MissingOrMalformedChuid)
{
    {
        VKReader reader(L"Plain Reader");
        Chuid chuid(reader);
        bool silent = false;
        EXPECT_EQ(kLayerNotFound, chuid.Load(silent));
        EXPECT_STREQ(L"", chuid.GetRawValue(Chuid::kChuidGuid));
    }
    {
        Fields without = kChuidFields;
        std::erase_if(without, [](const auto& field) { return field.first == L"CHUID.DUNS"; });
        CardWorldBuilder world;
        world.Reader(L"PIV Reader", L"card", L"piv").Card(L"piv", without);
        ASSERT_TRUE(world.Serve());
        VKReader reader(L"PIV Reader");
        Chuid chuid(reader);
        bool silent = false;
        EXPECT_EQ(kLayerOk, chuid.Load(silent));
        EXPECT_STREQ(L"", chuid.GetRawValue(Chuid::kChuidDuns));
        EXPECT_STREQ(L"", chuid.GetDisplayValue(Chuid::kChuidDuns));
        for (int key = Chuid::kFascnAgencyCode; key <= Chuid::kChuidOrganizationIdentifier; ++key)
            EXPECT_STRNE(L"", chuid.GetRawValue(key)) << key;
    }
    // Containers cut short, with a value longer than the container, a length
    // of 4 GiB, a FASC-N that does not decode, and no bytes at all: every
    // field is empty, the load still ends well, and each read says why.
    const struct {
        const wchar_t* bytes;
        const wchar_t* why;
    } damaged[] = {
        {L"30", L"cut short inside a length"},
        {L"3019D4E739DA", L"a value longer than the data"},
        {L"3084FFFFFFFF00", L"a value longer than the data"},
        {L"3019" "D4E739DA739CED39CE739D836858210842108421C84210C3EA", L"the FASC-N does not decode"},
        {L"", L"empty"},
    };
    for (const auto& d : damaged) {
        CardWorldBuilder world;
        world.Reader(L"PIV Reader", L"card", L"piv")
            .Card(L"piv", {{L"Identifier", L"01"}, {L"DataObjects", L"2"}, {L"DataObject.2", d.bytes}});
        ASSERT_TRUE(world.Serve());
        LogCapture log;
        VKReader reader(L"PIV Reader");
        Chuid chuid(reader);
        bool silent = false;
        EXPECT_EQ(kLayerOk, chuid.Load(silent)) << d.bytes;
        EXPECT_STREQ(L"", chuid.GetRawValue(Chuid::kFascnAgencyCode)) << d.bytes;
        EXPECT_EQ(1, chuid.GetSignatureStatus());
        EXPECT_LE(1u, log.Count(d.why)) << d.bytes;
        EXPECT_LE(1u, log.Count(L"VKPIVCardholderUniqueIdentifier::Load Error while retrieving FASC-N AGENCY"));
    }
}

// What a field shows when the middleware refuses it, by the refusal.
TEST_F(CardDataTest, FieldFailuresActOnTheirIdentifier)
{
    auto load = [] {
        VKReader reader(L"PIV Reader");
        Chuid chuid(reader);
        bool silent = false;
        chuid.Load(silent);
    };
    load(); // loads what is loaded once per process
    mwctlClearCalls();
    load();
    const unsigned firstField = ControllerCallNumber(L"Credential::GetProperty");
    ASSERT_NE(0u, firstField);
    const struct {
        int id;
        int result;
        bool silent;
        const wchar_t* shown;
    } cases[] = {
        {3008, kLayerOk, false, L"(could not be read)"},
        {3018, kLayerOk, true, L"(could not be read)"},
        {3028, kLayerOk, true, L"(could not be read)"},
        {3017, kLayerNoCardOrCancelled, false, nullptr},
        {3007, kLayerOk, false, L""},
    };
    for (const auto& c : cases) {
        mwctlFailCall(firstField, c.id);
        VKReader reader(L"PIV Reader");
        Chuid chuid(reader);
        bool silent = false;
        EXPECT_EQ(c.result, chuid.Load(silent)) << c.id;
        EXPECT_EQ(c.silent, silent) << c.id;
        if (c.shown) {
            EXPECT_STREQ(c.shown, chuid.GetDisplayValue(Chuid::kChuidGuid)) << c.id;
            EXPECT_STREQ(L"20301231", chuid.GetRawValue(Chuid::kChuidExpirationDate)) << c.id;
        } else {
            EXPECT_STREQ(L"", chuid.GetRawValue(Chuid::kChuidExpirationDate)) << c.id;
        }
    }
}

TEST_F(CardDataTest, StopEndsALoadOrAWalkBeforeItsNextRead)
{
    VKReader reader(L"PIV Reader");
    Chuid chuid(reader);
    bool silent = false;
    chuid.Stop();
    EXPECT_EQ(kLayerOk, chuid.Load(silent));
    EXPECT_STREQ(L"", chuid.GetRawValue(Chuid::kChuidGuid));

    const int result = WhileCallHeld<int>(
        L"Credential::GetProperty", 1, [&] { return chuid.Load(silent); }, [&] { chuid.Stop(); });
    EXPECT_EQ(kLayerOk, result);
    EXPECT_STREQ(L"00112233445566778899AABBCCDDEEFF", chuid.GetRawValue(Chuid::kChuidGuid));
    EXPECT_STREQ(L"", chuid.GetRawValue(Chuid::kChuidExpirationDate));
    EXPECT_EQ(0u, mwctlOpenContexts());

    // The flag was spent: the next load reads everything.
    EXPECT_EQ(kLayerOk, chuid.Load(silent));
    EXPECT_STREQ(L"2", chuid.GetRawValue(Chuid::kFascnIndividualCredentialIssue));

    // The demographic walk: a stop ends it before the next credential.
    VKReader cacReader(L"CAC Reader");
    VKDemographicDataList list(cacReader);
    list.Stop();
    EXPECT_EQ(nullptr, list.GetDemographicInfo(silent, L"Personnel", 70));
    std::unique_ptr<VKDemographicInfo> again(list.GetDemographicInfo(silent, L"Personnel", 70));
    EXPECT_TRUE(again);

    // Stopped while the first label is read: the second credential, which
    // holds the wanted label, is never reached.
    VKDemographicInfo* info = WhileCallHeld<VKDemographicInfo*>(
        L"Credential::GetProperty", 1, [&] { return list.GetDemographicInfo(silent, L"Cardholder information", 49); },
        [&] { list.Stop(); });
    EXPECT_EQ(nullptr, info);
    delete info;
    EXPECT_EQ(0u, mwctlOpenContexts());
}

TEST_F(CardDataTest, DemographicRecordsByLabelAndTagWhetherWellFormedOrNot)
{
    const struct {
        int tag;
        const wchar_t* label;
        const wchar_t* value;
        const wchar_t* description;
    } cases[] = {
        {49, L"First name", L"JOHN", L"JOHN"},
        {54, L"Date of birth", L"20151231", L"December 31, 2015"},
        {56, L"Person identifier type", L"S", L"Social security number"},
        {67, L"Branch of service", L"A", L"Army"},
        {69, L"Rank", L"CPT", L""}, // read alone, the branch that groups the rank is not at hand
        {50, L"Middle name", L"", L""},
        {83, L"", L"", L""},
    };
    for (const auto& c : cases) {
        auto info = Record(L"Cardholder information", c.tag);
        ASSERT_TRUE(info) << c.tag;
        EXPECT_STREQ(c.label, info->GetLabel()) << c.tag;
        EXPECT_STREQ(c.value, info->GetValue()) << c.tag;
        EXPECT_STREQ(c.description, info->GetDescription()) << c.tag;
    }
    EXPECT_STREQ(L"A", Record(L"Personnel", 70)->GetValue());
    EXPECT_FALSE(Record(L"No such label", 49));
    EXPECT_FALSE(Record(L"cardholder information", 49)); // labels match exactly
    EXPECT_EQ(0u, mwctlOpenContexts());
    // Malformed containers: the record is there, empty, and the log says why.
    for (const wchar_t* bytes : {L"31", L"3105AA", L"31FF0001AA", L"3101AA32FF"}) {
        CardWorldBuilder world;
        world.Reader(L"CAC Reader", L"card", L"cac")
            .Card(L"cac", {{L"Identifier", L"01"},
                           {L"Demographics", L"1"},
                           {L"Demographic.1.Label", L"Cardholder information"},
                           {L"Demographic.1.Data", bytes}});
        ASSERT_TRUE(world.Serve());
        LogCapture log;
        auto info = Record(L"Cardholder information", 0x31);
        ASSERT_TRUE(info) << Narrow(bytes);
        EXPECT_STREQ(L"", info->GetValue()) << Narrow(bytes);
        EXPECT_EQ(1u, log.Count(L"the demographic data is malformed")) << Narrow(bytes);
    }
}

TEST_F(CardDataTest, DescriptionsByTagAndValue)
{
    VKReader reader(L"CAC Reader");
    VKDemographicInfoList list(reader, nullptr);
    const struct {
        int tag;
        const wchar_t* value;
        const wchar_t* description;
    } cases[] = {
        {54, L"20151231", L"December 31, 2015"}, {54, L"20151331", L"20151331"}, {54, L"2015123", L"2015123"},
        {81, L"19000101", L"January 01, 1900"},  {56, L"Q", L""},                 {55, L"Q", L"Q"},
        {68, L"A", L""},                         {66, L"ZZ99", L"Unknown agency"}, {72, L"GS", L"General Schedule"},
        {73, L"17", L""},                        {69, L"CPT", L""},
    };
    LogCapture log;
    for (const auto& c : cases)
        EXPECT_STREQ(c.description, list.GetCodeDescription(c.tag, c.value)) << c.tag << " " << Narrow(c.value);
    EXPECT_EQ(1u, log.Count(L"VKDemographicInfoList::GetCodeDescription Invalid date!"));
    EXPECT_STREQ(L"", list.GetTagLabel(48));
    EXPECT_STREQ(L"", list.GetTagLabel(83));
    // The rank reads in the branch a kept record names; another branch has its own ranks.
    list.AddDemographicInfo(VKDemographicInfo(list.GetTagLabel(67), L"Army", L"A"));
    EXPECT_STREQ(L"Captain", list.GetCodeDescription(69, L"CPT"));
    EXPECT_STREQ(L"", list.GetCodeDescription(69, L"LCDR"));
    VKDemographicInfoList navy(reader, nullptr);
    navy.AddDemographicInfo(VKDemographicInfo(list.GetTagLabel(67), L"Navy", L"N"));
    EXPECT_STREQ(L"Lieutenant commander", navy.GetCodeDescription(69, L"LCDR"));
}

TEST_F(CardDataTest, EveryControllerFailureEndsInAResultCode)
{
    auto expectations = [](int cancelled, int refused, int unreachable) {
        return [=](const FailedCall& call, const SweepOutcome& outcome) {
            int expected = 0;
            if (call.name == L"EstablishContext")
                expected = unreachable == kSweepMapped
                               ? (call.kind == kMwctlCException ? LayerCodeOf(call.id) : LayerCodeOf(0))
                               : unreachable;
            else if (call.name == L"Context::FindCredentials")
                expected = refused;
            else if (call.name == L"Credential::GetProperty" && call.kind == kMwctlCException && call.id == 3017)
                expected = cancelled;
            EXPECT_EQ(expected, outcome.result) << Narrow(call.name) << " failing with " << call.id << " as " << call.kind;
            EXPECT_EQ(0u, outcome.contextsOpen) << Narrow(call.name);
        };
    };
    int clean = -1;
    size_t runs = SweepControllerFailures(
        [] {
            VKReader reader(L"PIV Reader");
            Chuid chuid(reader);
            bool silent = false;
            return chuid.Load(silent);
        },
        expectations(kLayerNoCardOrCancelled, kLayerNotFound, kSweepMapped), &clean);
    EXPECT_EQ(kLayerOk, clean);
    // A found record is 0 here, none is 1: a label that cannot be read ends
    // the walk, and so does a refused search or connection.
    runs += SweepControllerFailures(
        [] {
            VKReader reader(L"CAC Reader");
            VKDemographicDataList list(reader);
            bool silent = false;
            std::unique_ptr<VKDemographicInfo> info(list.GetDemographicInfo(silent, L"Cardholder information", 49));
            return info ? 0 : 1;
        },
        [&](const FailedCall& call, const SweepOutcome& outcome) {
            const bool label = call.name == L"Credential::GetProperty" && call.occurrence < 3;
            const bool cancelled = call.name == L"Credential::GetProperty" && call.occurrence == 3 &&
                                   call.kind == kMwctlCException && call.id == 3017;
            const bool none = call.name == L"EstablishContext" || call.name == L"Context::FindCredentials" ||
                              label || cancelled;
            EXPECT_EQ(none ? 1 : 0, outcome.result) << Narrow(call.name) << "#" << call.occurrence << " " << call.id;
            EXPECT_EQ(0u, outcome.contextsOpen) << Narrow(call.name);
        },
        &clean);
    EXPECT_EQ(0, clean);
    printf("fault sweep: %zu controller calls failed in turn\n", runs);
}

// The code tables as the resource module carries them: a sample of each
// list, read from the list itself, names its code with the list's text.
TEST(CodeTableTexts, ResourceModuleNamesListedCodes)
{
    HMODULE module = LoadLibraryExW((BinDirectory() + L"Resources\\vkCobAPIrc.dll").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    const struct {
        const char* file;
        FascnTable table;
        bool onlyIn239;
    } lists[] = {
        {"agency-codes-sp800-87.csv", FascnTable::Agency, false},
        {"fips-5-2-states.csv", FascnTable::State, false},
        {"iso-3166-1-numeric.csv", FascnTable::Country, true},
    };
    size_t checked = 0;
    for (const auto& list : lists) {
        for (const auto& [index, row] : SampleOfList(list.file, list.onlyIn239)) {
            const unsigned id = FascnCodeString(list.table, FromUtf8(row.at("code")));
            EXPECT_EQ(FromUtf8(row.at("name")), ResourceString(module, id)) << list.file << " " << row.at("code");
            ++checked;
        }
    }
    EXPECT_EQ(10u, checked); // the state list has no quoted or non-ASCII name
    FreeLibrary(module);
}

} // namespace
