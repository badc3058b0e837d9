// hostile_sender.exe WINDOW SEED [soak | BUDGET] [FIRST-LAST]: another
// program on the desktop that posts and sends every message below WM_USER,
// and the library's registered messages, with boundary and random values at
// a window and each of its descendants: one pair of values per message
// (drawn from the list), or with "soak" every pair posted and one of them
// sent. A BUDGET caps the messages aimed at the descendants, picked at
// random across them (the window itself still takes every one; -1: no cap);
// FIRST-LAST keeps only the messages of that range (numbers as C writes
// them), to find by halving which one a fault needs. Its exit code is the
// number of messages it tried.
//
// Left out, each because it legitimately ends a dialog or the session, or
// because it is input the card holder could give just as well:
// - WM_CLOSE, WM_QUIT, WM_QUERYENDSESSION, WM_ENDSESSION: they close the
//   dialog or end the session.
// - WM_SYSCOMMAND with a system command (0xF000 and up): it closes the
//   window or runs a move, size or menu loop that waits for the mouse.
// - Keyboard and mouse messages, in the client and non-client area, the
//   input method's (which become key messages), and WM_CONTEXTMENU: a queue cannot tell them from the holder's own input;
//   Escape, Enter, mnemonics and clicks end a dialog, a caption click starts
//   a move loop and a context menu waits for the holder.
// - 0x0313, the message a taskbar sends on a right click: it opens the
//   window's system menu, which waits for the holder.
// - WM_COMMAND and BM_CLICK naming an enabled, visible button of the dialog
//   as its own sender (or with none): that is a click on it.
// - "VKCardRemovedEvent": it cancels a reader-bound dialog, as the removal
//   of the card does.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <random>
#include <vector>

namespace {

constexpr UINT kSystemCommandFirst = 0xF000;
constexpr UINT kPopupSystemMenu = 0x0313;

bool IsInput(UINT msg)
{
    // The input method's key and character messages become key messages.
    const bool imeKeys = (msg >= WM_IME_STARTCOMPOSITION && msg <= WM_IME_KEYLAST) ||
                         (msg >= WM_IME_SETCONTEXT && msg <= WM_IME_KEYUP);
    return (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) || (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) ||
           (msg >= WM_NCMOUSEMOVE && msg <= WM_NCXBUTTONDBLCLK) || msg == WM_CONTEXTMENU || imeKeys;
}

bool IsUsableButton(HWND window)
{
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    return _wcsicmp(className, L"Button") == 0 && IsWindowEnabled(window) && IsWindowVisible(window);
}

// True for what the header lists as left out.
bool IsLeftOut(HWND target, UINT msg, WPARAM wParam, LPARAM lParam, UINT cardRemoved)
{
    switch (msg) {
    case WM_CLOSE:
    case WM_QUIT:
    case WM_QUERYENDSESSION:
    case WM_ENDSESSION:
    case kPopupSystemMenu:
        return true;
    case WM_SYSCOMMAND:
        return (wParam & 0xFFF0) >= kSystemCommandFirst;
    case WM_COMMAND: {
        HWND button = lParam ? reinterpret_cast<HWND>(lParam) : GetDlgItem(target, LOWORD(wParam));
        if (!IsWindow(button) || GetDlgCtrlID(button) != LOWORD(wParam))
            return false;
        return IsUsableButton(button);
    }
    case BM_CLICK:
        return IsUsableButton(target);
    default:
        return IsInput(msg) || msg == cardRemoved;
    }
}

BOOL CALLBACK Collect(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return -1;
    HWND dialog = reinterpret_cast<HWND>(static_cast<INT_PTR>(_wcstoi64(argv[1], nullptr, 0)));
    std::mt19937 random(static_cast<unsigned>(wcstoul(argv[2], nullptr, 0)));
    const bool soak = argc > 3 && wcscmp(argv[3], L"soak") == 0;
    const long budget = argc > 3 && !soak ? wcstol(argv[3], nullptr, 10) : -1;
    UINT first = 0;
    UINT last = UINT_MAX;
    if (argc > 4) {
        wchar_t* dash = nullptr;
        first = static_cast<UINT>(wcstoul(argv[4], &dash, 0));
        last = *dash == L'-' ? static_cast<UINT>(wcstoul(dash + 1, nullptr, 0)) : first;
    }
    if (!IsWindow(dialog))
        return -1;

    std::vector<HWND> windows{dialog};
    EnumChildWindows(dialog, Collect, reinterpret_cast<LPARAM>(&windows));

    const UINT cardRemoved = RegisterWindowMessageW(L"VKCardRemovedEvent");
    std::vector<UINT> messages;
    for (UINT msg = 0; msg < WM_USER; ++msg)
        messages.push_back(msg);
    for (const wchar_t* name : {L"VKCardInsertedEvent", L"VKReaderInsEvent", L"VKReaderRemEvent"})
        messages.push_back(RegisterWindowMessageW(name));
    messages.erase(std::remove_if(messages.begin(), messages.end(), [&](UINT msg) { return msg < first || msg > last; }),
                   messages.end());

    // Boundary values, then values that look like pointers into a process,
    // then a random pair for each message.
    struct Values {
        WPARAM wParam;
        LPARAM lParam;
    };
    const Values fixed[] = {
        {0, 0},
        {1, 1},
        {static_cast<WPARAM>(-1), -1},
        {0x1234, 0x1234},
        {2, INT_MAX},
        {static_cast<WPARAM>(INT_MAX), 0x00010000},
        {0x7FFE0000, static_cast<LPARAM>(0x140000000ULL)},
    };

    // Each message at a descendant is aimed with the chance that spends the budget.
    const double share = windows.size() > 1 && budget >= 0
                             ? static_cast<double>(budget) / static_cast<double>((windows.size() - 1) * messages.size())
                             : 1.0;
    std::bernoulli_distribution aimed(share < 1.0 ? share : 1.0);

    long tried = 0;
    size_t sendShift = 0;
    for (HWND target : windows) {
        ++sendShift;

        for (UINT msg : messages) {
            std::vector<Values> values(std::begin(fixed), std::end(fixed));
            values.push_back({static_cast<WPARAM>(random()), static_cast<LPARAM>(random())});
            if (!soak) {
                // One pair per message, drawn from the same list.
                const Values one = values[random() % values.size()];
                values.assign(1, one);
            }
            if (budget >= 0 && target != dialog && !aimed(random))
                continue;
            // Every pair is posted; one pair, a different one from message to
            // message, is also sent (a send waits for the dialog's thread).
            for (size_t i = 0; i < values.size(); ++i) {
                const Values& v = values[i];
                if (IsLeftOut(target, msg, v.wParam, v.lParam, cardRemoved))
                    continue;
                ++tried;
                SetLastError(0);
                if (!PostMessageW(target, msg, v.wParam, v.lParam) && GetLastError() == ERROR_MESSAGE_SYNC_ONLY)
                    continue; // the system copies what such a message points to: no forged pointer arrives
                if (i != (msg + sendShift) % values.size())
                    continue;
                DWORD_PTR answer = 0;
                ++tried;
                SendMessageTimeoutW(target, msg, v.wParam, v.lParam, SMTO_ABORTIFHUNG, 200, &answer);
            }
            if (!IsWindow(dialog))
                return -2;
        }
    }
    return static_cast<int>(tried);
}
