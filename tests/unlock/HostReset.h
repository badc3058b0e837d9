#pragma once
// The reset frame as a host module uses it: the challenge is set once the
// page exists, and the typed value is read before the page goes.
#include "unlock/ResetCardDialog.h"

#include <string>

class HostReset : public CResetCardDialogMain {
public:
    HostReset(const wchar_t* reader, const wchar_t* challenge, ResetTimerCallback timer = nullptr,
              void* context = nullptr, int period = 0)
        : CResetCardDialogMain(0, nullptr, 0, 0, 0, reader, timer, context, period), m_sChallenge(challenge)
    {
    }
    std::wstring typed;
    bool disablePin = false;

protected:
    BOOL OnInitDialog() override
    {
        CResetCardDialogMain::OnInitDialog();
        Page()->SetChallenge(m_sChallenge);
        if (disablePin)
            Page()->DisablePIN();
        return TRUE;
    }
    void OnOK() override
    {
        typed = GetPin().GetString();
        CResetCardDialogMain::OnOK();
    }

private:
    CSecStr m_sChallenge;
};
