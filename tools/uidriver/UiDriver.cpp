#include "UiDriver.h"

#include "ScopedGdi.h"

#include <algorithm>
#include <cstdio>

namespace uidriver {

namespace {

MissedWindowHandler g_missed = nullptr;
WaitBeginsHandler g_waitBegins = nullptr;

HWND ToldWhenMissing(HWND found, const std::wstring& what, DWORD timeoutMs)
{
    if (!found && g_missed)
        g_missed(what + L", ready within " + std::to_wstring(timeoutMs) + L" ms");
    return found;
}

std::wstring OnThread(DWORD threadId)
{
    return threadId ? L" on thread " + std::to_wstring(threadId) : L"";
}

} // namespace

void SetMissedWindowHandler(MissedWindowHandler handler)
{
    g_missed = handler;
}

void SetWaitBeginsHandler(WaitBeginsHandler handler)
{
    g_waitBegins = handler;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(5);
    }
}

namespace {

struct WindowSearch {
    const std::function<bool(HWND)>* match;
    std::vector<HWND> found;
};

// Enumeration callbacks are named functions: a 32-bit build needs them
// stdcall, which a lambda does not convert to.
BOOL CALLBACK CollectMatchingWindow(HWND window, LPARAM context)
{
    auto* s = reinterpret_cast<WindowSearch*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(window) && (*s->match)(window))
        s->found.push_back(window);
    return TRUE;
}

struct ControlSearch {
    int id;
    HWND found;
};

BOOL CALLBACK StopAtControl(HWND child, LPARAM context)
{
    auto* s = reinterpret_cast<ControlSearch*>(context);
    if (GetDlgCtrlID(child) != s->id)
        return TRUE;
    s->found = child;
    return FALSE;
}

} // namespace

std::vector<HWND> TopLevelWindows(const std::function<bool(HWND)>& match)
{
    WindowSearch search{&match, {}};
    EnumWindows(CollectMatchingWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring TextOf(HWND window)
{
    int length = static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    return text;
}

namespace {

// The first visible top-level window that matches, once it is idle.
HWND WaitForMatch(const std::function<bool(HWND)>& matches, DWORD timeoutMs)
{
    if (g_waitBegins)
        g_waitBegins();
    HWND found = nullptr;
    if (!WaitUntil(
            [&] {
                auto windows = TopLevelWindows(matches);
                found = windows.empty() ? nullptr : windows.front();
                return found != nullptr;
            },
            timeoutMs))
        return nullptr;
    return WaitIdle(found, timeoutMs) ? found : nullptr;
}

} // namespace

HWND WaitForTopLevel(const std::wstring& className, DWORD threadId, DWORD timeoutMs)
{
    HWND found = WaitForMatch(
        [&](HWND window) {
            if (!className.empty() && ClassOf(window) != className)
                return false;
            return threadId == 0 || GetWindowThreadProcessId(window, nullptr) == threadId;
        },
        timeoutMs);
    return ToldWhenMissing(found, (className.empty() ? L"a window" : L"a window of class \"" + className + L"\"") +
                                      OnThread(threadId),
                           timeoutMs);
}

HWND WaitForDialogWith(DWORD threadId, int controlId, DWORD timeoutMs)
{
    HWND found = WaitForMatch(
        [&](HWND window) {
            return ClassOf(window) == L"#32770" && GetWindowThreadProcessId(window, nullptr) == threadId &&
                   FindControl(window, controlId) != nullptr;
        },
        timeoutMs);
    return ToldWhenMissing(found, L"a dialog with control " + std::to_wstring(controlId) + OnThread(threadId), timeoutMs);
}

bool WaitIdle(HWND window, DWORD timeoutMs)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &ignored) != 0;
}

bool WaitPainted(HWND window, DWORD timeoutMs)
{
    if (!WaitIdle(window, timeoutMs))
        return false;
    // Painting waits for an empty queue; asking for it now makes the
    // window's thread paint before the next sent message is answered.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return WaitIdle(window, timeoutMs);
}

std::thread ActOnDialogIfAny(std::function<void(HWND)> action, DWORD timeoutMs)
{
    DWORD thread = GetCurrentThreadId();
    return std::thread([thread, action, timeoutMs] {
        HWND dialog = WaitForMatch(
            [thread](HWND w) { return ClassOf(w) == L"#32770" && GetWindowThreadProcessId(w, nullptr) == thread; },
            timeoutMs);
        if (dialog)
            action(dialog);
    });
}

std::thread ActOnDialog(std::function<void(HWND)> action, DWORD timeoutMs)
{
    DWORD thread = GetCurrentThreadId();
    return std::thread([thread, action, timeoutMs] {
        if (HWND dialog = WaitForTopLevel(L"#32770", thread, timeoutMs))
            action(dialog);
    });
}

void Click(HWND button)
{
    HWND parent = GetParent(button);
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

HWND FindChildByText(HWND parent, const std::wstring& text)
{
    auto strip = [](std::wstring s) {
        s.erase(std::remove(s.begin(), s.end(), L'&'), s.end());
        return s;
    };
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (strip(TextOf(child)) == strip(text))
            return child;
    return nullptr;
}

bool ClickButton(HWND dialog, const std::wstring& caption)
{
    HWND button = FindChildByText(dialog, caption);
    if (!button)
        return false;
    Click(button);
    return true;
}

HWND FindControl(HWND root, int id)
{
    ControlSearch search{id, nullptr};
    EnumChildWindows(root, StopAtControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Retype(HWND edit, const std::wstring& text)
{
    SendMessageW(edit, EM_SETSEL, 0, -1);
    if (text.empty())
        SendMessageW(edit, WM_CHAR, VK_BACK, 1);
    Type(edit, text);
}

void Type(HWND edit, const std::wstring& text)
{
    for (wchar_t ch : text)
        SendMessageW(edit, WM_CHAR, ch, 1);
}

bool TypeAsKeyboard(const std::wstring& text, const std::vector<WORD>& keys)
{
    std::vector<INPUT> inputs;
    auto add = [&inputs](WORD key, wchar_t ch, DWORD flags) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.wScan = ch;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    for (wchar_t ch : text) {
        add(0, ch, KEYEVENTF_UNICODE);
        add(0, ch, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP);
    }
    for (WORD key : keys) {
        add(key, 0, 0);
        add(key, 0, KEYEVENTF_KEYUP);
    }
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

namespace {

void CreateFoldersFor(const std::wstring& path)
{
    for (size_t i = 1; i < path.size(); ++i)
        if (path[i] == L'\\' || path[i] == L'/')
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

} // namespace

bool SaveScreenshot(HWND window, const std::wstring& path)
{
    if (window)
        WaitPainted(window, kDefaultTimeoutMs);
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (window) {
        RECT screenArea = area;
        GetWindowRect(window, &area);
        // Wine copies nothing at all from a screen area that reaches past
        // the screen's edge: only the part on the screen is saved.
        IntersectRect(&area, &area, &screenArea);
    }
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return false;

    ScopedGetDC screen(nullptr);
    ScopedMemoryDC memory(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ScopedGdiObject<HBITMAP> bitmap(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bool saved = false;
    if (bitmap) {
        {
            ScopedSelectObject selected(memory, bitmap);
            BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
        }
        GdiFlush();
        DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
        DWORD imageBytes = stride * static_cast<DWORD>(height);
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
        file.bfSize = file.bfOffBits + imageBytes;
        CreateFoldersFor(path);
        if (FILE* out = _wfopen(path.c_str(), L"wb")) {
            saved = fwrite(&file, sizeof(file), 1, out) == 1 &&
                    fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out) == 1 &&
                    fwrite(bits, imageBytes, 1, out) == 1;
            fclose(out);
        }
    }
    return saved;
}

RECT Pixels::BoxOf(const std::function<bool(COLORREF)>& match) const
{
    RECT box = {width, height, 0, 0};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (match(At(x, y))) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
        }
    }
    return box.right > box.left ? box : RECT{};
}

Pixels CaptureClient(HWND window)
{
    Pixels pixels;
    RECT client = {};
    if (!window || !WaitPainted(window, kDefaultTimeoutMs) || !GetClientRect(window, &client))
        return pixels;
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    const int width = client.right;
    const int height = client.bottom;
    if (width <= 0 || height <= 0)
        return pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
        SelectObject(memory, old);
        GdiFlush();
        pixels.width = width;
        pixels.height = height;
        pixels.colors.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        const auto* source = static_cast<const DWORD*>(bits);
        for (size_t i = 0; i < pixels.colors.size(); ++i) {
            const DWORD bgr = source[i];
            pixels.colors[i] = RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
        }
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

} // namespace uidriver
