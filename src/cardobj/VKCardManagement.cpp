#include "cardobj/VKCardManagement.h"

#include "base/ExceptionBarrier.h"
#include "base/Log.h"
#include "cardobj/FailureMap.h"
#include "cardobj/LayerResult.h"

#include "CConverter.h"
#include "DataCacheClient.h"
#include "SMMWController.h"
#include "qlreg.h"

#include <ctime>
#include <memory>
#include <new>

namespace {

constexpr const wchar_t* kNotificationStore = L"{DE7C1351-5982-43b3-AB97-74D3FCACF684}";
constexpr const wchar_t* kNotificationName = L"DisplayNotificationDate";
constexpr int kUnlockRefused = kLayerAccessDenied;

// The connection of one operation, let go however the operation ends.
class OperationConnection {
public:
    explicit OperationConnection(VKReader& reader) : m_reader(reader) {}
    ~OperationConnection() { m_reader.Disconnect(); }
    VKConnection connection;

private:
    VKReader& m_reader;
};

std::wstring LocalTimeText(int64_t when)
{
    time_t t = static_cast<time_t>(when);
    struct tm local = {};
    if (localtime_s(&local, &t) != 0)
        return L"?";
    wchar_t text[64];
    wcsftime(text, 64, L"%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace

VKCardManagement::VKCardManagement(const VKReader& reader) : VKCardProperties(reader), m_reader(reader)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardManagement::VKCardManagement : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardManagement::VKCardManagement");
}

VKCardManagement::~VKCardManagement()
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardManagement::~VKCardManagement : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardManagement::~VKCardManagement");
}

int VKCardManagement::ConnectFor(const wchar_t* name, VKConnection& connection)
{
    int result = m_reader.Connect(connection);
    if (result != kLayerOk)
        vklogLog(kLayerTag, VKLOG_ERROR, L"%s : Unable to connect. Error is (%d)", name, result);
    else if (!connection.m_pContext)
        result = kLayerNotConnected;
    return result;
}

int VKCardManagement::GetUnlockChallenge(CSecStr& challenge)
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardManagement::GetUnlockChallenge");
    OperationConnection op(m_reader);
    int result = ConnectFor(L"VKCardManagement::GetUnlockChallenge", op.connection);
    if (result == kLayerOk) {
        try {
            if (ISMMWCredential* pin = op.connection.GetUserPinCredential()) {
                WipingBytes bytes;
                pin->GetUnblockChallenge(bytes);
                challenge = CConverter::BinToHex(bytes);
            }
        } catch (...) {
            result = TakeFailure(L"VKCardManagement::GetUnlockChallenge : Error while trying to retrieve unblock challenge: %s.");
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardManagement::GetUnlockChallenge : ret=(%#x)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::GetUnlockChallenge", static_cast<int>(kLayerNotConnected));
}

int VKCardManagement::UnlockPIN(CSecStr response, CSecStr newPIN)
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardManagement::UnlockPIN");
    OperationConnection op(m_reader);
    int result = ConnectFor(L"VKCardManagement::UnlockPIN", op.connection);
    if (result == kLayerOk) {
        // Both byte forms live in wiping storage and go with this scope.
        WipingBytes responseBytes = CConverter::HexToBin(response);
        WipingBytes pinBytes = CConverter::StringToMBCSByteArray(newPIN);
        try {
            ISMMWCredential* pin = op.connection.GetUserPinCredential();
            if (!pin || !pin->Unblock(responseBytes, pinBytes, 0))
                result = kUnlockRefused;
        } catch (...) {
            result = TakeFailure(L"VKCardManagement::UnlockPIN : Error while trying to unblock PIN: %s.");
        }
    }
    response.Empty();
    newPIN.Empty();
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardManagement::UnlockPIN : ret=(%#x)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::UnlockPIN", static_cast<int>(kLayerNotConnected));
}

bool VKCardManagement::IsWeakPINCheckActivated()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardManagement::IsWeakPINCheckActivated");
    OperationConnection op(m_reader);
    bool on = false;
    if (ConnectFor(L"VKCardManagement::IsWeakPINCheckActivated", op.connection) == kLayerOk) {
        try {
            if (ISMMWCredential* pin = op.connection.GetUserPinCredential()) {
                VKData value;
                pin->GetProperty(kPinPropertyWeakCheck, value);
                on = value.GetUInt() == 1;
            }
        } catch (...) {
            TakeFailure(L"VKCardManagement::IsWeakPINCheckActivated : Error while trying to read the weak PIN check: %s.");
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardManagement::IsWeakPINCheckActivated : ret=(%#x)", on);
    return on;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::IsWeakPINCheckActivated", false);
}

bool VKCardManagement::IsAlphaPINCheckActivated()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardManagement::IsAlphaPINCheckActivated");
    bool numericOnly = IsCACCard() || IsPIVCard();
    if (!numericOnly) {
        DWORD value = 0;
        numericOnly = qlRegReadDWORDValueEx(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Quellon\\Velkor\\PINPolicies",
                                            L"PreventAlphaPIN", &value, KEY_WOW64_64KEY) == 0 &&
                      value == 1;
        vklogLog(kLayerTag, VKLOG_INFO, L"VKCardManagement::IsAlphaPINCheckActivated: bRet (numeric only) = 0x%x",
                 numericOnly);
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardManagement::IsAlphaPINCheckActivated : ret=(%#x)", numericOnly);
    return numericOnly;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::IsAlphaPINCheckActivated", false);
}

int VKCardManagement::PinLength(const wchar_t* name, int property, int* length)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"%s", name);
    if (!length) {
        vklogLog(kLayerTag, VKLOG_ERROR, property == kPinPropertyMinLength
                                             ? L"VKCardManagement::GetMinPINLen : pnMinPINLen=null pointer!"
                                             : L"VKCardManagement::GetMaxPINLen : pnMaxPINLen=null pointer!");
        return kLayerOk;
    }
    vklogLog(kLayerTag, VKLOG_INFO, L"%s : in=%d", name, *length);
    OperationConnection op(m_reader);
    int result = ConnectFor(name, op.connection);
    if (result == kLayerOk) {
        try {
            if (ISMMWCredential* pin = op.connection.GetUserPinCredential()) {
                VKData value;
                pin->GetProperty(property, value);
                *length = static_cast<int>(value.GetUInt());
            }
        } catch (...) {
            result = TakeFailure(property == kPinPropertyMinLength
                                        ? L"VKCardManagement::GetMinPINLen : Error while trying to retrieve min pin len: %s."
                                        : L"VKCardManagement::GetMaxPINLen : Error while trying to retrieve max pin len: %s.");
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"%s : ret=(%#x)", name, result);
    return result;
}

int VKCardManagement::GetMinPINLen(int* pnMinPINLen)
try {
    return PinLength(L"VKCardManagement::GetMinPINLen", kPinPropertyMinLength, pnMinPINLen);
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::GetMinPINLen", static_cast<int>(kLayerNotConnected));
}

int VKCardManagement::GetMaxPINLen(int* pnMaxPINLen)
try {
    return PinLength(L"VKCardManagement::GetMaxPINLen", kPinPropertyMaxLength, pnMaxPINLen);
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::GetMaxPINLen", static_cast<int>(kLayerNotConnected));
}

int VKCardManagement::GetUnlockCode(CSecStr& code)
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardManagement::GetUnlockCode");
    code.Empty();
    OperationConnection op(m_reader);
    int result = ConnectFor(L"VKCardManagement::GetUnlockCode", op.connection);
    if (result == kLayerOk) {
        try {
            if (ISMMWCredential* pin = op.connection.GetUserPinCredential()) {
                VKData value;
                pin->GetProperty(kPinPropertyUnlockCode, value);
                if (value.GetKind() == VKData::Kind::Bytes)
                    code = CConverter::BinToHex(value.GetBytes());
            }
        } catch (...) {
            code.Empty();
            result = TakeFailure(L"VKCardManagement::GetUnlockCode : Error while trying to retrieve backup unlock code: %s.");
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardManagement::GetUnlockCode : ret=(%#x)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::GetUnlockCode", static_cast<int>(kLayerNotConnected));
}

int VKCardManagement::RemoveUnlockCode()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardManagement::RemoveUnlockCode");
    OperationConnection op(m_reader);
    int result = ConnectFor(L"VKCardManagement::RemoveUnlockCode", op.connection);
    if (result == kLayerOk) {
        try {
            if (ISMMWCredential* pin = op.connection.GetUserPinCredential())
                pin->SetAttribute(kPinPropertyUnlockCode, VKData(WipingBytes()));
        } catch (...) {
            result = TakeFailure(L"VKCardManagement::RemoveUnlockCode : Error while trying to remove backup unlock code: %s.");
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardManagement::RemoveUnlockCode : ret=(%#x)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::RemoveUnlockCode", static_cast<int>(kLayerNotConnected));
}

bool VKCardManagement::CardFlag(const wchar_t* name, int property, const wchar_t* failure)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"%s", name);
    OperationConnection op(m_reader);
    bool on = false;
    if (ConnectFor(name, op.connection) == kLayerOk) {
        try {
            VKData value;
            op.connection.m_pContext->GetCardObject()->GetProperty(property, value);
            on = value.GetUInt() != 0;
        } catch (...) {
            TakeFailure(failure);
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"%s : ret=(%#x)", name, on);
    return on;
}

bool VKCardManagement::IsCACCard()
try {
    return CardFlag(L"VKCardManagement::IsCACCard", kCardPropertyIsCAC,
                    L"VKCardManagement::IsCACCard : Error while trying to retrieve if card is cac, assume it is not: %s.");
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::IsCACCard", false);
}

bool VKCardManagement::IsPIVCard()
try {
    return CardFlag(L"VKCardManagement::IsPIVCard", kCardPropertyIsPIV,
                    L"VKCardManagement::IsPIVCard : Error while trying to retrieve if card is piv, assume it is not: %s.");
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::IsPIVCard", false);
}

bool VKCardManagement::IsUnlockAllowed()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardManagement::IsUnlockAllowed");
    OperationConnection op(m_reader);
    bool allowed = false;
    if (ConnectFor(L"VKCardManagement::IsUnlockAllowed", op.connection) == kLayerOk) {
        try {
            ISMMWCredential* pin = op.connection.GetUserPinCredential();
            if (!pin) {
                allowed = true;
            } else if (ISMMWAccessControlList* acl = pin->GetAccessControlList(L"ActionUnblock")) {
                allowed = acl->IsAuthenticable();
                vklogLog(kLayerTag, VKLOG_INFO,
                         allowed ? L"VKCardManagement::IsUnlockAllowed : Unblock ACL is authenticable, unlock is allowed"
                                 : L"VKCardManagement::IsUnlockAllowed : Unblock ACL is not authenticable, unlock is not allowed");
            } else {
                vklogLog(kLayerTag, VKLOG_ERROR, L"VKCardManagement::IsUnlockAllowed : Failed to retrieve Unblock access right");
            }
        } catch (...) {
            TakeFailure(L"VKCardManagement::IsUnlockAllowed : Error while trying to retrieve unlock mode: %s.");
            allowed = false;
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardManagement::IsUnlockAllowed : ret=(%#x)", allowed);
    return allowed;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::IsUnlockAllowed", false);
}

int VKCardManagement::GetTransactionTimeoutValue(unsigned* punTimeout)
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardManagement::GetTransactionTimeoutValue");
    if (!punTimeout)
        return kLayerInvalidParameter;
    OperationConnection op(m_reader);
    int result = ConnectFor(L"VKCardManagement::GetTransactionTimeoutValue", op.connection);
    if (result == kLayerOk) {
        try {
            VKData value;
            op.connection.m_pContext->GetCardObject()->GetProperty(kCardPropertyTransactionTimeout, value);
            *punTimeout = value.GetUInt();
            vklogLog(kLayerTag, VKLOG_INFO, L"VKCardManagement::GetTransactionTimeoutValue : *punTimeout=%d",
                     *punTimeout);
        } catch (...) {
            TakeFailure(L"VKCardManagement::GetTransactionTimeoutValue : Error while trying to retrieve the "
                           L"transaction timeout, assume none: %s.");
            *punTimeout = 0;
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardManagement::GetTransactionTimeoutValue : ret=(%#x)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::GetTransactionTimeoutValue", static_cast<int>(kLayerNotConnected));
}

int64_t VKCardManagement::GetDisplayNotificationDate()
try {
    ScopedFunctionLog log(L"VKCardManagement::GetDisplayNotificationDate", kLayerTag);
    CSecStr serial;
    if (int status = SerialForCache(L"VKCardManagement::GetDisplayNotificationDate", serial)) {
        vklogLog(kLayerTag, VKLOG_ERROR,
                 L"VKCardManagement::GetDisplayNotificationDate : Error (%d) in VKCardProperties::GetSerialNumber", status);
        return -1;
    }
    std::unique_ptr<DataCacheClient> cache(new (std::nothrow) DataCacheClient());
    if (!cache) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKCardManagement::GetDisplayNotificationDate new DataCacheClient failed!");
        return -1;
    }
    std::vector<uint64_t> values;
    long status = cache->GetData(kNotificationStore, serial.GetString(), kNotificationName, values);
    if (status != 0 || values.empty()) {
        vklogLog(kLayerTag, VKLOG_INFO, L"VKCardManagement::GetDisplayNotificationDate GetData failed with error = 0x%x",
                 static_cast<unsigned>(status));
        return -1;
    }
    const int64_t when = static_cast<int64_t>(values.front());
    vklogLog(kLayerTag, VKLOG_INFO, L"VKCardManagement::GetDisplayNotificationDate: DisplayNotificationDate value is %s",
             LocalTimeText(when).c_str());
    return when;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::GetDisplayNotificationDate", int64_t{-1});
}

int VKCardManagement::SerialForCache(const wchar_t* name, CSecStr& serial)
{
    int status = GetSerialNumber(serial);
    // Every card without a serial would share one entry of the cache.
    if (status == kLayerOk && serial.IsEmpty()) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"%s : the card has no serial number", name);
        status = kLayerInvalidParameter;
    }
    return status;
}

int VKCardManagement::SetDisplayNotificationDate(int64_t when)
try {
    ScopedFunctionLog log(L"VKCardManagement::SetDisplayNotificationDate", kLayerTag);
    CSecStr serial;
    if (int status = SerialForCache(L"VKCardManagement::SetDisplayNotificationDate", serial)) {
        vklogLog(kLayerTag, VKLOG_ERROR,
                 L"VKCardManagement::SetDisplayNotificationDate : Error (%d) in VKCardProperties::GetSerialNumber", status);
        return status;
    }
    vklogLog(kLayerTag, VKLOG_INFO, L"VKCardManagement::SetDisplayNotificationDate: Set the DisplayNotificationDate to %s",
             LocalTimeText(when).c_str());
    std::unique_ptr<DataCacheClient> cache(new (std::nothrow) DataCacheClient());
    if (!cache) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKCardManagement::SetDisplayNotificationDate new DataCacheClient failed!");
        return kLayerNotConnected;
    }
    long status = cache->SetData(kNotificationStore, serial.GetString(), kNotificationName,
                                 {static_cast<uint64_t>(when)});
    if (status < 0) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKCardManagement::SetDisplayNotificationDate SetData failed with error = 0x%x",
                 static_cast<unsigned>(status));
        return kLayerNotConnected;
    }
    return kLayerOk;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardManagement::SetDisplayNotificationDate", int{kLayerNotConnected});
}

void CALLBACK TimeoutCallback(void* connection)
try {
    ScopedFunctionLog log(L"TimeoutCallback", kLayerTag);
    if (!connection) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"TimeoutCallback: Invalid Connection!");
        return;
    }
    static_cast<VKConnection*>(connection)->ResetTransactionTimeout();
} catch (...) {
    LogEscapingException(kLayerTag, L"TimeoutCallback");
}

int UnlockAdapter(void* cardManagement, CSecStr first, CSecStr second)
try {
    if (!cardManagement)
        return 0;
    return static_cast<VKCardManagement*>(cardManagement)->UnlockPIN(first, second);
} catch (...) {
    return ExceptionFailure(kLayerTag, L"UnlockAdapter", static_cast<int>(kLayerNotConnected));
}

int ChallengeAdapter(void* cardManagement, CSecStr& challenge)
try {
    if (!cardManagement)
        return 0;
    return static_cast<VKCardManagement*>(cardManagement)->GetUnlockChallenge(challenge);
} catch (...) {
    return ExceptionFailure(kLayerTag, L"ChallengeAdapter", static_cast<int>(kLayerNotConnected));
}

int UnlockCodeAdapter(void* cardManagement, void* out)
try {
    if (!cardManagement || !out)
        return 0;
    return static_cast<VKCardManagement*>(cardManagement)->GetUnlockCode(*static_cast<CSecStr*>(out));
} catch (...) {
    return ExceptionFailure(kLayerTag, L"UnlockCodeAdapter", static_cast<int>(kLayerNotConnected));
}

int RemoveUnlockCodeAdapter(void* cardManagement)
try {
    if (!cardManagement)
        return 0;
    return static_cast<VKCardManagement*>(cardManagement)->RemoveUnlockCode();
} catch (...) {
    return ExceptionFailure(kLayerTag, L"RemoveUnlockCodeAdapter", static_cast<int>(kLayerNotConnected));
}
