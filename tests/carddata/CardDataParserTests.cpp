// The card data decoders and rules as plain code: the CHUID and its FASC-N,
// the demographic containers, the date rule and the code tables, on every
// boundary of their input. Built natively under the sanitizers too.
#include "CardData.h"
#include "CodeLists.h"
#include "carddata/CodeTables.h"
#include "carddata/DemographicRules.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

CardBytes Hex(const std::string& hex)
{
    CardBytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// A well-formed FASC-N of a card in the documentation.
const char* const kSampleFascn = "D4E739DA739CED39CE739D836858210842108421C84210C3EB";

TEST(ChuidParser, ReportsEachMalformedContainer)
{
    const struct {
        const char* name;
        std::string hex;
        CardDataFault fault;
        size_t where;
    } cases[] = {
        {"empty", "", CardDataFault::Empty, 0},
        {"tag without length", "30", CardDataFault::TruncatedLength, 0},
        {"long tag cut short", "1F", CardDataFault::TruncatedTag, 0},
        {"long tag cut after continuation", "1F81", CardDataFault::TruncatedTag, 0},
        {"tag of five bytes", "1F8181818101AA", CardDataFault::UnsupportedForm, 0},
        {"length bytes cut short", "308201", CardDataFault::TruncatedLength, 0},
        {"value past the end", "30050102", CardDataFault::LengthPastEnd, 0},
        {"length of 4 GiB", "3084FFFFFFFF00", CardDataFault::LengthPastEnd, 0},
        {"length over 32 bits", "30850100000001AA", CardDataFault::UnsupportedForm, 0},
        {"indefinite length", "308000", CardDataFault::UnsupportedForm, 0},
        {"second element past the end", "3401AA3502BB", CardDataFault::LengthPastEnd, 3},
        {"element twice", "3401AA3401BB", CardDataFault::RepeatedTag, 3},
        {"bytes after the closing element", "3401AAFE0000", CardDataFault::TrailingBytes, 5},
    };
    for (const auto& c : cases) {
        const CardBytes bytes = Hex(c.hex);
        std::map<uint32_t, CardBytes> elements;
        size_t where = 99;
        EXPECT_EQ(c.fault, ParseChuid(bytes.data(), bytes.size(), elements, where)) << c.name;
        EXPECT_EQ(c.where, where) << c.name;
    }
}

TEST(ChuidParser, KeepsEveryElementOfAWellFormedContainer)
{
    // An unknown tag, a two-byte length, a long-form tag and the closing element.
    const CardBytes bytes = Hex("9902ABCD3581083230333031323331" "1F810102EEEE" "FE00");
    std::map<uint32_t, CardBytes> elements;
    size_t where = 0;
    ASSERT_EQ(CardDataFault::None, ParseChuid(bytes.data(), bytes.size(), elements, where));
    EXPECT_EQ(Hex("ABCD"), elements[0x99]);
    EXPECT_EQ(Hex("3230333031323331"), elements[kChuidExpiration]);
    EXPECT_EQ(Hex("EEEE"), elements[0x1F8101]);
    // What EncodeChuid writes parses back to the same elements.
    std::map<uint32_t, CardBytes> written = {{kChuidGuid, CardBytes(16, 7)}, {kChuidDuns, CardBytes(300, '9')}};
    const CardBytes encoded = EncodeChuid(written);
    ASSERT_EQ(CardDataFault::None, ParseChuid(encoded.data(), encoded.size(), elements, where));
    written[kChuidErrorDetection] = {};
    EXPECT_EQ(written, elements);
}

TEST(Fascn, DecodesWhatItEncodesAndRefusesDamage)
{
    Fascn fascn;
    ASSERT_TRUE(DecodeFascn(Hex(kSampleFascn), fascn));
    CardBytes again;
    ASSERT_TRUE(EncodeFascn(fascn, again));
    EXPECT_EQ(Hex(kSampleFascn), again);

    const Fascn fields{"9700", "0123", "456789", "1", "2", "1234567890", "1", "7000", "5"};
    CardBytes bytes;
    ASSERT_TRUE(EncodeFascn(fields, bytes));
    ASSERT_TRUE(DecodeFascn(bytes, fascn));
    EXPECT_EQ(std::make_tuple(fields.agency, fields.system, fields.credential, fields.series, fields.issue,
                              fields.person, fields.category, fields.organization, fields.association),
              std::make_tuple(fascn.agency, fascn.system, fascn.credential, fascn.series, fascn.issue, fascn.person,
                              fascn.category, fascn.organization, fascn.association));

    for (size_t bit = 0; bit < 200; bit += 37) {
        CardBytes damaged = bytes;
        damaged[bit / 8] = static_cast<uint8_t>(damaged[bit / 8] ^ (0x80 >> (bit % 8)));
        EXPECT_FALSE(DecodeFascn(damaged, fascn)) << "bit " << bit;
    }
    CardBytes shorter(bytes.begin(), bytes.end() - 1);
    EXPECT_FALSE(DecodeFascn(shorter, fascn));
    EXPECT_FALSE(DecodeFascn(CardBytes(25, 0), fascn));
    Fascn wrong = fields;
    wrong.agency = "97A0";
    EXPECT_FALSE(EncodeFascn(wrong, bytes));
    wrong.agency = "970";
    EXPECT_FALSE(EncodeFascn(wrong, bytes));
}

TEST(SimpleTlv, FindsATagAndReportsEachMalformedContainer)
{
    const struct {
        const char* name;
        std::string hex;
        CardDataFault fault;
        bool found;
        std::string value;
    } cases[] = {
        {"empty", "", CardDataFault::Empty, false, ""},
        {"tag without length", "31", CardDataFault::TruncatedLength, false, ""},
        {"long length cut short", "31FF01", CardDataFault::TruncatedLength, false, ""},
        {"value past the end", "3103AA", CardDataFault::LengthPastEnd, false, ""},
        {"long value past the end", "31FFFFFFAA", CardDataFault::LengthPastEnd, false, ""},
        {"fault after the wanted tag", "3101AA3202BB", CardDataFault::LengthPastEnd, true, "AA"},
        {"unknown tags around it", "0100" "3102AABB" "C801CC", CardDataFault::None, true, "AABB"},
        {"absent", "3201AA", CardDataFault::None, false, ""},
        {"empty value", "3100", CardDataFault::None, true, ""},
        {"first of two", "3101AA3101BB", CardDataFault::None, true, "AA"},
    };
    for (const auto& c : cases) {
        const CardBytes bytes = Hex(c.hex);
        CardBytes value;
        bool found = false;
        size_t where = 0;
        EXPECT_EQ(c.fault, FindSimpleTlv(bytes.data(), bytes.size(), 0x31, value, found, where)) << c.name;
        EXPECT_EQ(c.found, found) << c.name;
        EXPECT_EQ(Hex(c.value), value) << c.name;
    }
    for (size_t length : {0u, 254u, 255u, 65535u}) {
        CardBytes container;
        ASSERT_TRUE(AppendSimpleTlv(container, 0x31, CardBytes(length, 'x'))) << length;
        CardBytes value;
        bool found = false;
        size_t where = 0;
        EXPECT_EQ(CardDataFault::None, FindSimpleTlv(container.data(), container.size(), 0x31, value, found, where));
        EXPECT_EQ(length, value.size());
    }
    CardBytes container;
    EXPECT_FALSE(AppendSimpleTlv(container, 0x31, CardBytes(65536, 'x')));
    EXPECT_TRUE(container.empty());
}

TEST(DemographicRules, DateRule)
{
    std::setlocale(LC_ALL, "C");
    const struct {
        const wchar_t* value;
        DateResult result;
        const wchar_t* text;
    } cases[] = {
        {L"20151231", DateResult::Formatted, L"December 31, 2015"},
        {L"19000101", DateResult::Formatted, L"January 01, 1900"},
        {L"30001231", DateResult::Formatted, L"December 31, 3000"},
        {L"18991231", DateResult::Invalid, L""},
        {L"30010101", DateResult::Invalid, L""},
        {L"20151331", DateResult::Invalid, L""},
        {L"20150001", DateResult::Invalid, L""},
        {L"20150132", DateResult::Invalid, L""},
        {L"20150100", DateResult::Invalid, L""},
        {L"2015-1-1", DateResult::Invalid, L""},
        {L"2015123", DateResult::NotEightCharacters, L""},
        {L"201512310", DateResult::NotEightCharacters, L""},
        {L"", DateResult::NotEightCharacters, L""},
    };
    for (const auto& c : cases) {
        std::wstring text = L"left over";
        EXPECT_EQ(c.result, FormatCardDate(c.value, text)) << c.value;
        EXPECT_EQ(c.text, text) << c.value;
    }
}

TEST(DemographicRules, LabelsAndTablesNumberTheirStrings)
{
    EXPECT_EQ(0u, DemographicLabelString(48));
    EXPECT_EQ(10018u, DemographicLabelString(49));
    EXPECT_EQ(10051u, DemographicLabelString(82));
    EXPECT_EQ(0u, DemographicLabelString(83));
    const struct {
        const char* table;
        const wchar_t* group;
        const wchar_t* key;
        unsigned number;
    } cases[] = {
        {"D1", L"", L"D", 10053},  {"D1", L"", L"X", 10059},     {"D1", L"", L"Q", 0},     {"D1", L"", L"d", 0},
        {"D2", L"", L"9", 10068},  {"D9", L"", L"99", 10097},    {"D9", L"", L"9", 0},     {"D10", L"", L"AF01", 10115},
        {"D10", L"", L"ZZ99", 10358}, {"D11", L"", L"X", 10110}, {"D14", L"", L"ZZ99", 10112},
        {"D16", L"", L"30", 10385}, {"D16", L"", L"17", 0},      {"D13", L"", L"V", 10404}, {"D15", L"", L"ZZ", 10552},
        {"D12", L"1", L"PTE", 10553}, {"D12", L"X", L"CTR", 10790}, {"D12", L"D", L"PTE", 0}, {"D12", L"", L"PTE", 0},
        {"D1", L"", L"D\u00e9", 0},  {"D1", L"", L"DDDDDDDDDDDDDDDDDDDD", 0}, {"D99", L"", L"D", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.number, DemographicCodeString(c.table, c.group, c.key)) << c.table << " " << c.number;
    // D10 leaves string 10234 out: 243 codes from 10115 end at 10358.
    EXPECT_EQ(10233u, DemographicCodeString("D10", L"", L"ARSS"));
    EXPECT_EQ(10235u, DemographicCodeString("D10", L"", L"ARSU"));
}

TEST(CodeTables, NumberEveryListedCodeInListOrder)
{
    const struct {
        const char* file;
        FascnTable table;
        unsigned first;
        bool onlyIn239;
    } lists[] = {
        {"agency-codes-sp800-87.csv", FascnTable::Agency, 6000, false},
        {"fips-5-2-states.csv", FascnTable::State, 1000, false},
        {"iso-3166-1-numeric.csv", FascnTable::Country, 2000, true},
    };
    for (const auto& list : lists) {
        const auto sample = SampleOfList(list.file, list.onlyIn239);
        ASSERT_FALSE(sample.empty()) << list.file;
        for (const auto& [index, row] : sample) {
            const std::wstring code(row.at("code").begin(), row.at("code").end());
            EXPECT_EQ(list.first + index, FascnCodeString(list.table, code)) << list.file << " " << row.at("code");
        }
    }
    EXPECT_EQ(1004u, FascnCodeString(FascnTable::State, L"0006"));
    EXPECT_EQ(0u, FascnCodeString(FascnTable::State, L"0003"));
    EXPECT_EQ(0u, FascnCodeString(FascnTable::Country, L"0248")); // added to ISO 3166-1 after the 239
    EXPECT_EQ(0u, FascnCodeString(FascnTable::Agency, L""));
    EXPECT_EQ(0u, FascnCodeString(FascnTable::Agency, L"00000"));
}

} // namespace
