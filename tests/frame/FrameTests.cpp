#include "HolderActions.h"
#include "ImportPatch.h"
#include "LibraryLoader.h"
#include "ResourceModule.h"
#include "UiDriver.h"
#include "afxwin.h"

#include "pinrc_ids.h"

#include <climits>
#include <cstring>
#include <thread>

namespace {

// Every export is there under its plain name, and those that take a text or
// a buffer take none, an empty one and an overlong one without harm.
TEST(Exports, EveryFunctionIsExportedUnderItsPlainNameAndTakesBadInput)
{
    LibraryLoader library;
    ASSERT_NE(nullptr, library.Handle());
    for (const char* name : {"InitGUIDll", "SetPinPromptString", "GetErrorString", "FreeGetPinBuffer",
                             "FreeReaderNameBuffer", "DisplayLastPINTry", "GetPINFromUser", "ShowPINAlwaysPrompt"})
        EXPECT_NE(nullptr, library.Get<FARPROC>(name)) << name;
    auto setPrompt = library.Get<SetPinPromptStringFn>("SetPinPromptString");
    auto freeBuffer = library.Get<FreeGetPinBufferFn>("FreeGetPinBuffer");
    auto freeReaderName = library.Get<VoidFn>("FreeReaderNameBuffer");
    ASSERT_TRUE(setPrompt && freeBuffer && freeReaderName);
    const std::wstring longText(10000, L'P');
    for (const wchar_t* text : {L"Enter the PIN of your badge", static_cast<const wchar_t*>(nullptr), L"",
                                longText.c_str()})
        setPrompt(text);
    freeBuffer(nullptr, 0);
    freeBuffer(nullptr, 64);
    freeReaderName();
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

// The box shows the library's text with the reader in its caption, for any
// reader name, and only OK goes on, whatever another program sends it.
TEST(LastPinTry, ReturnsZeroOnlyWhenTheHolderGoesOnWhateverTheReader)
{
    LibraryLoader library;
    auto display = library.Get<DisplayLastPINTryFn>("DisplayLastPINTry");
    ASSERT_NE(nullptr, display);
    ResourceModule resources;
    const std::wstring longName(10000, L'R');
    struct Case {
        const char* name;
        const wchar_t* reader;
        int answer; // the button pressed, or 0 for the close box
        int expected;
        bool inCaption;
    };
    const Case cases[] = {
        {"OK", L"Smart Reader 1", IDOK, 0, true},
        {"Cancel", L"Smart Reader 1", IDCANCEL, -1, true},
        {"closed", L"Smart Reader 1", 0, -1, true},
        {"no reader", nullptr, IDOK, 0, false},
        {"empty reader", L"", IDOK, 0, false},
        {"very long reader", longName.c_str(), IDOK, 0, false},
    };
    for (const Case& c : cases) {
        std::wstring boxText;
        std::wstring caption;
        bool shown = false;
        std::thread holder = uidriver::ActOnDialog([&](HWND box) {
            caption = uidriver::TextOf(box);
            if (HWND text = GetDlgItem(box, 0xFFFF))
                boxText = uidriver::TextOf(text);
            // Another program turning the box's drawing off would hide it
            // while it stays on the screen; the box drops that.
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(box, WM_SETREDRAW, FALSE, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
            shown = IsWindowVisible(box) != FALSE;
            if (!shown)
                SendMessageW(box, WM_SETREDRAW, TRUE, 0); // so that the answer below still ends it
            if (c.answer)
                Press(box, c.answer);
            else
                PostMessageW(box, WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(c.expected, display(c.reader)) << c.name;
        holder.join();
        EXPECT_EQ(resources.Text(IDS_LAST_PIN_TRY), boxText) << c.name;
        EXPECT_TRUE(shown) << c.name << ": another program hid the box";
        if (c.inCaption) {
            EXPECT_NE(std::wstring::npos, caption.find(c.reader)) << c.name;
        }
    }
}

} // namespace
