#pragma once
// Top-level windows of the smart card agent's and the user console's classes,
// as the library finds them to tell them of an event, recording every
// WM_COPYDATA they receive.
#include "UiDriver.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

struct Received {
    HWND to;
    WPARAM sender;
    ULONG_PTR word;
    DWORD bytes;
    std::vector<BYTE> data;
};

// The windows live on a thread of their own.
class Receivers {
public:
    explicit Receivers(std::vector<const wchar_t*> classes)
    {
        m_thread = std::thread([this, classes] {
            for (const wchar_t* name : classes) {
                WNDCLASSW wc = {};
                wc.lpfnWndProc = Proc;
                wc.hInstance = GetModuleHandleW(nullptr);
                wc.lpszClassName = name;
                RegisterClassW(&wc);
                HWND window = CreateWindowExW(0, name, name, WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                              GetModuleHandleW(nullptr), nullptr);
                SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
                m_windows.push_back(window);
            }
            m_threadId = GetCurrentThreadId();
            m_ready = true;
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0)
                DispatchMessageW(&msg);
            for (HWND window : m_windows)
                DestroyWindow(window);
            for (const wchar_t* name : classes)
                UnregisterClassW(name, GetModuleHandleW(nullptr));
        });
        uidriver::WaitUntil([this] { return m_ready.load(); });
    }
    ~Receivers()
    {
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        m_thread.join();
    }
    HWND Window(size_t i) const { return m_windows[i]; }
    std::vector<Received> received;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg == WM_COPYDATA) {
            auto* self = reinterpret_cast<Receivers*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            auto* record = reinterpret_cast<COPYDATASTRUCT*>(lParam);
            const BYTE* data = static_cast<const BYTE*>(record->lpData);
            self->received.push_back({window, wParam, record->dwData, record->cbData,
                                      data ? std::vector<BYTE>(data, data + record->cbData) : std::vector<BYTE>()});
            return TRUE;
        }
        return DefWindowProcW(window, msg, wParam, lParam);
    }
    std::thread m_thread;
    std::vector<HWND> m_windows;
    std::atomic<bool> m_ready{false};
    DWORD m_threadId = 0;
};
