#pragma once
// A plain top-level window of one colour for the popup's controls to live
// in: it loads the library (which registers their classes), records the
// application messages its children send it, and pumps this thread's queue.
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <vector>

inline constexpr COLORREF kParentBackground = RGB(40, 160, 40);

class TestParentWindow : public ::testing::Test {
protected:
    static std::vector<UINT>& Received()
    {
        static std::vector<UINT> received;
        return received;
    }

    void SetUp() override
    {
        static HMODULE library = LoadLibraryW((BinDirectory() + L"vk.velkor.gui.dll").c_str());
        ASSERT_NE(nullptr, library);
        static HBRUSH brush = CreateSolidBrush(kParentBackground);
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = brush;
        wc.lpszClassName = L"VkPopupTestParent";
        RegisterClassW(&wc);
        m_parent = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 40, 40, 700, 500,
                                   nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(nullptr, m_parent);
        Received().clear();
    }
    void TearDown() override { DestroyWindow(m_parent); }

    HWND MakeChild(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width, int height)
    {
        HWND child = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, m_parent,
                                     nullptr, GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(nullptr, child) << className;
        return child;
    }

    // Handles everything queued for this thread's windows.
    static void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    HWND m_parent = nullptr;

private:
    static LRESULT CALLBACK ParentProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg >= WM_USER && msg <= 0xBFFF)
            Received().push_back(msg);
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    }
};
