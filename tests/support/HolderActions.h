#pragma once
// What a card holder does to and sees of a dialog, as the dialog tests say it.
#include "Fixtures.h"
#include "UiDriver.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

// Sends a button's command as a click on it does, without waiting for the
// dialog's answer (which may be another dialog the holder then acts on).
// What the holder typed before is queued, and a sent command would overtake
// it: the click comes once the dialog has taken all of it.
inline void Press(HWND dialog, int id)
{
    WaitForQueueDrained(dialog, GetTickCount64() + 30000);
    SendNotifyMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

inline bool OkEnabled(HWND dialog)
{
    return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
}

// Whether the control with `id`, anywhere below `dialog`, is there and visible.
inline bool Shown(HWND dialog, int id)
{
    HWND control = uidriver::FindControl(dialog, id);
    return control && IsWindowVisible(control);
}

// A keep-alive callback that counts its calls in the std::atomic<int> it is given.
inline void CALLBACK CountTick(void* context)
{
    ++*static_cast<std::atomic<int>*>(context);
}

// Clicks a check box or radio button as the mouse does: its state changes,
// then its dialog is told.
inline void Tick(HWND button)
{
    SendMessageW(button, BM_CLICK, 0, 0);
}

// Runs `call` on this thread while `holder` acts, from another thread, on
// the first dialog the call shows; what the call returned.
template <class Call>
auto WhileHolderActs(std::function<void(HWND)> holder, Call call)
{
    std::thread acting = uidriver::ActOnDialog(std::move(holder));
    auto result = call();
    acting.join();
    return result;
}
