#pragma once
// VKCardManagement: what the dialogs do to one card: unblock challenge and
// response, PIN length limits and policy switches, the backup unlock code,
// the card's type, whether unblocking is allowed, the transaction timeout
// and the date the expiry notification was last shown. Every operation
// connects its own reader copy at entry and disconnects at exit.
#include "cardobj/VKCardProperties.h"

#include <cstdint>

class VKGUI_CLASS VKCardManagement : public VKCardProperties {
public:
    explicit VKCardManagement(const VKReader& reader);
    ~VKCardManagement() override;

    int GetUnlockChallenge(CSecStr& challenge);
    // 0 when the card took the response and the new PIN, 5 when it refused.
    int UnlockPIN(CSecStr response, CSecStr newPIN);
    bool IsWeakPINCheckActivated();
    // True when PINs must be digits only.
    bool IsAlphaPINCheckActivated();
    int GetMinPINLen(int* pnMinPINLen);
    int GetMaxPINLen(int* pnMaxPINLen);
    int GetUnlockCode(CSecStr& code);
    int RemoveUnlockCode();
    bool IsCACCard();
    bool IsPIVCard();
    bool IsUnlockAllowed();
    int GetTransactionTimeoutValue(unsigned* punTimeout);
    // Seconds since 1970 (UTC); -1 when unknown.
    int64_t GetDisplayNotificationDate();
    // 0 when stored; the serial number's failure, or 3 when the shared data
    // cache could not keep it.
    int SetDisplayNotificationDate(int64_t when);

private:
    // Connects the management's reader copy; logs a failure under `name`.
    int ConnectFor(const wchar_t* name, VKConnection& connection);
    // The serial number that addresses the card in the shared data cache;
    // an empty one is a failure.
    int SerialForCache(const wchar_t* name, CSecStr& serial);
    int PinLength(const wchar_t* name, int property, int* length);
    bool CardFlag(const wchar_t* name, int property, const wchar_t* failure);

    VKReader m_reader;
};

// Adapters through which the unlock dialogs reach the card layer.
// Each answers 0 for a null object.
// Resets the transaction timeout of a VKConnection.
VKGUI_API void CALLBACK TimeoutCallback(void* connection);
// UnlockPIN(first, second) of a VKCardManagement.
VKGUI_API int UnlockAdapter(void* cardManagement, CSecStr first, CSecStr second);
VKGUI_API int ChallengeAdapter(void* cardManagement, CSecStr& challenge);
// GetUnlockCode into the CSecStr `out` points to.
VKGUI_API int UnlockCodeAdapter(void* cardManagement, void* out);
VKGUI_API int RemoveUnlockCodeAdapter(void* cardManagement);
