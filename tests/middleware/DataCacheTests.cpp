// The shared data cache: damaged files, writers that died half-way, and
// writers and readers in two processes at once.
#include "ChildProcess.h"
#include "Fixtures.h"

#include "DataCacheClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <future>
#include <thread>

namespace {

constexpr const wchar_t* kStore = L"{DE7C1351-5982-43b3-AB97-74D3FCACF684}";
constexpr const wchar_t* kName = L"DisplayNotificationDate";
constexpr const wchar_t* kWorkerVariable = L"VELKOR_CACHE_WORKER";
constexpr unsigned kThreads = 4;
constexpr unsigned kDates = 1000;

// Where a value of `compartment` is kept.
std::wstring ValueFile(const DataCacheFolder& cache, const std::wstring& compartment)
{
    return cache.Dir() + kStore + L"\\" + compartment + L"\\" + kName + L".bin";
}

TEST(SharedDataCache, ADamagedValueReadsAsNoneAndTheNextWriteRepairsIt)
{
    DataCacheFolder cache;
    DataCacheClient client;
    ASSERT_EQ(0, client.SetData(kStore, L"CARD", kName, {1765000000}));
    const std::vector<unsigned char> good = ReadWholeFile(ValueFile(cache, L"CARD"));
    ASSERT_FALSE(good.empty());
    auto with = [&good](size_t at, unsigned char byte) {
        std::vector<unsigned char> bytes = good;
        bytes[at] = byte;
        return bytes;
    };
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"header cut short", std::vector<unsigned char>(good.begin(), good.begin() + 5)},
        {"value cut short", std::vector<unsigned char>(good.begin(), good.end() - 6)},
        {"no checksum", std::vector<unsigned char>(good.begin(), good.end() - 4)},
        {"bytes after the end", [&good] { auto b = good; b.push_back(0); return b; }()},
        {"foreign magic", with(0, 'X')},
        {"count past the values", with(4, 2)},
        {"huge count", with(7, 0x7F)},
        {"one value bit flipped", with(8, static_cast<unsigned char>(good[8] ^ 1))},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteWholeFile(ValueFile(cache, L"CARD"), c.bytes));
        std::vector<uint64_t> values{42};
        EXPECT_EQ(kDataCacheCorrupt, client.GetData(kStore, L"CARD", kName, values)) << c.name;
        EXPECT_TRUE(values.empty()) << c.name;
        EXPECT_EQ(0, client.SetData(kStore, L"CARD", kName, {1800000000})) << c.name;
        EXPECT_EQ(0, client.GetData(kStore, L"CARD", kName, values)) << c.name;
        EXPECT_EQ(std::vector<uint64_t>{1800000000}, values) << c.name;
    }
}

TEST(SharedDataCache, TheNextWriterRemovesWhatACrashedOneLeftAndNamesArePlain)
{
    DataCacheFolder cache;
    DataCacheClient client;
    ASSERT_EQ(0, client.SetData(kStore, L"CARD", kName, {1}));
    const std::wstring left = ValueFile(cache, L"CARD") + L".4242.17.3.tmp";
    ASSERT_TRUE(WriteWholeFile(left, {1, 2, 3}));
    const std::wstring otherValue = cache.Dir() + kStore + L"\\CARD\\Other.bin.4242.17.4.tmp";
    ASSERT_TRUE(WriteWholeFile(otherValue, {1}));
    ASSERT_EQ(0, client.SetData(kStore, L"CARD", kName, {2}));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(left.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(otherValue.c_str())) << "another value's writer may be at work";
    std::vector<uint64_t> values;
    EXPECT_EQ(0, client.GetData(kStore, L"CARD", kName, values));
    EXPECT_EQ(std::vector<uint64_t>{2}, values);
    // Names that are not plain are refused; a value never written is not found.
    for (const wchar_t* compartment : {L"", L"..\\x", L"a/b", L"C:x"}) {
        EXPECT_EQ(kDataCacheBadName, client.SetData(kStore, compartment, kName, {1}));
        EXPECT_EQ(kDataCacheBadName, client.GetData(kStore, compartment, kName, values));
    }
    EXPECT_EQ(kDataCacheBadName, client.SetData(kStore, L"CARD", kName, std::vector<uint64_t>(1025)));
    EXPECT_EQ(kDataCacheNotFound, client.GetData(kStore, L"NEVER", kName, values));
}

// A date as a writer stores it: which of the two values it was meant for,
// the writer, its sequence number, and a check over all three, so that a
// read can tell a torn value or one of the other value from a good one.
uint64_t Date(unsigned value, unsigned writer, unsigned sequence)
{
    const uint64_t body = static_cast<uint64_t>(value) << 56 | static_cast<uint64_t>(writer) << 48 |
                          static_cast<uint64_t>(sequence) << 16;
    return body | ((body >> 16) * 2654435761u >> 16 & 0xFFFF);
}

bool IsGoodDate(uint64_t date, unsigned value)
{
    const unsigned writer = static_cast<unsigned>(date >> 48 & 0xFF);
    const unsigned sequence = static_cast<unsigned>(date >> 16 & 0xFFFFFFFF);
    return writer < 2 * kThreads && sequence >= 1 && sequence <= kDates && Date(value, writer, sequence) == date;
}

// kThreads writers, numbered from `firstWriter`, each storing kDates dates
// into one of two values in turn and reading that value back at once: none
// is lost, none reads torn or the other value's. The figures are printed.
void WriteAndRead(unsigned firstWriter)
{
    std::atomic<unsigned> lost{0};
    std::atomic<unsigned> torn{0};
    const ULONGLONG start = GetTickCount64();
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < kThreads; ++t) {
        threads.emplace_back([&lost, &torn, writer = firstWriter + t] {
            DataCacheClient client;
            for (unsigned i = 1; i <= kDates; ++i) {
                const unsigned value = i % 2;
                const wchar_t* compartment = value ? L"CARD1" : L"CARD0";
                if (client.SetData(kStore, compartment, kName, {Date(value, writer, i)}) != 0)
                    ++lost;
                std::vector<uint64_t> read;
                if (client.GetData(kStore, compartment, kName, read) != 0 || read.size() != 1 ||
                    !IsGoodDate(read[0], value))
                    ++torn;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    printf("data cache, writers %u to %u, %u dates each: %u writes lost, %u reads torn or foreign; %llu ms\n",
           firstWriter, firstWriter + kThreads - 1, kDates, lost.load(), torn.load(), GetTickCount64() - start);
    EXPECT_EQ(0u, lost.load());
    EXPECT_EQ(0u, torn.load());
}

// Run by the second process of the test below, which fails when it does;
// skipped otherwise.
TEST(SharedDataCache, WriterProcess)
{
    if (!GetEnvironmentVariableW(kWorkerVariable, nullptr, 0))
        GTEST_SKIP() << "started by WritersInTwoProcessesLoseNothing";
    WriteAndRead(kThreads);
}

TEST(SharedDataCache, WritersInTwoProcessesLoseNothing)
{
    DataCacheFolder cache;
    // The variable stays set while the second process runs: no thread here reads it.
    auto second = std::async(std::launch::async, [] {
        return RunThisProgram(L"SharedDataCache.WriterProcess", {{kWorkerVariable, L"1"}}, 100000);
    });
    WriteAndRead(0);
    const ChildRun run = second.get();
    EXPECT_TRUE(run.finished) << run.output;
    EXPECT_EQ(0u, run.exitCode) << run.output;
    // The second process wrote as well: its figures are there.
    const size_t figures = run.output.find("data cache, writers " + std::to_string(kThreads) + " ");
    ASSERT_NE(std::string::npos, figures) << run.output;
    printf("%s\n", run.output.substr(figures, run.output.find('\n', figures) - figures).c_str());
}

} // namespace
