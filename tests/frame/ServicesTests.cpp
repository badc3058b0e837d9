// The frame's internal services: notifications to the agent and console
// windows, and help topics.
#include "FakeHelpViewer.h"
#include "Fixtures.h"
#include "NotifyReceivers.h"
#include "UiDriver.h"

#include "base/HelpTopic.h"
#include "base/NotifyEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::vector<BYTE> BytesOf(const std::wstring& text)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(p, p + (text.size() + 1) * sizeof(wchar_t));
}

TEST(NotifyEvent, AgentAndConsoleReceiveTheEventAndTheReaderNameWithItsTerminator)
{
    std::wstring longName(10000, L'x');
    struct Case {
        int event;
        const wchar_t* reader; // null: an empty record
        DWORD bytes;
    };
    const Case cases[] = {
        {kEventCardUnlocked, L"AB", 6},
        {kEventPinInitialized, L"Gemalto USB Smart Card Reader 0", 64},
        {kEventCardUnlocked, longName.c_str(), 20002},
        {kEventCardUnlocked, nullptr, 0},
    };
    Receivers windows({L"VkTrayHandlerClass", L"VKUserConsoleCL"});
    for (const Case& c : cases) {
        windows.received.clear();
        NotifyEvent(c.event, c.reader, reinterpret_cast<WPARAM>(windows.Window(0)));
        ASSERT_EQ(2u, windows.received.size()) << "delivery is synchronous: both have it on return";
        EXPECT_EQ(windows.Window(0), windows.received[0].to) << "the agent first";
        EXPECT_EQ(windows.Window(1), windows.received[1].to);
        for (const Received& r : windows.received) {
            EXPECT_EQ(static_cast<ULONG_PTR>(c.event), r.word);
            EXPECT_EQ(c.bytes, r.bytes);
            EXPECT_EQ(c.reader ? BytesOf(c.reader) : std::vector<BYTE>(), r.data);
            EXPECT_EQ(reinterpret_cast<WPARAM>(windows.Window(0)), r.sender);
        }
    }
}

TEST(NotifyEvent, OnlyTheRunningWindowsAreToldAndNoneIsNoError)
{
    {
        Receivers consoleOnly({L"VKUserConsoleCL"});
        NotifyEvent(kEventPinInitialized, L"R", 0);
        ASSERT_EQ(1u, consoleOnly.received.size());
        EXPECT_EQ(4u, consoleOnly.received[0].bytes);
    }
    NotifyEvent(kEventPinInitialized, L"R", 0);
    NotifyEvent(kEventPinInitialized, nullptr, 0);
}

// The viewer registered for the HTML Help control's class is the stand-in,
// which records what it is asked.
TEST(HelpTopic, TheViewerGetsTheHelpPathAndTheTopicOnlyWhenAPathIsConfigured)
{
    struct Case {
        const char* name;
        const wchar_t* path; // null: no HelpPath value
        int topic;
        bool shown;
    };
    // 261 characters and a terminator do not fit the 522-byte buffer.
    const std::wstring tooLong = L"C:\\" + std::wstring(258, L'h');
    const Case cases[] = {
        {"missing", nullptr, kHelpPin, false},
        {"too long", tooLong.c_str(), kHelpPin, false},
        {"unlock topic", L"C:\\Help\\velkor.chm", kHelpUnlock, true},
        {"PIN topic", L"D:\\velkor help.chm", kHelpPin, true},
    };
    RegistryFixture registry;
    registry.SetString(L"Software\\Classes\\CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", L"",
                       BinDirectory() + L"fake_hhctrl.dll");
    int expected = 0;
    for (const Case& c : cases) {
        if (c.path)
            registry.SetString(kInstallKey, L"HelpPath", c.path);
        else
            registry.Remove(kInstallKey, L"HelpPath");
        DoDisplayTopic(c.topic);
        HMODULE viewer = GetModuleHandleW(L"fake_hhctrl.dll");
        using Recorded = const HelpRequests*(__cdecl*)();
        auto recorded = viewer ? reinterpret_cast<Recorded>(reinterpret_cast<void (*)()>(
                                     GetProcAddress(viewer, "RecordedHelpRequests")))
                               : nullptr;
        expected += c.shown;
        ASSERT_EQ(c.shown || expected > 0, recorded != nullptr) << c.name << ": the viewer is loaded on first use";
        if (!recorded)
            continue;
        EXPECT_EQ(expected, recorded()->count) << c.name;
        if (c.shown) {
            EXPECT_STREQ(c.path, recorded()->file) << c.name;
            EXPECT_EQ(15u, recorded()->command) << c.name << ": HH_HELP_CONTEXT";
            EXPECT_EQ(static_cast<DWORD_PTR>(c.topic), recorded()->data) << c.name;
        }
    }
}

} // namespace
