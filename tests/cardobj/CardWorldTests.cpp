// Card worlds as the simulated controller loads them: faults refused with
// the line that holds them, and a world of thousands of readers served whole.
#include "CardWorldBuilder.h"
#include "ChildProcess.h"
#include "Fixtures.h"

#include "cardobj/VKByteArray.h"
#include "cardobj/VKReaderList.h"
#include "mwctl_control.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// `text` written as a world file, in UTF-8, then served.
bool ServeText(const std::wstring& dir, const std::string& text)
{
    return WriteWholeFile(dir + L"world.ini", {text.begin(), text.end()}) && mwctlLoadWorld((dir + L"world.ini").c_str());
}

size_t ReaderCount()
{
    VKReaderList list;
    size_t count = 0;
    VKReaderList::Position position = list.GetFirstReaderPosition();
    while (list.GetNextReader(position))
        ++count;
    return count;
}

TEST(CardWorld, AFaultIsRefusedWithItsLineAndNothingIsServed)
{
    const std::wstring dir = MakeTempDirectory();
    struct Case {
        const char* name;
        std::string text;
        int line; // 0: served
        size_t readers;
    };
    const std::string good = "; a comment\r\n[Reader A]\r\nCard=a\r\n\r\n[Card a]\r\nIdentifier=0A1B\r\n";
    const Case cases[] = {
        {"good, CRLF", good, 0, 1},
        {"good, LF, blanks and UTF-8 mark", "\xEF\xBB\xBF[Reader A]\n  Card = a \n[Card a]\nIdentifier=0a1b\nPINCredentials=64\n", 0, 1},
        {"a reader twice", good + "[Reader B]\r\n[reader a]\r\n", 8, 0},
        {"a card twice", good + "[Card a]\r\nIdentifier=01\r\n", 7, 0},
        {"identifier not hexadecimal", "[Card a]\nType=PIV\nIdentifier=0A1G\n", 3, 0},
        {"identifier of odd length", "[Card a]\nIdentifier=0A1\n", 2, 0},
        {"identifier empty", "[Card a]\nIdentifier=\n", 2, 0},
        {"PIN count past any card", "[Card a]\nIdentifier=01\nPINCredentials=2147483647\n", 3, 0},
        {"negative certificate count", "[Card a]\nPKICredentials=-1\n", 2, 0},
        {"count that is not a number", "[Card a]\nPINCredentials=two\n", 2, 0},
        {"data objects past any card", "[Card a]\nDataObjects=" + [] {
             std::string list = "1";
             for (int i = 0; i < 64; ++i)
                 list += ",1";
             return list;
         }() + "\n", 2, 0},
        {"unknown reader state", "[Reader A]\nState=cardd\n", 2, 0},
        {"section name not closed", "[Reader A]\n[Card a\n", 2, 0},
        {"FASC-N field of letters", "[Card a]\nCHUID.Agency=97A0\n", 1, 0},
        {"FASC-N field too long", "[Card a]\nCHUID.Person=12345678901\n", 1, 0},
        {"GUID not 16 bytes", "[Card a]\nCHUID.GUID=0102\n", 1, 0},
        {"demographic tag past a byte", "[Card a]\nDemographics=1\nDemographic.1.256=x\n", 1, 0},
        {"demographic count not a number", "[Card a]\nDemographics=many\n", 2, 0},
    };
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_EQ(c.line == 0, ServeText(dir, c.text)) << c.name;
        EXPECT_EQ(c.readers, ReaderCount()) << c.name;
        if (c.line) {
            EXPECT_EQ(1u, log.Count(L"world.ini line " + std::to_wstring(c.line) + L": ")) << c.name;
        }
    }
    RemoveDirectoryTree(dir);
}

// 5,000 readers, each with a card: every one is listed, and the card in the
// last is found by its identifier.
TEST(CardWorld, AWorldOfFiveThousandReadersIsServedWhole)
{
    constexpr int kReaders = 5000;
    CardWorldBuilder world;
    wchar_t identifier[16];
    for (int i = 1; i <= kReaders; ++i) {
        swprintf(identifier, 16, L"%08X", i);
        const std::wstring name = L"Reader number " + std::to_wstring(i);
        world.Reader(name, L"card", L"card" + std::to_wstring(i)).Card(L"card" + std::to_wstring(i), {{L"Identifier", identifier}});
    }
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(world.Serve());
    const ULONGLONG loaded = GetTickCount64();
    EXPECT_EQ(static_cast<size_t>(kReaders), ReaderCount());
    VKReaderList list;
    swprintf(identifier, 16, L"%08X", kReaders);
    VKReader* last = list.GetReaderFromCUID(VKByteArray(identifier));
    ASSERT_NE(nullptr, last);
    EXPECT_STREQ((L"Reader number " + std::to_wstring(kReaders)).c_str(), last->GetName());
    printf("card world of %d readers and cards: loaded in %llu ms, listed and searched in %llu ms\n", kReaders,
           loaded - start, GetTickCount64() - loaded);
}

} // namespace
