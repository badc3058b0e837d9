#pragma once
// GetPINFromUser as the prompt tests call it: the call runs on the test's
// thread while a holder thread acts on the dialog it opens.
#include "HolderActions.h"
#include "UiDriver.h"

#include "base/VelkorExports.h"
#include "pinrc_ids.h"

#include <functional>
#include <thread>

inline constexpr const wchar_t* kPromptReader = L"Smart Reader 0";

struct PinAnswer {
    int result = 99;
    char* pin = nullptr;
    int length = -1;
};

// Calls GetPINFromUser with bounds 4..8 while `holder` acts on the dialog.
inline PinAnswer AskPin(std::function<void(HWND)> holder, int lastTry = 0,
                        void(CALLBACK* callback)(void*) = nullptr, void* argument = nullptr, unsigned period = 0)
{
    PinAnswer answer;
    std::thread acting = uidriver::ActOnDialog(std::move(holder));
    answer.result = GetPINFromUser(nullptr, kPromptReader, lastTry, 4, 8, &answer.pin, &answer.length, callback,
                                   argument, period);
    acting.join();
    return answer;
}

// GetPINFromUser where the PIN itself does not matter: what it returned,
// the PIN freed at once.
inline int PromptOnce(HWND parent = nullptr, int lastTry = 0)
{
    char* pin = nullptr;
    int length = 0;
    const int result = GetPINFromUser(parent, kPromptReader, lastTry, 4, 8, &pin, &length, nullptr, nullptr, 0);
    FreeGetPinBuffer(pin, length > 0 ? static_cast<unsigned>(length) : 0);
    return result;
}

inline HWND PinEdit(HWND dialog)
{
    return GetDlgItem(dialog, IDC_PIN_EDIT);
}

