#include "ToastManager_control.h"

#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

// This platform has no toast service. The stand-in offers none unless a test
// says otherwise; then each toast is recorded and answered as the test chose.
namespace {

struct ToastState {
    bool available = false;
    bool createFails = false;
    int answer = 2;
    int uiMode = 1;
    std::vector<std::pair<std::wstring, std::wstring>> shown;
};

std::mutex g_lock;
ToastState g_state;

class CRecordedToast : public CToastManager {
public:
    CRecordedToast(const wchar_t* title, const wchar_t* text)
        : m_title(title ? title : L""), m_text(text ? text : L"")
    {
    }
    int Show() override
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (g_state.answer != -1)
            g_state.shown.emplace_back(m_title, m_text);
        return g_state.answer;
    }
    void ShowNoWait() override
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_state.shown.emplace_back(m_title, m_text);
    }
    void Withdraw() override {}

private:
    std::wstring m_title;
    std::wstring m_text;
};

void CopyOut(const std::wstring& from, wchar_t* to, size_t chars)
{
    if (!to || chars == 0)
        return;
    wcsncpy(to, from.c_str(), chars - 1);
    to[chars - 1] = L'\0';
}

} // namespace

CToastManager* qlCreateToastManager(const wchar_t* title, const wchar_t* text, bool)
{
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (!g_state.available || g_state.createFails)
            return nullptr;
    }
    try {
        return new CRecordedToast(title, text);
    } catch (...) {
        return nullptr;
    }
}

void qlDeleteToastManager(CToastManager* manager)
{
    delete manager;
}

bool qlIsWinRTSupported()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_state.available;
}

int qlGetUIMode()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_state.uiMode;
}

void qlToastSetAvailable(bool available)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.available = available;
}

void qlToastSetCreateFails(bool fails)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.createFails = fails;
}

void qlToastSetAnswer(int answer)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.answer = answer;
}

void qlToastSetUIMode(int mode)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.uiMode = mode;
}

void qlToastReset()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_state = ToastState{};
}

size_t qlToastShownCount()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_state.shown.size();
}

bool qlToastGetShown(size_t index, wchar_t* title, size_t titleChars, wchar_t* text, size_t textChars)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (index >= g_state.shown.size())
        return false;
    CopyOut(g_state.shown[index].first, title, titleChars);
    CopyOut(g_state.shown[index].second, text, textChars);
    return true;
}
