#include "carddata/VKPIVCardholderUniqueIdentifier.h"

#include "carddata/CardDataSupport.h"
#include "carddata/CodeTables.h"
#include "cardobj/FailureMap.h"
#include "cardobj/LayerResult.h"
#include "base/ExceptionBarrier.h"
#include "base/Log.h"

#include "SMMWController.h"

#include <mutex>

namespace {

constexpr SMMWDataCredentialType kChuidDataType = 2;
constexpr int kSignatureStatusProperty = 113;
constexpr unsigned kOrgCategoryStrings = 1;  // categories "1" to "5"
constexpr unsigned kAssociationStrings = 11; // categories "1" to "7"
constexpr unsigned kUnreadableString = 10113;

struct FieldRead {
    int key;
    int property;
    const wchar_t* label;
};

// In the order they are read: the organizational identifier is decoded by
// the category read before it.
constexpr FieldRead kFields[] = {
    {VKPIVCardholderUniqueIdentifier::kChuidGuid, 97, L"CHUID GUID"},
    {VKPIVCardholderUniqueIdentifier::kChuidExpirationDate, 98, L"CHUID Expiration Date"},
    {VKPIVCardholderUniqueIdentifier::kChuidAgencyCode, 99, L"CHUID Optional Agency"},
    {VKPIVCardholderUniqueIdentifier::kChuidOrganizationIdentifier, 100, L"CHUID Optional Organization"},
    {VKPIVCardholderUniqueIdentifier::kChuidDuns, 101, L"CHUID Optional DUNS"},
    {VKPIVCardholderUniqueIdentifier::kFascnAgencyCode, 103, L"FASC-N AGENCY"},
    {VKPIVCardholderUniqueIdentifier::kFascnSystemCode, 104, L"FASC-N Agency"},
    {VKPIVCardholderUniqueIdentifier::kFascnCredentialNumber, 105, L"FASC-N Credential Number"},
    {VKPIVCardholderUniqueIdentifier::kFascnCredentialSeries, 106, L"FASC-N Credential Series"},
    {VKPIVCardholderUniqueIdentifier::kFascnIndividualCredentialIssue, 107, L"FASC-N Individual Credential Issue"},
    {VKPIVCardholderUniqueIdentifier::kFascnPersonIdentifier, 108, L"FASC-N Person Identifier"},
    {VKPIVCardholderUniqueIdentifier::kFascnOrganizationalCategory, 109, L"FASC-N Organizational Category"},
    {VKPIVCardholderUniqueIdentifier::kFascnOrganizationalIdentifier, 110, L"FASC-N Organizational Identifier"},
    {VKPIVCardholderUniqueIdentifier::kFascnAssociationCategory, 111, L"FASC-N Person Association Category"},
};

// One lock for the stop flags of every instance, made on first use.
std::mutex& StopLock()
{
    static std::mutex lock;
    return lock;
}

// The text of a one-digit category from "1" to `last`, numbered from
// `first`; the raw value when it is none of them or has no text.
CSecStr CategoryText(const CSecStr& raw, unsigned first, wchar_t last)
{
    if (raw.GetLength() == 1 && raw.GetAt(0) >= L'1' && raw.GetAt(0) <= last) {
        CSecStr text = LayerString(first + static_cast<unsigned>(raw.GetAt(0) - L'1'));
        if (!text.IsEmpty())
            return text;
    }
    return raw;
}

// The name of a code in a FASC-N table; the code itself when it has none.
CSecStr CodeText(FascnTable table, const CSecStr& raw)
{
    const unsigned id = FascnCodeString(table, std::wstring_view(raw.GetString(), static_cast<size_t>(raw.GetLength())));
    CSecStr text = id ? LayerString(id) : CSecStr();
    return text.IsEmpty() ? raw : text;
}

} // namespace

VKPIVCardholderUniqueIdentifier::VKPIVCardholderUniqueIdentifier(const VKReader& reader) : m_reader(reader)
{
    vklogLog(kLayerTag, VKLOG_INFO,
             L"VKPIVCardholderUniqueIdentifier::VKPIVCardholderUniqueIdentifier new VKPIVCardholderUniqueIdentifier=%#x",
             HandleBits(this));
}

VKPIVCardholderUniqueIdentifier::~VKPIVCardholderUniqueIdentifier()
{
    m_rawValues.clear();
    m_displayValues.clear();
    vklogLog(kLayerTag, VKLOG_INFO,
             L"VKPIVCardholderUniqueIdentifier::~VKPIVCardholderUniqueIdentifier ~VKPIVCardholderUniqueIdentifier=%#x",
             HandleBits(this));
}

CSecStr VKPIVCardholderUniqueIdentifier::GetRawValue(int key) const
{
    auto found = m_rawValues.find(key);
    return found == m_rawValues.end() ? CSecStr() : found->second;
}

CSecStr VKPIVCardholderUniqueIdentifier::GetDisplayValue(int key) const
{
    auto found = m_displayValues.find(key);
    return found == m_displayValues.end() ? CSecStr() : found->second;
}

void VKPIVCardholderUniqueIdentifier::Stop()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKPIVCardholderUniqueIdentifier::Stop");
    std::lock_guard<std::mutex> hold(StopLock());
    m_bStop = true;
} catch (...) {
    LogEscapingException(kLayerTag, L"VKPIVCardholderUniqueIdentifier::Stop");
}

bool VKPIVCardholderUniqueIdentifier::TakeStop()
{
    std::lock_guard<std::mutex> hold(StopLock());
    return std::exchange(m_bStop, false);
}

CSecStr VKPIVCardholderUniqueIdentifier::DisplayValue(int key, const CSecStr& raw) const
{
    switch (key) {
    case kChuidAgencyCode:
    case kChuidOrganizationIdentifier:
    case kFascnAgencyCode:
        return CodeText(FascnTable::Agency, raw);
    case kFascnOrganizationalCategory:
        return CategoryText(raw, kOrgCategoryStrings, L'5');
    case kFascnAssociationCategory:
        return CategoryText(raw, kAssociationStrings, L'7');
    case kFascnOrganizationalIdentifier: {
        const CSecStr category = GetRawValue(kFascnOrganizationalCategory);
        if (category.Compare(L"1") == 0)
            return CodeText(FascnTable::Agency, raw);
        if (category.Compare(L"2") == 0)
            return CodeText(FascnTable::State, raw);
        if (category.Compare(L"4") == 0)
            return CodeText(FascnTable::Country, raw);
        return raw;
    }
    default:
        return raw;
    }
}

bool VKPIVCardholderUniqueIdentifier::LoadField(ISMMWCredential* chuid, int key, int property, const wchar_t* label,
                                               VKConnection& connection, bool& silent)
{
    vklogLog(kLayerTag, VKLOG_DETAIL, L"VKPIVCardholderUniqueIdentifier::Load Retrieve the %s", label);
    CSecStr raw;
    CSecStr display;
    try {
        VKData value;
        chuid->GetProperty(property, value);
        raw = TextOf(value);
        display = DisplayValue(key, raw);
    } catch (...) {
        const std::wstring format =
            std::wstring(L"VKPIVCardholderUniqueIdentifier::Load Error while retrieving ") + label + L" : %s (ignore)";
        switch (TakeFieldFailure(format.c_str())) {
        case kFieldCancelled:
            return false;
        case kFieldNeedsPin:
        case kFieldNeedsPinToo:
            silent = true;
            SetSilent(connection.m_pContext, true, L"VKPIVCardholderUniqueIdentifier::Load");
            [[fallthrough]];
        case kFieldNeedsSecurityState:
            raw = LayerString(kUnreadableString);
            display = raw;
            break;
        default:
            raw.Empty();
            display.Empty();
        }
    }
    m_rawValues[key] = raw;
    m_displayValues[key] = display;
    return true;
}

int VKPIVCardholderUniqueIdentifier::Load(bool& silent)
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKPIVCardholderUniqueIdentifier::Load");
    m_rawValues.clear();
    m_displayValues.clear();
    m_nSignatureStatus = 1;
    VKConnection connection;
    int result = m_reader.Connect(connection);
    if (result != kLayerOk) {
        vklogLog(kLayerTag, VKLOG_EXIT, L"VKPIVCardholderUniqueIdentifier::Load (%x)", result);
        return result;
    }
    SetSilent(connection.m_pContext, silent, L"VKPIVCardholderUniqueIdentifier::Load");
    ISMMWCredential* chuid = connection.GetDataCredential(kChuidDataType);
    if (!chuid) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKPIVCardholderUniqueIdentifier::Load CHUID was not found");
        result = kLayerNotFound;
    } else {
        bool finished = false;
        for (const FieldRead& field : kFields) {
            if (TakeStop()) {
                finished = true;
                break;
            }
            if (!LoadField(chuid, field.key, field.property, field.label, connection, silent)) {
                result = kLayerNoCardOrCancelled;
                finished = true;
                break;
            }
        }
        if (!finished && !TakeStop()) {
            vklogLog(kLayerTag, VKLOG_DETAIL,
                     L"VKPIVCardholderUniqueIdentifier::Load Check the CHUID Issuer Asymmetric Signature status");
            try {
                VKData status;
                chuid->GetProperty(kSignatureStatusProperty, status);
                const uint32_t byte = status.GetUInt();
                m_nSignatureStatus = byte == 0 || byte == 2 || byte == 3 ? static_cast<int>(byte) : 1;
            } catch (...) {
                const int id = TakeFieldFailure(L"VKPIVCardholderUniqueIdentifier::Load Error while retrieving CHUID "
                                                L"Issuer Asymmetric Signature status : %s (ignore)");
                m_nSignatureStatus = 1;
                if (id == kFieldCancelled) {
                    result = kLayerNoCardOrCancelled;
                } else if (id == kFieldNeedsPin || id == kFieldNeedsPinToo) {
                    silent = true;
                    SetSilent(connection.m_pContext, true, L"VKPIVCardholderUniqueIdentifier::Load");
                }
            }
        }
    }
    SetSilent(connection.m_pContext, false, L"VKPIVCardholderUniqueIdentifier::Load");
    m_reader.Disconnect();
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKPIVCardholderUniqueIdentifier::Load (%x)", result);
    return result;
} catch (...) {
    m_reader.Disconnect();
    return ExceptionFailure(kLayerTag, L"VKPIVCardholderUniqueIdentifier::Load", static_cast<int>(kLayerNotConnected));
}
