#pragma once
// Helpers of the event tests: raise card and session events, a message
// window that records what subscribers post to it, dialogs bound to events.
#include "EventTestDialogs.h"
#include "Fixtures.h"
#include "UiDriver.h"

#include "events/DetectCardRemovedDlg.h"
#include "events/VKDelegateSubscriberWorkstationLocked.h"
#include "vkevtsub_control.h"
#include "vklogu.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

inline void RaiseCardEvent(int kind, const wchar_t* reader)
{
    vkevtsubRaise(&VK_CARD_EVENT_CHANNEL, kind, 0, reader);
}

inline void RaiseSessionEvent(int code)
{
    vkevtsubRaise(&VK_SESSION_EVENT_CHANNEL, VK_EVENT_SESSION, code, nullptr);
}

// The id every module gets for a registered message name.
inline UINT Registered(const wchar_t* name)
{
    return RegisterWindowMessageW(name);
}

inline void WaitDelivered()
{
    ASSERT_TRUE(vkevtsubWaitIdle(10000)) << "events still undelivered";
}

// A message-only window on the test's thread; Drain() collects what was
// posted to it.
class MessageSink {
public:
    MessageSink()
        : m_hWnd(CreateWindowExW(0, L"STATIC", L"sink", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)),
          m_view(m_hWnd)
    {
    }
    ~MessageSink() { DestroyWindow(m_hWnd); }
    CWnd* Target() { return &m_view; }
    HWND Handle() const { return m_hWnd; }
    std::vector<MSG> Drain()
    {
        std::vector<MSG> posted;
        MSG msg;
        while (PeekMessageW(&msg, m_hWnd, 0, 0, PM_REMOVE))
            posted.push_back(msg);
        return posted;
    }

private:
    HWND m_hWnd;
    CWnd m_view;
};

// A reader-bound dialog from the test's template, counting help requests.
class ReaderDialog : public VKDetectCardRemovedDlg {
public:
    explicit ReaderDialog(const wchar_t* reader) : VKDetectCardRemovedDlg(IDD_EVENT_TEST, nullptr, reader) {}
    void OnContextualHelp() override { ++m_nHelpRequests; }
    int m_nHelpRequests = 0;
};

// A dialog that takes a secret: it holds a workstation-locked subscriber
// from construction to destruction.
class SecretDialog : public CSecureDialog {
public:
    SecretDialog() : CSecureDialog(IDD_EVENT_TEST, nullptr), m_lock(this) {}

private:
    VKDelegateSubscriberWorkstationLocked m_lock;
};
