// The PKCS TLV buffer on every length boundary: what it builds byte for
// byte, and what it makes of buffers cut short, overlong or followed by
// stray bytes (run under the sanitizers too, where a read past the buffer
// stops the test).
#include "carddata/CGctlvException.h"
#include "carddata/PKCSTLVBuffer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

WipingBytes Wiping(const Bytes& bytes)
{
    return WipingBytes(bytes.begin(), bytes.end());
}

Bytes Contents(const PKCSTLVBuffer& buffer)
{
    return Bytes(buffer.begin(), buffer.end());
}

PKCSTLVBuffer FromBytes(const Bytes& bytes)
{
    return PKCSTLVBuffer(bytes.data(), bytes.size());
}

// Runs `parse` and returns the line of the CGctlvException it raised (0
// when it raised none), checking the exception's other fields.
template <class Parse>
int RaisedLine(Parse parse)
{
    try {
        parse();
    } catch (CGctlvException* raised) {
        std::unique_ptr<CGctlvException> owned(raised);
        EXPECT_EQ(1000, raised->getID());
        EXPECT_STREQ(L"Sources\\qlpkcstlvbuffer", raised->getSourceFile());
        EXPECT_EQ(nullptr, raised->getInnerException());
        return raised->getSourceLine();
    }
    return 0;
}

constexpr int kTag = 20, kLength = 34, kValue = 48;

TEST(PKCSTLVBuffer, BuildsElementsByteForByte)
{
    PKCSTLVBuffer buffer;
    buffer.AddTLV(3, Wiping({0xAA}));
    EXPECT_EQ((Bytes{3, 0, 0, 0, 1, 0, 0, 0, 0xAA}), Contents(buffer));
    buffer.AddTLV(0x11223344, {});
    buffer.AddTLV(3, Wiping({0xBB, 0xCC}));
    EXPECT_EQ((Bytes{0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 0xBB, 0xCC}), Contents(buffer))
        << "a tag added again replaces its element, now at the end; an empty value is 8 bytes";
    WipingBytes value;
    EXPECT_TRUE(buffer.GetValue(0x11223344, value));
    EXPECT_TRUE(value.empty());
    EXPECT_TRUE(buffer.GetValue(3, value));
    EXPECT_EQ((Bytes{0xBB, 0xCC}), Bytes(value.begin(), value.end()));

    const Bytes before = Contents(buffer);
    EXPECT_FALSE(buffer.RemoveTag(4));
    EXPECT_EQ(before, Contents(buffer));
    EXPECT_TRUE(buffer.RemoveTag(0x11223344));
    EXPECT_EQ((Bytes{3, 0, 0, 0, 2, 0, 0, 0, 0xBB, 0xCC}), Contents(buffer));
    EXPECT_TRUE(buffer.RemoveTag(3));
    EXPECT_EQ(0u, buffer.size());
    EXPECT_FALSE(buffer.RemoveTag(3)) << "the empty buffer holds nothing and is valid";

    // Removing takes only the first element of a tag: two arise only in a
    // buffer that was not built here.
    PKCSTLVBuffer twice = FromBytes({7, 0, 0, 0, 1, 0, 0, 0, 0x01, 9, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 1, 0, 0, 0, 0x02});
    EXPECT_TRUE(twice.RemoveTag(7));
    EXPECT_EQ((Bytes{9, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 1, 0, 0, 0, 0x02}), Contents(twice));
}

TEST(PKCSTLVBuffer, RefusesBuffersCutShortOrRunningPastTheirEnd)
{
    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t tag;    // looked up and removed
        int line;        // of the exception raised, 0 for none
        bool found;
        int addLine = -1; // of the exception adding raises, when not `line`
    };
    const Bytes one = {1, 0, 0, 0, 1, 0, 0, 0, 0xAA};
    auto then = [&one](Bytes tail) {
        Bytes joined = one;
        joined.insert(joined.end(), tail.begin(), tail.end());
        return joined;
    };
    const Case cases[] = {
        {"empty", {}, 1, 0, false},
        {"a tag of one byte", {1}, 1, kTag, false},
        {"a tag of three bytes", {1, 0, 0}, 1, kTag, false},
        {"a tag and no length", {1, 0, 0, 0}, 1, kLength, false},
        {"five bytes", {1, 0, 0, 0, 1}, 1, kLength, false},
        {"a length of three bytes", {1, 0, 0, 0, 1, 0, 0}, 1, kLength, false},
        {"a value one byte short", {1, 0, 0, 0, 2, 0, 0, 0, 0xAA}, 1, kValue, false},
        {"a length of 2^32 - 1", {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xAA}, 1, kValue, false},
        {"a length that wraps a 32-bit offset", {1, 0, 0, 0, 0xF8, 0xFF, 0xFF, 0xFF, 0xAA}, 1, kValue, false},
        {"a length of 2^31", {1, 0, 0, 0, 0, 0, 0, 0x80}, 1, kValue, false},
        {"an overlong length on a tag not asked for", {2, 0, 0, 0, 0xF7, 0xFF, 0xFF, 0xFF}, 1, kValue, false},
        {"a length of zero", {1, 0, 0, 0, 0, 0, 0, 0}, 1, 0, true},
        {"a whole element", one, 1, 0, true},
        {"only another tag", then({}), 7, 0, false},
        {"two stray bytes after", then({5, 0}), 2, kTag, false},
        {"stray bytes after the element asked for", then({5, 0}), 1, 0, true, kTag},
        {"a length cut short after", then({2, 0, 0, 0, 9}), 2, kLength, false},
        {"a value past the end after", then({2, 0, 0, 0, 9, 0, 0, 0}), 2, kValue, false},
        {"an element of the tag after an unknown one", then({2, 0, 0, 0, 1, 0, 0, 0, 0xBB}), 2, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PKCSTLVBuffer buffer = FromBytes(c.bytes);
        bool found = false;
        WipingBytes value;
        EXPECT_EQ(c.line, RaisedLine([&] { found = buffer.GetValue(c.tag, value); }));
        EXPECT_EQ(c.found, found);
        bool removed = false;
        EXPECT_EQ(c.line, RaisedLine([&] { removed = buffer.RemoveTag(c.tag); }));
        EXPECT_EQ(c.found, removed);
        if (c.line) {
            EXPECT_EQ(c.bytes, Contents(buffer)) << "a buffer that cannot be parsed is left as it was";
        }
        EXPECT_EQ(c.bytes.size() - (removed ? 8 + value.size() : 0), buffer.size());
        // Adding goes through removing first: a bad buffer refuses it too.
        PKCSTLVBuffer added = FromBytes(c.bytes);
        EXPECT_EQ(c.addLine < 0 ? c.line : c.addLine, RaisedLine([&] { added.AddTLV(c.tag, Wiping({0x5A})); }));
    }

    // Found by the fuzzer: the tag added is found and removed before the
    // element cut short, whose length would then take the new element in.
    const Bytes found = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,    0,    0,    0x10, 0,
                         0, 0, 0, 0, 0, 0, 0, 0, 0, 0xD0, 0x30, 0x0E, 0x0A};
    PKCSTLVBuffer fuzzed = FromBytes(found);
    EXPECT_EQ(kValue, RaisedLine([&] { fuzzed.AddTLV(0, Wiping({})); }));
    EXPECT_EQ(found.size() - 8, fuzzed.size()) << "the one element of the tag is gone, nothing was added";
}

TEST(PKCSTLVBuffer, ReadsFieldsWithoutWrappingTheOffset)
{
    const PKCSTLVBuffer buffer = FromBytes({0x78, 0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB});
    size_t offset = 0;
    uint32_t field = 7;
    buffer.ReadTag(offset, &field);
    EXPECT_EQ(0x12345678u, field);
    EXPECT_EQ(4u, offset);
    for (size_t start : {size_t{4}, size_t{7}, size_t{8}, size_t(-1), size_t(-3), size_t(-4)}) {
        offset = start;
        field = 7;
        EXPECT_EQ(kLength, RaisedLine([&] { buffer.ReadLength(offset, &field); })) << start;
        EXPECT_EQ(start, offset);
        EXPECT_EQ(0u, field) << "the output is cleared before the read";
    }
}

TEST(CGctlvException, NamesItsIdAsText)
{
    EXPECT_EQ(L"ID:1000 (GCTLV_INVALID_BUFFER_FORMAT)", CGctlvException(1000, L"m", L"f", 1).ToString());
    EXPECT_EQ(L"ID:999 (Unknown Exception Id)", CGctlvException(999, L"m", L"f", 1).ToString());
    CException* failure = new CGctlvException(1000, L"outer", L"f", 2, new CException(3000, L"inner"));
    EXPECT_EQ(3000, failure->getInnerException()->getID());
    delete failure; // the inner one goes with it (the sanitizers see a leak otherwise)
}

} // namespace
