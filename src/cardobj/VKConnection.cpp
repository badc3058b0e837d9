#include "cardobj/VKConnection.h"

#include "base/ExceptionBarrier.h"
#include "base/Log.h"
#include "cardobj/FailureMap.h"
#include "cardobj/LayerResult.h"

#include "SMMWController.h"

#include <memory>

namespace {

constexpr int kACLAlways = 0;
constexpr int kACRAlways = 0;
constexpr int kACRUserPin = 2;
constexpr int kAccessModeGetValue = 3;

// The status of a refused creation as a layer result.
int RefusedCreation(int status)
{
    if (status == 0 || status == 1)
        return kLayerCreationRefused;
    if (status == 2 || status == 3)
        return kLayerModuleUnavailable;
    return kLayerNotConnected;
}

// Rights handed to a new credential. The controller reads them when it
// creates the credential, so every right lives until the operation ends,
// also those of a list already handed over.
class Rights {
public:
    Rights() = default;
    Rights(const Rights&) = delete;
    Rights& operator=(const Rights&) = delete;
    ~Rights()
    {
        for (CSMMWAccessControlRight* right : m_owned)
            delete right;
    }
    void Add(CSMMWAccessControlRight* right)
    {
        m_owned.push_back(right);
        m_list.push_back(right);
    }
    // Starts a fresh list; the rights of the old one stay alive.
    void StartNewList() { m_list.clear(); }
    const std::vector<CSMMWAccessControlRight*>& List() const { return m_list; }

private:
    std::vector<CSMMWAccessControlRight*> m_owned;
    std::vector<CSMMWAccessControlRight*> m_list;
};

} // namespace

VKConnection::VKConnection() : m_pContext(nullptr)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKConnection::VKConnection : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKConnection::VKConnection");
}

ISMMWCredential* VKConnection::FindOne(const Filter& filter, const wchar_t* several, int typeForLog)
{
    std::vector<ISMMWCredential*> found;
    m_pContext->FindCredentials(filter, found);
    if (found.size() == 1)
        return found.front();
    vklogLog(kLayerTag, VKLOG_ERROR, several, typeForLog);
    return nullptr;
}

ISMMWCredential* VKConnection::GetUserPinCredential()
try {
    ScopedFunctionLog log(L"VKConnection::GetUserPinCredential", kLayerTag);
    if (!m_pContext) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKConnection::GetUserPinCredential Not connected: no PIN credential");
        return nullptr;
    }
    try {
        Filter filter;
        filter.AddCredentialType(kCredentialPIN);
        filter.AddCredentialAttribute(kAttributePrimary, VKData(true));
        std::vector<ISMMWCredential*> found;
        m_pContext->FindCredentials(filter, found);
        if (found.empty()) {
            filter.AddCredentialAttribute(kAttributeNotPrimaryFallback, VKData(false));
            m_pContext->FindCredentials(filter, found);
        }
        if (found.size() == 1)
            return found.front();
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKConnection::GetUserPinCredential Only one primary PIN is not supported !");
    } catch (...) {
        TakeFailure(L"VKConnection::GetUserPinCredential : Error while trying to find PIN credential: %s.");
    }
    return nullptr;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKConnection::GetUserPinCredential", static_cast<ISMMWCredential*>(nullptr));
}

ISMMWCredential* VKConnection::GetDataCredential(const SMMWDataCredentialType& type)
try {
    ScopedFunctionLog log(L"VKConnection::GetDataCredential", kLayerTag);
    if (!m_pContext) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKConnection::GetDataCredential Not connected: no Data credential of type %d",
                 type);
        return nullptr;
    }
    try {
        Filter filter;
        filter.AddCredentialType(kCredentialData);
        filter.AddDataCredentialType(type);
        return FindOne(filter, L"VKConnection::GetDataCredential Only one Data credential of type %d is supported !",
                       type);
    } catch (...) {
        TakeFailure(L"VKConnection::GetDataCredential : Error while trying to find Data credential: %s.");
    }
    return nullptr;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKConnection::GetDataCredential", static_cast<ISMMWCredential*>(nullptr));
}

bool VKConnection::IsCardSupportImportCertificate()
try {
    ScopedFunctionLog log(L"VKConnection::IsCardSupportImportCertificate", kLayerTag);
    if (!m_pContext) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKConnection::IsCardSupportImportCertificate Not connected ");
        return false;
    }
    try {
        VKData value;
        m_pContext->GetCardObject()->GetSecurityModuleCapabilities()->GetCapability(
            L"SecurityModuleCapabilityx509EnrollSupported", value);
        return value.GetUInt() != 0;
    } catch (...) {
        TakeFailure(L"VKConnection::IsCardSupportImportCertificate : Error while trying to find Capability: %s.");
    }
    return false;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKConnection::IsCardSupportImportCertificate", false);
}

ISMMWCredential* VKConnection::GetAssociatedKCCredential(ISMMWCredential* pPKICredential)
try {
    ScopedFunctionLog log(L"VKConnection::GetAssociatedKCCredential", kLayerTag);
    if (!pPKICredential) {
        vklogLog(kLayerTag, VKLOG_ERROR,
                 L"VKConnection::GetAssociatedKCCredential Invalid Parameter: pPKICredential is NULL");
        return nullptr;
    }
    if (!m_pContext) {
        vklogLog(kLayerTag, VKLOG_ERROR,
                 L"VKConnection::GetAssociatedKCCredential Not connected: no associated KC credential");
        return nullptr;
    }
    try {
        VKData link;
        pPKICredential->GetProperty(kAttributeKeyContainerLink, link);
        Filter filter;
        filter.AddCredentialType(kCredentialKeyContainer);
        filter.AddCredentialAttribute(kAttributeKeyContainerLink, link);
        return FindOne(filter, L"VKConnection::GetAssociatedKCCredential Only one associated KC credential is supported !",
                       0);
    } catch (...) {
        TakeFailure(L"VKConnection::GetAssociatedKCCredential : Error while trying to find KC credential: %s.");
    }
    return nullptr;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKConnection::GetAssociatedKCCredential", static_cast<ISMMWCredential*>(nullptr));
}

void VKConnection::ListDataCredentials(const SMMWDataCredentialType& type, std::vector<ISMMWCredential*>& out)
try {
    ScopedFunctionLog log(L"VKConnection::ListDataCredentials", kLayerTag);
    if (!m_pContext)
        return;
    try {
        Filter filter;
        filter.AddCredentialType(kCredentialData);
        filter.AddDataCredentialType(type);
        m_pContext->FindCredentials(filter, out);
    } catch (...) {
        TakeFailure(L"VKConnection::ListDataCredentials : Error while trying to list Data credentials: %s.");
    }
} catch (...) {
    LogEscapingException(kLayerTag, L"VKConnection::ListDataCredentials");
}

void VKConnection::ListPKICredentials(std::vector<ISMMWCredential*>& out, bool primaryOnly)
try {
    ScopedFunctionLog log(L"VKConnection::ListPKICredentials", kLayerTag);
    if (!m_pContext)
        return;
    try {
        Filter filter;
        filter.AddCredentialType(kCredentialPKI);
        if (primaryOnly)
            filter.AddCredentialAttribute(kAttributePrimary, VKData(true));
        m_pContext->FindCredentials(filter, out);
    } catch (...) {
        TakeFailure(L"VKConnection::ListPKICredentials : Error while trying to list PKI credentials: %s.");
    }
} catch (...) {
    LogEscapingException(kLayerTag, L"VKConnection::ListPKICredentials");
}

int VKConnection::CreateCredential(const wchar_t* name, ISMMWCredential* credentialTemplate, ISMMWCredential** out,
                                   const wchar_t* importFailure,
                                   void (*store)(ISMMWCredential*, const VKData&, unsigned), const VKData& value,
                                   unsigned keySizeBits)
{
    ISMMWCredential* made = nullptr;
    int status = m_pContext->GetCredentialFactory()->CreateCredential(credentialTemplate, &made);
    if (status != kCredentialCreated) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"%s: CreateCredential failed with error code 0x%d", name, status);
        return RefusedCreation(status);
    }
    try {
        store(made, value, keySizeBits);
    } catch (...) {
        const int result = TakeFailure(importFailure);
        // A credential without its key or value is of no use on the card:
        // it goes, and so does the object the factory handed us.
        try {
            m_pContext->DeleteCredential(made);
        } catch (...) {
            TakeFailure(L"VKConnection::CreateCredential : Error while trying to remove the half-made credential: %s.");
        }
        delete made;
        return result;
    }
    if (out)
        *out = made;
    else
        delete made;
    return kLayerOk;
}

int VKConnection::CreatePKICredential(const VKData& keyData, ISMMWCredential** out, unsigned keySizeBits)
try {
    ScopedFunctionLog log(L"VKConnection::CreatePKICredential", kLayerTag);
    if (!m_pContext) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKConnection::CreatePKICredential Context not initialized!");
        return kLayerNotInitialized;
    }
    try {
        ParameterMap in;
        ParameterMap outParameters;
        m_pContext->ExecuteAction(L"ActionRefreshCmapFile", in, outParameters);
        // The template is the layer's to delete, whatever happens.
        std::unique_ptr<ISMMWCredential> credentialTemplate(
            m_pContext->GetCredentialFactory()->NewCredentialTemplate(kCredentialNewPKI));
        Rights rights;
        rights.Add(new CSMMWAccessControlRight(kACLAlways, kACRAlways));
        credentialTemplate->SetAccessRights(L"ActionGetValue", rights.List(), kAccessModeGetValue);
        rights.StartNewList();
        rights.Add(new CSMMWAccessControlRight(kACLAlways, kACRUserPin, GetUserPinCredential()));
        credentialTemplate->SetAccessRights(L"ActionImportKey", rights.List(), 0);
        credentialTemplate->SetAccessRights(L"ActionSign", rights.List(), 0);
        vklogLog(kLayerTag, VKLOG_INFO, L"VKConnection::CreatePKICredential Size Key = 0x%02x bits", keySizeBits);
        credentialTemplate->SetAttribute(kAttributeKeySize, VKData(static_cast<uint32_t>(keySizeBits)));
        return CreateCredential(
            L"VKConnection::CreatePKICredential", credentialTemplate.get(), out,
            L"VKConnection::CreatePKICredential : Error while trying to import PKI credential: %s.",
            [](ISMMWCredential* made, const VKData& key, unsigned bits) {
                ParameterMap parameters;
                parameters.AddKeySize(bits);
                made->ImportKey(key, parameters, 1);
            },
            keyData, keySizeBits);
    } catch (...) {
        return TakeFailure(L"VKConnection::CreatePKICredential : Error while trying to create PKI credential: %s.");
    }
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKConnection::CreatePKICredential", static_cast<int>(kLayerNotConnected));
}

int VKConnection::CreateDataCredential(const VKData& valueBytes, ISMMWCredential** out)
try {
    ScopedFunctionLog log(L"VKConnection::CreateDataCredential", kLayerTag);
    if (!m_pContext) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKConnection::CreateDataCredential Context not initialized!");
        return kLayerNotInitialized;
    }
    try {
        ParameterMap in;
        ParameterMap outParameters;
        m_pContext->ExecuteAction(L"ActionRefreshMsRoots", in, outParameters);
        std::unique_ptr<ISMMWCredential> credentialTemplate(
            m_pContext->GetCredentialFactory()->NewDataCredentialTemplate(kCredentialData));
        Rights rights;
        rights.Add(new CSMMWAccessControlRight(kACLAlways, kACRAlways));
        credentialTemplate->SetAccessRights(L"ActionGetValue", rights.List(), kAccessModeGetValue);
        // Setting the value takes both rights: the list is not cleared.
        rights.Add(new CSMMWAccessControlRight(kACLAlways, kACRUserPin, GetUserPinCredential()));
        credentialTemplate->SetAccessRights(L"ActionSetValue", rights.List(), 0);
        return CreateCredential(
            L"VKConnection::CreateDataCredential", credentialTemplate.get(), out,
            L"VKConnection::CreateDataCredential : Error while trying to import Data credential: %s.",
            [](ISMMWCredential* made, const VKData& value, unsigned) { made->SetValue(value); }, valueBytes, 0);
    } catch (...) {
        return TakeFailure(L"VKConnection::CreateDataCredential : Error while trying to import Data credential: %s.");
    }
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKConnection::CreateDataCredential", static_cast<int>(kLayerNotConnected));
}

int VKConnection::UpdateCredential(ISMMWCredential* credential, int attribute, VKData value)
try {
    ScopedFunctionLog log(L"VKConnection::UpdateCredential", kLayerTag);
    if (!m_pContext) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKConnection::UpdateCredential Context not initialized!");
        return kLayerNotInitialized;
    }
    if (!credential) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKConnection::UpdateCredential Invalid parameters!");
        return kLayerInvalidParameter;
    }
    try {
        credential->SetAttribute(attribute, value);
    } catch (...) {
        TakeFailure(L"VKConnection::UpdateCredential : Error while trying to update credential: %s.");
        return kLayerNotConnected;
    }
    return kLayerOk;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKConnection::UpdateCredential", static_cast<int>(kLayerNotConnected));
}

int VKConnection::Transaction(const wchar_t* name, void (ISMMWContext::*operation)())
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"%s", name);
    int result = kLayerOk;
    if (!m_pContext) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"%s : Not connected, no transaction can be handled", name);
        result = kLayerNotConnected;
    } else {
        try {
            (m_pContext->*operation)();
        } catch (...) {
            vklogLog(kLayerTag, VKLOG_INFO, L"%s : middleware failure", name);
            result = TakeFailure(L"Transaction failed: %s.");
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"%s : ret=(%#x)", name, result);
    return result;
}

int VKConnection::BeginTransaction()
try {
    return Transaction(L"VKConnection::BeginTransaction", &ISMMWContext::BeginTransaction);
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKConnection::BeginTransaction", static_cast<int>(kLayerNotConnected));
}

int VKConnection::EndTransaction()
try {
    return Transaction(L"VKConnection::EndTransaction", &ISMMWContext::EndTransaction);
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKConnection::EndTransaction", static_cast<int>(kLayerNotConnected));
}

int VKConnection::ResetTransactionTimeout()
try {
    return Transaction(L"VKConnection::ResetTransactionTimeout", &ISMMWContext::ResetTransactionTimeout);
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKConnection::ResetTransactionTimeout", static_cast<int>(kLayerNotConnected));
}
