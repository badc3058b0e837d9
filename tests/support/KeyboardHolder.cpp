#include "KeyboardHolder.h"

#include "Fixtures.h"
#include "UiDriver.h"

#include <cwctype>
#include <map>
#include <mutex>

namespace {

std::mutex g_delivering;

// Posts each message to the focused control (the dialog when none has the
// focus) and waits until the dialog's loop has taken them all, or the
// dialog has ended.
void Deliver(HWND dialog, const std::vector<MSG>& messages)
{
    // A dialog already gone takes no keys (and its thread id, 0, would
    // name this thread).
    if (!IsWindow(dialog))
        return;
    std::lock_guard<std::mutex> one(g_delivering);
    HWND target = FocusedControl(dialog);
    if (!target)
        target = dialog;
    for (const MSG& msg : messages)
        PostMessageW(target, msg.message, msg.wParam, msg.lParam);
    WaitForQueueDrained(dialog, GetTickCount64() + uidriver::kDefaultTimeoutMs, false, true);
}

// The letter after the first single '&' of `text`, upper case; 0 when none.
wchar_t AccessKeyOf(const std::wstring& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&')
            continue;
        if (text[i + 1] != L'&')
            return static_cast<wchar_t>(std::towupper(text[i + 1]));
        ++i;
    }
    return 0;
}

bool TakesPrefix(HWND control)
{
    return uidriver::ClassOf(control) != L"Static" || (GetWindowLongPtrW(control, GWL_STYLE) & SS_NOPREFIX) == 0;
}

bool IsField(HWND control)
{
    const std::wstring kind = uidriver::ClassOf(control);
    return control && IsWindowVisible(control) && (GetWindowLongPtrW(control, GWL_STYLE) & WS_TABSTOP) != 0 &&
           (kind == L"Edit" || kind == L"ComboBox" || kind == L"SysListView32" || kind == L"ListBox");
}

struct KeySurvey {
    std::map<wchar_t, int> counts;
    std::vector<std::wstring> problems;
};

BOOL CALLBACK SurveyAccessKey(HWND control, LPARAM lParam)
{
    auto& survey = *reinterpret_cast<KeySurvey*>(lParam);
    if (!IsWindowVisible(control) || !TakesPrefix(control))
        return TRUE;
    const std::wstring text = uidriver::TextOf(control);
    const wchar_t key = AccessKeyOf(text);
    if (key)
        ++survey.counts[key];
    const bool label = uidriver::ClassOf(control) == L"Static" && !text.empty() && text.back() == L':';
    if (label && !key && IsField(GetWindow(control, GW_HWNDNEXT)))
        survey.problems.push_back(L"the label \"" + text + L"\" of a field has no access key");
    return TRUE;
}

} // namespace

HWND FocusedControl(HWND dialog)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

int FocusedId(HWND dialog)
{
    HWND focused = FocusedControl(dialog);
    return focused ? GetDlgCtrlID(focused) : 0;
}

void PressKey(HWND dialog, UINT key)
{
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    Deliver(dialog, {{nullptr, WM_KEYDOWN, key, scan | 1}, {nullptr, WM_KEYUP, key, scan | 0xC0000001}});
}

void PressAccessKey(HWND dialog, wchar_t letter)
{
    // Bit 29: Alt is down.
    Deliver(dialog, {{nullptr, WM_SYSCHAR, static_cast<WPARAM>(std::towlower(letter)), (1 << 29) | 1}});
}

void TypeKeys(HWND dialog, const std::wstring& text)
{
    std::vector<MSG> keys;
    for (wchar_t ch : text)
        keys.push_back({nullptr, WM_CHAR, ch, 1});
    Deliver(dialog, keys);
}

std::vector<int> TabOrder(HWND dialog)
{
    // What the dialog posted itself while it opened comes first.
    Deliver(dialog, {});
    std::vector<int> order;
    HWND first = FocusedControl(dialog);
    if (!first)
        return order;
    order.push_back(GetDlgCtrlID(first));
    for (int presses = 0; presses < 40; ++presses) {
        PressKey(dialog, VK_TAB);
        HWND now = FocusedControl(dialog);
        if (!now || now == first)
            break;
        order.push_back(GetDlgCtrlID(now));
    }
    return order;
}

std::vector<std::wstring> AccessKeyProblems(HWND dialog)
{
    KeySurvey survey;
    EnumChildWindows(dialog, SurveyAccessKey, reinterpret_cast<LPARAM>(&survey));
    for (const auto& [key, count] : survey.counts)
        if (count > 1)
            survey.problems.push_back(L"the access key " + std::wstring(1, key) + L" is on " + std::to_wstring(count) +
                                      L" controls");
    return survey.problems;
}
