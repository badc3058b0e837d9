#include "ImportPatch.h"
#include "LibraryLoader.h"
#include "UiDriver.h"
#include "afxwin.h"

#include "pinrc_ids.h"

#include <climits>
#include <cstring>
#include <thread>

namespace {

class ResourceModule {
public:
    ResourceModule()
        : m_hModule(LoadLibraryExW((BinDirectory() + L"Resources\\vk.velkor.gui.pinrc.dll").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~ResourceModule()
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
    }
    std::wstring Text(UINT id) const { return id ? ResourceString(m_hModule, id) : std::wstring(); }
    HMODULE m_hModule;
};

TEST(Exports, EveryFunctionIsExportedUnderItsPlainName)
{
    LibraryLoader library;
    ASSERT_NE(nullptr, library.Handle());
    for (const char* name : {"InitGUIDll", "SetPinPromptString", "GetErrorString", "FreeGetPinBuffer",
                             "FreeReaderNameBuffer", "DisplayLastPINTry", "GetPINFromUser", "ShowPINAlwaysPrompt"})
        EXPECT_NE(nullptr, library.Get<FARPROC>(name)) << name;
}

TEST(ErrorString, FollowsTheMapAndKeepsThePreviousTextForUnknownCodes)
{
    // One sequence on one fresh load: codes without a text return whatever
    // the buffer held, so the order of the steps is part of the test.
    struct Step {
        int code;
        UINT expected; // 0: the empty text
    };
    const Step steps[] = {
        {13, 0},
        {0, 0},
        {1, IDS_ERROR_WRONG_PIN},
        {13, IDS_ERROR_WRONG_PIN},
        {-1, IDS_ERROR_WRONG_PIN},
        {15, IDS_ERROR_WRONG_PIN},
        {2, IDS_ERROR_CARD_BLOCKED},
        {3, IDS_ERROR_NOT_CONNECTED},
        {4, IDS_ERROR_CARD_OPERATION},
        {5, IDS_ERROR_ACCESS_DENIED},
        {6, IDS_ERROR_CARD_FULL},
        {7, IDS_ERROR_TIMEOUT},
        {8, IDS_ERROR_CANCELLED},
        {9, IDS_ERROR_BAD_CARD_DATA},
        {10, IDS_ERROR_CARD_NOT_SUPPORTED},
        {11, 3071},
        {12, 3069},
        {INT_MIN, 3069},
        {14, 3070},
        {INT_MAX, 3070},
    };
    LibraryLoader library;
    auto getErrorString = library.Get<GetErrorStringFn>("GetErrorString");
    ASSERT_NE(nullptr, getErrorString);
    ResourceModule resources;
    const wchar_t* buffer = getErrorString(13);
    for (const Step& step : steps) {
        const wchar_t* text = getErrorString(step.code);
        EXPECT_EQ(buffer, text) << "always the same buffer";
        std::wstring expected = resources.Text(step.expected);
        EXPECT_EQ(expected, text) << "code " << step.code;
        if (step.expected) {
            EXPECT_FALSE(expected.empty()) << "string " << step.expected << " missing from the resource module";
        }
    }
}

// What the block held when the library freed it, seen through the library's
// own import of free.
struct FreedBlock {
    static constexpr size_t kSize = 512;
    static inline void (*realFree)(void*) = nullptr;
    static inline void* block = nullptr;
    static inline unsigned char bytes[kSize] = {};
    static void Free(void* p)
    {
        block = p;
        memcpy(bytes, p, kSize);
        realFree(p);
    }
};

TEST(FreeGetPinBuffer, ZeroesExactlyTheGivenLengthThenFrees)
{
    LibraryLoader library;
    auto freeBuffer = library.Get<FreeGetPinBufferFn>("FreeGetPinBuffer");
    ASSERT_NE(nullptr, freeBuffer);
    ImportPatch patch(library.Handle(), "msvcrt.dll", "free", reinterpret_cast<void*>(&FreedBlock::Free));
    FreedBlock::realFree = reinterpret_cast<void (*)(void*)>(patch.Original());
    ASSERT_NE(nullptr, FreedBlock::realFree);
    for (unsigned length : {0u, 100u, 400u}) {
        void* block = malloc(FreedBlock::kSize);
        ASSERT_NE(nullptr, block);
        memset(block, 0xA5, FreedBlock::kSize);
        FreedBlock::block = nullptr;
        freeBuffer(block, length);
        ASSERT_EQ(block, FreedBlock::block) << "length " << length << ": not freed";
        for (size_t i = 0; i < FreedBlock::kSize; ++i)
            ASSERT_EQ(i < length ? 0x00 : 0xA5, FreedBlock::bytes[i]) << "length " << length << ", byte " << i;
    }
}

TEST(FrameExports, BadInputIsLoggedAndHarmless)
{
    LibraryLoader library;
    auto setPrompt = library.Get<SetPinPromptStringFn>("SetPinPromptString");
    auto freeBuffer = library.Get<FreeGetPinBufferFn>("FreeGetPinBuffer");
    auto freeReaderName = library.Get<VoidFn>("FreeReaderNameBuffer");
    ASSERT_TRUE(setPrompt && freeBuffer && freeReaderName);

    LogCapture log;
    std::wstring longText(10000, L'P');
    setPrompt(L"Enter the PIN of your badge");
    setPrompt(nullptr);
    setPrompt(L"");
    setPrompt(longText.c_str());
    freeBuffer(nullptr, 0);
    freeBuffer(nullptr, 64);
    freeReaderName();

    EXPECT_EQ(4u, log.Count(L"SetPinPromptString") / 2);
    EXPECT_TRUE(log.Has(VKLOG_ENTRY, L"--->FreeBuffer"));
    EXPECT_TRUE(log.Has(VKLOG_EXIT, L"<---FreeBuffer"));
    EXPECT_EQ(2u, log.Count(L"FreeBuffer: no buffer to free"));
    EXPECT_TRUE(log.Has(VKLOG_ENTRY, L"--->FreeReaderNameBuffer"));
    EXPECT_TRUE(log.Has(VKLOG_EXIT, L"<---FreeReaderNameBuffer"));
}

// This test program is a host built on the same framework: after InitGUIDll
// its own framework finds the library's texts, and after the library is
// unloaded it no longer does.
TEST(FrameExports, InitGUIDllPutsTheLibraryTextsOnTheHostsFramework)
{
    ResourceModule resources;
    const std::wstring expected = resources.Text(IDS_ERROR_WRONG_PIN);
    ASSERT_FALSE(expected.empty());
    auto load = [] {
        wchar_t text[256] = {};
        return AfxLoadString(IDS_ERROR_WRONG_PIN, text, 256) > 0 ? std::wstring(text) : std::wstring();
    };
    ASSERT_EQ(L"", load()) << "the host's own modules lack the library's texts";

    LibraryLoader library;
    auto initGui = library.Get<VoidFn>("InitGUIDll");
    ASSERT_NE(nullptr, initGui);
    EXPECT_EQ(L"", load()) << "loading the library alone changes nothing for the host";
    initGui();
    EXPECT_EQ(expected, load());
    EXPECT_EQ(1u, AfxGetExtensionLibraryCount());
    library.Unload();
    EXPECT_EQ(L"", load()) << "the record leaves the chain with the library";
    EXPECT_EQ(0u, AfxGetExtensionLibraryCount());
}

struct LastTryCase {
    const char* name;
    UINT answer; // WM_COMMAND id sent to the box, or WM_CLOSE
    bool close;
    int expected;
};

// Names the case in test lists instead of dumping its bytes.
void PrintTo(const LastTryCase& c, std::ostream* out)
{
    *out << c.name;
}

class LastPinTry : public testing::TestWithParam<LastTryCase> {};

TEST_P(LastPinTry, ReturnsZeroOnlyWhenTheHolderGoesOn)
{
    const LastTryCase& c = GetParam();
    LibraryLoader library;
    auto display = library.Get<DisplayLastPINTryFn>("DisplayLastPINTry");
    ASSERT_NE(nullptr, display);
    ResourceModule resources;
    LogCapture log;

    DWORD caller = GetCurrentThreadId();
    std::wstring boxText;
    std::wstring caption;
    std::thread holder([&] {
        HWND box = uidriver::WaitForTopLevel(L"#32770", caller);
        if (!box)
            return;
        caption = uidriver::TextOf(box);
        if (HWND text = GetDlgItem(box, 0xFFFF))
            boxText = uidriver::TextOf(text);
        if (c.close)
            PostMessageW(box, WM_CLOSE, 0, 0);
        else
            PostMessageW(box, WM_COMMAND, c.answer, 0);
    });
    int result = display(L"Smart Reader 1");
    holder.join();

    EXPECT_EQ(c.expected, result);
    EXPECT_EQ(resources.Text(IDS_LAST_PIN_TRY), boxText);
    EXPECT_NE(std::wstring::npos, caption.find(L"Smart Reader 1")) << "caption: " << std::string(caption.begin(), caption.end());
    EXPECT_TRUE(log.Has(VKLOG_ENTRY, L"--->DisplayLastPINTry"));
    EXPECT_TRUE(log.Has(VKLOG_EXIT, L"<---DisplayLastPINTry"));
}

INSTANTIATE_TEST_SUITE_P(Answers, LastPinTry,
                         testing::Values(LastTryCase{"Ok", IDOK, false, 0}, LastTryCase{"Cancel", IDCANCEL, false, -1},
                                         LastTryCase{"Closed", 0, true, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LastPinTryReader, NullAndVeryLongReaderNamesStillShowTheBox)
{
    LibraryLoader library;
    auto display = library.Get<DisplayLastPINTryFn>("DisplayLastPINTry");
    ASSERT_NE(nullptr, display);
    std::wstring longName(10000, L'R');
    for (const wchar_t* reader : {static_cast<const wchar_t*>(nullptr), L"", longName.c_str()}) {
        DWORD caller = GetCurrentThreadId();
        bool seen = false;
        std::thread holder([&] {
            if (HWND box = uidriver::WaitForTopLevel(L"#32770", caller)) {
                seen = true;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
        });
        EXPECT_EQ(0, display(reader));
        holder.join();
        EXPECT_TRUE(seen);
    }
}

} // namespace
